// The panel's two lamps. A lamp flashes twice a poll; laying its letter out
// and changing a palette cost more than the rest of the panel's updates, so
// it keeps its lit and unlit faces, drawn once as a label draws them, and
// changes colour without touching its palette.
#pragma once

#include <QColor>
#include <QHash>
#include <QLabel>
#include <QPixmap>

class TMBLamp final : public QLabel
{
public:
    TMBLamp(const QString &text, QWidget *parent);

    QColor Color() const { return m_color; }
    void SetColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QColor m_color;
    QHash<QRgb, QPixmap> m_faces;
    QString m_facesText;
    QSize m_facesSize;
    qreal m_facesDpr = 0;
};
