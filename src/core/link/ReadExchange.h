#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// One read exchange with one address: connect, send the read request, collect the answer until its
// length field is satisfied (or the wait windows end), close. Owns its socket, buffer and timers, so
// any number can run side by side. finished() fires exactly once.
class ReadExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadExchange)

public:
    // The gateway answers within 500 ms, or at the latest 5000 ms after the request.
    static constexpr int AnswerWindowMs = 5000;
    // Bytes kept per exchange; an answer is at most 2106 bytes, the rest of a flood is dropped.
    static constexpr int MaxBuffered = 4096;

    explicit ReadExchange(QObject* parent = nullptr);
    ~ReadExchange() override;

    void start(const QHostAddress& host, quint16 port, int connectTimeoutMs);
    void abort(); // ends without finished()

    const QHostAddress& host() const { return m_host; }

signals:
    // bytes: what the gateway sent (empty when nothing arrived); connected: the connection was accepted.
    void finished(const QByteArray& bytes, bool connected);

private:
    void collect();
    void finish();

    QTcpSocket m_socket;
    QTimer m_deadline;
    QHostAddress m_host;
    QByteArray m_buffer;
    bool m_connected = false;
    bool m_done = false;
};
