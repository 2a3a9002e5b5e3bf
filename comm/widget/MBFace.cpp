// The panel's face: what lies under its child controls (the window's
// background, the pages', and the group box's frame and title) as one image.
//
// A label that changes is transparent, so Qt repaints everything under it
// first: the window's background, the pages, and the group box, whose frame
// and title it lays out and draws again for every counter, traffic text and
// chart. The panel instead paints its face once into an image, the way Qt
// paints those widgets (rendering each without children), and from then on
// draws itself opaque from that image: a label's repaint starts at the panel
// with one copy.
//
// The image is trusted only once it has been checked, pixel for pixel,
// against what the normal painting put on screen; where the two differ (some
// other style or platform) the panel keeps painting the normal way. Anything
// the face depends on (size, place, palette, style, fonts, enabled state,
// the window's activation, the title) makes the panel paint the normal way
// again, and check again. What lies under the panel is taken to be its
// ancestors' own painting: no sibling beneath it overlaps it, as on the form.
#include "MB.h"

#include <QBackingStore>
#include <QEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <cstring>
#include <vector>

namespace {

// The backing store image the painter draws on, with the widget's rectangle
// in its pixels; null when the painter draws anywhere else.
QImage *ScreenImage(QWidget *widget, QPainter &painter, QRect &pixels)
{
    QBackingStore *store = widget->backingStore();
    QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    if (!store || !device || device != store->paintDevice() || device->devType() != QInternal::Image)
        return nullptr;
    const QTransform &t = painter.deviceTransform();
    if (t.type() > QTransform::TxScale)
        return nullptr;
    auto *image = static_cast<QImage *>(device);
    pixels = t.mapRect(QRectF(widget->rect())).toAlignedRect();
    return image->rect().contains(pixels) ? image : nullptr;
}

// True when a and b (b at offset in a) have the same pixels over region
// (b's coordinates, in pixels).
bool SamePixels(const QImage &a, const QPoint &offset, const QImage &b, const QRegion &region)
{
    if (a.format() != b.format() || a.depth() != 32)
        return false;
    for (const QRect &r : region) {
        const QRect in = r & b.rect();
        for (int y = in.top(); y <= in.bottom(); ++y) {
            const uchar *pa = a.constScanLine(y + offset.y()) + (in.left() + offset.x()) * 4;
            const uchar *pb = b.constScanLine(y) + in.left() * 4;
            if (std::memcmp(pa, pb, size_t(in.width()) * 4) != 0)
                return false;
        }
    }
    return true;
}

} // namespace

// The face as Qt would paint it: the window's background, each page between,
// and the group box itself, none with children.
QImage TMB::RenderFace(const QImage &like)
{
    QImage face(like.size(), like.format());
    face.setDevicePixelRatio(like.devicePixelRatio());
    face.fill(Qt::black);
    std::vector<QWidget *> chain;
    for (QWidget *w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget())
        chain.push_back(w);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        QWidget *w = *it;
        const QRegion source(QRect(mapTo(w, QPoint(0, 0)), size()));
        w->render(&face, QPoint(0, 0), source, w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    m_renderingFace = true;
    render(&face, QPoint(0, 0), QRegion(rect()), QWidget::RenderFlags());
    m_renderingFace = false;
    m_faceTitle = title();
    m_faceFocus = hasFocus();
    return face;
}

void TMB::ForgetFace()
{
    m_face = QImage();
    m_shown = QImage();
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        setAttribute(Qt::WA_OpaquePaintEvent, false); // the pages paint under it again
        update();
    }
}

void TMB::paintEvent(QPaintEvent *event)
{
    if (m_renderingFace || m_faceRefused) {
        QGroupBox::paintEvent(event);
        return;
    }
    if (testAttribute(Qt::WA_OpaquePaintEvent) && !m_face.isNull()) {
        if (m_faceTitle != title() || m_faceFocus != hasFocus() ||
            m_face.devicePixelRatio() != devicePixelRatioF())
            // Changed with no event to say so: the normal way from the next frame.
            QMetaObject::invokeMethod(this, [this] { ForgetFace(); }, Qt::QueuedConnection);
        QPainter p(this);
        p.drawImage(QPoint(0, 0), m_face);
        return;
    }

    // Painted the normal way; what it put on screen is kept to check the face
    // against once the window is painted.
    QGroupBox::paintEvent(event);
    QPainter p(this);
    QRect pixels;
    const QImage *screen = ScreenImage(this, p, pixels);
    if (!screen || !m_shown.isNull())
        return;
    m_shown = screen->copy(pixels);
    m_shown.setDevicePixelRatio(screen->devicePixelRatio());
    const qreal dpr = screen->devicePixelRatio();
    m_shownRegion = QTransform::fromScale(dpr, dpr).map(event->region());
    QMetaObject::invokeMethod(this, [this] { CheckFace(); }, Qt::QueuedConnection);
}

void TMB::CheckFace()
{
    if (m_shown.isNull() || testAttribute(Qt::WA_OpaquePaintEvent))
        return;
    const QImage face = RenderFace(m_shown);
    const bool same = SamePixels(m_shown, QPoint(0, 0), face, m_shownRegion);
    m_shown = QImage();
    if (!same) {
        m_faceRefused = true; // this style or platform paints otherwise: the normal way for good
        return;
    }
    m_face = face;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TMB::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ParentChange:
        ForgetFace();
        break;
    case QEvent::LanguageChange:
        RetranslatePanel();
        break;
    default:
        break;
    }
    QGroupBox::changeEvent(event);
}

void TMB::moveEvent(QMoveEvent *event)
{
    ForgetFace();
    QGroupBox::moveEvent(event);
}

void TMB::resizeEvent(QResizeEvent *event)
{
    ForgetFace();
    QGroupBox::resizeEvent(event);
}

void TMB::showEvent(QShowEvent *event)
{
    ForgetFace(); // what lies under it may have changed while it was hidden
    QGroupBox::showEvent(event);
}
