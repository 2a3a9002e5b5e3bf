#include "MBLamp.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

TMBLamp::TMBLamp(const QString &text, QWidget *parent) : QLabel(text, parent), m_color(palette().color(QPalette::Window))
{
}

void TMBLamp::SetColor(const QColor &color)
{
    if (color == m_color)
        return; // lit again while lit: nothing to paint
    m_color = color;
    update();
}

void TMBLamp::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange:
    case QEvent::LayoutDirectionChange: m_faces.clear(); break;
    default: break;
    }
    QLabel::changeEvent(event);
}

void TMBLamp::paintEvent(QPaintEvent *)
{
    const qreal dpr = devicePixelRatioF();
    if (dpr != m_facesDpr || size() != m_facesSize || text() != m_facesText) {
        m_faces.clear();
        m_facesDpr = dpr;
        m_facesSize = size();
        m_facesText = text();
    }
    QPixmap &face = m_faces[m_color.rgba()];
    if (face.isNull()) {
        // As QLabel paints a plain text on its filled background.
        face = QPixmap((QSizeF(size()) * dpr).toSize());
        face.setDevicePixelRatio(dpr);
        face.fill(m_color);
        QPainter p(&face);
        p.setFont(font());
        p.setPen(palette().color(foregroundRole()));
        p.setLayoutDirection(layoutDirection());
        const int flags = int(QStyle::visualAlignment(layoutDirection(), alignment()))
                          | (layoutDirection() == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
        style()->drawItemText(&p, contentsRect(), flags, palette(), isEnabled(), text(), foregroundRole());
    }
    QPainter(this).drawPixmap(QPoint(0, 0), face);
}
