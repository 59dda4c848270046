#include "TemplateApply.h"

#include "base/EnumNames.h"
#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"

#include <algorithm>

#include <QMap>

TemplateApply::TemplateApply(GatewaySession& session, QObject* parent) : QObject(parent), m_session(session)
{
    connect(&m_session, &GatewaySession::transferFinished, this, [this](const SetupTransfer::Report& report) {
        const int index = indexOf(report.host);
        if (index < 0 || !m_running)
            return;
        if (!report.acknowledged()) {
            settle(report.host, Result::NotAcknowledged, report.reason());
            return;
        }
        // The gateway took it: from now on its file says what it was sent.
        Outcome& o = m_outcomes[index];
        o.fileStatus = SetupRecordToFile(m_session.setupsFolder(), o.id, m_records.value(o.ip.toIPv4Address()));
        if (!m_session.transferRunning(report.host))
            settle(report.host, Result::Acknowledged, QStringLiteral("ohne Kontrolle"));
    });
    connect(&m_session, &GatewaySession::verificationFinished, this, [this](const SetupVerifier::Report& report) {
        const int index = indexOf(report.host);
        if (index < 0 || !m_running)
            return;
        using R = SetupVerifier::Report::Result;
        const QStringList lines = report.lines();
        if (report.result == R::Verified) {
            settle(report.host, Result::Verified, lines.mid(1).join(QLatin1Char('\n')));
            return;
        }
        if (report.result == R::Differs) {
            // The file holds what the gateway reports, not what it was meant to take.
            m_outcomes[index].fileStatus = SetupRecordToFile(m_session.setupsFolder(), report.id, *report.readBack);
            settle(report.host, Result::Differs, lines.mid(1).join(QLatin1Char('\n')));
            return;
        }
        settle(report.host, Result::Acknowledged, lines.join(QLatin1Char('\n')));
    });
}

::Result<GWSetupRecord> TemplateApply::readTemplate(const QString& path, const QList<RecordField>& fields)
{
    const ::Result<IniFile> ini = IniFile::load(path);
    if (!ini)
        return ::Result<GWSetupRecord>::failure(ini.message());
    if (!ini->existedOnLoad())
        return ::Result<GWSetupRecord>::failure(QStringLiteral("Die Vorlage %1 gibt es nicht.").arg(path));
    QStringList missing;
    for (const QString& name : requiredKeys(fields.isEmpty() ? defaultFleetFields() : fields)) {
        const QString section = name.section(QLatin1Char('/'), 0, 0), key = name.section(QLatin1Char('/'), 1);
        if (key.isEmpty() ? !ini->hasSection(section) : !ini->hasKey(section, key))
            missing << name;
    }
    if (!missing.isEmpty())
        return ::Result<GWSetupRecord>::failure(
            QStringLiteral("Der Vorlage %1 fehlen Schlüssel der gewählten Felder: %2. Es wurde nichts gesendet.")
                .arg(path, missing.join(QStringLiteral(", "))));
    // Keys of fields not taken may be missing: they are filled with values that convert (and are
    // never copied), so that only what the template holds can refuse it.
    IniFile complete = *ini;
    GWSetupRecord filler;
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        filler.setManufacturerCode(n, "AAA");
    filler.setServerPort(1);
    for (const SetupFileValue& v : recordFileValues(filler))
        if (!complete.hasKey(v.section, v.key))
            (void)complete.writeString(v.section, v.key, v.text);
    GWSetupRecord record;
    if (const Status converted = SetupIniToRecord(complete, GatewayId(), record); !converted)
        return ::Result<GWSetupRecord>::failure(
            QStringLiteral("Die Vorlage %1 ist kein gültiges Setup: %2").arg(path, converted.message()));
    return record;
}

::Result<QList<RecordField>> TemplateApply::parseFields(const QString& text)
{
    return parseFieldList(text);
}

::Result<QList<GatewayId>> TemplateApply::parseIds(const QString& text)
{
    QList<GatewayId> ids;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const std::optional<GatewayId> id = GatewayId::fromText(part.trimmed());
        if (!id)
            return ::Result<QList<GatewayId>>::failure(QStringLiteral("Ungültige GWID: \"%1\"").arg(part.trimmed()));
        ids << *id;
    }
    if (ids.isEmpty())
        return ::Result<QList<GatewayId>>::failure(QStringLiteral("--only nennt keine GWID"));
    return ids;
}

namespace {

constexpr EnumNames<TemplateApply::Result, 9> ResultNames{{
    {TemplateApply::Result::Verified, u"verified", u"übernommen und geprüft"},
    {TemplateApply::Result::Acknowledged, u"acknowledged", u"bestätigt, nicht geprüft"},
    {TemplateApply::Result::NotAcknowledged, u"not-acknowledged", u"nicht bestätigt"},
    {TemplateApply::Result::Differs, u"differs", u"bestätigt, aber abweichend"},
    {TemplateApply::Result::Refused, u"refused", u"abgelehnt"},
    {TemplateApply::Result::Skipped, u"skipped", u"übersprungen"},
    {TemplateApply::Result::Unchanged, u"unchanged", u"unverändert"},
    {TemplateApply::Result::DryRun, u"dry-run", u"würde gesendet"},
    {TemplateApply::Result::Running, u"running", u"läuft"},
}};
static_assert(namesInOrder(ResultNames));

} // namespace

QString TemplateApply::resultKey(Result result)
{
    return wordOf(ResultNames, result);
}

QString TemplateApply::resultText(Result result)
{
    return textOf(ResultNames, result);
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
    return QStringLiteral("Vorlage %1: %2").arg(templateName, parts.join(summarySeparator()));
}

Status TemplateApply::start(const Options& options)
{
    const QList<RecordField> fields = options.fields.isEmpty() ? defaultFleetFields() : options.fields;
    const ::Result<GWSetupRecord> templ = readTemplate(options.templatePath, fields);
    if (!templ)
        return Status::failure(templ.message());

    m_outcomes.clear();
    m_records.clear();
    m_queue.clear();
    m_dryRun = options.dryRun;
    m_verifyOff = m_session.timings().verifyWindowMs <= 0;
    QList<GatewayId> notListed = options.only;
    for (const GatewayRow& row : m_session.list().rows()) {
        if (!options.only.isEmpty() && !options.only.contains(row.id))
            continue;
        notListed.removeAll(row.id);
        Outcome o{row.address, row.id, {}, {}, Result::Skipped, QString(), Status()};
        const GatewayRead* read = m_session.lastRead(row.address);
        if (row.state == GatewayRow::State::DuplicateId) {
            o.result = Result::Refused;
            o.reason = duplicateIdMessage(row.id, row.sameIdText());
            o.duplicateId = true;
        } else if (row.state == GatewayRow::State::OtherKey) {
            o.reason = QStringLiteral("anderer Master Key");
        } else if (row.state == GatewayRow::State::OtherType) {
            o.reason = QStringLiteral("kein Setup gemeldet (anderer Telegrammtyp)");
        } else if (row.state == GatewayRow::State::Incomplete) {
            o.reason = QStringLiteral("Antwort unvollständig");
        } else if (row.state == GatewayRow::State::SetupNotStored) {
            o.reason = QStringLiteral("Setup nicht gespeichert: %1").arg(row.stored.message());
        } else if (!read || !read->record) {
            o.reason = QStringLiteral("kein Setup gelesen");
        }
        if (o.reason.isEmpty()) {
            GWSetupRecord next = *read->record; // the gateway's own setup, fleet fields from the template
            for (const RecordField& field : fields)
                field.copy(*templ, next);
            o.difference = compareRecords(*read->record, next);
            for (const FieldChange& c : describeChanges(*read->record, next, o.difference))
                o.changed << c.text();
            o.result = o.changed.isEmpty() ? Result::Unchanged : options.dryRun ? Result::DryRun : Result::Running;
            if (const QString problem = FieldRules::fixedAddressProblem(next);
                !problem.isEmpty() && o.result != Result::Unchanged) {
                o.result = Result::Refused;
                o.reason = problem;
            }
            if (o.result == Result::Running) {
                m_records.insert(row.address.toIPv4Address(), next);
                m_queue.push_back(int(m_outcomes.size()));
            }
        }
        m_outcomes << o;
    }
    for (const GatewayId& id : std::as_const(notListed))
        m_outcomes << Outcome{QHostAddress(), id, {}, {}, Result::Skipped, QStringLiteral("nicht gefunden"), Status()};

    // Two gateways with one ID: nothing is sent to any gateway of this run.
    if (std::any_of(m_outcomes.cbegin(), m_outcomes.cend(), [](const Outcome& o) { return o.duplicateId; })) {
        for (Outcome& o : m_outcomes)
            if (o.result == Result::Running) {
                o.result = Result::Skipped;
                o.reason = QStringLiteral("nicht gesendet: eine GWID meldet sich an mehreren Adressen");
            }
        m_queue.clear();
        m_records.clear();
    }

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
        const Status started = m_session.sendRecord(o.ip, o.id, m_records.value(o.ip.toIPv4Address()));
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
    Outcome& o = m_outcomes[index];
    o.result = result;
    o.reason = reason;
    if (!o.fileStatus)
        o.reason += (o.reason.isEmpty() ? QString() : QStringLiteral("\n")) +
                    QStringLiteral("Setup-Datei nicht geschrieben: %1").arg(o.fileStatus.message());
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

QString TemplateApply::notFoundText() const
{
    if (m_outcomes.isEmpty())
        return QStringLiteral("Kein Gateway gefunden, auf das die Vorlage angewendet werden könnte.");
    QStringList missing;
    for (const Outcome& o : m_outcomes)
        if (o.ip.isNull())
            missing << o.id.text();
    if (missing.isEmpty())
        return QString();
    return QStringLiteral("Nicht gefunden: %1. Diese Gateways haben im Scan nicht geantwortet.")
        .arg(missing.join(QStringLiteral(", ")));
}

int TemplateApply::exitCode() const
{
    for (const Outcome& o : m_outcomes)
        if (o.duplicateId)
            return 2;
    if (!notFoundText().isEmpty())
        return 1;
    if (m_dryRun)
        return 0;
    for (const Outcome& o : m_outcomes) {
        const bool fine = o.result == Result::Verified || o.result == Result::Unchanged ||
                          (m_verifyOff && o.result == Result::Acknowledged);
        if (!fine || !o.fileStatus)
            return 1;
    }
    return 0;
}
