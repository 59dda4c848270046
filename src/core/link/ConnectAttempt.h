#pragma once

#include <QtGlobal>

#ifndef Q_OS_WIN

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QSocketNotifier;

// One non-blocking TCP connect to one address, tried once (POSIX). A scan opens its connections
// through this rather than QTcpSocket::connectToHost(), which tries a refused address a second
// time: on a segment where most addresses refuse that doubles the work. The connected socket is
// then handed to a QTcpSocket (release()). Windows keeps Qt's own connect: there a socket handed
// over after its connect sometimes missed the peer's close (seen under Wine).
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
    ~ConnectAttempt() override; // closes a socket not released

    // done() follows exactly once, never within start(), unless cancel() comes first.
    void start(const QHostAddress& host, quint16 port);
    void cancel();
    // After done(Connected): the connected socket, still this attempt's until release().
    qintptr socketDescriptor() const { return m_socket; }
    // Once the socket has a new owner: from now on it is the owner's alone. Until then a failed
    // hand-over leaves it here, to be closed with the attempt.
    void release();

signals:
    void done(ConnectAttempt::Outcome outcome);

private:
    void check();
    void finish(Outcome outcome);
    void stopWatching();
    void closeSocket();

    qintptr m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    bool m_done = false;
};

#endif
