#pragma once

#include "ReceivedSetup.h"
#include "SimulatedGateway.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One accepted connection of a simulated gateway: one exchange, with its own buffers, key material
// and timers. Owns the socket and deletes itself (deleteLater) once the connection is gone.
class GatewayExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GatewayExchange)

public:
    // gateway is copied: the exchange answers with the setup as it stood when the connection came.
    GatewayExchange(QTcpSocket* socket, const SimulatedGateway& gateway, QObject* parent = nullptr);
    ~GatewayExchange() override;

    // Call after connecting the signals.
    void start();
    // Aborts the connection and deletes the exchange later, without emitting anything more.
    void drop();

signals:
    void setupReceived(const ReceivedSetup& setup);
    // A well-formed setup has been acknowledged with 0x06: the gateway takes it over.
    void recordAdopted(const GWSetupRecord& record);
    void finished();

private:
    enum class State
    {
        AwaitRequest,
        Answering,
        AwaitSetup,
        Done
    };

    void onReadyRead();
    void onDisconnected();
    void answerRead();
    void answerWrite();
    void takeSetup(const QByteArray& telegram);
    void acknowledge(const QByteArray& bytes, bool adopt);
    void paceOneByte();
    void feedFlood();
    void resetConnection();
    QByteArray readFrame() const;
    MasterKey exchangeKey() const;

    QTcpSocket* m_socket;
    SimulatedGateway m_gateway;
    KeyMaterial m_keyMaterial{};
    State m_state = State::AwaitRequest;
    QByteArray m_input;
    QByteArray m_output; // bytes still to be paced out (Split, ByteWise, Trickle)
    int m_paced = 0;     // Trickle: bytes sent so far
    qint64 m_floodLeft = 0;
    GWSetupRecord m_pendingRecord; // LateAck: adopted when the late 0x06 goes out
    QTimer m_timer;
    bool m_finished = false;
};
