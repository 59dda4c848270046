#include "CommandArguments.h"

#include "link/ScanEngine.h"
#include "session/ToolSettings.h"
#include "setups/FieldRules.h"
#include "setups/GatewayId.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QString Window = u"window"_s;

QString exitCodes()
{
    return u"Rückgabe: 0 Erfolg; 1 nicht bestätigt, nicht gefunden (diff: Unterschiede); 2 abgelehnt, falscher "
           "Aufruf oder Ausgabe nicht schreibbar;\n3 Setups nicht gespeichert, GWID doppelt, oder bestätigt, aber die "
           "Kontrolle weicht ab oder blieb aus.\n"_s;
}

QCommandLineOption toOption(const OptionSpec& spec)
{
    QCommandLineOption option(spec.name, spec.description, spec.valueName);
    return option;
}

// The option's number, read by the field rules like every other whole number.
Result<int> number(const OptionSpec& spec, const QString& text)
{
    if (const std::optional<int> value = FieldRules::number(text, *spec.range))
        return *value;
    return Result<int>::failure(u"Ungültiger Wert für --%1: \"%2\" (%3)"_s.arg(spec.name, text, spec.range->text()));
}

const CommandSpec* findCommand(const QString& name)
{
    for (const CommandSpec& c : commandTable())
        if (c.name == name)
            return &c;
    return nullptr;
}

} // namespace

const QList<OptionSpec>& optionTable()
{
    static const QList<OptionSpec> table{
        {u"segment"_s, u"A.B.C"_s, u"Fenster: das Segment in den Segmentfeldern"_s, {Window}},
        {u"port"_s,
         u"N"_s,
         u"TCP-Port der Gateways (Vorgabe aus der Einstellungsdatei, sonst %1)"_s.arg(LinkSettings::DefaultPort),
         {Window, u"scan"_s, u"send"_s, u"diff"_s, u"apply"_s},
         FieldRules::PortRange},
        {u"key"_s,
         u"HEX32"_s,
         u"Master Key, 32 Hex-Ziffern (Vorgabe aus der Einstellungsdatei)"_s,
         {u"scan"_s, u"send"_s, u"diff"_s, u"apply"_s}},
        {u"parallel"_s,
         u"N"_s,
         u"gleichzeitige Verbindungen beim Scan, %1 (Vorgabe %2)"_s.arg(FieldRules::ParallelRange.text())
             .arg(LinkSettings::DefaultParallel),
         {u"scan"_s, u"apply"_s},
         FieldRules::ParallelRange},
        {u"connect-timeout"_s,
         u"MS"_s,
         u"Zeitlimit für den Verbindungsaufbau, %1 ms (Vorgabe %2)"_s.arg(FieldRules::ConnectTimeoutMsRange.text())
             .arg(LinkSettings::DefaultConnectTimeoutMs),
         {u"scan"_s, u"send"_s, u"diff"_s, u"apply"_s},
         FieldRules::ConnectTimeoutMsRange},
        {u"json"_s, QString(), u"Ergebnis als JSON"_s, {u"scan"_s, u"diff"_s, u"apply"_s}},
        {u"csv"_s,
         u"DATEI"_s,
         u"die Liste zusätzlich als CSV-Datei schreiben (nicht im Ordner MERVANE)"_s,
         {u"scan"_s}},
        {u"no-verify"_s,
         QString(),
         u"nach der Bestätigung nicht zurücklesen (\"ohne Kontrolle\")"_s,
         {u"send"_s, u"apply"_s}},
        {u"dry-run"_s,
         QString(),
         u"nur zeigen, was sich ändern würde; nichts schreiben, nichts senden"_s,
         {u"apply"_s}},
        {u"only"_s, u"GWID,..."_s, u"nur auf diese Gateways anwenden"_s, {u"apply"_s}},
        {u"fields"_s,
         u"FELDER"_s,
         u"diese Felder der Vorlage statt Server, Intervall und Funkmodus: ABSCHNITT/SCHLÜSSEL oder Gruppen "
         "(Server, Intervall, Funkmodus, Hersteller-Filter, Mediumcode-Filter, Funk-ID-Liste), mit Komma getrennt"_s,
         {u"apply"_s}},
        {u"documents"_s,
         u"ORDNER"_s,
         u"statt des gemeinsamen Dokumente-Ordners"_s,
         {Window, u"scan"_s, u"send"_s, u"diff"_s, u"apply"_s}},
    };
    return table;
}

const QList<CommandSpec>& commandTable()
{
    static const QList<CommandSpec> table{
        {u"scan"_s, {u"A.B.C"_s}, u"Segment A.B.C.0 bis A.B.C.254 absuchen, Setups speichern"_s},
        {u"send"_s,
         {u"IP"_s, u"GWID"_s},
         u"gespeichertes Setup der GWID (z.B. 0A.1B.2C) an IP senden und zurücklesen"_s},
        {u"diff"_s, {u"IP"_s, u"GWID"_s}, u"zeigen, was ein send am Gateway ändern würde"_s},
        {u"apply"_s,
         {u"VORLAGE.GWINI"_s, u"A.B.C"_s},
         u"Vorlage auf die Gateways des Segments anwenden (Vorgabe: Server, Intervall, Funkmodus)"_s},
    };
    return table;
}

bool namesCommand(const QStringList& arguments)
{
    return arguments.size() > 1 && !arguments[1].startsWith(u'-');
}

QString usageText()
{
    QString text = u"Telvaro %1 - Einrichtung von wM-Bus-Gateways\n\nAufruf:\n"_s.arg(QStringLiteral(TELVARO_VERSION));
    QStringList windowOptions;
    for (const OptionSpec& o : optionTable())
        if (o.commands.contains(Window))
            windowOptions << u"[--%1 %2]"_s.arg(o.name, o.valueName);
    text += u"  telvaro %1   Fenster starten\n"_s.arg(windowOptions.join(u' '));
    for (const CommandSpec& c : commandTable())
        text += u"  telvaro %1 %2   %3\n"_s.arg(c.name, c.argumentNames.join(u' '), c.description);
    text += u"  telvaro BEFEHL --help   die Optionen eines Befehls\n  telvaro --help | --version\n\nOptionen:\n"_s;
    for (const OptionSpec& o : optionTable()) {
        QStringList where = o.commands;
        where.replaceInStrings(Window, u"Fenster"_s);
        const QString head = (u"--"_s + o.name + u' ' + o.valueName).trimmed();
        text += u"  %1\n      %2 [%3]\n"_s.arg(head, o.description, where.join(u", "_s));
    }
    return text + u"\n"_s + exitCodes();
}

Result<Invocation> parseInvocation(const QStringList& arguments)
{
    const auto usage = [](const QString& why) { return Result<Invocation>::failure(why); };
    Invocation in;
    QString scope = Window;
    const CommandSpec* command = nullptr;
    if (namesCommand(arguments)) {
        command = findCommand(arguments[1]);
        if (!command)
            return usage(u"Unbekannter Befehl: \"%1\""_s.arg(arguments[1]));
        scope = command->name;
    }

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QList<const OptionSpec*> specs;
    for (const OptionSpec& o : optionTable())
        if (o.commands.contains(scope)) {
            parser.addOption(toOption(o));
            specs << &o;
        }
    if (command) {
        parser.setApplicationDescription(command->description);
        parser.addPositionalArgument(command->name, command->description,
                                     command->name + u' ' + command->argumentNames.join(u' '));
    }
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        in.mode = Invocation::Mode::Help;
        in.helpText = command ? parser.helpText() + u"\n"_s + exitCodes() : usageText();
        return in;
    }
    if (parser.isSet(version)) {
        in.mode = Invocation::Mode::Version;
        return in;
    }

    QStringList positional = parser.positionalArguments();
    if (command) {
        positional.removeFirst();
        if (positional.size() != command->argumentNames.size())
            return usage(u"Der Befehl %1 erwartet %2 Argumente (%3), nicht %4: %5"_s.arg(command->name)
                             .arg(command->argumentNames.size())
                             .arg(command->argumentNames.join(u' '))
                             .arg(positional.size())
                             .arg(positional.join(u' ')));
        in.mode = Invocation::Mode::Command;
        in.command = command->name;
        in.arguments = positional;
    } else if (!positional.isEmpty()) {
        return usage(u"Der Befehl steht als erstes Argument, vor den Optionen: %1"_s.arg(positional.join(u' ')));
    }

    for (const OptionSpec* spec : std::as_const(specs)) {
        if (spec->valueName.isEmpty() || !parser.isSet(spec->name))
            continue;
        const QString value = parser.value(spec->name);
        if (value.trimmed().isEmpty())
            return usage(u"Die Option --%1 braucht einen Wert, nicht einen leeren Text"_s.arg(spec->name));
        if (spec->range) {
            const Result<int> n = number(*spec, value);
            if (!n)
                return usage(n.message());
            std::optional<int>& target = spec->name == u"port"_s       ? in.port
                                         : spec->name == u"parallel"_s ? in.parallel
                                                                       : in.connectTimeout;
            target = *n;
        }
    }
    // Only the options of this command were added to the parser.
    const auto given = [&parser, &specs](const QString& name) {
        return std::any_of(specs.begin(), specs.end(), [&name](const OptionSpec* s) { return s->name == name; }) &&
               parser.isSet(name);
    };
    const auto value = [&parser, &given](const QString& name) { return given(name) ? parser.value(name) : QString(); };
    if (given(u"documents"_s))
        in.documents = parser.value(u"documents"_s);
    in.segment = value(u"segment"_s);
    if (!in.segment.isEmpty())
        if (const Result<Segment> s = Segment::fromText(in.segment); !s)
            return usage(s.message());
    in.key = value(u"key"_s);
    in.csv = value(u"csv"_s);
    in.only = value(u"only"_s);
    in.fields = value(u"fields"_s);
    in.json = given(u"json"_s);
    in.noVerify = given(u"no-verify"_s);
    in.dryRun = given(u"dry-run"_s);

    // The command's own arguments, by the tool's own rules.
    if (in.command == u"send"_s || in.command == u"diff"_s) {
        if (!FieldRules::hostAddress(in.arguments[0]))
            return usage(u"Ungültige Adresse: \"%1\" (vier Dezimalzahlen 0 bis 255 mit Punkten, die letzte 1 bis "
                         "254, z.B. 192.168.1.20)"_s.arg(in.arguments[0]));
        if (!GatewayId::fromText(in.arguments[1]))
            return usage(u"Ungültige GWID: \"%1\" (z.B. 0A.1B.2C)"_s.arg(in.arguments[1]));
    }
    if (in.command == u"scan"_s || in.command == u"apply"_s) {
        if (const Result<Segment> s = Segment::fromText(in.arguments.last()); !s)
            return usage(s.message());
    }
    return in;
}
