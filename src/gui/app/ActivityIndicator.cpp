#include "ActivityIndicator.h"

#include <QPainter>

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent)
{
    m_timer.setInterval(80);
    m_timer.callOnTimeout(this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
    setFixedSize(sizeHint());
}

void ActivityIndicator::setAnimate(bool on)
{
    if (on)
        m_timer.start();
    else
        m_timer.stop();
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().color(QPalette::WindowText);
    for (int i = 0; i < 12; ++i) {
        QColor c = base;
        const int age = (m_step - i + 12) % 12;
        c.setAlphaF(animate() ? 1.0 - age / 12.0 : 0.25);
        p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -5), QPointF(0, -10));
        p.rotate(30);
    }
}
