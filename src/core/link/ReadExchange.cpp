#include "ReadExchange.h"

#include "Telegram.h"

ReadExchange::ReadExchange(QObject* parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    // Bounds what Qt itself buffers when a peer sends without pause.
    m_socket.setReadBufferSize(MaxBuffered);
}

ReadExchange::~ReadExchange()
{
    m_done = true;
    m_socket.abort();
}

void ReadExchange::start(const QHostAddress& host, quint16 port, const ExchangeTimings& timings)
{
    m_host = host;
    m_timings = timings;
    m_started = true;
    connect(&m_socket, &QTcpSocket::readyRead, this, &ReadExchange::collect);
    // Queued: Windows may report a refused connection inside connectToHost(), and the exchange
    // never ends before start() has returned.
    connect(
        &m_socket, &QTcpSocket::errorOccurred, this,
        [this](QAbstractSocket::SocketError error) {
            if (m_socket.bytesAvailable() > 0)
                collect();
            if (!m_connected)
                finish(error == QAbstractSocket::ConnectionRefusedError ? Ending::Refused : Ending::NoConnection);
            else
                finish(m_buffer.isEmpty() ? Ending::Closed : Ending::Answered);
        },
        Qt::QueuedConnection);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        collect();
        finish(m_buffer.isEmpty() ? Ending::Closed : Ending::Answered);
    });
    m_deadline.callOnTimeout(this, [this] {
        if (!m_connected)
            finish(Ending::NoConnection);
        else
            finish(m_buffer.isEmpty() ? Ending::Silent : Ending::Answered);
    });
    m_deadline.start(timings.connectMs);
#ifdef Q_OS_WIN
    connect(&m_socket, &QTcpSocket::connected, this, &ReadExchange::sendRequest);
    m_socket.connectToHost(host, port);
#else
    connect(&m_connect, &ConnectAttempt::done, this, [this](ConnectAttempt::Outcome outcome) {
        if (outcome == ConnectAttempt::Outcome::Refused)
            return finish(Ending::Refused);
        if (outcome != ConnectAttempt::Outcome::Connected ||
            !m_socket.setSocketDescriptor(m_connect.socketDescriptor(), QAbstractSocket::ConnectedState))
            return finish(Ending::NoConnection); // the attempt still owns the socket and closes it
        m_connect.release();
        sendRequest();
    });
    m_connect.start(host, port);
#endif
}

void ReadExchange::sendRequest()
{
    m_connected = true;
    m_deadline.start(m_timings.readWindowMs());
    m_socket.write(Telegram::ReadSetupRequest());
}

void ReadExchange::abort()
{
    m_done = true;
    m_deadline.stop();
    cancelConnect();
    m_socket.abort();
}

void ReadExchange::collect()
{
    if (m_done)
        return;
    const qint64 room = MaxBuffered - m_buffer.size();
    if (room > 0)
        m_buffer += m_socket.read(room);
    m_socket.skip(m_socket.bytesAvailable()); // beyond any answer: dropped
    if (Telegram::answerState(m_buffer) != Telegram::FrameState::Incomplete)
        finish(Ending::Answered);
}

void ReadExchange::finish(Ending ending)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    cancelConnect();
    m_socket.abort();
    emit finished(Outcome{m_host, ending, ending == Ending::Answered ? m_buffer : QByteArray()});
}
