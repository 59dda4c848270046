#include "ConnectAttempt.h"

#ifndef Q_OS_WIN

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace {

// The socket address of host:port; its length, 0 for an address that is neither IPv4 nor IPv6.
socklen_t socketAddress(const QHostAddress& host, quint16 port, sockaddr_storage& address)
{
    std::memset(&address, 0, sizeof address);
    if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* in = reinterpret_cast<sockaddr_in*>(&address);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(host.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = host.scopeId().toUInt();
        return sizeof(sockaddr_in6);
    }
    return 0;
}

ConnectAttempt::Outcome outcomeOf(int error)
{
    if (error == 0)
        return ConnectAttempt::Outcome::Connected;
    return error == ECONNREFUSED ? ConnectAttempt::Outcome::Refused : ConnectAttempt::Outcome::Failed;
}

} // namespace

ConnectAttempt::ConnectAttempt(QObject* parent) : QObject(parent)
{}

ConnectAttempt::~ConnectAttempt()
{
    closeSocket();
}

void ConnectAttempt::start(const QHostAddress& host, quint16 port)
{
    sockaddr_storage address;
    const socklen_t length = socketAddress(host, port, address);
    Outcome atOnce = Outcome::Failed;
    if (length != 0) {
        m_socket = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_socket >= 0) {
            if (::connect(int(m_socket), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
                atOnce = Outcome::Connected;
            } else if (errno == EINPROGRESS) {
                m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Write, this);
                connect(m_notifier, &QSocketNotifier::activated, this, &ConnectAttempt::check);
                return;
            } else {
                atOnce = outcomeOf(errno);
            }
        }
    }
    // Ended at once (a local address may connect or refuse within connect()): reported from the
    // event loop, as a pending attempt would be.
    QTimer::singleShot(0, this, [this, atOnce] { finish(atOnce); });
}

void ConnectAttempt::check()
{
    // Writable: the pending error says how the attempt ended.
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(int(m_socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    finish(outcomeOf(error));
}

void ConnectAttempt::cancel()
{
    m_done = true;
    closeSocket();
}

void ConnectAttempt::release()
{
    stopWatching();
    m_socket = -1;
}

void ConnectAttempt::finish(Outcome outcome)
{
    if (m_done)
        return;
    m_done = true;
    if (outcome != Outcome::Connected)
        closeSocket();
    emit done(outcome);
}

void ConnectAttempt::stopWatching()
{
    delete m_notifier;
    m_notifier = nullptr;
}

void ConnectAttempt::closeSocket()
{
    stopWatching();
    if (m_socket != -1)
        ::close(int(std::exchange(m_socket, -1)));
}

#endif
