#include "GatewaySimulator.h"

#include "GatewayExchange.h"

#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int PortAttempts = 8;

bool isLoopbackV4(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol && (address.toIPv4Address() >> 24) == 127;
}

// The address a record asks the gateway to listen on: its fixed address when DHCP is off.
std::optional<QHostAddress> fixedAddress(const GWSetupRecord& record)
{
    if (record.networkFlag(GWSetupRecord::Dhcp))
        return std::nullopt;
    const GWSetupRecord::Address a = record.fixedIp();
    return QHostAddress(quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | a[3]);
}

} // namespace

GatewaySimulator::GatewaySimulator(QObject* parent) : QObject(parent)
{}

GatewaySimulator::~GatewaySimulator()
{
    close();
}

bool GatewaySimulator::isPermittedAddress(const QHostAddress& address)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return address == QHostAddress(QHostAddress::LocalHostIPv6);
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const quint32 ip = address.toIPv4Address();
    if ((ip >> 24) == 127)
        return true;
    const quint32 net24 = ip & 0xFFFFFF00u;
    return net24 == 0xC0000200u     // 192.0.2.0/24
           || net24 == 0xC6336400u  // 198.51.100.0/24
           || net24 == 0xCB007100u; // 203.0.113.0/24
}

bool GatewaySimulator::listen(const QList<SimulatedGateway>& gateways, quint16 port)
{
    close();
    m_error.clear();
    if (gateways.isEmpty()) {
        m_error = u"Kein Gateway zu simulieren"_s;
        return false;
    }
    QSet<QString> seen;
    for (const SimulatedGateway& g : gateways) {
        if (!isPermittedAddress(g.address)) {
            m_error =
                u"Adresse %1 abgelehnt: nur 127.0.0.0/8, ::1, 192.0.2.0/24, 198.51.100.0/24 und 203.0.113.0/24"_s.arg(
                    g.address.toString());
            return false;
        }
        if (seen.contains(g.address.toString())) {
            m_error = u"Adresse %1 ist mehrfach angegeben"_s.arg(g.address.toString());
            return false;
        }
        seen.insert(g.address.toString());
    }
    for (const SimulatedGateway& g : gateways)
        m_served.push_back(Served{g, nullptr, nullptr});

    const int attempts = port == 0 ? PortAttempts : 1;
    for (int i = 0; i < attempts; ++i) {
        bool addressInUse = false;
        if (bindAll(port, addressInUse))
            return true;
        if (!addressInUse)
            break;
    }
    m_served.clear();
    return false;
}

QTcpServer* GatewaySimulator::newServer(size_t index)
{
    auto* server = new QTcpServer(this);
    connect(server, &QTcpServer::newConnection, this, [this, index] { accept(index); });
    return server;
}

QString GatewaySimulator::listenError(const QHostAddress& address, quint16 port, const QTcpServer& server)
{
    return u"Lauschen auf %1 Port %2 nicht möglich: %3"_s.arg(address.toString()).arg(port).arg(server.errorString());
}

bool GatewaySimulator::bindAll(quint16 port, bool& addressInUse)
{
    quint16 chosen = port;
    for (size_t i = 0; i < m_served.size(); ++i) {
        QTcpServer* server = newServer(i);
        const QHostAddress& address = m_served[i].gateway.address;
        if (!server->listen(address, chosen)) {
            addressInUse = server->serverError() == QAbstractSocket::AddressInUseError;
            m_error = listenError(address, chosen, *server);
            delete server;
            closeServers();
            return false;
        }
        chosen = server->serverPort();
        m_served[i].server = server;
    }
    m_port = chosen;
    m_error.clear();
    return true;
}

void GatewaySimulator::accept(size_t index)
{
    QTcpServer* server = m_served[index].server;
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++m_exchangesStarted;
        ++m_openConnections;
        auto* exchange = new GatewayExchange(socket, m_served[index].gateway, this);
        connect(exchange, &GatewayExchange::setupReceived, this, [this](const ReceivedSetup& setup) {
            m_received.append(setup);
            emit setupReceived(setup);
        });
        connect(exchange, &GatewayExchange::recordAdopted, this,
                [this, index](const GWSetupRecord& record) { adopt(index, record); });
        connect(exchange, &GatewayExchange::finished, this, [this] { --m_openConnections; });
        exchange->start();
    }
}

void GatewaySimulator::adopt(size_t index, const GWSetupRecord& record)
{
    if (index >= m_served.size())
        return;
    SimulatedGateway& g = m_served[index].gateway;
    g.record = record;
    const std::optional<QHostAddress> fixed = fixedAddress(record);
    const bool newKey = record.masterKey() != g.masterKey;
    const bool newAddress = fixed && *fixed != g.address;
    if (g.behaviour == GatewayBehaviour::LongRestart)
        beginRestart(index, g.longRestartMs);
    else if (newKey || newAddress)
        beginRestart(index, g.restartDelayMs);
}

void GatewaySimulator::beginRestart(size_t index, int durationMs)
{
    Served& s = m_served[index];
    if (s.server) {
        s.server->close();
        s.server->deleteLater(); // may be inside its newConnection chain
        s.server = nullptr;
    }
    if (!s.restart) {
        s.restart = new QTimer(this);
        s.restart->setSingleShot(true);
        s.restart->setTimerType(Qt::PreciseTimer);
        connect(s.restart, &QTimer::timeout, this, [this, index] { endRestart(index); });
    }
    s.restart->start(durationMs);
    emit restartBegan(s.gateway, durationMs);
}

void GatewaySimulator::endRestart(size_t index)
{
    Served& s = m_served[index];
    SimulatedGateway& g = s.gateway;
    g.masterKey = g.record.masterKey();
    const QHostAddress previous = g.address;
    const std::optional<QHostAddress> fixed = fixedAddress(g.record);
    if (fixed && *fixed != g.address) {
        QString reason;
        for (const Served& other : m_served) {
            if (&other != &s && other.gateway.address == *fixed)
                reason = u"Adresse belegt von Gateway %1"_s.arg(other.gateway.id.text());
        }
        if (!isLoopbackV4(*fixed))
            reason = u"Adresse außerhalb von 127.0.0.0/8"_s;
        if (reason.isEmpty()) {
            QTcpServer* server = newServer(index);
            if (server->listen(*fixed, m_port)) {
                s.server = server;
                g.address = *fixed;
            } else {
                reason = listenError(*fixed, m_port, *server);
                delete server;
            }
        }
        if (!reason.isEmpty())
            emit addressNotTaken(g, *fixed, reason);
    }
    if (!s.server) {
        QTcpServer* server = newServer(index);
        if (!server->listen(g.address, m_port)) {
            const QString error = listenError(g.address, m_port, *server);
            delete server;
            emit restartFailed(g, error);
            return;
        }
        s.server = server;
    }
    if (g.address != previous)
        emit moved(g, previous);
    emit restartEnded(g);
}

bool GatewaySimulator::isRestarting(const QHostAddress& address) const
{
    for (const Served& s : m_served) {
        if (s.gateway.address == address)
            return s.restart && s.restart->isActive();
    }
    return false;
}

void GatewaySimulator::closeServers()
{
    for (Served& s : m_served) {
        delete s.server;
        s.server = nullptr;
        delete s.restart;
        s.restart = nullptr;
    }
    m_port = 0;
}

void GatewaySimulator::close()
{
    closeServers();
    // Exchanges still open: dropped, not deleted here, since close() may run inside one of their signals.
    const QList<GatewayExchange*> exchanges = findChildren<GatewayExchange*>(Qt::FindDirectChildrenOnly);
    for (GatewayExchange* exchange : exchanges) {
        disconnect(exchange, nullptr, this, nullptr);
        exchange->drop();
    }
    m_openConnections = 0;
    m_served.clear();
}

QList<SimulatedGateway> GatewaySimulator::gateways() const
{
    QList<SimulatedGateway> list;
    for (const Served& s : m_served)
        list.append(s.gateway);
    return list;
}

bool GatewaySimulator::setBehaviour(const QHostAddress& address, GatewayBehaviour behaviour, int lengthField)
{
    for (Served& s : m_served) {
        if (s.gateway.address == address) {
            s.gateway.behaviour = behaviour;
            s.gateway.lengthField = lengthField;
            return true;
        }
    }
    return false;
}
