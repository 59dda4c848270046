#include "link/TelegramCipher.h"

#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

static Block blockFromHex(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    Block b{};
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

static MasterKey masterFromHex(const char* hex)
{
    return blockFromHex(hex);
}

static QByteArray toBytes(const Block& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), b.size());
}

static const MasterKey kMaster = masterFromHex("7C3E9A15D2084BF6E1A05C93D76F2B48");
static const KeyMaterial kMaterial = {0x12, 0x34, 0x56, 0x78};
static const GatewayIdBytes kId = {0x0A, 0x1B, 0x2C};

static TelegramCipher derive(const MasterKey& master)
{
    return TelegramCipher::DeriveTelegramKey(kMaterial, kId, master).value();
}

class TestTelegramCipher : public QObject
{
    Q_OBJECT

private slots:
    // FIPS-197 appendix C.1 (AES-128).
    void aesBlockKnownAnswer()
    {
        const auto aes = AesBlockCipher::create(blockFromHex("000102030405060708090a0b0c0d0e0f"));
        QVERIFY2(aes.ok(), qPrintable(aes.message()));
        const Block plain = blockFromHex("00112233445566778899aabbccddeeff");
        const Block cipher = (*aes)->encrypt(plain);
        QCOMPARE(toBytes(cipher), QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
        QCOMPARE(toBytes((*aes)->decrypt(cipher)), toBytes(plain));
    }

    // NIST SP 800-38A F.2.1 / F.2.2 (CBC-AES128) through our own chaining.
    void cbcKnownAnswer()
    {
        const Block key = blockFromHex("2b7e151628aed2a6abf7158809cf4f3c");
        const Block iv = blockFromHex("000102030405060708090a0b0c0d0e0f");
        const QByteArray plain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                     "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                     "30c81c46a35ce411e5fbc1191a0a52ef"
                                                     "f69f2445df4f9b17ad2b417be66c3710");
        const QByteArray cipher = QByteArray::fromHex("7649abac8119b246cee98e9b12e9197d"
                                                      "5086cb9b507219ee95db113a917678b2"
                                                      "73bed6b8e3c1743b7116e69e22229516"
                                                      "3ff1caa1681fac09120eca307586e1a7");
        QByteArray buffer = plain;
        TelegramCipher::fromKeyAndIv(key, iv).value().encryptBlocks(buffer);
        QCOMPARE(buffer, cipher);
        QCOMPARE(TelegramCipher::fromKeyAndIv(key, iv).value().decryptBlocks(cipher.constData(), cipher.size()), plain);
    }

    void derivationMatchesHandComputation()
    {
        QFile file(testData(u"derivation_vector.txt"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromLatin1(file.readAll());
        const auto iv = QRegularExpression(u"^iv=([0-9A-F]{32})$"_s, QRegularExpression::MultilineOption).match(text);
        const auto key = QRegularExpression(u"^key=([0-9A-F]{32})$"_s, QRegularExpression::MultilineOption).match(text);
        QVERIFY(iv.hasMatch() && key.hasMatch());

        const TelegramCipher cipher = TelegramCipher::DeriveTelegramKey(kMaterial, kId, kMaster).value();
        QCOMPARE(toBytes(cipher.chain()).toHex().toUpper(), iv.captured(1).toLatin1());
        QCOMPARE(toBytes(cipher.key()).toHex().toUpper(), key.captured(1).toLatin1());
    }

    void padding_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("pad");
        QTest::newRow("setup span 1119 -> one pad byte") << 1119 << 1;
        QTest::newRow("whole blocks get a full pad block") << 32 << 16;
        QTest::newRow("single byte") << 1 << 15;
        QTest::newRow("one short of a block") << 15 << 1;
        QTest::newRow("exactly one block") << 16 << 16;
    }
    void padding()
    {
        QFETCH(int, length);
        QFETCH(int, pad);
        QByteArray span(length, char(0x41));
        TelegramCipher enc = derive(kMaster);
        QCOMPARE(int(enc.EncryptTelegram(span)), pad);
        QCOMPARE(span.size(), length + pad);
        QCOMPARE(span.size() % 16, 0);

        const QByteArray plain = derive(kMaster).decryptBlocks(span.constData(), span.size());
        QCOMPARE(quint8(plain[0]), quint8(pad)); // pad count replaces byte 0
        QCOMPARE(plain.mid(1, length - 1), QByteArray(length - 1, char(0x41)));
        QCOMPARE(plain.mid(length), QByteArray(pad, char(0x2F))); // not PKCS#7
    }

    void roundTripReportsMarker()
    {
        QByteArray span = QByteArray::fromHex("00AA55") + QByteArray(1116, char(0x5A));
        derive(kMaster).EncryptTelegram(span);
        QCOMPARE(span.size(), 1120);

        const std::optional<QByteArray> plain = derive(kMaster).DecryptTelegram(span);
        QVERIFY(plain);
        QCOMPARE(plain->size(), 1120);
        QCOMPARE(plain->mid(3, 1116), QByteArray(1116, char(0x5A)));
    }

    void wrongMasterKeyByteFails_data()
    {
        QTest::addColumn<int>("index");
        for (int i : {0, 5, 15})
            QTest::addRow("master byte %d", i) << i;
    }
    void wrongMasterKeyByteFails()
    {
        QFETCH(int, index);
        QByteArray span = QByteArray::fromHex("00AA55") + QByteArray(100, char(1));
        derive(kMaster).EncryptTelegram(span);
        MasterKey other = kMaster;
        other[index] ^= 0x01;
        QVERIFY(!derive(other).DecryptTelegram(span));
    }

    void trailingBytesAreIgnored_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("blocks");
        QTest::newRow("1120 -> 70 blocks") << 1120 << 70;
        QTest::newRow("1125 -> 70 blocks") << 1125 << 70;
        QTest::newRow("15 -> nothing") << 15 << 0;
        QTest::newRow("0 -> nothing") << 0 << 0;
    }
    void trailingBytesAreIgnored()
    {
        QFETCH(int, n);
        QFETCH(int, blocks);
        QByteArray span = QByteArray::fromHex("00AA55") + QByteArray(1116, char(7));
        derive(kMaster).EncryptTelegram(span);
        span.append(QByteArray(8, char(0x33)));
        QCOMPARE(derive(kMaster).decryptBlocks(span.constData(), n).size(), blocks * 16);
        const std::optional<QByteArray> plain = derive(kMaster).DecryptTelegram(span.constData(), n);
        QCOMPARE(plain.has_value(), blocks > 0); // nothing decrypted proves nothing
    }
};

QTEST_GUILESS_MAIN(TestTelegramCipher)
#include "TestTelegramCipher.moc"
