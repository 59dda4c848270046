#include "ConnectAttempt.h"

#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstring>
#include <utility>

namespace {

#ifdef Q_OS_WIN
using Handle = SOCKET;
constexpr int InProgress = WSAEWOULDBLOCK;
constexpr int RefusedCode = WSAECONNREFUSED;
bool stillConnecting(int error)
{
    // WSAEINVAL: what older Winsock says for a connect still under way.
    return error == WSAEWOULDBLOCK || error == WSAEALREADY || error == WSAEINPROGRESS || error == WSAEINVAL;
}
bool alreadyConnected(int error)
{
    return error == WSAEISCONN;
}
int lastError()
{
    return WSAGetLastError();
}
bool validHandle(Handle s)
{
    return s != INVALID_SOCKET;
}
void closeHandle(qintptr s)
{
    ::closesocket(SOCKET(s));
}
Handle openSocket(int family)
{
    // Qt starts Winsock with its first socket; this may come first.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        return INVALID_SOCKET;
    const SOCKET s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    u_long nonBlocking = 1;
    if (s != INVALID_SOCKET && ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}
#else
using Handle = int;
constexpr int InProgress = EINPROGRESS;
constexpr int RefusedCode = ECONNREFUSED;
bool stillConnecting(int error)
{
    return error == EINPROGRESS || error == EALREADY;
}
bool alreadyConnected(int error)
{
    return error == EISCONN;
}
int lastError()
{
    return errno;
}
bool validHandle(Handle s)
{
    return s >= 0;
}
void closeHandle(qintptr s)
{
    ::close(int(s));
}
Handle openSocket(int family)
{
    return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}
#endif

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
    return error == RefusedCode ? ConnectAttempt::Outcome::Refused : ConnectAttempt::Outcome::Failed;
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
    m_address = QByteArray(reinterpret_cast<const char*>(&address), length);
    Outcome atOnce = Outcome::Failed;
    bool pending = false;
    if (length != 0) {
        const Handle s = openSocket(address.ss_family);
        if (validHandle(s)) {
            m_socket = qintptr(s);
            if (::connect(s, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
                atOnce = Outcome::Connected;
            } else {
                const int error = lastError();
                pending = error == InProgress;
                atOnce = outcomeOf(error);
            }
        }
    }
    if (pending) {
        m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Write, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ConnectAttempt::check);
#ifdef Q_OS_WIN
        // Winsock reports a failed connect with FD_CONNECT, but not every implementation does
        // (Wine does not): the pending error is also looked at after 0, 10, 20, 40 ... ms.
        m_poll.setSingleShot(true);
        m_poll.callOnTimeout(this, [this] {
            check();
            if (!m_done)
                m_poll.start(qBound(10, m_poll.interval() * 2, 500));
        });
        m_poll.start(0);
#endif
        return;
    }
    // Ended at once (a local address may connect or refuse within connect()): reported from the
    // event loop, as a pending attempt would be.
    QTimer::singleShot(0, this, [this, atOnce] { finish(atOnce); });
}

void ConnectAttempt::check()
{
    // The pending error says how the attempt ended. Where it reads 0 although the attempt failed
    // (Windows may hand the error to the notification and clear it), connecting once more on the
    // same socket tells: it is connected, refused, or still under way.
    const Handle s = Handle(m_socket);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        error = lastError();
    if (error == 0 &&
        ::connect(s, reinterpret_cast<const sockaddr*>(m_address.constData()), socklen_t(m_address.size())) != 0) {
        error = lastError();
        if (stillConnecting(error))
            return; // the notifier stays on; the caller's deadline bounds the wait
        if (alreadyConnected(error))
            error = 0;
    }
    m_notifier->setEnabled(false);
    finish(outcomeOf(error));
}

void ConnectAttempt::cancel()
{
    m_done = true;
    closeSocket();
}

qintptr ConnectAttempt::take()
{
    m_poll.stop();
    delete m_notifier; // before the socket gets another owner (and another notifier)
    m_notifier = nullptr;
    return std::exchange(m_socket, -1);
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

void ConnectAttempt::closeSocket()
{
    m_poll.stop();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_socket != -1)
        closeHandle(std::exchange(m_socket, -1));
}
