#pragma once

#include "ReceivedSetup.h"
#include "SimulatedGateway.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class QTcpServer;

// Simulated gateways for tests and development, all on one TCP port, one listening socket per
// address. Each accepted connection is one exchange (GatewayExchange) with fresh random key
// material:
//   03 00 37 00 -> the 1130-byte type-20 answer carrying the gateway's record
//   03 00 41 00 -> a 26-byte answer (id, key material, one block), then the 1123-byte setup telegram
//                  is read and answered with 0x06 (or as the behaviour says); a well-formed setup
//                  that is acknowledged becomes the gateway's record for later reads.
// The master key of an exchange is always SimulatedGateway::masterKey (its inverse for WrongKey);
// the master key field of an adopted record is carried, not put into use.
// Only loopback and the documentation ranges are ever served (see isPermittedAddress).
class GatewaySimulator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GatewaySimulator)

public:
    explicit GatewaySimulator(QObject* parent = nullptr);
    ~GatewaySimulator() override;

    // True for 127.0.0.0/8, ::1 and the documentation ranges 192.0.2.0/24, 198.51.100.0/24 and
    // 203.0.113.0/24 (these exist only inside network namespaces made for tests); false for every
    // other address.
    static bool isPermittedAddress(const QHostAddress& address);

    // Listens on every gateway's address with the same port. Port 0 picks one that is free on all of
    // them (a few attempts). False, with errorString(), when an address is refused, appears twice, or
    // cannot be bound; nothing is left listening then. Stops a previous listen first.
    bool listen(const QList<SimulatedGateway>& gateways, quint16 port = 0);
    // Stops listening and drops every open connection.
    void close();
    bool isListening() const { return !m_servers.empty(); }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // The gateways as they stand now, adopted records included.
    QList<SimulatedGateway> gateways() const;
    // Changes a gateway's behaviour for connections accepted from now on; false for an unknown address.
    bool setBehaviour(const QHostAddress& address, GatewayBehaviour behaviour, int lengthField = 0);

    // Every setup telegram received so far, in order, well-formed or not.
    QList<ReceivedSetup> received() const { return m_received; }
    int exchangesStarted() const { return m_exchangesStarted; }
    int openConnections() const { return m_openConnections; }

signals:
    void setupReceived(const ReceivedSetup& setup);

private:
    void accept(int gatewayIndex);
    bool bindAll(quint16 port, bool& addressInUse);
    void closeServers();

    std::vector<SimulatedGateway> m_gateways;
    std::vector<QTcpServer*> m_servers; // parallel to m_gateways while listening
    QList<ReceivedSetup> m_received;
    QString m_error;
    quint16 m_port = 0;
    int m_exchangesStarted = 0;
    int m_openConnections = 0;
};
