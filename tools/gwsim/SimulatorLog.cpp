#include "SimulatorLog.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace SimulatorLog {

namespace {

QJsonObject event(const QString& name, const QHostAddress& address, const GatewayId& id)
{
    QJsonObject o;
    o.insert(u"event"_s, name);
    o.insert(u"address"_s, address.toString());
    o.insert(u"gwid"_s, id.text());
    return o;
}

QByteArray line(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString keyHex(const MasterKey& key)
{
    return hex(QByteArray(reinterpret_cast<const char*>(key.data()), qsizetype(key.size())));
}

} // namespace

QByteArray setupLine(const ReceivedSetup& setup)
{
    QJsonObject o = event(u"setup"_s, setup.address, setup.gatewayId);
    o.insert(u"wellFormed"_s, setup.wellFormed);
    o.insert(u"record"_s, hex(setup.record.toByteArray()));
    return line(o);
}

QByteArray restartLine(const SimulatedGateway& gateway, int durationMs)
{
    QJsonObject o = event(u"restart"_s, gateway.address, gateway.id);
    o.insert(u"durationMs"_s, durationMs);
    o.insert(u"masterKeyChanged"_s, gateway.record.masterKey() != gateway.masterKey);
    if (gateway.record.networkFlag(GWSetupRecord::Dhcp)) {
        o.insert(u"fixedAddress"_s, QJsonValue::Null);
    } else {
        const GWSetupRecord::Address a = gateway.record.fixedIp();
        o.insert(u"fixedAddress"_s, u"%1.%2.%3.%4"_s.arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]));
    }
    return line(o);
}

QByteArray moveLine(const SimulatedGateway& gateway, const QHostAddress& previousAddress)
{
    QJsonObject o = event(u"move"_s, gateway.address, gateway.id);
    o.insert(u"previousAddress"_s, previousAddress.toString());
    return line(o);
}

QByteArray addressNotTakenLine(const SimulatedGateway& gateway, const QHostAddress& fixedAddress, const QString& reason)
{
    QJsonObject o = event(u"addressNotTaken"_s, gateway.address, gateway.id);
    o.insert(u"fixedAddress"_s, fixedAddress.toString());
    o.insert(u"reason"_s, reason);
    return line(o);
}

QByteArray restartedLine(const SimulatedGateway& gateway)
{
    QJsonObject o = event(u"restarted"_s, gateway.address, gateway.id);
    o.insert(u"masterKey"_s, keyHex(gateway.masterKey));
    return line(o);
}

QByteArray restartFailedLine(const SimulatedGateway& gateway, const QString& reason)
{
    QJsonObject o = event(u"restartFailed"_s, gateway.address, gateway.id);
    o.insert(u"reason"_s, reason);
    return line(o);
}

} // namespace SimulatorLog
