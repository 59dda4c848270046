#pragma once

#include "TelegramCipher.h"
#include "setups/GWSetupRecord.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// Sends one setup record to one gateway: connect, write request, answer (identifier and key
// material), the 1123-byte setup telegram, acknowledgement 0x06. finished() fires exactly once per
// start(): as soon as the outcome is certain; at the latest BackstopMs after the start while the
// telegram has not gone out, else AckWindowMs after it went out.
class SetupTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetupTransfer)

public:
    static constexpr int AnswerBeginMs = 800; // the write answer must begin within this
    static constexpr int AnswerRestMs = 1000; // and be whole within this much more
    static constexpr int AckWindowMs = 3000;  // 1000 ms, then 2000 ms more
    static constexpr int BackstopMs = 4000;

    enum class Outcome
    {
        Acknowledged,
        Refused,
        NoAnswer,
        OtherGateway,
        NotAcknowledged
    };

    struct Request
    {
        QHostAddress host;
        quint16 port = 30;
        int connectTimeoutMs = 1000;
        GWSetupRecord record;
        MasterKey masterKey{};
        std::optional<GatewayId> expectedId; // nothing is sent when another gateway answers
    };

    explicit SetupTransfer(QObject* parent = nullptr);
    ~SetupTransfer() override;

    void start(const Request& request);
    void cancel(); // ends without finished()
    bool running() const { return m_running; }
    // The identifier the gateway reported in its answer to the write request (valid once it came).
    const GatewayId& answeredId() const { return m_answeredId; }

    static QString successMessage();
    static QString failureMessage();

signals:
    // message: the German text for the user.
    void finished(bool acknowledged, SetupTransfer::Outcome outcome, const QString& message);

private:
    enum class Stage
    {
        Connecting,
        WaitingAnswer,
        WaitingAck
    };
    void onConnected();
    void onReadyRead();
    void onStageTimeout();
    void onClosed();
    void sendTelegram();
    void fail(Outcome outcome, const QString& detail = QString());
    void succeed();
    void end();

    QTcpSocket* m_socket = nullptr;
    QTimer m_stageTimer;
    QTimer m_backstop;
    Request m_request;
    QByteArray m_buffer;
    GatewayId m_answeredId;
    Stage m_stage = Stage::Connecting;
    bool m_running = false;
    bool m_answerBegun = false;
};
