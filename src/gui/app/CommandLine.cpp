#include "CommandLine.h"

#include "GatewayCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

struct Command
{
    const char* name;
    int arguments;
    QSet<QString> options;
};

const QSet<QString> windowOptions{u"segment"_s, u"port"_s, u"documents"_s};

const Command commands[] = {
    {"scan", 1, {u"port"_s, u"key"_s, u"parallel"_s, u"connect-timeout"_s, u"json"_s, u"csv"_s, u"documents"_s}},
    {"send", 2, {u"port"_s, u"key"_s, u"connect-timeout"_s, u"no-verify"_s, u"documents"_s}},
    {"diff", 2, {u"port"_s, u"key"_s, u"connect-timeout"_s, u"json"_s, u"documents"_s}},
    {"apply",
     2,
     {u"port"_s, u"key"_s, u"parallel"_s, u"connect-timeout"_s, u"json"_s, u"dry-run"_s, u"only"_s, u"fields"_s,
      u"documents"_s}},
};

Result<int> number(const QCommandLineParser& parser, const QString& name, int low, int high)
{
    const QString text = parser.value(name);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return Result<int>::failure(
            QStringLiteral("Ungültiger Wert für --%1: \"%2\" (%3 bis %4)").arg(name, text).arg(low).arg(high));
    return value;
}

} // namespace

QString usageText()
{
    return QStringLiteral(
               "Telvaro %1 - Einrichtung von wM-Bus-Gateways\n"
               "\n"
               "Aufruf:\n"
               "  telvaro [--segment A.B.C] [--port N] [--documents ORDNER]   Fenster starten\n"
               "  telvaro scan A.B.C [--json] [--csv DATEI]   Segment A.B.C.0 bis A.B.C.254 absuchen, Setups "
               "speichern\n"
               "  telvaro send IP GWID [--no-verify]   gespeichertes Setup der GWID (z.B. 0A.1B.2C) an IP senden\n"
               "  telvaro diff IP GWID [--json]   zeigen, was ein send am Gateway ändern würde\n"
               "  telvaro apply VORLAGE.GWINI A.B.C [--only GWID,...] [--fields ABSCHNITT/SCHLÜSSEL,...]\n"
               "                [--dry-run] [--json]   Vorlage auf die Gateways des Segments anwenden\n"
               "  telvaro --help | --version\n"
               "\n"
               "Optionen aller Befehle:\n"
               "  --port N             TCP-Port der Gateways (Vorgabe aus der Einstellungsdatei, sonst 30)\n"
               "  --key HEX32          Master Key (32 Hex-Ziffern; Vorgabe aus der Einstellungsdatei)\n"
               "  --parallel N         gleichzeitige Verbindungen beim Scan (1 bis 255, Vorgabe 255)\n"
               "  --connect-timeout MS Zeitlimit für den Verbindungsaufbau (50 bis 60000, Vorgabe 1000)\n"
               "  --documents ORDNER   statt des gemeinsamen Dokumente-Ordners\n"
               "\n"
               "Rückgabe: 0 Erfolg; 1 nicht bestätigt (diff: Unterschiede); 2 abgelehnt oder falscher Aufruf;\n"
               "3 Setups nicht gespeichert, oder bestätigt, aber die Kontrolle weicht ab oder blieb aus.\n")
        .arg(QStringLiteral(TELVARO_VERSION));
}

Result<Invocation> parseInvocation(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const auto valueOption = [](const char* name, const char* valueName) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QString::fromLatin1(valueName));
    };
    parser.addOptions({QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
                       QCommandLineOption(QStringLiteral("version")), valueOption("segment", "A.B.C"),
                       valueOption("port", "N"), valueOption("key", "HEX32"), valueOption("parallel", "N"),
                       valueOption("connect-timeout", "MS"), valueOption("documents", "DIR"),
                       valueOption("csv", "FILE"), valueOption("only", "GWIDS"), valueOption("fields", "KEYS"),
                       QCommandLineOption(QStringLiteral("json")), QCommandLineOption(QStringLiteral("no-verify")),
                       QCommandLineOption(QStringLiteral("dry-run"))});
    const auto usage = [](const QString& why) { return Result<Invocation>::failure(why); };
    if (!parser.parse(arguments)) {
        QString why = parser.errorText();
        if (why.startsWith(QLatin1String("Unknown option")))
            why = QStringLiteral("Unbekannte Option: --%1").arg(why.section(QLatin1Char('\''), 1, 1));
        else if (why.startsWith(QLatin1String("Missing value")))
            why = QStringLiteral("Wert fehlt nach %1").arg(why.section(QLatin1Char('\''), 1, 1));
        return usage(why);
    }

    Invocation in;
    if (parser.isSet(QStringLiteral("help"))) {
        in.mode = Invocation::Mode::Help;
        return in;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        in.mode = Invocation::Mode::Version;
        return in;
    }
    QStringList positional = parser.positionalArguments();
    QSet<QString> allowed = windowOptions;
    if (!positional.isEmpty()) {
        const QString name = positional.takeFirst();
        const Command* command = nullptr;
        for (const Command& c : commands)
            if (name == QLatin1String(c.name))
                command = &c;
        if (!command)
            return usage(QStringLiteral("Unbekannter Befehl: \"%1\"").arg(name));
        if (positional.size() != command->arguments)
            return usage(QStringLiteral("Der Befehl %1 erwartet %2 Argumente, nicht %3: %4")
                             .arg(name)
                             .arg(command->arguments)
                             .arg(positional.size())
                             .arg(positional.join(QLatin1Char(' '))));
        in.mode = Invocation::Mode::Command;
        in.command = name;
        in.arguments = positional;
        allowed = command->options;
    }
    for (const QString& option : parser.optionNames()) {
        const QString longName = option == QLatin1String("h") ? QStringLiteral("help") : option;
        if (!allowed.contains(longName))
            return usage(in.command.isEmpty()
                             ? QStringLiteral("Die Option --%1 gilt nur für einen Befehl").arg(longName)
                             : QStringLiteral("Die Option --%1 gilt nicht für %2").arg(longName, in.command));
    }

    const auto take = [&parser](const char* name, int low, int high, std::optional<int>& target) -> Status {
        if (!parser.isSet(QString::fromLatin1(name)))
            return {};
        const Result<int> value = number(parser, QString::fromLatin1(name), low, high);
        if (value)
            target = *value;
        return Status::from(value);
    };
    for (const Status& s : {take("port", 1, 65535, in.port), take("parallel", 1, 255, in.parallel),
                            take("connect-timeout", 50, 60000, in.connectTimeout)})
        if (!s)
            return usage(s.message());
    if (parser.isSet(QStringLiteral("documents"))) {
        in.documents = parser.value(QStringLiteral("documents"));
        if (in.documents->trimmed().isEmpty())
            return usage(QStringLiteral("--documents braucht einen Ordner"));
    }
    in.segment = parser.value(QStringLiteral("segment"));
    in.key = parser.value(QStringLiteral("key"));
    in.csv = parser.value(QStringLiteral("csv"));
    in.only = parser.value(QStringLiteral("only"));
    in.fields = parser.value(QStringLiteral("fields"));
    in.json = parser.isSet(QStringLiteral("json"));
    in.noVerify = parser.isSet(QStringLiteral("no-verify"));
    in.dryRun = parser.isSet(QStringLiteral("dry-run"));
    return in;
}

void reportCommandLineFailure(const QString& message)
{
    QTextStream(stderr) << message << '\n';
    QCoreApplication::exit(2);
}

int runCommand(const Invocation& invocation)
{
    return GatewayCommands(invocation).run();
}
