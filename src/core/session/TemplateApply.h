#pragma once

#include "GatewaySession.h"
#include "setups/RecordFields.h"
#include "setups/SetupDiff.h"

#include <QObject>
#include <QStringList>

#include <deque>

// One template setup applied to many listed gateways: each gateway keeps its own setup but for the
// fleet fields, which it takes from the template; the setup is sent and read back, at most
// MaxTransfers at once. A gateway's setup file follows the gateway: it is written once the gateway
// acknowledged, with what the gateway reported when its read-back differs. A dry run only says
// what would change and writes nothing.
class TemplateApply final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TemplateApply)

public:
    static constexpr int MaxTransfers = 8;

    struct Options
    {
        QString templatePath;
        QList<GatewayId> only;     // empty: every listed gateway
        QList<RecordField> fields; // empty: the default groups (defaultFleetFields())
        bool dryRun = false;
    };

    enum class Result
    {
        Verified,
        Acknowledged,
        NotAcknowledged,
        Differs,
        Refused,
        Skipped,
        Unchanged,
        DryRun,
        Running
    };
    struct Outcome
    {
        QHostAddress ip;
        GatewayId id;
        QStringList changed;               // each change in the user's words: "Server Port: 5035 → 7100"
        QList<FieldDifference> difference; // the same by SECTION/KEY: gateway's value, then the template's
        Result result = Result::Running;
        QString reason;           // German, for every result but Verified, Unchanged and DryRun
        Status fileStatus;        // the setup file written after the acknowledgement
        bool duplicateId = false; // refused: another address reports the same gateway ID
    };

    // The template as a setup: a setup file that converts and holds every key of fields (empty: the
    // default groups), or the reason it does not, naming the missing keys. Keys the fields do not
    // name may be missing: a template holding only the server name and port is fine.
    static ::Result<GWSetupRecord> readTemplate(const QString& path, const QList<RecordField>& fields = {});
    // "NETZWERK/PORT,Server,WM-BUS_IDS" into fields (parseFieldList); a name neither a field nor a
    // group is refused.
    static ::Result<QList<RecordField>> parseFields(const QString& text);
    // "0A.1B.2C,0A.1B.2D" into gateway IDs.
    static ::Result<QList<GatewayId>> parseIds(const QString& text);
    static QString resultKey(Result result);  // "verified", ... as the JSON report names them
    static QString resultText(Result result); // German, for the window's tables
    // "Vorlage NAME: 2 übernommen und geprüft · 1 übersprungen", results in the order of Result;
    // the separator is one that no result text holds.
    QString summary(const QString& templateName) const;
    static QString summarySeparator() { return QStringLiteral(" · "); }

    explicit TemplateApply(GatewaySession& session, QObject* parent = nullptr);

    // Plans the run over the session's list and starts it (a dry run is complete when this returns).
    // Fails, with nothing sent, when the template does not convert.
    Status start(const Options& options);
    bool running() const { return m_running; }
    const QList<Outcome>& outcomes() const { return m_outcomes; }
    // 2 when a targeted gateway ID was reported by several addresses (nothing was sent to them);
    // 1 when a gateway named by --only was not found, no gateway was targeted at all, or a targeted
    // gateway did not end verified or unchanged (acknowledged counts as best when the read-back is
    // off), or its setup file could not be written; else 0. A dry run is 0 unless 2 or 1 for
    // gateways missing.
    int exitCode() const;
    // Why nothing was applied to some named gateway or to any (German), or empty.
    QString notFoundText() const;

signals:
    void outcomeChanged(int index);
    void finished();

private:
    void launchMore();
    void settle(const QHostAddress& host, Result result, const QString& reason = QString());
    int indexOf(const QHostAddress& host) const;

    GatewaySession& m_session;
    QList<Outcome> m_outcomes;
    QHash<quint32, GWSetupRecord> m_records; // what each queued gateway is to get
    std::deque<int> m_queue;
    int m_active = 0;
    bool m_running = false;
    bool m_dryRun = false;
    bool m_verifyOff = false;
};
