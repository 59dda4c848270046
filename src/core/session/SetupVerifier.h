#pragma once

#include "link/ReadExchange.h"
#include "link/ScanEngine.h"
#include "link/TelegramCipher.h"
#include "setups/SetupDiff.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

// Reads a gateway back after it acknowledged a setup and compares what it reports with what was
// sent. The gateway may restart to take the setup, so the read is repeated (every verifyRetryMs)
// while it does not answer or still reports something else, until the verify window ends; the
// first read that matches ends it, otherwise the last one is reported. A gateway told to take a
// fixed address inside the segment is also looked for there; one outside is never contacted.
class SetupVerifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetupVerifier)

public:
    struct Plan
    {
        QHostAddress host; // where the setup was sent
        GatewayId id;
        GWSetupRecord sent;
        MasterKey sessionKey{}; // the key the setup was sent with
        Segment segment;        // the only addresses that may be contacted besides host
        quint16 port = 30;
        ExchangeTimings timings;   // the read-back ends within timings.verifyWindowMs
        bool dhcpTurnedOn = false; // the setup switches DHCP on where the gateway had a fixed address
    };

    struct Report
    {
        enum class Result
        {
            Verified,
            Differs,
            NoAnswer
        };
        Result result = Result::NoAnswer;
        QHostAddress host;
        GatewayId id;
        QHostAddress answeredFrom; // where the reported setup came from
        MasterKey key{};           // the key it decrypted with
        bool newKey = false;       // that is the sent setup's key, not the one it was sent with
        GWSetupRecord sent;
        std::optional<GWSetupRecord> readBack;
        QList<FieldDifference> differences;         // sent against read
        std::optional<QHostAddress> fixedElsewhere; // the new fixed address, outside the segment: not contacted
        bool fixedOnEdge = false;                   // fixedElsewhere is the segment's .0 or .255
        bool unknownKey = false; // the gateway answered, but with a key neither side of the send knows
        bool dhcpTurnedOn = false;
        int windowMs = 0;

        bool moved() const { return readBack && !answeredFrom.isEqual(host); }
        QString keyText() const; // key as 32 hex digits
        // The differences in the user's words (sent against read).
        QList<FieldChange> changes() const;
        // German lines for the user: the outcome, each differing field, where the gateway is now.
        QStringList lines() const;
        // One line for a status bar: the first of lines(), with the number of differing fields instead of them.
        QString statusLine() const;
    };

    explicit SetupVerifier(QObject* parent = nullptr);
    ~SetupVerifier() override;

    void start(const Plan& plan);
    void cancel(); // ends without finished()

signals:
    void finished(const SetupVerifier::Report& report);

private:
    void round();
    void readNext();
    void readDone(const ReadExchange::Outcome& outcome);
    void finish();

    Plan m_plan;
    Report m_report;
    QList<QHostAddress> m_candidates;
    QList<MasterKey> m_keys;
    int m_next = 0;
    std::unique_ptr<ReadExchange> m_read;
    QTimer m_retry;
    QTimer m_window;
    bool m_running = false;
};

Q_DECLARE_METATYPE(SetupVerifier::Report)
