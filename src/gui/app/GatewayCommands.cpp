#include "GatewayCommands.h"

#include "base/SharedFolders.h"
#include "setups/SetupFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

GatewayCommands::GatewayCommands(const Invocation& invocation) : m_in(invocation), m_out(stdout), m_err(stderr)
{}

void GatewayCommands::quit(int code)
{
    m_out.flush();
    m_err.flush();
    QCoreApplication::exit(code);
}

Status GatewayCommands::prepare()
{
    if (m_in.documents)
        SharedFolders::setDocumentsOverride(*m_in.documents);
    Result<ToolSettings> settings = loadToolSettings(SharedFolders::settingsFile());
    if (!settings) {
        m_err << settings.message() << QStringLiteral("\nEs gelten die Vorgaben.\n");
        settings = ToolSettings();
    }
    LinkSettings link = settings->link;
    if (m_in.port)
        link.port = quint16(*m_in.port);
    if (m_in.parallel)
        link.parallel = *m_in.parallel;
    if (m_in.connectTimeout)
        link.connectTimeoutMs = *m_in.connectTimeout;
    if (m_in.noVerify)
        link.verifyTimeoutMs = 0;
    if (!m_in.key.isEmpty())
        link.masterKeyText = m_in.key;
    const Result<MasterKey> key = LinkSettings::masterKeyFromText(link.masterKeyText, true);
    if (!key)
        return Status::from(key);
    m_session.setLinkSettings(link);
    m_session.setMasterKey(*key);
    m_session.setSetupsFolder(SharedFolders::setups());
    m_session.setHistoryFile(scanHistoryPath());
    return {};
}

int GatewayCommands::run()
{
    if (const Status ready = prepare(); !ready) {
        m_err << ready.message() << '\n';
        return 2;
    }
    if (m_in.command == QLatin1String("scan"))
        return scan();
    if (m_in.command == QLatin1String("apply"))
        return apply();
    return m_in.command == QLatin1String("send") ? send() : diff();
}

int GatewayCommands::scan()
{
    const Result<Segment> segment = Segment::fromText(m_in.arguments.value(0));
    if (!segment) {
        m_err << segment.message() << '\n';
        return 2;
    }
    QObject::connect(&m_session, &GatewaySession::progress, [this](int done, int total) {
        if (done % 32 == 0 || done == total)
            m_err << QStringLiteral("Fortschritt: %1/%2\n").arg(done).arg(total) << Qt::flush;
    });
    QObject::connect(&m_session, &GatewaySession::storeFailed, [this](const GatewayRow& row) {
        m_err << QStringLiteral("Setup von %1 (%2) nicht gespeichert: %3\n")
                     .arg(row.gwidText(), row.ipText(), row.stored.message());
    });
    QObject::connect(&m_session, &GatewaySession::scanFinished, [this] { quit(finishScan()); });
    QTimer::singleShot(0, &m_session, [this, s = *segment] { m_session.startScan(s); });
    return QCoreApplication::exec();
}

int GatewayCommands::finishScan()
{
    if (m_in.json) {
        m_out << QJsonDocument(m_session.report()).toJson(QJsonDocument::Indented);
    } else {
        for (const GatewayRow& row : m_session.list().rows())
            m_out << row.ipText() << '\t' << row.gwidText() << '\t' << row.firmwareText() << '\t'
                  << rowStateKey(row.state) << '\t' << (row.change ? changeKey(*row.change) : QStringLiteral("-"))
                  << '\n';
        for (const SeenGateway& gone : m_session.missing())
            m_out << gone.address.toString() << '\t' << gone.id.text() << '\t' << gone.firmware << "\t-\tmissing\n";
        QStringList counts;
        for (int k = 0; k < int(m_session.counts().size()); ++k)
            counts << QStringLiteral("%1 %2").arg(kindKey(GatewayRead::Kind(k))).arg(m_session.counts()[size_t(k)]);
        m_out << QStringLiteral("Adressen: ") << counts.join(QStringLiteral(", ")) << '\n';
    }
    m_err << m_session.scanSummary() << '\n';
    int code = m_session.storeFailures().isEmpty() ? 0 : 3;
    for (const Status& s : {m_session.historyStatus(),
                            m_in.csv.isEmpty() ? Status() : writeGatewayListCsv(m_in.csv, m_session.exportRows())}) {
        if (!s) {
            m_err << s.message() << '\n';
            code = 3;
        }
    }
    return code;
}

bool GatewayCommands::readTarget(const std::function<void(const QHostAddress&, const GatewayId&)>& then)
{
    const QHostAddress host(m_in.arguments.value(0));
    const std::optional<GatewayId> id = GatewayId::fromText(m_in.arguments.value(1));
    if (host.protocol() != QAbstractSocket::IPv4Protocol || !id) {
        m_err << QStringLiteral("Ungültige Adresse oder GWID: %1\n").arg(m_in.arguments.join(QLatin1Char(' ')));
        return false;
    }
    if (!QFileInfo::exists(SetupFilePath(m_session.setupsFolder(), *id))) {
        m_err << NoSetupForGatewayText << '\n';
        return false;
    }
    // The gateway is read first: only a gateway whose setup was read and decrypted here is compared
    // or gets a setup, and its reserved bytes and firmware version go back to it unchanged.
    QObject::connect(&m_session, &GatewaySession::gatewayRead,
                     [then, id = *id](const GatewayRead& read) { then(read.host, id); });
    QTimer::singleShot(0, &m_session, [this, host] { m_session.readGateway(host); });
    return true;
}

int GatewayCommands::send()
{
    const bool started = readTarget([this](const QHostAddress& host, const GatewayId& id) {
        if (const Status sent = m_session.sendSetupFile(host, id, id); !sent) {
            m_err << SetupTransfer::failureMessage() << '\n' << sent.message() << '\n';
            quit(2);
        }
    });
    if (!started)
        return 2;
    QObject::connect(&m_session, &GatewaySession::transferFinished, [this](const SetupTransfer::Report& report) {
        (report.acknowledged() ? m_out : m_err) << report.message() << '\n';
        if (!report.acknowledged())
            quit(1);
        else if (!m_session.transferRunning(report.host))
            quit(0); // no read-back asked for
    });
    QObject::connect(&m_session, &GatewaySession::verificationFinished, [this](const SetupVerifier::Report& report) {
        const bool verified = report.result == SetupVerifier::Report::Result::Verified;
        (verified ? m_out : m_err) << report.lines().join(QLatin1Char('\n')) << '\n';
        quit(verified ? 0 : 3);
    });
    return QCoreApplication::exec();
}

int GatewayCommands::diff()
{
    const bool started = readTarget([this](const QHostAddress& host, const GatewayId& id) {
        const Result<GWSetupRecord> file = m_session.recordToSend(host, id, id);
        if (!file) {
            m_err << file.message() << '\n';
            quit(2);
            return;
        }
        const QList<FieldDifference> differences = compareRecords(*m_session.lastRead(host)->record, *file);
        if (m_in.json) {
            QJsonArray rows;
            for (const FieldDifference& d : differences)
                rows.append(QJsonObject{{QStringLiteral("section"), d.section},
                                        {QStringLiteral("key"), d.key},
                                        {QStringLiteral("gateway"), d.first},
                                        {QStringLiteral("file"), d.second}});
            m_out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
        } else {
            for (const FieldDifference& d : differences)
                m_out << gatewayToFile(d) << '\n';
        }
        quit(differences.isEmpty() ? 0 : 1);
    });
    return started ? QCoreApplication::exec() : 2;
}

int GatewayCommands::apply()
{
    TemplateApply::Options options;
    options.templatePath = m_in.arguments.value(0);
    options.dryRun = m_in.dryRun;
    const Result<Segment> segment = Segment::fromText(m_in.arguments.value(1));
    const Result<GWSetupRecord> templ = TemplateApply::readTemplate(options.templatePath);
    Status input = segment ? Status::from(templ) : Status::from(segment);
    if (input && !m_in.only.isEmpty()) {
        const Result<QList<GatewayId>> ids = TemplateApply::parseIds(m_in.only);
        input = Status::from(ids);
        if (ids)
            options.only = *ids;
    }
    if (input && !m_in.fields.isEmpty()) {
        const Result<QList<RecordField>> fields = TemplateApply::parseFields(m_in.fields);
        input = Status::from(fields);
        if (fields)
            options.fields = *fields;
    }
    if (!input) {
        m_err << input.message() << '\n';
        return 2;
    }
    TemplateApply run(m_session);
    QObject::connect(&run, &TemplateApply::finished, [this, &run] {
        printApplied(run);
        quit(run.exitCode());
    });
    QObject::connect(&m_session, &GatewaySession::scanFinished, [this, &run, options] {
        if (const Status started = run.start(options); !started) {
            m_err << started.message() << '\n';
            quit(2);
        }
    });
    QTimer::singleShot(0, &m_session, [this, s = *segment] { m_session.startScan(s); });
    return QCoreApplication::exec();
}

void GatewayCommands::printApplied(const TemplateApply& run)
{
    if (m_in.json) {
        QJsonArray rows;
        for (const TemplateApply::Outcome& o : run.outcomes())
            rows.append(QJsonObject{{QStringLiteral("ip"), o.ip.isNull() ? QString() : o.ip.toString()},
                                    {QStringLiteral("gwid"), o.id.text()},
                                    {QStringLiteral("changed"), QJsonArray::fromStringList(o.changed)},
                                    {QStringLiteral("result"), TemplateApply::resultKey(o.result)},
                                    {QStringLiteral("reason"), o.reason}});
        m_out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
        return;
    }
    for (const TemplateApply::Outcome& o : run.outcomes())
        m_out << (o.ip.isNull() ? QStringLiteral("-") : o.ip.toString()) << '\t' << o.id.text() << '\t'
              << (o.changed.isEmpty() ? QStringLiteral("-") : o.changed.join(QLatin1Char(','))) << '\t'
              << TemplateApply::resultKey(o.result) << (o.reason.isEmpty() ? QString() : u'\t' + o.reason) << '\n';
}
