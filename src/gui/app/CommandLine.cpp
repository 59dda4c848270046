#include "CommandLine.h"

#include "base/IniFile.h"
#include "base/SharedFolders.h"
#include "link/GatewayAnswer.h"
#include "link/GatewayList.h"
#include "link/ReadExchange.h"
#include "link/ScanEngine.h"
#include "link/SetupTransfer.h"
#include "setups/HexPair.h"
#include "setups/SetupConversion.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

struct Options
{
    QString command;
    QStringList positional;
    int port = -1;
    int parallel = -1;
    int connectTimeout = -1;
    QString key;
    bool json = false;
    QString documents;
};

std::optional<Options> parse(const QStringList& args, QString& error)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto value = [&](QString& target) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("Wert fehlt nach %1").arg(a);
                return false;
            }
            target = args[++i];
            return true;
        };
        const auto number = [&](int& target, int low, int high) {
            QString text;
            if (!value(text))
                return false;
            bool ok = false;
            target = text.toInt(&ok);
            if (!ok || target < low || target > high) {
                error = QStringLiteral("Ungültiger Wert für %1: %2").arg(a, text);
                return false;
            }
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--port"))
            ok = number(o.port, 1, 65535);
        else if (a == QLatin1String("--parallel"))
            ok = number(o.parallel, 1, ScanEngine::AddressCount);
        else if (a == QLatin1String("--connect-timeout"))
            ok = number(o.connectTimeout, 50, 60000);
        else if (a == QLatin1String("--key"))
            ok = value(o.key);
        else if (a == QLatin1String("--documents"))
            ok = value(o.documents);
        else if (a == QLatin1String("--json"))
            o.json = true;
        else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("Unbekannte Option: %1").arg(a);
            return std::nullopt;
        } else if (o.command.isEmpty())
            o.command = a;
        else
            o.positional << a;
        if (!ok)
            return std::nullopt;
    }
    return o;
}

// Settings of the TCP section, the command line taking precedence.
struct Link
{
    quint16 port = 30;
    int parallel = 64;
    int connectTimeout = 1000;
    MasterKey key{};
};

std::optional<Link> linkSettings(const Options& o, QString& error)
{
    Link link;
    QString keyText = QStringLiteral("7C3E9A15D2084BF6E1A05C93D76F2B48");
    const Result<IniFile> settings = IniFile::load(SharedFolders::settingsFile());
    if (settings) {
        const IniFile& ini = settings.value();
        const QString tcp = QStringLiteral("TCP");
        link.port = quint16(qBound(1, ini.readInteger(tcp, QStringLiteral("PORT"), 30), 65535));
        link.parallel = qBound(1, ini.readInteger(tcp, QStringLiteral("PARALLEL"), 64), ScanEngine::AddressCount);
        link.connectTimeout = qBound(50, ini.readInteger(tcp, QStringLiteral("CONNECTTIMEOUT"), 1000), 60000);
        keyText = ini.readString(tcp, QStringLiteral("MASTERKEY"), keyText);
    }
    if (o.port > 0)
        link.port = quint16(o.port);
    if (o.parallel > 0)
        link.parallel = o.parallel;
    if (o.connectTimeout > 0)
        link.connectTimeout = o.connectTimeout;
    if (!o.key.isEmpty())
        keyText = o.key;
    const auto key = parseMasterKeyText(keyText);
    if (!key) {
        error = QStringLiteral("Der Master Key muss aus genau 32 Hex-Ziffern (0-9, A-F) bestehen: %1").arg(keyText);
        return std::nullopt;
    }
    link.key = *key;
    return link;
}

std::optional<std::array<int, 3>> parseSegment(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    std::array<int, 3> segment{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        segment[i] = parts[i].toInt(&ok);
        if (!ok || segment[i] < 0 || segment[i] > 255)
            return std::nullopt;
    }
    return segment;
}

int runScan(const Options& o, const Link& link)
{
    const auto segment = o.positional.isEmpty() ? std::nullopt : parseSegment(o.positional.first());
    if (!segment) {
        err() << "Ungültiges IP-Segment, erwartet A.B.C mit Zahlen von 0 bis 255\n";
        return 2;
    }
    const QString folder = SharedFolders::setups();
    const Status made = SharedFolders::ensureFolder(folder);
    if (!made)
        err() << "Ordner kann nicht angelegt werden: " << made.message() << '\n';

    GatewayList list;
    int answers = 0;
    ScanEngine scan;
    QEventLoop loop;
    QObject::connect(&scan, &ScanEngine::answered, &scan, [&](const ScanAnswer& answer) {
        ++answers;
        const HandledAnswer handled = HandleGatewayAnswer(answer.bytes, link.key, made ? folder : QString());
        list.AddOrUpdateGatewayRow(handled.gwid, answer.ip, handled.firmware);
        if (!handled.storeError.isEmpty())
            err() << "Setup von " << handled.gwid << " nicht gespeichert: " << handled.storeError << '\n';
    });
    QObject::connect(&scan, &ScanEngine::progress, &scan, [&](int done, int total) {
        if (done % 32 == 0 || done == total)
            err() << "Fortschritt: " << done << '/' << total << '\n' << Qt::flush;
    });
    QObject::connect(&scan, &ScanEngine::finished, &loop, &QEventLoop::quit);
    ScanEngine::Settings s;
    s.a = (*segment)[0];
    s.b = (*segment)[1];
    s.c = (*segment)[2];
    s.port = link.port;
    s.parallel = link.parallel;
    s.connectTimeoutMs = link.connectTimeout;
    scan.start(s);
    loop.exec();

    if (o.json) {
        QJsonArray rows;
        for (const GatewayList::Row& row : list.rows())
            rows.append(QJsonObject{{QStringLiteral("ip"), row.ip},
                                    {QStringLiteral("gwid"), row.gwid},
                                    {QStringLiteral("firmware"), row.firmware}});
        out() << QJsonDocument(rows).toJson(QJsonDocument::Indented);
    } else {
        for (const GatewayList::Row& row : list.rows())
            out() << row.ip << '\t' << row.gwid << '\t' << row.firmware << '\n';
    }
    err() << "gefundene Gateways: " << answers << '\n';
    out().flush();
    return 0;
}

int runSend(const Options& o, const Link& link)
{
    if (o.positional.size() != 2) {
        err() << usageText();
        return 2;
    }
    const QHostAddress host(o.positional[0]);
    const auto id = GatewayId::fromText(o.positional[1]);
    if (host.protocol() != QAbstractSocket::IPv4Protocol || !id) {
        err() << "Ungültige Adresse oder GWID: " << o.positional.join(QLatin1Char(' ')) << '\n';
        return 2;
    }
    const QString folder = SharedFolders::setups();
    GWSetupRecord record;
    Status converted = SetupFileToRecord(folder, *id, record);
    if (!converted) {
        err() << converted.message() << '\n';
        return 2;
    }

    // Read the gateway first: its reserved bytes and firmware version go back to it unchanged, and
    // another gateway at this address is refused before anything is sent.
    QEventLoop loop;
    ReadExchange read;
    QByteArray answerBytes;
    QObject::connect(&read, &ReadExchange::finished, &loop, [&](const QByteArray& bytes, bool) {
        answerBytes = bytes;
        loop.quit();
    });
    read.start(host, link.port, link.connectTimeout);
    loop.exec();
    const Telegram::Answer answer = Telegram::decodeAnswer(answerBytes, link.key);
    if (answer.kind == Telegram::Answer::Kind::Setup) {
        if (answer.gatewayId != *id) {
            err() << SetupTransfer::failureMessage() << '\n'
                  << QStringLiteral("An der Adresse %1 meldet sich das Gateway %2 statt %3; es wurde nichts gesendet.")
                         .arg(host.toString(), answer.gatewayId.text(), id->text())
                  << '\n';
            return 1;
        }
        GWSetupRecord base = answer.record;
        converted = SetupFileToRecord(folder, *id, base);
        if (!converted) {
            err() << converted.message() << '\n';
            return 2;
        }
        record = base;
    }

    SetupTransfer transfer;
    bool acknowledged = false;
    QString message;
    QObject::connect(&transfer, &SetupTransfer::finished, &loop,
                     [&](bool ack, SetupTransfer::Outcome, const QString& text) {
                         acknowledged = ack;
                         message = text;
                         loop.quit();
                     });
    SetupTransfer::Request request;
    request.host = host;
    request.port = link.port;
    request.connectTimeoutMs = link.connectTimeout;
    request.record = record;
    request.masterKey = link.key;
    request.expectedId = *id;
    transfer.start(request);
    loop.exec();
    (acknowledged ? out() : err()) << message << '\n';
    return acknowledged ? 0 : 1;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
               "Telvaro %1 - Einrichtung von wM-Bus-Gateways\n"
               "\n"
               "Aufruf:\n"
               "  telvaro [--segment A.B.C] [--port N] [--documents ORDNER]   Fenster starten\n"
               "  telvaro scan A.B.C [Optionen]      Segment A.B.0 bis A.B.C.254 absuchen, Setups speichern\n"
               "  telvaro send IP GWID [Optionen]    gespeichertes Setup der GWID (z.B. 0A.1B.2C) an IP senden\n"
               "  telvaro --help | --version\n"
               "\n"
               "Optionen:\n"
               "  --port N             TCP-Port der Gateways (Vorgabe aus der Einstellungsdatei, sonst 30)\n"
               "  --key HEX32          Master Key (32 Hex-Ziffern; Vorgabe aus der Einstellungsdatei)\n"
               "  --parallel N         gleichzeitige Verbindungen beim Scan (1 bis 255, Vorgabe 64)\n"
               "  --connect-timeout MS Zeitlimit für den Verbindungsaufbau (Vorgabe 1000)\n"
               "  --json               Scan-Ergebnis als JSON-Feld mit ip, gwid, firmware\n"
               "  --documents ORDNER   statt des gemeinsamen Dokumente-Ordners\n"
               "\n"
               "Rückgabe: 0 Erfolg; 1 Setup nicht bestätigt; 2 kein oder fehlerhaftes Setup, falscher Aufruf.\n")
        .arg(QStringLiteral(TELVARO_VERSION));
}

bool isCommandLineRun(const QStringList& arguments)
{
    return arguments.size() > 1 && (arguments[1] == QLatin1String("scan") || arguments[1] == QLatin1String("send"));
}

int runCommandLine(const QStringList& arguments)
{
    QString error;
    const auto options = parse(arguments, error);
    if (!options) {
        err() << error << '\n' << usageText();
        return 2;
    }
    if (!options->documents.isEmpty())
        SharedFolders::setDocumentsOverride(options->documents);
    const auto link = linkSettings(*options, error);
    if (!link) {
        err() << error << '\n';
        return 2;
    }
    if (options->command == QLatin1String("scan"))
        return runScan(*options, *link);
    return runSend(*options, *link);
}
