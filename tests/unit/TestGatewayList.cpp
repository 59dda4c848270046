#include "base/SharedFolders.h"
#include "link/GatewayAnswer.h"
#include "link/GatewayList.h"
#include "setups/SetupFile.h"

#include "GatewayFrames.h"
#include "SimulatedGateway.h"
#include "TestSupport.h"

#include <QFile>

using namespace Qt::StringLiterals;

class TestGatewayList : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheAddressOrder()
    {
        GatewayList list;
        for (const char* ip : {"127.0.0.25", "127.0.0.3", "127.0.0.200", "127.0.0.21"})
            list.AddOrUpdateGatewayRow(u"0A.1B.2C"_s, QString::fromLatin1(ip), u"1.0.0"_s);
        QStringList order;
        for (const GatewayList::Row& row : list.rows())
            order << row.ip;
        QCOMPARE(order, (QStringList{u"127.0.0.3"_s, u"127.0.0.21"_s, u"127.0.0.25"_s, u"127.0.0.200"_s}));
    }

    void sameAddressOnlyUpdatesTheId()
    {
        GatewayList list;
        list.AddOrUpdateGatewayRow(u"0A.1B.2C"_s, u"127.0.0.21"_s, u"1.4.12"_s);
        QCOMPARE(list.AddOrUpdateGatewayRow(u"0A.1B.99"_s, u"127.0.0.21"_s, u"???"_s), 0);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.rows()[0].gwid, u"0A.1B.99"_s);
        QCOMPARE(list.rows()[0].firmware, u"1.4.12"_s); // firmware stays
    }

    void emptyIdChangesNothing()
    {
        GatewayList list;
        QCOMPARE(list.AddOrUpdateGatewayRow(QString(), u"127.0.0.21"_s, u"1.4.12"_s), -1);
        QCOMPARE(list.size(), 0);
    }

    void answersAreHandled_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("rightKey");
        QTest::addColumn<int>("cut");
        QTest::addColumn<QString>("gwid");
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<bool>("stored");
        QTest::newRow("setup") << 0x14 << true << 0 << u"0A.1B.2C"_s << u"1.4.12"_s << true;
        QTest::newRow("wrong key") << 0x14 << false << 0 << u"0A.1B.2C"_s << u"???"_s << false;
        QTest::newRow("other type") << 0x15 << true << 0 << u"0A.1B.2C"_s << QString() << false;
        QTest::newRow("9 bytes") << 0x14 << true << 9 << QString() << QString() << false;
    }
    void answersAreHandled()
    {
        QFETCH(int, type);
        QFETCH(bool, rightKey);
        QFETCH(int, cut);
        QFETCH(QString, gwid);
        QFETCH(QString, firmware);
        QFETCH(bool, stored);
        ScratchDocuments docs;
        const QString folder = SharedFolders::setups();
        QVERIFY(SharedFolders::ensureFolder(folder));
        const SimulatedGateway gw =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), GatewayId{{0x0A, 0x1B, 0x2C}});
        const MasterKey key = rightKey ? gw.masterKey : SimulatedGateway::otherMasterKey(gw.masterKey);
        QByteArray frame = GatewayFrames::answer(quint8(type), gw.id, KeyMaterial{1, 2, 3, 4}, key,
                                                 type == 0x14 ? gw.record.toByteArray() : QByteArray());
        if (cut)
            frame.truncate(cut);
        const HandledAnswer handled = HandleGatewayAnswer(frame, gw.masterKey, folder);
        QCOMPARE(handled.gwid, gwid);
        QCOMPARE(handled.firmware, firmware);
        QCOMPARE(handled.listed(), !gwid.isEmpty());
        QCOMPARE(handled.record.has_value(), stored);
        QCOMPARE(QFile::exists(SetupFilePath(folder, gw.id)), stored);
        QVERIFY(handled.storeError.isEmpty());
    }

    void storeFailureIsReportedNotFatal()
    {
        ScratchDocuments docs;
        const SimulatedGateway gw =
            SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), GatewayId{{0x0A, 0x1B, 0x2C}});
        const QByteArray frame =
            GatewayFrames::answer(0x14, gw.id, KeyMaterial{1, 2, 3, 4}, gw.masterKey, gw.record.toByteArray());
        // The folder does not exist: the setup cannot be stored, the gateway is listed all the same.
        const HandledAnswer handled = HandleGatewayAnswer(frame, gw.masterKey, docs.file(u"missing/"_s));
        QCOMPARE(handled.firmware, u"1.4.12"_s);
        QVERIFY(!handled.storeError.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGatewayList)
#include "TestGatewayList.moc"
