#pragma once

#include "ConnectAttempt.h"
#include "ExchangeTimings.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// One read exchange with one address: connect, send the read request, collect the answer until its
// length field is satisfied (or the answer window ends), close. Owns its socket, buffer and timer,
// so any number can run side by side. finished() fires exactly once, unless abort() came first.
class ReadExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadExchange)

public:
    // How the exchange ended.
    enum class Ending
    {
        Answered,     // bytes arrived (whole or not: the decoder decides)
        Silent,       // accepted, but nothing arrived within the answer window
        Closed,       // accepted, then closed by the peer without a byte
        Refused,      // the connection was refused
        NoConnection, // no connection within the connect time-out (absent, unreachable)
    };
    struct Outcome
    {
        QHostAddress host;
        Ending ending = Ending::NoConnection;
        QByteArray bytes; // empty unless Answered
    };

    // Bytes kept per exchange; an answer is at most 2106 bytes, the rest of a flood is dropped.
    static constexpr int MaxBuffered = 4096;

    explicit ReadExchange(QObject* parent = nullptr);
    ~ReadExchange() override;

    void start(const QHostAddress& host, quint16 port, const ExchangeTimings& timings);
    void abort(); // ends without finished()
    bool running() const { return m_started && !m_done; }

    const QHostAddress& host() const { return m_host; }

signals:
    void finished(const ReadExchange::Outcome& outcome);

private:
    void sendRequest();
    void collect();
    void finish(Ending ending);
    void cancelConnect()
    {
#ifndef Q_OS_WIN
        m_connect.cancel();
#endif
    }

#ifndef Q_OS_WIN
    ConnectAttempt m_connect; // Windows: the socket connects itself
#endif
    QTcpSocket m_socket;
    QTimer m_deadline;
    QHostAddress m_host;
    QByteArray m_buffer;
    ExchangeTimings m_timings;
    bool m_connected = false;
    bool m_started = false;
    bool m_done = false;
};

Q_DECLARE_METATYPE(ReadExchange::Outcome)
