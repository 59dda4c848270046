#pragma once

#include <QTimer>
#include <QWidget>

// A small turning wheel that shows a scan is running.
class ActivityIndicator final : public QWidget
{
    Q_OBJECT

public:
    explicit ActivityIndicator(QWidget* parent = nullptr);

    void setAnimate(bool on);
    bool animate() const { return m_timer.isActive(); }
    QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
