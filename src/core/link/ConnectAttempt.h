#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

// One non-blocking TCP connect to one address, tried once. A scan opens its connections through
// this rather than QTcpSocket::connectToHost(), which tries a refused address a second time: on a
// segment where most addresses refuse that doubles the work, and on Windows, where a refusal
// takes about a second, the time. The connected socket is then handed to a QTcpSocket (take()).
class ConnectAttempt final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectAttempt)

public:
    enum class Outcome
    {
        Connected,
        Refused,
        Failed, // no socket, unreachable, or any other error
    };

    explicit ConnectAttempt(QObject* parent = nullptr);
    ~ConnectAttempt() override; // closes a socket not taken

    // done() follows exactly once, never within start(), unless cancel() comes first.
    void start(const QHostAddress& host, quint16 port);
    void cancel();
    // After done(Connected): the connected socket, from now on the caller's.
    qintptr take();

signals:
    void done(ConnectAttempt::Outcome outcome);

private:
    void check();
    void finish(Outcome outcome);
    void closeSocket();

    QByteArray m_address; // the socket address connected to
    qintptr m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_poll; // Windows only
    bool m_done = false;
};
