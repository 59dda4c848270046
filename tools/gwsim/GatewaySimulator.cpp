#include "GatewaySimulator.h"

#include "GatewayExchange.h"

#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {
constexpr int PortAttempts = 8;
}

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
    m_gateways.assign(gateways.cbegin(), gateways.cend());

    const int attempts = port == 0 ? PortAttempts : 1;
    for (int i = 0; i < attempts; ++i) {
        bool addressInUse = false;
        if (bindAll(port, addressInUse))
            return true;
        if (!addressInUse)
            break;
    }
    m_gateways.clear();
    return false;
}

bool GatewaySimulator::bindAll(quint16 port, bool& addressInUse)
{
    quint16 chosen = port;
    for (size_t i = 0; i < m_gateways.size(); ++i) {
        auto* server = new QTcpServer(this);
        if (!server->listen(m_gateways[i].address, chosen)) {
            addressInUse = server->serverError() == QAbstractSocket::AddressInUseError;
            m_error = u"Lauschen auf %1 Port %2 nicht möglich: %3"_s.arg(m_gateways[i].address.toString())
                          .arg(chosen)
                          .arg(server->errorString());
            delete server;
            closeServers();
            return false;
        }
        chosen = server->serverPort();
        const int index = int(i);
        connect(server, &QTcpServer::newConnection, this, [this, index] { accept(index); });
        m_servers.push_back(server);
    }
    m_port = chosen;
    m_error.clear();
    return true;
}

void GatewaySimulator::accept(int gatewayIndex)
{
    QTcpServer* server = m_servers[size_t(gatewayIndex)];
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        ++m_exchangesStarted;
        ++m_openConnections;
        auto* exchange = new GatewayExchange(socket, m_gateways[size_t(gatewayIndex)], this);
        connect(exchange, &GatewayExchange::setupReceived, this, [this](const ReceivedSetup& setup) {
            m_received.append(setup);
            emit setupReceived(setup);
        });
        connect(exchange, &GatewayExchange::recordAdopted, this, [this, gatewayIndex](const GWSetupRecord& r) {
            if (size_t(gatewayIndex) < m_gateways.size())
                m_gateways[size_t(gatewayIndex)].record = r;
        });
        connect(exchange, &GatewayExchange::finished, this, [this] { --m_openConnections; });
        exchange->start();
    }
}

void GatewaySimulator::closeServers()
{
    for (QTcpServer* server : m_servers) {
        server->close();
        delete server;
    }
    m_servers.clear();
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
    m_gateways.clear();
}

QList<SimulatedGateway> GatewaySimulator::gateways() const
{
    return QList<SimulatedGateway>(m_gateways.cbegin(), m_gateways.cend());
}

bool GatewaySimulator::setBehaviour(const QHostAddress& address, GatewayBehaviour behaviour, int lengthField)
{
    for (SimulatedGateway& g : m_gateways) {
        if (g.address == address) {
            g.behaviour = behaviour;
            g.lengthField = lengthField;
            return true;
        }
    }
    return false;
}
