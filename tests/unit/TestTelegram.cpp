#include "link/Telegram.h"

#include "TestSupport.h"

using namespace Qt::StringLiterals;

static MasterKey keyFromHex(const char* hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    MasterKey k{};
    std::copy(b.begin(), b.end(), k.begin());
    return k;
}

static const MasterKey kMaster = keyFromHex("7C3E9A15D2084BF6E1A05C93D76F2B48");
static const KeyMaterial kMaterial = {0xDE, 0xAD, 0xBE, 0xEF};
static const GatewayId kId{{0x0A, 0x1B, 0x2C}};

static GWSetupRecord sampleRecord()
{
    GWSetupRecord r;
    for (int i = 0; i < GWSetupRecord::Size; ++i)
        r.raw()[i] = quint8(i * 7 + 3);
    r.setFirmwareVersion({1, 4, 12});
    return r;
}

// An answer as a gateway builds it: header in clear, then [pad, AA, 55, payload] encrypted.
static QByteArray gatewayAnswer(quint8 type, const QByteArray& payload, const MasterKey& key, int lengthOverride = -1)
{
    QByteArray span = QByteArray::fromHex("00AA55") + payload;
    TelegramCipher::DeriveTelegramKey(kMaterial, kId.bytes, key).value().EncryptTelegram(span);
    const int n = lengthOverride >= 0 ? lengthOverride : int(span.size() + Telegram::HeaderSize);
    QByteArray frame;
    frame.append(char(n >> 8)).append(char(n & 0xFF)).append(char(type));
    frame.append(reinterpret_cast<const char*>(kId.bytes.data()), 3);
    frame.append(reinterpret_cast<const char*>(kMaterial.data()), 4);
    return frame + span;
}

class TestTelegram : public QObject
{
    Q_OBJECT

private slots:
    void requests()
    {
        QCOMPARE(Telegram::ReadSetupRequest(), QByteArray::fromHex("03003700"));
        QCOMPARE(Telegram::WriteSetupRequest(), QByteArray::fromHex("03004100"));
    }

    void setupTelegramLayout()
    {
        const GWSetupRecord record = sampleRecord();
        const QByteArray t = Telegram::BuildSetupTelegram(record, kMaterial, kId.bytes, kMaster).value();
        QCOMPARE(t.size(), 1123);
        QCOMPARE(t.left(3), QByteArray::fromHex("046314"));

        const std::optional<QByteArray> plain =
            TelegramCipher::DeriveTelegramKey(kMaterial, kId.bytes, kMaster).value().DecryptTelegram(t.mid(3));
        QVERIFY(plain);
        QCOMPARE(plain->size(), 1120);
        QCOMPARE(plain->left(3), QByteArray::fromHex("01AA55"));
        QCOMPARE(plain->mid(3, 1116), record.toByteArray());
        QCOMPARE(quint8(plain->at(1119)), quint8(0x2F));
    }

    void setupAnswerDecodes()
    {
        const GWSetupRecord record = sampleRecord();
        const QByteArray frame = gatewayAnswer(0x14, record.toByteArray(), kMaster);
        QCOMPARE(frame.size(), 1130);
        QCOMPARE(Telegram::answerState(frame), Telegram::FrameState::Complete);
        const Telegram::Answer a = Telegram::decodeAnswer(frame, kMaster);
        QCOMPARE(a.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(a.length, 1130);
        QCOMPARE(a.gatewayId, kId);
        QCOMPARE(a.record, record);
        QCOMPARE(a.record.firmwareText(), u"1.4.12"_s);
    }

    void answerKinds_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("kind");
        const QByteArray record = sampleRecord().toByteArray();
        const MasterKey other = keyFromHex("00112233445566778899AABBCCDDEEFF");
        using K = Telegram::Answer::Kind;
        QTest::newRow("wrong master key") << gatewayAnswer(0x14, record, other) << int(K::WrongKey);
        QTest::newRow("other type") << gatewayAnswer(0x15, QByteArray(), kMaster) << int(K::OtherType);
        QTest::newRow("type 20 body too short for a record")
            << gatewayAnswer(0x14, record.left(1000), kMaster) << int(K::OtherType);
        QTest::newRow("9 bytes") << gatewayAnswer(0x14, record, kMaster).left(9) << int(K::NotDecodable);
        QTest::newRow("empty") << QByteArray() << int(K::NotDecodable);
        QTest::newRow("length 0") << gatewayAnswer(0x14, record, kMaster, 0) << int(K::NotDecodable);
        QTest::newRow("length 9") << gatewayAnswer(0x14, record, kMaster, 9) << int(K::NotDecodable);
        QTest::newRow("length 10, no body") << gatewayAnswer(0x14, record, kMaster, 10) << int(K::NotDecodable);
        QTest::newRow("length 0xFFFF") << gatewayAnswer(0x14, record, kMaster, 0xFFFF) << int(K::NotDecodable);
        QTest::newRow("length 1129 cuts the record") << gatewayAnswer(0x14, record, kMaster, 1129) << int(K::OtherType);
        QTest::newRow("length beyond bytes received")
            << gatewayAnswer(0x14, record, kMaster, 2000) << int(K::Incomplete);
        QTest::newRow("bytes after the frame are ignored")
            << gatewayAnswer(0x14, record, kMaster) + QByteArray(50, 'x') << int(K::Setup);
        QTest::newRow("half a frame") << gatewayAnswer(0x14, record, kMaster).left(600) << int(K::Incomplete);
        QTest::newRow("header only") << gatewayAnswer(0x14, record, kMaster).left(10) << int(K::Incomplete);
        QTest::newRow("one byte short") << gatewayAnswer(0x14, record, kMaster).left(1129) << int(K::Incomplete);
    }
    void answerKinds()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, kind);
        const Telegram::Answer a = Telegram::decodeAnswer(frame, kMaster);
        QCOMPARE(int(a.kind), kind);
        QVERIFY(a.body.size() <= Telegram::MaxBody);
        QVERIFY(a.body.size() <= qMax<qsizetype>(0, frame.size() - Telegram::HeaderSize));
    }

    void shortBodyLeavesNoStaleRecord()
    {
        const QByteArray full = gatewayAnswer(0x14, sampleRecord().toByteArray(), kMaster);
        QCOMPARE(Telegram::decodeAnswer(full, kMaster).kind, Telegram::Answer::Kind::Setup);
        const Telegram::Answer cut = Telegram::decodeAnswer(full.left(700), kMaster);
        QVERIFY(cut.kind != Telegram::Answer::Kind::Setup);
        QCOMPARE(cut.record, GWSetupRecord());
    }

    void frameState_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("state");
        using S = Telegram::FrameState;
        const QByteArray frame = gatewayAnswer(0x14, sampleRecord().toByteArray(), kMaster);
        QTest::newRow("nothing") << QByteArray() << int(S::Incomplete);
        QTest::newRow("one byte") << frame.left(1) << int(S::Incomplete);
        QTest::newRow("first chunk of a split answer") << frame.left(600) << int(S::Incomplete);
        QTest::newRow("one byte short") << frame.left(1129) << int(S::Incomplete);
        QTest::newRow("whole") << frame << int(S::Complete);
        QTest::newRow("two frames") << frame + frame << int(S::Complete);
        QTest::newRow("length 9") << QByteArray::fromHex("0009") << int(S::Bad);
        QTest::newRow("length 0xFFFF") << QByteArray::fromHex("FFFF") << int(S::Bad);
        QTest::newRow("length 2106") << QByteArray::fromHex("083A") << int(S::Incomplete);
        QTest::newRow("length 2107") << QByteArray::fromHex("083B") << int(S::Bad);
    }
    void frameState()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, state);
        QCOMPARE(int(Telegram::answerState(bytes)), state);
    }

    void writeAnswerHeader()
    {
        QVERIFY(!Telegram::writeAnswerHeader(QByteArray(9, 'x')));
        const std::optional<Telegram::AnswerHeader> header =
            Telegram::writeAnswerHeader(QByteArray::fromHex("001A410A1B2C01020304"));
        QVERIFY(header);
        QCOMPARE(header->gatewayId, kId);
        QCOMPARE(header->keyMaterial, (KeyMaterial{1, 2, 3, 4}));
    }
};

QTEST_GUILESS_MAIN(TestTelegram)
#include "TestTelegram.moc"
