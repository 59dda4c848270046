#pragma once

#include "GatewaySession.h"
#include "setups/RecordFields.h"

#include <QObject>
#include <QStringList>

#include <deque>

// One template setup applied to many listed gateways: each gateway keeps its own setup but for the
// fleet fields, which it takes from the template; its setup file is written, the setup sent and
// read back, at most maxTransfers at once. A dry run only says what would change.
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
        QList<RecordField> fields; // empty: the fleet fields
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
        QStringList changed; // "SECTION/KEY" of every field the gateway's setup changes in
        Result result = Result::Running;
        QString reason; // German, for every result but Verified, Unchanged and DryRun
    };

    // The template as a setup: a setup file that converts, or the reason it does not.
    static ::Result<GWSetupRecord> readTemplate(const QString& path);
    // "NETZWERK/PORT,WM-BUS/MODET" into fields; a name no setup file knows is refused.
    static ::Result<QList<RecordField>> parseFields(const QString& text);
    // "0A.1B.2C,0A.1B.2D" into gateway IDs.
    static ::Result<QList<GatewayId>> parseIds(const QString& text);
    static QString resultKey(Result result);  // "verified", ... as the JSON report names them
    static QString resultText(Result result); // German, for the window's tables
    // "Vorlage NAME: 2 übernommen und geprüft, 1 übersprungen", results in the order of Result.
    QString summary(const QString& templateName) const;

    explicit TemplateApply(GatewaySession& session, QObject* parent = nullptr);

    // Plans the run over the session's list and starts it (a dry run is complete when this returns).
    // Fails, with nothing sent, when the template does not convert.
    Status start(const Options& options);
    bool running() const { return m_running; }
    const QList<Outcome>& outcomes() const { return m_outcomes; }
    // 0 when every targeted gateway ended verified or unchanged (or on a dry run), else 1.
    int exitCode() const;

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
};
