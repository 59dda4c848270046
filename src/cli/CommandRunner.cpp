#include "CommandRunner.h"

#include "base/SharedFolders.h"
#include "setups/FieldRules.h"
#include "setups/SetupFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

Segment segmentOf(const QHostAddress& host)
{
    const quint32 v = host.toIPv4Address();
    return Segment{int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF)};
}

// SECTION/KEY as the setup file names the field, from and to as the file writes the values;
// diff's report also keeps its older names of the two values (gateway, file).
QJsonArray differencesJson(const QList<FieldDifference>& differences, bool gatewayAndFile = false)
{
    QJsonArray rows;
    for (const FieldDifference& d : differences) {
        QJsonObject row{{u"section"_s, d.section}, {u"key"_s, d.key}, {u"from"_s, d.first}, {u"to"_s, d.second}};
        if (gatewayAndFile) {
            row.insert(u"gateway"_s, d.first);
            row.insert(u"file"_s, d.second);
        }
        rows.append(row);
    }
    return rows;
}

// The canonical form of path's folder (the file itself may not exist yet).
QString canonicalFolder(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder;
}

} // namespace

CommandRunner::CommandRunner(const Invocation& invocation) : m_in(invocation), m_err(stderr)
{
    // A closed pipe is an error to report, not a signal that ends the program unannounced.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    (void)m_stdout.open(fileno(stdout), QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    m_out.setDevice(&m_stdout);
}

int CommandRunner::finish(int code)
{
    m_out.flush();
    const bool written = m_out.status() == QTextStream::Ok && m_stdout.flush() && m_stdout.error() == QFile::NoError;
    if (!written) {
        m_err << u"Die Ausgabe konnte nicht geschrieben werden (Standardausgabe: %1). Das Ergebnis ist unvollständig."_s
                     .arg(m_stdout.errorString())
              << '\n';
        code = 2;
    }
    m_err.flush();
    return code;
}

void CommandRunner::quit(int code)
{
    QCoreApplication::exit(finish(code));
}

Status CommandRunner::prepare()
{
    if (m_in.documents)
        SharedFolders::setDocumentsOverride(*m_in.documents);
    GatewaySession::Overrides overrides;
    if (m_in.port)
        overrides.port = quint16(*m_in.port);
    overrides.parallel = m_in.parallel;
    overrides.connectTimeoutMs = m_in.connectTimeout;
    if (m_in.noVerify)
        overrides.verifyTimeoutMs = 0;
    overrides.masterKeyText = m_in.key;
    const Result<GatewaySession::Configuration> configured =
        m_session.configure(SharedFolders::settingsFile(), overrides);
    if (!configured)
        return Status::from(configured);
    if (!configured->note.isEmpty())
        m_err << configured->note << '\n';
    return {};
}

int CommandRunner::run()
{
    if (const Status ready = prepare(); !ready) {
        m_err << ready.message() << '\n';
        return finish(2);
    }
    if (m_in.command == u"scan"_s)
        return scan();
    if (m_in.command == u"apply"_s)
        return apply();
    return m_in.command == u"send"_s ? send() : diff();
}

int CommandRunner::scan()
{
    const Result<Segment> segment = Segment::fromText(m_in.arguments.value(0));
    if (!segment) {
        m_err << segment.message() << '\n';
        return finish(2);
    }
    if (!m_in.csv.isEmpty()) {
        // The tool's own folder holds the setup files and the history that other programs read.
        const QString mervane = QFileInfo(SharedFolders::mervane()).canonicalFilePath();
        const QString target = canonicalFolder(m_in.csv);
        if (!mervane.isEmpty() && (target == mervane || target.startsWith(mervane + u'/'))) {
            m_err << u"Die CSV-Datei %1 läge im Ordner %2, der die Setup-Dateien und den Scan-Verlauf enthält. "
                     "Bitte einen anderen Ort wählen; es wurde nichts geschrieben."_s.arg(
                         m_in.csv, QDir::toNativeSeparators(mervane))
                  << '\n';
            return finish(2);
        }
    }
    QObject::connect(&m_session, &GatewaySession::progress, [this](int done, int total) {
        if (done % 32 == 0 || done == total)
            m_err << u"Fortschritt: %1/%2\n"_s.arg(done).arg(total) << Qt::flush;
    });
    QObject::connect(&m_session, &GatewaySession::storeFailed, [this](const GatewayRow& row) {
        m_err << u"Setup von %1 (%2) nicht gespeichert: %3\n"_s.arg(row.gwidText(), row.ipText(), row.stored.message());
    });
    QObject::connect(&m_session, &GatewaySession::scanFinished, [this] { quit(finishScan()); });
    QTimer::singleShot(0, &m_session, [this, s = *segment] { m_session.startScan(s); });
    return QCoreApplication::exec();
}

int CommandRunner::finishScan()
{
    if (m_in.json) {
        m_out << QJsonDocument(m_session.report()).toJson(QJsonDocument::Indented);
    } else {
        for (const GatewayRow& row : m_session.list().rows())
            m_out << row.ipText() << '\t' << row.gwidText() << '\t' << row.firmwareText() << '\t'
                  << rowStateKey(row.state) << '\t' << (row.change ? changeKey(*row.change) : u"-"_s) << '\n';
        for (const SeenGateway& gone : m_session.missing())
            m_out << gone.address.toString() << '\t' << gone.id.text() << '\t' << gone.firmware << "\t-\tmissing\n";
        QStringList counts;
        for (int k = 0; k < int(m_session.counts().size()); ++k)
            counts << u"%1 %2"_s.arg(kindKey(GatewayRead::Kind(k))).arg(m_session.counts()[size_t(k)]);
        m_out << u"Adressen: "_s << counts.join(u", "_s) << '\n';
    }
    m_err << m_session.scanSummary() << '\n';
    int code = m_session.storeFailures().isEmpty() ? 0 : 3;
    QStringList duplicates;
    for (const GatewayRow& row : m_session.list().rows())
        if (row.state == GatewayRow::State::DuplicateId && !duplicates.contains(row.gwidText())) {
            duplicates << row.gwidText();
            m_err << duplicateIdMessage(row.id, row.sameIdText()) << '\n';
            code = 3;
        }
    for (const Status& s : {m_session.historyStatus(),
                            m_in.csv.isEmpty() ? Status() : writeGatewayListCsv(m_in.csv, m_session.exportRows())}) {
        if (!s) {
            m_err << s.message() << '\n';
            code = 3;
        }
    }
    return code;
}

bool CommandRunner::readTarget(const std::function<void(const QHostAddress&, const GatewayId&)>& then)
{
    const auto address = FieldRules::hostAddress(m_in.arguments.value(0));
    const std::optional<GatewayId> id = GatewayId::fromText(m_in.arguments.value(1));
    if (!address || !id) {
        m_err << u"Ungültige Adresse oder GWID: %1\n"_s.arg(m_in.arguments.join(u' '));
        return false;
    }
    const auto& a = *address;
    const QHostAddress host{quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | quint32(a[3])};
    if (!QFileInfo::exists(SetupFilePath(m_session.setupsFolder(), *id))) {
        m_err << NoSetupForGatewayText << u'\n';
        return false;
    }
    // The last scan of the segment found this ID at several addresses: which gateway the file
    // belongs to is unknown until a scan finds it at one address only.
    if (const Result<std::optional<ScanRecord>> history = ScanHistory(scanHistoryPath()).last(segmentOf(host));
        history) {
        if (const std::optional<ScanRecord>& last = *history) {
            QStringList at;
            for (const SeenGateway& seen : last->gateways)
                if (seen.id == *id && !at.contains(seen.address.toString()))
                    at << seen.address.toString();
            if (at.size() > 1) {
                m_err << duplicateIdMessage(*id, at.join(u", "_s)) << '\n';
                return false;
            }
        }
    }
    // The gateway is read first: only a gateway whose setup was read and decrypted here is compared
    // or gets a setup, and its reserved bytes and firmware version go back to it unchanged.
    QObject::connect(&m_session, &GatewaySession::gatewayRead,
                     [then, id = *id](const GatewayRead& read) { then(read.host, id); });
    QTimer::singleShot(0, &m_session, [this, host] { m_session.readGateway(host); });
    return true;
}

int CommandRunner::send()
{
    const bool started = readTarget([this](const QHostAddress& host, const GatewayId& id) {
        if (const Status sent = m_session.sendSetupFile(host, id, id); !sent) {
            m_err << SetupTransfer::failureMessage() << '\n' << sent.message() << '\n';
            quit(2);
        }
    });
    if (!started)
        return finish(2);
    QObject::connect(&m_session, &GatewaySession::transferFinished, [this](const SetupTransfer::Report& report) {
        m_out << report.message() << '\n';
        if (!report.acknowledged()) {
            if (!report.reason().isEmpty())
                m_err << report.reason() << '\n';
            quit(1);
        } else if (!m_session.transferRunning(report.host)) {
            m_out << u"ohne Kontrolle\n"_s; // the read-back is off: the acknowledgement is all there is
            quit(0);
        }
    });
    QObject::connect(&m_session, &GatewaySession::verificationFinished, [this](const SetupVerifier::Report& report) {
        m_out << report.lines().join(u'\n') << '\n';
        quit(report.result == SetupVerifier::Report::Result::Verified ? 0 : 3);
    });
    return QCoreApplication::exec();
}

int CommandRunner::diff()
{
    const bool started = readTarget([this](const QHostAddress& host, const GatewayId& id) {
        const Result<GWSetupRecord> file = m_session.recordToSend(host, id, id);
        if (!file) {
            m_err << file.message() << '\n';
            quit(2);
            return;
        }
        const GWSetupRecord& gateway = *m_session.lastRead(host)->record;
        const QList<FieldDifference> differences = compareRecords(gateway, *file);
        if (m_in.json) {
            m_out << QJsonDocument(differencesJson(differences, true)).toJson(QJsonDocument::Indented);
        } else {
            for (const FieldChange& c : describeChanges(gateway, *file, differences))
                m_out << c.text() << '\n';
        }
        quit(differences.isEmpty() ? 0 : 1);
    });
    return started ? QCoreApplication::exec() : finish(2);
}

int CommandRunner::apply()
{
    TemplateApply::Options options;
    options.templatePath = m_in.arguments.value(0);
    options.dryRun = m_in.dryRun;
    const Result<Segment> segment = Segment::fromText(m_in.arguments.value(1));
    Status input = Status::from(segment);
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
    // The template is checked before any gateway is contacted.
    if (input)
        input = Status::from(TemplateApply::readTemplate(options.templatePath, options.fields));
    if (!input) {
        m_err << input.message() << '\n';
        return finish(2);
    }
    TemplateApply run(m_session);
    QObject::connect(&run, &TemplateApply::finished, [this, &run, options] {
        printApplied(run);
        m_err << run.summary(QFileInfo(options.templatePath).fileName()) << '\n';
        if (const QString why = run.notFoundText(); !why.isEmpty())
            m_err << why << '\n' << m_session.scanSummary() << '\n';
        quit(run.exitCode());
    });
    QObject::connect(&m_session, &GatewaySession::scanFinished, [this, &run, options] {
        if (const Status started = run.start(options); !started) {
            m_err << started.message() << '\n';
            quit(2);
        }
    });
    // A dry run reads the gateways as they are now and keeps nothing of it.
    const auto mode = m_in.dryRun ? GatewaySession::ScanMode::ReadOnly : GatewaySession::ScanMode::StoreAndRecord;
    QTimer::singleShot(0, &m_session, [this, s = *segment, mode] { m_session.startScan(s, mode); });
    return QCoreApplication::exec();
}

void CommandRunner::printApplied(const TemplateApply& run)
{
    if (m_in.json) {
        QJsonArray rows;
        for (const TemplateApply::Outcome& o : run.outcomes())
            rows.append(QJsonObject{{u"ip"_s, o.ip.isNull() ? QString() : o.ip.toString()},
                                    {u"gwid"_s, o.id.text()},
                                    {u"changed"_s, differencesJson(o.difference)},
                                    {u"changes"_s, QJsonArray::fromStringList(o.changed)},
                                    {u"result"_s, TemplateApply::resultKey(o.result)},
                                    {u"reason"_s, o.reason}});
        m_out << QJsonDocument(rows).toJson(QJsonDocument::Indented);
        return;
    }
    // One line per gateway, then its changes and the reason's lines, each on a line of its own:
    // a server name may hold any separator a single line could use.
    for (const TemplateApply::Outcome& o : run.outcomes()) {
        m_out << (o.ip.isNull() ? u"-"_s : o.ip.toString()) << '\t' << o.id.text() << '\t'
              << TemplateApply::resultKey(o.result) << '\n';
        for (const QString& change : o.changed)
            m_out << u"  Änderung: "_s << change << '\n';
        for (const QString& line : o.reason.split(u'\n', Qt::SkipEmptyParts))
            m_out << u"  Grund: "_s << line << '\n';
    }
}

int runCommand(const Invocation& invocation)
{
    return CommandRunner(invocation).run();
}

void reportCommandLineFailure(const QString& message)
{
    QTextStream(stderr) << message << '\n';
    QCoreApplication::exit(2);
}
