#include "SimulatorCommandLine.h"

#include "GatewaySimulator.h"

#include "setups/SetupConversion.h"
#include "setups/SetupFile.h"

#include <QFileInfo>

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

bool parseNumber(const QString& text, int max, int& value)
{
    if (text.isEmpty() || text.size() > 6)
        return false;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    value = text.toInt();
    return value <= max;
}

std::optional<QHostAddress> parseIpv4(const QString& text)
{
    QHostAddress address;
    if (!address.setAddress(text) || address.protocol() != QAbstractSocket::IPv4Protocol || text.count(u'.') != 3)
        return std::nullopt;
    return address;
}

std::optional<MasterKey> parseKey(const QString& text)
{
    if (text.size() != 32)
        return std::nullopt;
    for (QChar c : text) {
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex)
            return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    MasterKey key;
    for (int i = 0; i < 16; ++i)
        key[size_t(i)] = quint8(bytes[i]);
    return key;
}

// "VALUE[:BEHAVIOUR]"
bool splitBehaviour(const QString& item, QString& value, BehaviourSetting& behaviour, QString& error)
{
    const qsizetype colon = item.indexOf(u':');
    value = item.left(colon);
    behaviour = BehaviourSetting{};
    if (colon < 0)
        return true;
    const std::optional<BehaviourSetting> parsed = behaviourFromText(item.mid(colon + 1));
    if (!parsed) {
        error = u"unknown behaviour '%1' (known: %2)"_s.arg(item.mid(colon + 1), behaviourTexts().join(u", "_s));
        return false;
    }
    behaviour = *parsed;
    return true;
}

} // namespace

GatewayId SimulatorCommandLine::rangeId(const QHostAddress& address)
{
    const quint32 ip = address.toIPv4Address();
    return GatewayId{{0xB0, quint8(ip >> 8), quint8(ip)}};
}

SimulatorCommandLine::Outcome SimulatorCommandLine::parse(const QStringList& arguments)
{
    Outcome out;
    SimulatorOptions& o = out.options;
    MasterKey key = SimulatedGateway::defaultMasterKey();
    int delayMs = 0;
    struct Planned
    {
        QHostAddress address;
        GatewayId id;
        BehaviourSetting behaviour;
    };
    QList<Planned> planned;

    auto fail = [&out](const QString& message) {
        out.ok = false;
        out.error = message;
        return out;
    };

    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith(u"--"_s) && arg.contains(u'=')) {
            const qsizetype eq = arg.indexOf(u'=');
            inlineValue = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasInline = true;
        }
        auto takeValue = [&](QString& value) {
            if (hasInline) {
                value = inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };

        if (arg == u"--help"_s || arg == u"-h"_s) {
            o.help = true;
            continue;
        }
        QString value;
        const QStringList valued{u"--port"_s,  u"--gateway"_s, u"--gateways"_s,  u"--key"_s,
                                 u"--delay"_s, u"--log"_s,     u"--setup-file"_s};
        if (!valued.contains(arg))
            return fail(u"unknown option '%1' (see --help)"_s.arg(arguments[i]));
        if (!takeValue(value))
            return fail(u"option %1 needs a value"_s.arg(arg));

        if (arg == u"--port"_s) {
            int port = 0;
            if (!parseNumber(value, 65535, port))
                return fail(u"invalid port '%1'"_s.arg(value));
            o.port = quint16(port);
        } else if (arg == u"--key"_s) {
            const std::optional<MasterKey> parsed = parseKey(value);
            if (!parsed)
                return fail(u"invalid master key '%1': 32 hex digits expected"_s.arg(value));
            key = *parsed;
        } else if (arg == u"--delay"_s) {
            if (!parseNumber(value, 600000, delayMs))
                return fail(u"invalid delay '%1'"_s.arg(value));
        } else if (arg == u"--log"_s) {
            o.logFile = value;
        } else if (arg == u"--setup-file"_s) {
            if (!QFileInfo(value).isDir())
                return fail(u"setup folder '%1' does not exist"_s.arg(value));
            o.setupFolder = value.endsWith(u'/') ? value : value + u'/';
        } else if (arg == u"--gateway"_s) {
            QString item;
            BehaviourSetting behaviour;
            QString error;
            if (!splitBehaviour(value, item, behaviour, error))
                return fail(error);
            const qsizetype eq = item.indexOf(u'=');
            const std::optional<QHostAddress> address = parseIpv4(item.left(eq));
            const std::optional<GatewayId> id = eq < 0 ? std::nullopt : GatewayId::fromText(item.mid(eq + 1));
            if (!address || !id)
                return fail(
                    u"invalid gateway '%1': ADDRESS=GWID[:BEHAVIOUR] expected, e.g. 127.0.0.21=0A1B2C"_s.arg(value));
            planned.append({*address, *id, behaviour});
        } else if (arg == u"--gateways"_s) {
            QString item;
            BehaviourSetting behaviour;
            QString error;
            if (!splitBehaviour(value, item, behaviour, error))
                return fail(error);
            const qsizetype dash = item.lastIndexOf(u'-');
            const std::optional<QHostAddress> first = parseIpv4(item.left(dash));
            int last = 0;
            if (dash < 0 || !first || !parseNumber(item.mid(dash + 1), 255, last) ||
                last < int(first->toIPv4Address() & 0xFF))
                return fail(
                    u"invalid gateway range '%1': A.B.C.D-E[:BEHAVIOUR] expected, e.g. 127.0.0.21-40"_s.arg(value));
            const quint32 base = first->toIPv4Address() & 0xFFFFFF00u;
            for (int host = int(first->toIPv4Address() & 0xFF); host <= last; ++host) {
                const QHostAddress address(base | quint32(host));
                planned.append({address, rangeId(address), behaviour});
            }
        }
    }
    if (o.help) {
        out.ok = true;
        return out;
    }
    if (planned.isEmpty())
        return fail(u"no gateway given (--gateway ADDRESS=GWID or --gateways A.B.C.D-E)"_s);

    QSet<quint32> seen;
    for (const Planned& p : planned) {
        if (!GatewaySimulator::isPermittedAddress(p.address))
            return fail(
                u"refusing %1: only 127.0.0.0/8 and the documentation ranges 192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24"_s
                    .arg(p.address.toString()));
        if (seen.contains(p.address.toIPv4Address()))
            return fail(u"address %1 given twice"_s.arg(p.address.toString()));
        seen.insert(p.address.toIPv4Address());
        SimulatedGateway g = SimulatedGateway::makeDefault(p.address, p.id);
        g.masterKey = key;
        g.record.setMasterKey(key);
        g.behaviour = p.behaviour.behaviour;
        g.lengthField = p.behaviour.lengthField;
        g.answerDelayMs = delayMs;
        if (!o.setupFolder.isEmpty() && QFileInfo::exists(SetupFilePath(o.setupFolder, g.id))) {
            const Status loaded = SetupFileToRecord(o.setupFolder, g.id, g.record);
            if (!loaded)
                return fail(u"setup file of %1 in '%2': %3"_s.arg(g.id.text(), o.setupFolder, loaded.message()));
        }
        o.gateways.append(g);
    }
    out.ok = true;
    return out;
}

QString SimulatorCommandLine::helpText()
{
    return uR"(Usage: telvaro-gwsim [options]
Simulates wireless M-Bus gateways, all on one TCP port. Addresses: 127.0.0.0/8, and the
documentation ranges 192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24 (inside a network namespace);
every other address is refused.

Options:
  --port N                       port for all gateways; 0 picks a free one (default 0)
  --gateway ADDR=GWID[:BEHAV]    one gateway, e.g. 127.0.0.21=0A1B2C or 127.0.0.22=0A.1B.2D:wrongkey
                                 (repeatable)
  --gateways A.B.C.D-E[:BEHAV]   gateways on A.B.C.D to A.B.C.E with IDs B0.<C>.<host> (repeatable)
  --key HEX32                    master key of all gateways (default 7C3E9A15D2084BF6E1A05C93D76F2B48)
  --delay MS                     delay before answering a read request (default 0)
  --log FILE                     append received setups as JSON lines to FILE (default stdout)
  --setup-file DIR               gateways whose setup file (SETUPGW_xx_xx_xx.GWINI) lies in DIR report
                                 the setup from it; the others the built-in default
  --help                         this text

Behaviours: %1

Prints "listening on port N with K gateways" once listening; runs until SIGTERM or SIGINT.
Every setup telegram received is logged as one JSON line:
  {"address":"127.0.0.21","gwid":"0A.1B.2C","wellFormed":true,"record":"<1116 bytes hex>"}
Exit codes: 0 after a signal, 1 when listening fails, 2 for invalid options or refused addresses.
)"_s.arg(behaviourTexts().join(u", "_s));
}
