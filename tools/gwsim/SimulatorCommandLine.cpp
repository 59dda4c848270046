#include "SimulatorCommandLine.h"

#include "GatewaySimulator.h"

#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr FieldRules::Range DelayMsRange{0, 3600000};                      // up to one hour
constexpr FieldRules::Range ListenPortRange{0, FieldRules::PortRange.max}; // 0: any free port

struct Planned
{
    QHostAddress address;
    GatewayId id;
    BehaviourSetting behaviour;
};

// The dialog's address rule; the parts are read as decimal, "008" is 8.
std::optional<QHostAddress> parseIpv4(const QString& text)
{
    if (!FieldRules::address(text))
        return std::nullopt;
    quint32 ip = 0;
    for (const QString& part : text.split(u'.'))
        ip = (ip << 8) | part.toUInt(nullptr, 10);
    return QHostAddress(ip);
}

Result<BehaviourSetting> parseBehaviour(const QString& text, const QString& option, const QString& value)
{
    const std::optional<BehaviourSetting> parsed = behaviourFromText(text);
    if (!parsed)
        return Result<BehaviourSetting>::failure(u"Unbekanntes Verhalten „%1“ bei %2 %3 (bekannt: %4)"_s.arg(
            text, option, value, behaviourTexts().join(u", "_s)));
    return *parsed;
}

// ADDR=GWID[:BEHAVIOUR]; the ID may itself use ':' as its separator ("0A:1B:2C").
Result<Planned> parseGateway(const QString& value)
{
    const QString usage =
        u"Ungültiges Gateway „%1“ bei --gateway: erwartet ADRESSE=GWID[:VERHALTEN], z. B. 127.0.0.21=0A1B2C"_s.arg(
            value);
    const qsizetype eq = value.indexOf(u'=');
    if (eq < 0)
        return Result<Planned>::failure(usage);
    const std::optional<QHostAddress> address = parseIpv4(value.left(eq));
    QString idText = value.mid(eq + 1);
    BehaviourSetting behaviour;
    if (!GatewayId::fromText(idText)) {
        const qsizetype colon = idText.lastIndexOf(u':');
        if (colon >= 0) {
            const Result<BehaviourSetting> b = parseBehaviour(idText.mid(colon + 1), u"--gateway"_s, value);
            if (!b)
                return Result<Planned>::failure(b.message());
            behaviour = *b;
            idText = idText.left(colon);
        }
    }
    const std::optional<GatewayId> id = GatewayId::fromText(idText);
    if (!address || !id)
        return Result<Planned>::failure(usage);
    return Planned{*address, *id, behaviour};
}

// A.B.C.D-E[:BEHAVIOUR]
Result<QList<Planned>> parseRange(const QString& value)
{
    const QString usage =
        u"Ungültiger Adressbereich „%1“ bei --gateways: erwartet A.B.C.D-E[:VERHALTEN] mit D ≤ E ≤ 255, z. B. 127.0.0.21-40"_s
            .arg(value);
    QString item = value;
    BehaviourSetting behaviour;
    const qsizetype colon = item.indexOf(u':');
    if (colon >= 0) {
        const Result<BehaviourSetting> b = parseBehaviour(item.mid(colon + 1), u"--gateways"_s, value);
        if (!b)
            return Result<QList<Planned>>::failure(b.message());
        behaviour = *b;
        item = item.left(colon);
    }
    const qsizetype dash = item.lastIndexOf(u'-');
    if (dash < 0)
        return Result<QList<Planned>>::failure(usage);
    const std::optional<QHostAddress> first = parseIpv4(item.left(dash));
    const std::optional<int> last = FieldRules::number(item.mid(dash + 1), FieldRules::ByteRange);
    if (!first || !last || *last < int(first->toIPv4Address() & 0xFF))
        return Result<QList<Planned>>::failure(usage);
    QList<Planned> planned;
    const quint32 base = first->toIPv4Address() & 0xFFFFFF00u;
    for (int host = int(first->toIPv4Address() & 0xFF); host <= *last; ++host) {
        const QHostAddress address(base | quint32(host));
        planned.append({address, SimulatorCommandLine::rangeId(address), behaviour});
    }
    return planned;
}

struct OptionSpec
{
    QStringList names;
    QString valueName; // empty: a switch
    QString description;
};

// Every option of the tool: the parser and the help text are made from this table.
const QList<OptionSpec>& optionTable()
{
    static const QList<OptionSpec> table{
        {{u"port"_s}, u"N"_s, u"Port aller Gateways; 0 wählt einen freien (Vorgabe 0)"_s},
        {{u"gateway"_s},
         u"ADRESSE=GWID[:VERHALTEN]"_s,
         u"ein Gateway, z. B. 127.0.0.21=0A1B2C oder\n127.0.0.22=0A.1B.2D:wrongkey (mehrfach möglich)"_s},
        {{u"gateways"_s},
         u"A.B.C.D-E[:VERHALTEN]"_s,
         u"Gateways auf A.B.C.D bis A.B.C.E mit den IDs B0.<C>.<Host>\n(hexadezimal; mehrfach möglich)"_s},
        {{u"key"_s},
         u"HEX32"_s,
         u"Master Key aller Gateways, 32 Hex-Ziffern\n(Vorgabe 7C3E9A15D2084BF6E1A05C93D76F2B48)"_s},
        {{u"delay"_s}, u"MS"_s, u"Wartezeit vor der Antwort auf eine Leseanfrage (Vorgabe 0)"_s},
        {{u"restart-delay"_s}, u"MS"_s, u"Dauer eines Neustarts (Vorgabe 1000), siehe unten"_s},
        {{u"long-restart"_s}, u"MS"_s, u"Dauer des Neustarts bei longrestart (Vorgabe 60000)"_s},
        {{u"log"_s}, u"DATEI"_s, u"JSON-Zeilen an DATEI anhängen (Vorgabe: Standardausgabe)"_s},
        {{u"setup-file"_s},
         u"ORDNER"_s,
         u"Gateways, deren Setup-Datei (SETUPGW_xx_xx_xx.GWINI) in ORDNER\nliegt, melden das Setup daraus; die "
         "übrigen das eingebaute"_s},
        {{u"h"_s, u"help"_s}, QString(), u"dieser Text"_s},
    };
    return table;
}

const OptionSpec& spec(const QString& name)
{
    for (const OptionSpec& o : optionTable())
        if (o.names.contains(name))
            return o;
    Q_UNREACHABLE();
}

QCommandLineOption toOption(const OptionSpec& o)
{
    return QCommandLineOption(o.names, o.description, o.valueName);
}

} // namespace

GatewayId SimulatorCommandLine::rangeId(const QHostAddress& address)
{
    const quint32 ip = address.toIPv4Address();
    return GatewayId{{0xB0, quint8(ip >> 8), quint8(ip)}};
}

Result<SimulatorOptions> SimulatorCommandLine::parse(const QStringList& arguments)
{
    using Failure = Result<SimulatorOptions>;
    const QCommandLineOption help = toOption(spec(u"help"_s));
    const QCommandLineOption port = toOption(spec(u"port"_s));
    const QCommandLineOption gateway = toOption(spec(u"gateway"_s));
    const QCommandLineOption gateways = toOption(spec(u"gateways"_s));
    const QCommandLineOption key = toOption(spec(u"key"_s));
    const QCommandLineOption delay = toOption(spec(u"delay"_s));
    const QCommandLineOption restartDelay = toOption(spec(u"restart-delay"_s));
    const QCommandLineOption longRestart = toOption(spec(u"long-restart"_s));
    const QCommandLineOption log = toOption(spec(u"log"_s));
    const QCommandLineOption setupFile = toOption(spec(u"setup-file"_s));
    QList<QCommandLineOption> all;
    for (const OptionSpec& o : optionTable())
        all << toOption(o);

    QCommandLineParser parser;
    // "-port" is the option port, not -p -o -r -t.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(all);
    // Qt's own refusal, in German once its translation is loaded (installQtGermanTexts).
    if (!parser.parse(arguments))
        return Failure::failure(parser.errorText());
    // "--gateway --port 5": the parser takes "--port" as the gateway; the user forgot the value.
    for (const QCommandLineOption& option : all) {
        if (option.valueName().isEmpty())
            continue;
        for (const QString& value : parser.values(option)) {
            QString name = value;
            while (name.startsWith(u'-'))
                name.remove(0, 1);
            name = name.left(name.indexOf(u'='));
            const bool namesOption =
                value.startsWith(u'-') && std::any_of(all.cbegin(), all.cend(), [&name](const QCommandLineOption& o) {
                    return o.names().contains(name);
                });
            if (namesOption)
                return Failure::failure(
                    u"Der Option --%1 fehlt ihr Wert (%2)"_s.arg(option.names().first(), option.valueName()));
        }
    }
    if (!parser.positionalArguments().isEmpty())
        return Failure::failure(u"Unerwartetes Argument: %1"_s.arg(parser.positionalArguments().first()));

    SimulatorOptions o;
    if (parser.isSet(help)) {
        o.help = true;
        return o;
    }
    for (const QCommandLineOption& option : {port, key, delay, restartDelay, longRestart, log, setupFile}) {
        if (parser.values(option).size() > 1)
            return Failure::failure(u"Die Option --%1 ist mehrfach angegeben"_s.arg(option.names().first()));
    }

    auto number = [&parser](const QCommandLineOption& option, FieldRules::Range range, int fallback) -> Result<int> {
        if (!parser.isSet(option))
            return fallback;
        const QString text = parser.value(option);
        const std::optional<int> value = FieldRules::number(text, range);
        if (!value)
            return Result<int>::failure(u"Ungültiger Wert „%1“ bei --%2: erwartet eine ganze Zahl von %3"_s.arg(
                text, option.names().first(), range.text()));
        return *value;
    };
    const Result<int> portValue = number(port, ListenPortRange, 0);
    const Result<int> delayMs = number(delay, DelayMsRange, 0);
    const Result<int> restartMs = number(restartDelay, DelayMsRange, SimulatedGateway().restartDelayMs);
    const Result<int> longRestartMs = number(longRestart, DelayMsRange, SimulatedGateway().longRestartMs);
    for (const Result<int>* r : {&portValue, &delayMs, &restartMs, &longRestartMs}) {
        if (!*r)
            return Failure::failure(r->message());
    }
    o.port = quint16(*portValue);

    MasterKey masterKey = SimulatedGateway::defaultMasterKey();
    if (parser.isSet(key)) {
        const std::optional<MasterKey> parsed = FieldRules::masterKey(parser.value(key));
        if (!parsed)
            return Failure::failure(
                u"Ungültiger Master Key „%1“ bei --key: erwartet 32 Hex-Ziffern"_s.arg(parser.value(key)));
        masterKey = *parsed;
    }
    if (parser.isSet(log)) {
        o.logFile = parser.value(log);
        if (o.logFile.isEmpty())
            return Failure::failure(u"Der Option --log fehlt ein Dateiname"_s);
    }
    if (parser.isSet(setupFile)) {
        const QString folder = parser.value(setupFile);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            return Failure::failure(u"Der Ordner „%1“ bei --setup-file existiert nicht"_s.arg(folder));
        o.setupFolder = folder.endsWith(u'/') ? folder : folder + u'/';
    }

    // --gateway and --gateways in the order given.
    QList<Planned> planned;
    const QStringList single = parser.values(gateway);
    const QStringList ranges = parser.values(gateways);
    qsizetype nextSingle = 0;
    qsizetype nextRange = 0;
    for (const QString& argument : arguments.mid(1)) {
        QString name = argument;
        while (name.startsWith(u'-'))
            name.remove(0, 1);
        name = name.left(name.indexOf(u'='));
        if (name == u"gateway"_s && nextSingle < single.size()) {
            const Result<Planned> p = parseGateway(single[nextSingle++]);
            if (!p)
                return Failure::failure(p.message());
            planned.append(*p);
        } else if (name == u"gateways"_s && nextRange < ranges.size()) {
            const Result<QList<Planned>> p = parseRange(ranges[nextRange++]);
            if (!p)
                return Failure::failure(p.message());
            planned.append(*p);
        }
    }
    if (planned.isEmpty())
        return Failure::failure(u"Kein Gateway angegeben (--gateway ADRESSE=GWID oder --gateways A.B.C.D-E)"_s);

    QSet<quint32> seen;
    for (const Planned& p : planned) {
        if (!GatewaySimulator::isPermittedAddress(p.address))
            return Failure::failure(
                u"Adresse %1 abgelehnt: erlaubt sind nur 127.0.0.0/8 und die "
                u"Dokumentationsbereiche 192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24"_s.arg(p.address.toString()));
        if (seen.contains(p.address.toIPv4Address()))
            return Failure::failure(u"Adresse %1 ist mehrfach angegeben"_s.arg(p.address.toString()));
        seen.insert(p.address.toIPv4Address());
        SimulatedGateway g = SimulatedGateway::makeDefault(p.address, p.id);
        g.masterKey = masterKey;
        g.record.setMasterKey(masterKey);
        g.behaviour = p.behaviour.behaviour;
        g.lengthField = p.behaviour.lengthField;
        g.answerDelayMs = int(*delayMs);
        g.restartDelayMs = int(*restartMs);
        g.longRestartMs = int(*longRestartMs);
        if (!o.setupFolder.isEmpty() && QFileInfo::exists(SetupFilePath(o.setupFolder, g.id))) {
            const Status loaded = SetupFileToRecord(o.setupFolder, g.id, g.record);
            if (!loaded)
                return Failure::failure(
                    u"Setup-Datei von %1 in „%2“: %3"_s.arg(g.id.text(), o.setupFolder, loaded.message()));
        }
        o.gateways.append(g);
    }
    return o;
}

namespace {

// "  --port N   Port aller ..." with the descriptions in one column, from the option table.
QString optionLines()
{
    constexpr int Column = 36;
    QStringList lines;
    for (const OptionSpec& o : optionTable()) {
        QStringList names;
        for (const QString& n : o.names)
            names << (n.size() == 1 ? u"-"_s : u"--"_s) + n;
        QString head = u"  "_s + names.join(u", "_s) + (o.valueName.isEmpty() ? QString() : u' ' + o.valueName);
        const QStringList text = o.description.split(u'\n');
        if (head.size() >= Column) {
            lines << head;
            head.clear();
        }
        for (const QString& t : text) {
            lines << head.leftJustified(Column) + t;
            head.clear();
        }
    }
    return lines.join(u'\n');
}

} // namespace

QString SimulatorCommandLine::helpText()
{
    return uR"(Aufruf: telvaro-gwsim [Optionen]
Simuliert Wireless-M-Bus-Gateways, alle auf einem TCP-Port. Erlaubte Adressen: 127.0.0.0/8 und die
Dokumentationsbereiche 192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24 (nur in einem eigens
angelegten Netzwerk-Namespace); jede andere Adresse wird abgelehnt.

Optionen:
%2

Verhalten (VERHALTEN):
%1
Übernahme eines Setups und Neustart:
  Ein Gateway quittiert ein gültiges Setup mit 0x06 und übernimmt es; die nächste Leseanfrage
  liefert es. Trägt es einen anderen Master Key oder bei DHCP aus eine andere feste Adresse als
  die, auf der das Gateway lauscht, startet das Gateway neu: --restart-delay ms lang nimmt es keine
  Verbindung an, danach verwendet es den neuen Master Key und lauscht bei einer neuen festen
  Adresse in 127.0.0.0/8 dort (gleicher Port). Eine neue Adresse außerhalb von 127.0.0.0/8 (oder
  eine, die ein anderes Gateway belegt) wird nicht übernommen: das Gateway bleibt auf seiner
  Adresse. Ein Setup, das weder Master Key noch Adresse ändert, gilt sofort, ohne Neustart.
  Das eingebaute Setup hat DHCP aus und die Adresse des Gateways als feste Adresse.

Meldet "listening on port N with K gateways", sobald alle Gateways lauschen; läuft bis SIGTERM
oder SIGINT. Das Protokoll (--log) erhält eine JSON-Zeile je Ereignis ("event"):
  setup            ein Setup-Telegramm empfangen: address, gwid, wellFormed, record (1116 Bytes hex)
  restart          Neustart beginnt: address, gwid, durationMs, masterKeyChanged, fixedAddress
  move             das Gateway lauscht auf neuer Adresse: address, previousAddress, gwid
  addressNotTaken  feste Adresse nicht übernommen: address, gwid, fixedAddress, reason
  restarted        Neustart beendet: address, gwid, masterKey
  restartFailed    das Gateway kann nicht wieder lauschen: address, gwid, reason
Exit-Codes: 0 nach einem Signal, 1 wenn das Lauschen scheitert, 2 bei ungültigem Aufruf oder
abgelehnter Adresse.
)"_s.arg(behaviourHelp(), optionLines());
}
