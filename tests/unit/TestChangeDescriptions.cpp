// Changes between two setups in the user's words (the dialog's labels, values as the dialog shows
// them), and the field names and groups a template run accepts.
#include "setups/RecordFields.h"
#include "setups/SetupDiff.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

GWSetupRecord base()
{
    GWSetupRecord r;
    r.setServerName("collector.mbus.lan");
    r.setServerPort(5035);
    r.setNetworkFlag(GWSetupRecord::ReportHourly, true);
    r.setWMBusFlag(GWSetupRecord::ModeT, true);
    r.setFixedIp({192, 168, 1, 98});
    r.setRadioIdSlot(0, 0x12345678);
    r.setRadioIdSlot(1, 0x23456789);
    for (int n = 0; n < GWSetupRecord::FilterCodes; ++n)
        r.setManufacturerCode(n, "QLB");
    return r;
}

} // namespace

class TestChangeDescriptions : public QObject
{
    Q_OBJECT

private slots:
    void describe_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("keys"); // of the first change
        QTest::newRow("nothing") << u""_s << QStringList() << QStringList();
        QTest::newRow("port") << u"port"_s << QStringList{u"Server Port: 5035 → 7100"_s}
                              << QStringList{u"NETZWERK/PORT"_s};
        QTest::newRow("interval, two keys, one change")
            << u"daily"_s << QStringList{u"Verbindungsintervall: pro h → pro Tag"_s}
            << QStringList{u"NETZWERK/PROH"_s, u"NETZWERK/PROTAG"_s};
        QTest::newRow("mode, MODET and MODES") << u"modeS"_s << QStringList{u"wM-Bus Mode: T/C → S"_s}
                                               << QStringList{u"WM-BUS/MODET"_s, u"WM-BUS/MODES"_s};
        QTest::newRow("radio IDs added and removed")
            << u"ids"_s << QStringList{u"Funk-IDs: +34567890 −23456789"_s} << QStringList{u"WM-BUS_IDS/ID1"_s};
        QTest::newRow("radio IDs in another order") << u"swap"_s << QStringList{u"Funk-IDs: Reihenfolge geändert"_s}
                                                    << QStringList{u"WM-BUS_IDS/ID0"_s, u"WM-BUS_IDS/ID1"_s};
        QTest::newRow("flag as yes and no")
            << u"dhcp"_s << QStringList{u"mit DHCP: nein → ja"_s} << QStringList{u"NETZWERK/DHCP"_s};
        QTest::newRow("address without leading zeros")
            << u"fixed"_s << QStringList{u"feste IP (sonst mit): 192.168.1.98 → 10.0.0.5"_s}
            << QStringList{u"NETZWERK/FEST_IP"_s};
        QTest::newRow("empty server name")
            << u"noname"_s << QStringList{u"Server (DNS Name oder IP Adresse): collector.mbus.lan → (leer)"_s}
            << QStringList{u"NETZWERK/SRV_DNS"_s};
        QTest::newRow("manufacturer code")
            << u"hs"_s << QStringList{u"Hersteller 2: QLB → ABC"_s} << QStringList{u"WM-BUS/FILTER_HS1"_s};
        QTest::newRow("bytes without a key")
            << u"reserved"_s << QStringList{u"Reservierte Bytes 18-21: 00 00 00 00 → 00 07 00 00"_s}
            << QStringList{u"Reservierte Bytes 18-21"_s};
        QTest::newRow("two fields in the record's order")
            << u"port+modeS"_s << QStringList{u"Server Port: 5035 → 7100"_s, u"wM-Bus Mode: T/C → S"_s}
            << QStringList{u"NETZWERK/PORT"_s};
    }
    void describe()
    {
        QFETCH(QString, edit);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, keys);
        const GWSetupRecord before = base();
        GWSetupRecord after = before;
        for (const QString& e : edit.split(u'+', Qt::SkipEmptyParts)) {
            if (e == u"port"_s)
                after.setServerPort(7100);
            else if (e == u"daily"_s) {
                after.setNetworkFlag(GWSetupRecord::ReportHourly, false);
                after.setNetworkFlag(GWSetupRecord::ReportDaily, true);
            } else if (e == u"modeS"_s)
                after.setWMBusFlag(GWSetupRecord::ModeT, false);
            else if (e == u"ids"_s)
                after.setRadioIdSlot(1, 0x34567890);
            else if (e == u"swap"_s) {
                after.setRadioIdSlot(0, 0x23456789);
                after.setRadioIdSlot(1, 0x12345678);
            } else if (e == u"dhcp"_s)
                after.setNetworkFlag(GWSetupRecord::Dhcp, true);
            else if (e == u"fixed"_s)
                after.setFixedIp({10, 0, 0, 5});
            else if (e == u"noname"_s)
                after.setServerName({});
            else if (e == u"hs"_s)
                after.setManufacturerCode(1, "ABC");
            else if (e == u"reserved"_s)
                after.raw()[19] = 7;
        }
        const QList<FieldChange> changes = describeChanges(before, after);
        QStringList got;
        for (const FieldChange& c : changes)
            got << c.text();
        QCOMPARE(got, texts);
        QCOMPARE(changes.isEmpty() ? QStringList() : changes.first().keys, keys);
    }

    void sentAndRead_data()
    {
        QTest::addColumn<bool>("ids");
        QTest::addColumn<QString>("line");
        QTest::newRow("a value") << false << u"Server Port: gesendet 5035, gelesen 7100"_s;
        QTest::newRow("the radio-ID list")
            << true << u"Funk-IDs: gesendet, nicht gelesen 23456789; gelesen, nicht gesendet 34567890"_s;
    }
    void sentAndRead()
    {
        QFETCH(bool, ids);
        QFETCH(QString, line);
        const GWSetupRecord sent = base();
        GWSetupRecord read = sent;
        if (ids)
            read.setRadioIdSlot(1, 0x34567890);
        else
            read.setServerPort(7100);
        const QList<FieldChange> changes = describeChanges(sent, read);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().sentAndRead(), line);
    }

    void fieldList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names"); // empty: refused
        QTest::addColumn<QString>("message");
        QTest::newRow("keys in any case, file order")
            << u"netzwerk/port, NETZWERK/SRV_DNS"_s << QStringList{u"NETZWERK/SRV_DNS"_s, u"NETZWERK/PORT"_s}
            << QString();
        QTest::newRow("a group") << u"Funkmodus"_s << QStringList{u"WM-BUS/MODET"_s, u"WM-BUS/MODES"_s} << QString();
        QTest::newRow("group and key, each field once")
            << u"server,NETZWERK/PORT"_s << QStringList{u"NETZWERK/SRV_DNS"_s, u"NETZWERK/PORT"_s} << QString();
        QTest::newRow("the radio-ID list group")
            << u"Funk-ID-Liste"_s << QStringList{u"WM-BUS/FILTER_IDS"_s, u"WM-BUS_IDS"_s} << QString();
        QTest::newRow("unknown name")
            << u"NETZWERK/FOO"_s << QStringList()
            << u"Unbekanntes Feld: \"NETZWERK/FOO\" (erwartet ABSCHNITT/SCHLÜSSEL einer Setup-Datei wie NETZWERK/PORT "
               "oder eine Gruppe: Server, Intervall, Funkmodus, Hersteller-Filter, Mediumcode-Filter, Funk-ID-Liste)"_s;
        QTest::newRow("only commas") << u" , ,"_s << QStringList() << u"--fields nennt kein Feld"_s;
    }
    void fieldList()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        const Result<QList<RecordField>> fields = parseFieldList(text);
        QCOMPARE(fields.ok(), !names.isEmpty());
        if (!fields) {
            QCOMPARE(fields.message(), message);
            return;
        }
        QStringList got;
        for (const RecordField& f : *fields)
            got << f.name();
        QCOMPARE(got, names);
    }

    // What a template gives unless told otherwise: server, interval, radio mode; never the filters
    // or the radio-ID list, which are each gateway's own.
    void defaultGroups()
    {
        QStringList defaults;
        for (const RecordField& f : defaultFleetFields())
            defaults << f.name();
        QCOMPARE(defaults,
                 (QStringList{u"NETZWERK/SRV_DNS"_s, u"NETZWERK/PORT"_s, u"NETZWERK/SOFORT"_s, u"NETZWERK/PROH"_s,
                              u"NETZWERK/PROTAG"_s, u"NETZWERK/PROMONAT"_s, u"WM-BUS/MODET"_s, u"WM-BUS/MODES"_s}));
        QVERIFY(!requiredKeys(defaultFleetFields()).contains(u"WM-BUS/MODES"_s));
        QStringList names;
        for (const FieldGroupInfo& g : fieldGroups())
            names << g.name + (g.byDefault ? u"*"_s : QString());
        QCOMPARE(names, (QStringList{u"Server*"_s, u"Intervall*"_s, u"Funkmodus*"_s, u"Hersteller-Filter"_s,
                                     u"Mediumcode-Filter"_s, u"Funk-ID-Liste"_s}));
    }
};

QTEST_GUILESS_MAIN(TestChangeDescriptions)
#include "TestChangeDescriptions.moc"
