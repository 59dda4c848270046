#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void placeWindow(QWidget* window, const WindowPlacement& placement)
{
    window->resize(qMax(placement.width, 200), qMax(placement.height, 200));
    QPoint position(placement.left, placement.top);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(QRect(position, QSize(100, 40)));
    if (!onScreen && QGuiApplication::primaryScreen())
        position = QGuiApplication::primaryScreen()->availableGeometry().topLeft() + QPoint(10, 10);
    window->move(position);
}
