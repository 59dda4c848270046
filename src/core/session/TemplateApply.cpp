#include "TemplateApply.h"
#include "setups/SetupConversion.h"
#include <QMap>

TemplateApply::TemplateApply(GatewaySession& session, QObject* parent) : QObject(parent), m_session(session)
{
    connect(&m_session, &GatewaySession::transferFinished, this, [this](const SetupTransfer::Report& report) {
        if (indexOf(report.host) < 0 || !m_running)
            return;
        if (!report.acknowledged())
            settle(report.host, Result::NotAcknowledged, report.reason());
        else if (!m_session.transferRunning(report.host))
            settle(report.host, Result::Acknowledged, QStringLiteral("ohne Kontrolle"));
    });
    connect(&m_session, &GatewaySession::verificationFinished, this, [this](const SetupVerifier::Report& report) {
        if (indexOf(report.host) < 0 || !m_running)
            return;
        using R = SetupVerifier::Report::Result;
        if (report.result == R::Verified)
            settle(report.host, Result::Verified);
        else if (report.result == R::Differs)
            settle(report.host, Result::Differs, report.lines().mid(1).join(QStringLiteral("; ")));
        else
            settle(report.host, Result::Acknowledged, QStringLiteral("Kontrolle ohne Antwort"));
    });
}

::Result<GWSetupRecord> TemplateApply::readTemplate(const QString& path)
{
    const ::Result<IniFile> ini = IniFile::load(path);
    if (!ini)
        return ::Result<GWSetupRecord>::failure(ini.message());
    if (!ini->existedOnLoad())
        return ::Result<GWSetupRecord>::failure(QStringLiteral("Die Vorlage %1 gibt es nicht.").arg(path));
    GWSetupRecord record;
    if (const Status converted = SetupIniToRecord(*ini, GatewayId(), record); !converted)
        return ::Result<GWSetupRecord>::failure(
            QStringLiteral("Die Vorlage %1 ist kein gültiges Setup: %2").arg(path, converted.message()));
    return record;
}

::Result<QList<RecordField>> TemplateApply::parseFields(const QString& text)
{
    QList<RecordField> fields;
    for (const QString& name : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const std::optional<RecordField> field = recordField(name);
        if (!field)
            return ::Result<QList<RecordField>>::failure(
                QStringLiteral("Unbekanntes Feld: \"%1\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei, z.B. "
                               "NETZWERK/PORT)")
                    .arg(name.trimmed()));
        fields << *field;
    }
    if (fields.isEmpty())
        return ::Result<QList<RecordField>>::failure(QStringLiteral("--fields nennt kein Feld"));
    return fields;
}

::Result<QList<GatewayId>> TemplateApply::parseIds(const QString& text)
{
    QList<GatewayId> ids;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const std::optional<GatewayId> id = GatewayId::fromText(part.trimmed());
        if (!id)
            return ::Result<QList<GatewayId>>::failure(QStringLiteral("Ungültige GWID: \"%1\"").arg(part.trimmed()));
        ids << *id;
    }
    if (ids.isEmpty())
        return ::Result<QList<GatewayId>>::failure(QStringLiteral("--only nennt keine GWID"));
    return ids;
}

QString TemplateApply::resultKey(Result result)
{
    switch (result) {
    case Result::Verified:
        return QStringLiteral("verified");
    case Result::Acknowledged:
        return QStringLiteral("acknowledged");
    case Result::NotAcknowledged:
        return QStringLiteral("not-acknowledged");
    case Result::Differs:
        return QStringLiteral("differs");
    case Result::Refused:
        return QStringLiteral("refused");
    case Result::Skipped:
        return QStringLiteral("skipped");
    case Result::Unchanged:
        return QStringLiteral("unchanged");
    case Result::DryRun:
        return QStringLiteral("dry-run");
    case Result::Running:
        return QStringLiteral("running");
    }
    return QString();
}

QString TemplateApply::resultText(Result result)
{
    switch (result) {
    case Result::Verified:
        return QStringLiteral("übernommen und geprüft");
    case Result::Acknowledged:
        return QStringLiteral("bestätigt, nicht geprüft");
    case Result::NotAcknowledged:
        return QStringLiteral("nicht bestätigt");
    case Result::Differs:
        return QStringLiteral("bestätigt, aber abweichend");
    case Result::Refused:
        return QStringLiteral("abgelehnt");
    case Result::Skipped:
        return QStringLiteral("übersprungen");
    case Result::Unchanged:
        return QStringLiteral("unverändert");
    case Result::DryRun:
        return QStringLiteral("würde gesendet");
    case Result::Running:
        return QStringLiteral("läuft");
    }
    return QString();
}

QString TemplateApply::summary(const QString& templateName) const
{
    QMap<Result, int> counts;
    for (const Outcome& o : m_outcomes)
        ++counts[o.result];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.value()).arg(resultText(it.key()));
    if (parts.isEmpty())
        parts << QStringLiteral("kein Gateway");
    return QStringLiteral("Vorlage %1: %2").arg(templateName, parts.join(QStringLiteral(", ")));
}

Status TemplateApply::start(const Options& options)
{
    const ::Result<GWSetupRecord> templ = readTemplate(options.templatePath);
    if (!templ)
        return Status::failure(templ.message());
    QList<RecordField> fields = options.fields;
    if (fields.isEmpty())
        for (const QString& name : fleetFieldNames())
            fields << *recordField(name);

    m_outcomes.clear();
    m_records.clear();
    m_queue.clear();
    m_dryRun = options.dryRun;
    QList<GatewayId> notListed = options.only;
    for (const GatewayRow& row : m_session.list().rows()) {
        if (!options.only.isEmpty() && !options.only.contains(row.id))
            continue;
        notListed.removeAll(row.id);
        Outcome o{row.address, row.id, {}, Result::Skipped, QString()};
        const GatewayRead* read = m_session.lastRead(row.address);
        if (row.state == GatewayRow::State::OtherKey)
            o.reason = QStringLiteral("anderer Master Key");
        else if (row.state == GatewayRow::State::OtherType)
            o.reason = QStringLiteral("kein Setup gemeldet (anderer Telegrammtyp)");
        else if (row.state == GatewayRow::State::Incomplete)
            o.reason = QStringLiteral("Antwort unvollständig");
        else if (row.state == GatewayRow::State::SetupNotStored)
            o.reason = QStringLiteral("Setup nicht gespeichert: %1").arg(row.stored.message());
        else if (!read || !read->record)
            o.reason = QStringLiteral("kein Setup gelesen");
        if (o.reason.isEmpty()) {
            GWSetupRecord next = *read->record; // the gateway's own setup, fleet fields from the template
            for (const RecordField& field : fields)
                field.copy(*templ, next);
            for (const FieldDifference& d : compareRecords(*read->record, next))
                o.changed << (d.key.isEmpty() ? d.section : d.section + QLatin1Char('/') + d.key);
            o.result = o.changed.isEmpty() ? Result::Unchanged : options.dryRun ? Result::DryRun : Result::Running;
            if (o.result == Result::Running) {
                m_records.insert(row.address.toIPv4Address(), next);
                m_queue.push_back(int(m_outcomes.size()));
            }
        }
        m_outcomes << o;
    }
    for (const GatewayId& id : std::as_const(notListed))
        m_outcomes << Outcome{QHostAddress(), id, {}, Result::Skipped, QStringLiteral("nicht gefunden")};

    m_running = true;
    m_active = 0;
    launchMore();
    return {};
}

void TemplateApply::launchMore()
{
    while (m_active < MaxTransfers && !m_queue.empty()) {
        const int index = m_queue.front();
        m_queue.pop_front();
        Outcome& o = m_outcomes[index];
        const GWSetupRecord record = m_records.value(o.ip.toIPv4Address());
        // The file first: what is sent is what the setup file of the gateway says.
        Status started = SetupRecordToFile(m_session.setupsFolder(), o.id, record);
        if (started)
            started = m_session.sendRecord(o.ip, o.id, record);
        if (!started) {
            o.result = Result::Refused;
            o.reason = started.message();
            emit outcomeChanged(index);
            continue;
        }
        ++m_active;
    }
    if (m_active == 0 && m_queue.empty() && m_running) {
        m_running = false;
        emit finished();
    }
}

void TemplateApply::settle(const QHostAddress& host, Result result, const QString& reason)
{
    const int index = indexOf(host);
    if (index < 0 || m_outcomes[index].result != Result::Running)
        return;
    m_outcomes[index].result = result;
    m_outcomes[index].reason = reason;
    --m_active;
    emit outcomeChanged(index);
    launchMore();
}

int TemplateApply::indexOf(const QHostAddress& host) const
{
    for (int i = 0; i < m_outcomes.size(); ++i)
        if (m_outcomes[i].ip.isEqual(host) && m_outcomes[i].result == Result::Running)
            return i;
    return -1;
}

int TemplateApply::exitCode() const
{
    if (m_dryRun)
        return 0;
    for (const Outcome& o : m_outcomes)
        if (o.result != Result::Verified && o.result != Result::Unchanged)
            return 1;
    return 0;
}
