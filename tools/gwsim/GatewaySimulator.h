#pragma once

#include "ReceivedSetup.h"
#include "SimulatedGateway.h"

#include <QList>
#include <QObject>
#include <QString>

#include <vector>

class QTcpServer;
class QTimer;

// Simulated gateways for tests and development, all on one TCP port, one listening socket per
// address. Each accepted connection is one exchange (GatewayExchange) with fresh random key
// material:
//   03 00 37 00 -> the 1130-byte type-20 answer carrying the gateway's record
//   03 00 41 00 -> a 26-byte answer (id, key material, one block), then the 1123-byte setup telegram
//                  is read and answered with 0x06 (or as the behaviour says); a well-formed setup
//                  that is acknowledged becomes the gateway's record for later reads.
// The master key of an exchange is SimulatedGateway::masterKey (its inverse for WrongKey).
//
// Restart: when an adopted record carries another master key than the gateway uses, or has DHCP off
// with a fixed address other than the one the gateway listens on, the gateway stops listening for
// restartDelayMs (connections are refused; connections already open run to their end). Then it uses
// the record's master key and, for a fixed address inside 127.0.0.0/8 that no other gateway uses,
// listens there on the same port; any other new address is not taken and the gateway stays where
// it was. LongRestart restarts for longRestartMs after every adopted setup, with or without changes.
//
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
    // Stops listening, ends restarts and drops every open connection.
    void close();
    bool isListening() const { return !m_served.empty(); }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

    // The gateways as they stand now: current address and master key, adopted records included.
    QList<SimulatedGateway> gateways() const;
    // True while the gateway listening (or last listening) on address restarts.
    bool isRestarting(const QHostAddress& address) const;
    // Changes a gateway's behaviour for connections accepted from now on; false for an unknown address.
    bool setBehaviour(const QHostAddress& address, GatewayBehaviour behaviour, int lengthField = 0);

    // Every setup telegram received so far, in order, well-formed or not.
    QList<ReceivedSetup> received() const { return m_received; }
    int exchangesStarted() const { return m_exchangesStarted; }
    int openConnections() const { return m_openConnections; }

signals:
    void setupReceived(const ReceivedSetup& setup);
    // gateway as it stands when the restart begins: old address and key, the adopted record.
    void restartBegan(const SimulatedGateway& gateway, int durationMs);
    // The gateway listens on a new address (gateway.address) from now on.
    void moved(const SimulatedGateway& gateway, const QHostAddress& previousAddress);
    // The record's fixed address was not taken; the gateway stays on gateway.address.
    void addressNotTaken(const SimulatedGateway& gateway, const QHostAddress& fixedAddress, const QString& reason);
    // The restart is over; the gateway answers again with gateway.masterKey on gateway.address.
    void restartEnded(const SimulatedGateway& gateway);
    // After a restart the gateway could not listen again, not even on its old address.
    void restartFailed(const SimulatedGateway& gateway, const QString& reason);

private:
    struct Served
    {
        SimulatedGateway gateway;
        QTcpServer* server = nullptr; // null while restarting
        QTimer* restart = nullptr;
    };

    void accept(size_t index);
    void adopt(size_t index, const GWSetupRecord& record);
    void beginRestart(size_t index, int durationMs);
    void endRestart(size_t index);
    QTcpServer* newServer(size_t index);
    static QString listenError(const QHostAddress& address, quint16 port, const QTcpServer& server);
    bool bindAll(quint16 port, bool& addressInUse);
    void closeServers();

    std::vector<Served> m_served;
    QList<ReceivedSetup> m_received;
    QString m_error;
    quint16 m_port = 0;
    int m_exchangesStarted = 0;
    int m_openConnections = 0;
};
