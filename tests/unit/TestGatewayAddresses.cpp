// Where a gateway can live: the host part of a segment address, and a fixed address that is neither
// the network's own address nor its broadcast address under the gateway's subnet mask.
#include "setups/FieldRules.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(FieldRules::AddressRole)

class TestGatewayAddresses : public QObject
{
    Q_OBJECT

private slots:
    void hostAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed"); // empty: refused
        QTest::newRow("plain") << u"127.0.0.21"_s << u"127.0.0.21"_s;
        QTest::newRow("leading zeros are decimal") << u"127.0.0.010"_s << u"127.0.0.10"_s;
        QTest::newRow("last part 254") << u"10.1.1.254"_s << u"10.1.1.254"_s;
        QTest::newRow("segment's .0") << u"10.1.1.0"_s << QString();
        QTest::newRow("segment's .255") << u"10.1.1.255"_s << QString();
        QTest::newRow("one number") << u"2130706443"_s << QString();
        QTest::newRow("three parts") << u"127.0.1"_s << QString();
        QTest::newRow("hex part") << u"127.0.0.0x15"_s << QString();
        QTest::newRow("blank") << u" 127.0.0.1"_s << QString();
        QTest::newRow("part above 255") << u"127.0.0.256"_s << QString();
    }
    void hostAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        const auto a = FieldRules::hostAddress(text);
        QCOMPARE(a ? u"%1.%2.%3.%4"_s.arg((*a)[0]).arg((*a)[1]).arg((*a)[2]).arg((*a)[3]) : QString(), parsed);
    }

    void fixedAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<FieldRules::AddressRole>("role");
        using Role = FieldRules::AddressRole;
        QTest::newRow("/24 host") << u"192.0.2.20"_s << u"255.255.255.0"_s << Role::Host;
        QTest::newRow("/24 network") << u"192.0.2.0"_s << u"255.255.255.0"_s << Role::Network;
        QTest::newRow("/24 broadcast") << u"192.0.2.255"_s << u"255.255.255.0"_s << Role::Broadcast;
        QTest::newRow("/25 upper half's network") << u"192.0.2.128"_s << u"255.255.255.128"_s << Role::Network;
        QTest::newRow("/25 lower half's broadcast") << u"192.0.2.127"_s << u"255.255.255.128"_s << Role::Broadcast;
        QTest::newRow("/23 .255 inside") << u"192.0.2.255"_s << u"255.255.254.0"_s << Role::Host;
        QTest::newRow("/23 .0 inside") << u"192.0.3.0"_s << u"255.255.254.0"_s << Role::Host;
        QTest::newRow("/16 broadcast") << u"10.1.255.255"_s << u"255.255.0.0"_s << Role::Broadcast;
        QTest::newRow("/30 network") << u"10.0.0.4"_s << u"255.255.255.252"_s << Role::Network;
        QTest::newRow("/30 host") << u"10.0.0.5"_s << u"255.255.255.252"_s << Role::Host;
        QTest::newRow("/31 both usable") << u"10.0.0.4"_s << u"255.255.255.254"_s << Role::Host;
        QTest::newRow("/32 single host") << u"10.0.0.255"_s << u"255.255.255.255"_s << Role::Host;
        QTest::newRow("no mask: all ones") << u"255.255.255.255"_s << u"0.0.0.0"_s << Role::Broadcast;
    }
    void fixedAddress()
    {
        QFETCH(QString, address);
        QFETCH(QString, mask);
        QFETCH(FieldRules::AddressRole, role);
        const auto a = FieldRules::address(address), m = FieldRules::address(mask);
        QVERIFY(a && m);
        QCOMPARE(FieldRules::addressRole(*a, *m), role);
        const QString problem = FieldRules::fixedAddressProblem(*a, *m);
        QCOMPARE(problem.isEmpty(), role == FieldRules::AddressRole::Host);
        if (!problem.isEmpty()) {
            QVERIFY2(problem.contains(address) && problem.contains(mask), qPrintable(problem));
            QVERIFY(
                problem.contains(role == FieldRules::AddressRole::Network ? u"Netzadresse"_s : u"Broadcast-Adresse"_s));
        }
    }

    void dhcpSetupHasNoFixedAddressProblem_data()
    {
        QTest::addColumn<bool>("dhcp");
        QTest::newRow("DHCP on: fixed address not used") << true;
        QTest::newRow("DHCP off: fixed address in use") << false;
    }
    void dhcpSetupHasNoFixedAddressProblem()
    {
        QFETCH(bool, dhcp);
        GWSetupRecord record;
        record.setAddress(GWSetupRecord::OffFixedIp, {192, 0, 2, 255});
        record.setAddress(GWSetupRecord::OffSubnetMask, {255, 255, 255, 0});
        record.setNetworkFlag(GWSetupRecord::Dhcp, dhcp);
        QCOMPARE(FieldRules::fixedAddressProblem(record).isEmpty(), dhcp);
    }
};

QTEST_GUILESS_MAIN(TestGatewayAddresses)
#include "TestGatewayAddresses.moc"
