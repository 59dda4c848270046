#pragma once

#include "ExchangeTimings.h"
#include "TelegramCipher.h"
#include "setups/GWSetupRecord.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// Sends one setup record to one gateway: connect, write request, answer (identifier and key
// material), the 1123-byte setup telegram, acknowledgement 0x06. finished() fires exactly once per
// start(): as soon as the outcome is certain; at the latest transferLimitMs after the start while
// the telegram has not gone out, else the acknowledgement window after it went out.
class SetupTransfer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetupTransfer)

public:
    enum class Outcome
    {
        Acknowledged,    // first byte 0x06
        NotAcknowledged, // another first byte, or nothing within the acknowledgement window
        Refused,         // no connection
        NoAnswer,        // the write request got no usable answer; nothing was sent
        OtherGateway,    // another gateway answered at the address; nothing was sent
        NoCipher,        // AES could not be set up; nothing was sent
    };

    struct Request
    {
        QHostAddress host;
        quint16 port = 30;
        ExchangeTimings timings;
        GWSetupRecord record;
        MasterKey masterKey{};
        GatewayId expectedId; // nothing is sent when another gateway answers
    };

    struct Report
    {
        Outcome outcome = Outcome::NoAnswer;
        QHostAddress host;
        GatewayId expectedId;
        GatewayId answeredId; // valid once the write answer came
        bool telegramSent = false;

        bool acknowledged() const { return outcome == Outcome::Acknowledged; }
        // "Die Übertragung war erfolgreich!" or "Die Übertragung war NICHT erfolgreich!", the latter
        // with the reason when nothing was sent because another gateway answered.
        QString message() const;
        // Why it failed, in a few German words ("keine Bestätigung"); empty when acknowledged.
        QString reason() const;
    };

    explicit SetupTransfer(QObject* parent = nullptr);
    ~SetupTransfer() override;

    void start(const Request& request);
    void cancel(); // ends without finished()
    bool running() const { return m_running; }

    static QString successMessage();
    static QString failureMessage();

signals:
    void finished(const SetupTransfer::Report& report);

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
    void finish(Outcome outcome);
    void end();

    QTcpSocket* m_socket = nullptr;
    QTimer m_stageTimer;
    QTimer m_limit;
    Request m_request;
    Report m_report;
    QByteArray m_buffer;
    Stage m_stage = Stage::Connecting;
    bool m_running = false;
    bool m_answerBegun = false;
};

Q_DECLARE_METATYPE(SetupTransfer::Report)
