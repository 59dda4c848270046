#include "GatewaySimulator.h"
#include "Gateways.h"
#include "SimulatorCommandLine.h"
#include "TestSupport.h"

#include "base/QtTexts.h"
#include "link/Telegram.h"
#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"
#include "setups/SetupDiff.h"
#include "setups/SetupFile.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A plain client socket that collects everything the gateway sends.
struct Peer
{
    QTcpSocket socket;
    QByteArray data;
    int chunks = 0;
    bool closed = false;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;

    Peer()
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] {
            data += socket.readAll();
            ++chunks;
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] { closed = true; });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, &socket,
                         [this](QAbstractSocket::SocketError e) { error = e; });
    }
};

void pause(int ms)
{
    waitUntil([] { return false; }, ms);
}

bool connectPeer(Peer& peer, const QHostAddress& address, quint16 port)
{
    peer.socket.connectToHost(address, port);
    return waitUntil([&] { return peer.socket.state() == QAbstractSocket::ConnectedState; }, 3000);
}

QHostAddress local(int host)
{
    return QHostAddress(u"127.0.0.%1"_s.arg(host));
}

GatewayId gwid(quint8 a, quint8 b, quint8 c)
{
    return GatewayId{{a, b, c}};
}

// gw() with a length field; its delays are scaled like the tool's in the other tests.
SimulatedGateway gateway(int host, GatewayBehaviour behaviour = GatewayBehaviour::Normal, int lengthField = 0)
{
    SimulatedGateway g = gw(host, behaviour);
    g.lengthField = lengthField;
    return g;
}

// A write exchange up to the setup telegram: the peer holds the 26-byte answer afterwards.
bool startWrite(Peer& peer, GatewayId& id, KeyMaterial& material)
{
    peer.socket.write(Telegram::WriteSetupRequest());
    if (!waitUntil([&] { return peer.data.size() >= 26; }, 2000))
        return false;
    const std::optional<Telegram::AnswerHeader> header = Telegram::writeAnswerHeader(peer.data);
    if (header) {
        id = header->gatewayId;
        material = header->keyMaterial;
    }
    return header.has_value();
}

GWSetupRecord editedRecord(const GWSetupRecord& original)
{
    GWSetupRecord r = original;
    r.setServerName("edited.example.lan");
    r.setServerPort(5022);
    r.setRadioIdSlot(3, GWSetupRecord::toBcd(11223344));
    r.setNetworkFlags(GWSetupRecord::ReportDaily | GWSetupRecord::Dhcp);
    return r;
}

// What a new connection to a gateway gives: refused, or the decoded answer to a read request.
struct ReadBack
{
    bool refused = false;
    Telegram::Answer answer;
};

ReadBack readBack(const QHostAddress& address, quint16 port, const MasterKey& key)
{
    Peer peer;
    peer.socket.connectToHost(address, port);
    waitUntil(
        [&] {
            return peer.socket.state() == QAbstractSocket::ConnectedState ||
                   peer.error != QAbstractSocket::UnknownSocketError;
        },
        3000);
    ReadBack r;
    if (peer.socket.state() != QAbstractSocket::ConnectedState) {
        r.refused = peer.error == QAbstractSocket::ConnectionRefusedError;
        return r;
    }
    peer.socket.write(Telegram::ReadSetupRequest());
    waitUntil([&] { return peer.data.size() >= 1130; }, 3000);
    r.answer = Telegram::decodeAnswer(peer.data, key);
    return r;
}

// A whole write exchange; returns what the gateway answered to the setup telegram.
QByteArray sendSetup(const QHostAddress& address, quint16 port, const MasterKey& key, const GWSetupRecord& record)
{
    Peer peer;
    if (!connectPeer(peer, address, port))
        return QByteArray();
    GatewayId id;
    KeyMaterial material{};
    if (!startWrite(peer, id, material))
        return QByteArray();
    peer.data.clear();
    peer.socket.write(Telegram::BuildSetupTelegram(record, material, id.bytes, key).value());
    waitUntil([&] { return !peer.data.isEmpty(); }, 3000);
    return peer.data;
}

MasterKey keyFromHex(const char* hex)
{
    return *FieldRules::masterKey(QString::fromLatin1(hex));
}

GWSetupRecord::Address octets(const QHostAddress& address)
{
    const quint32 ip = address.toIPv4Address();
    return {quint8(ip >> 24), quint8(ip >> 16), quint8(ip >> 8), quint8(ip)};
}

// Starts the simulator program and reads the port from its first line; 0 when it did not say
// "listening on port N with <gateways> gateways".
quint16 startSimulatorProgram(QProcess& process, const QStringList& args, int gateways, QByteArray& out)
{
    process.start(QStringLiteral(TELVARO_GWSIM_PROGRAM), args);
    if (!process.waitForStarted(5000))
        return 0;
    waitUntil(
        [&] {
            out += process.readAllStandardOutput();
            return out.contains('\n') || process.state() == QProcess::NotRunning;
        },
        10000);
    const QRegularExpressionMatch m =
        QRegularExpression(u"^listening on port (\\d+) with %1 gateways\n$"_s.arg(gateways)).match(consoleText(out));
    return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
}

} // namespace

class TestGatewaySimulator : public QObject
{
    Q_OBJECT

private slots:
    // The tool loads Qt's German texts at start; the parser's refusals are then German.
    void initTestCase() { installQtGermanTexts(*QCoreApplication::instance()); }
    void behaviourNames_data();
    void behaviourNames();
    void defaultGateway();
    void readAnswerCarriesRecord();
    void readBehaviours_data();
    void readBehaviours();
    void splitArrivesInTwoParts();
    void byteWiseArrivesInPieces();
    void answerDelay();
    void twoGatewaysShareOnePort();
    void writeExchange_data();
    void writeExchange();
    void lateAck();
    void writeShortAnswer();
    void partialSetupRecordedWhenPeerCloses();
    void silentKeepsConnectionOpen();
    void closeBehaviour();
    void resetMidFrame();
    void trickle();
    void floodIsBoundedAndStopsWhenPeerCloses();
    void closeDropsOpenConnections();
    void adoption_data();
    void adoption();
    void setupBehaviours_data();
    void setupBehaviours();
    void closeEndsARestart();
    void permittedAddresses_data();
    void permittedAddresses();
    void listenRefusesOtherAddresses();
    void listenFailsOnPortInUse();
    void commandLine_data();
    void commandLine();
    void commandLineRefusals_data();
    void commandLineRefusals();
    void commandLineHelp();
    void commandLineRange();
    void commandLineSetupFile();
    void toolUsage_data();
    void toolUsage();
    void toolProcess();
    void toolLogsRestartAndMove();
};

void TestGatewaySimulator::behaviourNames_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<int>("lengthField");
    QTest::addColumn<QString>("canonical");

    auto row = [](const char* name, const QString& text, GatewayBehaviour b, int len, const QString& canonical) {
        QTest::newRow(name) << text << true << int(b) << len << canonical;
    };
    row("normal", u"normal"_s, GatewayBehaviour::Normal, 0, u"normal"_s);
    row("wrongkey", u"wrongkey"_s, GatewayBehaviour::WrongKey, 0, u"wrongkey"_s);
    row("othertype", u"othertype"_s, GatewayBehaviour::OtherType, 0, u"othertype"_s);
    row("short", u"short"_s, GatewayBehaviour::Short, 0, u"short"_s);
    row("split", u"split"_s, GatewayBehaviour::Split, 0, u"split"_s);
    row("silent", u"silent"_s, GatewayBehaviour::Silent, 0, u"silent"_s);
    row("close", u"close"_s, GatewayBehaviour::Close, 0, u"close"_s);
    row("nak", u"nak"_s, GatewayBehaviour::Nak, 0, u"nak"_s);
    row("noack", u"noack"_s, GatewayBehaviour::NoAck, 0, u"noack"_s);
    row("lateack", u"lateack"_s, GatewayBehaviour::LateAck, 0, u"lateack"_s);
    row("bytewise", u"bytewise"_s, GatewayBehaviour::ByteWise, 0, u"bytewise"_s);
    row("trickle", u"trickle"_s, GatewayBehaviour::Trickle, 0, u"trickle"_s);
    row("flood", u"flood"_s, GatewayBehaviour::Flood, 0, u"flood"_s);
    row("reset", u"reset"_s, GatewayBehaviour::ResetMidFrame, 0, u"reset"_s);
    row("trailing", u"trailing"_s, GatewayBehaviour::TrailingBytes, 0, u"trailing"_s);
    row("twoframes", u"twoframes"_s, GatewayBehaviour::TwoFrames, 0, u"twoframes"_s);
    row("writeshort", u"writeshort"_s, GatewayBehaviour::WriteShort, 0, u"writeshort"_s);
    row("ackplus", u"ackplus"_s, GatewayBehaviour::AckPlus, 0, u"ackplus"_s);
    row("keepsold", u"keepsold"_s, GatewayBehaviour::KeepsOld, 0, u"keepsold"_s);
    row("longrestart", u"LongRestart"_s, GatewayBehaviour::LongRestart, 0, u"longrestart"_s);
    row("changesfield", u"changesfield"_s, GatewayBehaviour::ChangesField, 0, u"changesfield"_s);
    row("len0", u"len0"_s, GatewayBehaviour::LengthField, 0, u"len0"_s);
    row("len1", u"len1"_s, GatewayBehaviour::LengthField, 1, u"len1"_s);
    row("len9", u"len9"_s, GatewayBehaviour::LengthField, 9, u"len9"_s);
    row("len10", u"len10"_s, GatewayBehaviour::LengthField, 10, u"len10"_s);
    row("len1129", u"len1129"_s, GatewayBehaviour::LengthField, 1129, u"len1129"_s);
    row("len65535", u"len65535"_s, GatewayBehaviour::LengthField, 65535, u"len65535"_s);
    row("upper case accepted", u"NAK"_s, GatewayBehaviour::Nak, 0, u"nak"_s);

    auto bad = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << false << 0 << 0 << QString();
    };
    bad("unknown", u"sometimes"_s);
    bad("empty", QString());
    bad("len without number", u"len"_s);
    bad("len too large", u"len65536"_s);
    bad("len negative", u"len-1"_s);
    bad("len not a number", u"len1x"_s);
    bad("internal name", u"resetmidframe"_s);
}

void TestGatewaySimulator::behaviourNames()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, behaviour);
    QFETCH(int, lengthField);
    QFETCH(QString, canonical);

    const std::optional<BehaviourSetting> parsed = behaviourFromText(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(int(parsed->behaviour), behaviour);
    QCOMPARE(parsed->lengthField, lengthField);
    QCOMPARE(behaviourText(parsed->behaviour, parsed->lengthField), canonical);
}

void TestGatewaySimulator::defaultGateway()
{
    const SimulatedGateway g = SimulatedGateway::makeDefault(local(77), gwid(0x0A, 0x1B, 0x2C));
    QCOMPARE(g.masterKey, SimulatedGateway::defaultMasterKey());
    const QByteArray key(reinterpret_cast<const char*>(g.masterKey.data()), 16);
    QCOMPARE(key.toHex().toUpper(), QByteArray("7C3E9A15D2084BF6E1A05C93D76F2B48"));
    QCOMPARE(g.record.gatewayId(), g.id);
    QCOMPARE(g.record.raw()[3], quint8(0x0A));
    QCOMPARE(g.record.raw()[5], quint8(0x2C));
    QCOMPARE(g.record.serverPort(), quint16(4711));
    QCOMPARE(g.record.firmwareText(), u"1.4.12"_s);
    QCOMPARE(g.record.masterKey(), g.masterKey);
    QCOMPARE(g.record.manufacturerCode(0), QByteArray("QLB"));
    QCOMPARE(g.record.mediumCode(0), quint8(7));
    QVERIFY(g.record.wmbusFlag(GWSetupRecord::ModeT));
    QVERIFY(g.record.networkFlag(GWSetupRecord::ReportHourly));
    QVERIFY(!g.record.networkFlag(GWSetupRecord::Dhcp));
    QCOMPARE(g.record.fixedIp()[3], quint8(77));
    QVERIFY(GWSetupRecord::isValidBcd(g.record.radioIdSlot(0)));
    QVERIFY(g.record.radioIdSlot(0) != 0);
    for (int offset : {0, 1, 2, 18, 21, 54, 57, 68, 75, 1093, 1095})
        QVERIFY2(g.record.raw()[size_t(offset)] != 0, qPrintable(u"reserved byte %1 is zero"_s.arg(offset)));
    QVERIFY(SimulatedGateway::otherMasterKey(g.masterKey) != g.masterKey);
}

void TestGatewaySimulator::readAnswerCarriesRecord()
{
    GatewaySimulator sim;
    const SimulatedGateway g = gateway(21);
    QVERIFY2(sim.listen({g}), qPrintable(sim.errorString()));
    QVERIFY(sim.port() != 0);

    KeyMaterial previous{};
    for (int round = 0; round < 2; ++round) {
        Peer peer;
        QVERIFY(connectPeer(peer, g.address, sim.port()));
        peer.socket.write(Telegram::ReadSetupRequest());
        QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 3000));
        pause(100);
        QCOMPARE(peer.data.size(), 1130);
        QCOMPARE(peer.data.left(3), QByteArray::fromHex("046a14"));
        QVERIFY(!peer.closed);

        const Telegram::Answer a = Telegram::decodeAnswer(peer.data, g.masterKey);
        QCOMPARE(a.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(a.gatewayId, g.id);
        QCOMPARE(a.record, g.record);
        QCOMPARE(a.body.size(), 1120);
        QCOMPARE(quint8(a.body[0]), quint8(1));
        QCOMPARE(quint8(a.body[1119]), quint8(0x2F));
        if (round == 1)
            QVERIFY2(a.keyMaterial != previous, "key material repeated across exchanges");
        previous = a.keyMaterial;
    }
    QCOMPARE(sim.exchangesStarted(), 2);
    QVERIFY(sim.received().isEmpty());
}

void TestGatewaySimulator::readBehaviours_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<int>("expectedSize");
    QTest::addColumn<int>("expectedKind");
    QTest::addColumn<int>("expectedN");

    using K = Telegram::Answer::Kind;
    QTest::newRow("normal") << u"normal"_s << 1130 << int(K::Setup) << 1130;
    QTest::newRow("wrongkey") << u"wrongkey"_s << 1130 << int(K::WrongKey) << 1130;
    QTest::newRow("othertype") << u"othertype"_s << 26 << int(K::OtherType) << 26;
    QTest::newRow("short") << u"short"_s << 9 << int(K::NotDecodable) << 1130;
    QTest::newRow("trailing") << u"trailing"_s << 1180 << int(K::Setup) << 1130;
    QTest::newRow("twoframes") << u"twoframes"_s << 2260 << int(K::Setup) << 1130;
    QTest::newRow("split") << u"split"_s << 1130 << int(K::Setup) << 1130;
    QTest::newRow("bytewise") << u"bytewise"_s << 1130 << int(K::Setup) << 1130;
    QTest::newRow("len1129") << u"len1129"_s << 1130 << int(K::OtherType) << 1129;
    QTest::newRow("len10") << u"len10"_s << 1130 << int(K::NotDecodable) << 10;
    QTest::newRow("len0") << u"len0"_s << 1130 << int(K::NotDecodable) << 0;
    QTest::newRow("len65535") << u"len65535"_s << 1130 << int(K::NotDecodable) << 65535;
    QTest::newRow("nak reads normally") << u"nak"_s << 1130 << int(K::Setup) << 1130;
}

void TestGatewaySimulator::readBehaviours()
{
    QFETCH(QString, behaviour);
    QFETCH(int, expectedSize);
    QFETCH(int, expectedKind);
    QFETCH(int, expectedN);

    const std::optional<BehaviourSetting> b = behaviourFromText(behaviour);
    QVERIFY(b);
    const SimulatedGateway g = gateway(22, b->behaviour, b->lengthField);
    GatewaySimulator sim;
    QVERIFY2(sim.listen({g}), qPrintable(sim.errorString()));

    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    QVERIFY(waitUntil([&] { return peer.data.size() >= expectedSize; }, 5000));
    pause(50); // anything beyond the expected answer would follow within the scaled pacing
    QCOMPARE(peer.data.size(), expectedSize);
    QCOMPARE((quint8(peer.data[0]) << 8) | quint8(peer.data[1]), expectedN);
    QCOMPARE(peer.data.mid(3, 3), QByteArray::fromHex("0a1b16"));

    const Telegram::Answer a = Telegram::decodeAnswer(peer.data, g.masterKey);
    QCOMPARE(int(a.kind), expectedKind);
    if (a.kind == Telegram::Answer::Kind::Setup)
        QCOMPARE(a.record, g.record);
    if (b->behaviour == GatewayBehaviour::WrongKey) {
        // Really the other key, not garbage.
        const Telegram::Answer other = Telegram::decodeAnswer(peer.data, SimulatedGateway::otherMasterKey(g.masterKey));
        QCOMPARE(other.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(other.record, g.record);
    }
    if (b->behaviour == GatewayBehaviour::TwoFrames) {
        const Telegram::Answer second = Telegram::decodeAnswer(peer.data.mid(1130), g.masterKey);
        QCOMPARE(second.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(second.record, g.record);
    }
    if (b->behaviour == GatewayBehaviour::LengthField) {
        // Apart from the length field, the normal frame.
        QByteArray repaired = peer.data;
        repaired[0] = char(0x04);
        repaired[1] = char(0x6A);
        QCOMPARE(Telegram::decodeAnswer(repaired, g.masterKey).kind, Telegram::Answer::Kind::Setup);
    }
}

void TestGatewaySimulator::splitArrivesInTwoParts()
{
    SimulatedGateway g = gateway(23, GatewayBehaviour::Split);
    g.splitPauseMs = 200; // room to look at the first part alone
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    QVERIFY(waitUntil([&] { return !peer.data.isEmpty(); }, 2000));
    pause(60);
    QCOMPARE(peer.data.size(), 600);
    // The first part alone is a cut answer.
    QCOMPARE(Telegram::decodeAnswer(peer.data, g.masterKey).kind, Telegram::Answer::Kind::Incomplete);
    QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 2000));
    QCOMPARE(peer.data.size(), 1130);
    QCOMPARE(Telegram::decodeAnswer(peer.data, g.masterKey).record, g.record);
}

void TestGatewaySimulator::byteWiseArrivesInPieces()
{
    const SimulatedGateway g = gateway(24, GatewayBehaviour::ByteWise);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 10000));
    QVERIFY2(peer.chunks > 20, qPrintable(u"only %1 reads"_s.arg(peer.chunks)));
    QCOMPARE(Telegram::decodeAnswer(peer.data, g.masterKey).kind, Telegram::Answer::Kind::Setup);
}

void TestGatewaySimulator::answerDelay()
{
    SimulatedGateway g = gateway(25);
    g.answerDelayMs = 400;
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    pause(150);
    QVERIFY(peer.data.isEmpty());
    QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 3000));
    QCOMPARE(Telegram::decodeAnswer(peer.data, g.masterKey).kind, Telegram::Answer::Kind::Setup);
}

void TestGatewaySimulator::twoGatewaysShareOnePort()
{
    SimulatedGateway a = SimulatedGateway::makeDefault(local(41), gwid(0x0A, 0x1B, 0x2C));
    SimulatedGateway b = SimulatedGateway::makeDefault(local(42), gwid(0x0A, 0x1B, 0x2D));
    GatewaySimulator sim;
    QVERIFY2(sim.listen({a, b}), qPrintable(sim.errorString()));
    QCOMPARE(sim.gateways().size(), 2);

    for (const SimulatedGateway& g : {a, b}) {
        Peer peer;
        QVERIFY(connectPeer(peer, g.address, sim.port()));
        peer.socket.write(Telegram::ReadSetupRequest());
        QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 3000));
        const Telegram::Answer answer = Telegram::decodeAnswer(peer.data, g.masterKey);
        QCOMPARE(answer.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(answer.gatewayId, g.id);
        QCOMPARE(answer.record.gatewayId(), g.id);
        QCOMPARE(answer.record.fixedIp()[3], quint8(g.address.toIPv4Address() & 0xFF));
    }
    QCOMPARE(sim.exchangesStarted(), 2);

    // No gateway on an address that was not asked for.
    Peer stray;
    stray.socket.connectToHost(local(43), sim.port());
    QVERIFY(waitUntil([&] { return stray.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(stray.error, QAbstractSocket::ConnectionRefusedError);
}

void TestGatewaySimulator::writeExchange_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("telegramWithWrongKey");
    QTest::addColumn<QByteArray>("expectedAnswer");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<bool>("adopted");

    QTest::newRow("normal") << u"normal"_s << false << QByteArray::fromHex("06") << true << true;
    QTest::newRow("ackplus") << u"ackplus"_s << false << QByteArray::fromHex("06151515") << true << true;
    QTest::newRow("nak") << u"nak"_s << false << QByteArray::fromHex("15") << true << false;
    QTest::newRow("noack") << u"noack"_s << false << QByteArray() << true << false;
    QTest::newRow("telegram under another master key")
        << u"normal"_s << true << QByteArray::fromHex("15") << false << false;
    QTest::newRow("wrongkey gateway, tool's key")
        << u"wrongkey"_s << false << QByteArray::fromHex("15") << false << false;
    QTest::newRow("wrongkey gateway, its other key")
        << u"wrongkey"_s << true << QByteArray::fromHex("06") << true << true;
}

void TestGatewaySimulator::writeExchange()
{
    QFETCH(QString, behaviour);
    QFETCH(bool, telegramWithWrongKey);
    QFETCH(QByteArray, expectedAnswer);
    QFETCH(bool, wellFormed);
    QFETCH(bool, adopted);

    const SimulatedGateway g = gateway(26, behaviourFromText(behaviour)->behaviour);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    QSignalSpy spy(&sim, &GatewaySimulator::setupReceived);

    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    GatewayId id;
    KeyMaterial material{};
    QVERIFY(startWrite(peer, id, material));
    pause(50);
    QCOMPARE(peer.data.size(), 26);
    QCOMPARE(id, g.id);
    QCOMPARE(peer.data.left(3), QByteArray::fromHex("001a14"));

    const GWSetupRecord sent = editedRecord(g.record);
    const MasterKey key = telegramWithWrongKey ? SimulatedGateway::otherMasterKey(g.masterKey) : g.masterKey;
    const QByteArray telegram = Telegram::BuildSetupTelegram(sent, material, id.bytes, key).value();
    peer.data.clear();
    peer.socket.write(telegram);
    QVERIFY(spy.wait(2000) || spy.count() == 1);
    if (expectedAnswer.isEmpty())
        pause(800);
    else
        QVERIFY(waitUntil([&] { return peer.data.size() >= expectedAnswer.size(); }, 2000));
    pause(50);
    QCOMPARE(peer.data, expectedAnswer);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(sim.received().size(), 1);
    const ReceivedSetup r = sim.received().first();
    QCOMPARE(r.address, g.address);
    QCOMPARE(r.gatewayId, g.id);
    QCOMPARE(r.wellFormed, wellFormed);
    QCOMPARE(r.rawTelegram, telegram);
    if (wellFormed)
        QCOMPARE(r.record, sent);
    else
        QCOMPARE(r.record, GWSetupRecord());
    QCOMPARE(qvariant_cast<ReceivedSetup>(spy.first().first()).rawTelegram, telegram);

    QCOMPARE(sim.gateways().first().record, adopted ? sent : g.record);
    if (g.behaviour == GatewayBehaviour::WrongKey)
        return;
    // A later read exchange reports what the gateway holds now.
    Peer reader;
    QVERIFY(connectPeer(reader, g.address, sim.port()));
    reader.socket.write(Telegram::ReadSetupRequest());
    QVERIFY(waitUntil([&] { return reader.data.size() >= 1130; }, 3000));
    QCOMPARE(Telegram::decodeAnswer(reader.data, g.masterKey).record, adopted ? sent : g.record);
}

void TestGatewaySimulator::lateAck()
{
    const SimulatedGateway g = gateway(27, GatewayBehaviour::LateAck);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    GatewayId id;
    KeyMaterial material{};
    QVERIFY(startWrite(peer, id, material));
    peer.data.clear();
    const GWSetupRecord sent = editedRecord(g.record);
    peer.socket.write(Telegram::BuildSetupTelegram(sent, material, id.bytes, g.masterKey).value());
    // Silent past the tool's first acknowledgement window, and the setup not yet adopted.
    pause(fastTimings().ackFirstMs);
    QVERIFY(peer.data.isEmpty());
    QCOMPARE(sim.gateways().first().record, g.record);
    QVERIFY(waitUntil([&] { return !peer.data.isEmpty(); }, 3000));
    QCOMPARE(peer.data, QByteArray::fromHex("06"));
    QCOMPARE(sim.gateways().first().record, sent);
    QVERIFY(sim.received().first().wellFormed);
}

void TestGatewaySimulator::writeShortAnswer()
{
    const SimulatedGateway g = gateway(28, GatewayBehaviour::WriteShort);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::WriteSetupRequest());
    QVERIFY(waitUntil([&] { return !peer.data.isEmpty(); }, 2000));
    pause(200);
    QCOMPARE(peer.data.size(), 5);
    QVERIFY(!Telegram::writeAnswerHeader(peer.data));
}

void TestGatewaySimulator::partialSetupRecordedWhenPeerCloses()
{
    const SimulatedGateway g = gateway(29);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    GatewayId id;
    KeyMaterial material{};
    QVERIFY(startWrite(peer, id, material));
    const QByteArray telegram = Telegram::BuildSetupTelegram(g.record, material, id.bytes, g.masterKey).value();
    peer.data.clear();
    peer.socket.write(telegram.left(700));
    pause(100);
    QVERIFY(sim.received().isEmpty());
    peer.socket.disconnectFromHost();
    QVERIFY(waitUntil([&] { return sim.received().size() == 1; }, 2000));
    QVERIFY(!sim.received().first().wellFormed);
    QCOMPARE(sim.received().first().rawTelegram, telegram.left(700));
    QVERIFY(peer.data.isEmpty());
    QVERIFY(waitUntil([&] { return sim.openConnections() == 0; }, 2000));
}

void TestGatewaySimulator::silentKeepsConnectionOpen()
{
    const SimulatedGateway g = gateway(30, GatewayBehaviour::Silent);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    pause(700);
    QVERIFY(peer.data.isEmpty());
    QVERIFY(!peer.closed);
    QCOMPARE(sim.exchangesStarted(), 1);
    QCOMPARE(sim.openConnections(), 1);
    peer.socket.disconnectFromHost();
    QVERIFY(waitUntil([&] { return sim.openConnections() == 0; }, 2000));
}

void TestGatewaySimulator::closeBehaviour()
{
    const SimulatedGateway g = gateway(31, GatewayBehaviour::Close);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    peer.socket.connectToHost(g.address, sim.port());
    QVERIFY(waitUntil([&] { return peer.closed; }, 2000));
    QVERIFY(peer.data.isEmpty());
    QVERIFY(waitUntil([&] { return sim.openConnections() == 0; }, 2000));
    QCOMPARE(sim.exchangesStarted(), 1);
}

void TestGatewaySimulator::resetMidFrame()
{
    const SimulatedGateway g = gateway(32, GatewayBehaviour::ResetMidFrame);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    QVERIFY(waitUntil([&] { return peer.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(peer.data.size(), 565);
    QCOMPARE(peer.error, QAbstractSocket::RemoteHostClosedError);
    QCOMPARE(Telegram::answerState(peer.data), Telegram::FrameState::Incomplete);
}

void TestGatewaySimulator::trickle()
{
    const SimulatedGateway g = gateway(33, GatewayBehaviour::Trickle);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, sim.port()));
    peer.socket.write(Telegram::ReadSetupRequest());
    pause(g.trickleIntervalMs * 5 / 2);
    QVERIFY2(peer.data.size() >= 1 && peer.data.size() <= 4, qPrintable(QString::number(peer.data.size())));
    QCOMPARE(peer.data.left(2), QByteArray::fromHex("046a").left(peer.data.size()));
    QVERIFY(!peer.closed);
}

void TestGatewaySimulator::floodIsBoundedAndStopsWhenPeerCloses()
{
    constexpr qint64 floodBytes = 100LL * 1024 * 1024;
    const SimulatedGateway g = gateway(34, GatewayBehaviour::Flood);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));

    for (const bool readAll : {true, false}) {
        QTcpSocket socket;
        qint64 total = 0;
        QByteArray head;
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
            const QByteArray chunk = socket.readAll();
            if (head.size() < 1130)
                head += chunk.left(1130 - head.size());
            total += chunk.size();
        });
        socket.connectToHost(g.address, sim.port());
        QVERIFY(waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000));
        socket.write(Telegram::ReadSetupRequest());
        if (readAll) {
            QVERIFY(waitUntil([&] { return total >= floodBytes; }, 60000));
            pause(200);
            QCOMPARE(total, floodBytes);
            QCOMPARE(sim.openConnections(), 1);
        } else {
            QVERIFY(waitUntil([&] { return total >= 4 * 1024 * 1024; }, 20000));
        }
        QCOMPARE(Telegram::decodeAnswer(head, g.masterKey).kind, Telegram::Answer::Kind::Setup);
        socket.abort();
        QVERIFY(waitUntil([&] { return sim.openConnections() == 0; }, 5000));
    }
}

void TestGatewaySimulator::closeDropsOpenConnections()
{
    const SimulatedGateway g = gateway(39, GatewayBehaviour::Silent);
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    const quint16 port = sim.port();
    Peer peer;
    QVERIFY(connectPeer(peer, g.address, port));
    QVERIFY(waitUntil([&] { return sim.openConnections() == 1; }, 2000));
    sim.close();
    QVERIFY(!sim.isListening());
    QCOMPARE(sim.openConnections(), 0);
    QVERIFY(waitUntil([&] { return peer.closed; }, 2000));
    Peer late;
    late.socket.connectToHost(g.address, port);
    QVERIFY(waitUntil([&] { return late.error == QAbstractSocket::ConnectionRefusedError; }, 3000));
}

void TestGatewaySimulator::adoption_data()
{
    QTest::addColumn<QString>("newKey"); // empty: the gateway's own
    QTest::addColumn<QString>("fixedAddress");
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<bool>("restart");
    QTest::addColumn<QString>("finalAddress");
    QTest::addColumn<QString>("notTakenReason");

    const QString key = u"00112233445566778899AABBCCDDEEFF"_s;
    const QString outside = u"Adresse außerhalb von 127.0.0.0/8"_s;
    QTest::newRow("same key and address")
        << QString() << u"127.0.0.61"_s << false << false << u"127.0.0.61"_s << QString();
    QTest::newRow("DHCP on, another fixed address")
        << QString() << u"127.0.0.63"_s << true << false << u"127.0.0.61"_s << QString();
    QTest::newRow("new master key") << key << u"127.0.0.61"_s << false << true << u"127.0.0.61"_s << QString();
    QTest::newRow("new master key, DHCP on") << key << u"10.1.2.3"_s << true << true << u"127.0.0.61"_s << QString();
    QTest::newRow("new fixed address") << QString() << u"127.0.0.63"_s << false << true << u"127.0.0.63"_s << QString();
    QTest::newRow("new key and new address") << key << u"127.0.0.64"_s << false << true << u"127.0.0.64"_s << QString();
    QTest::newRow("address outside loopback")
        << QString() << u"10.1.2.3"_s << false << true << u"127.0.0.61"_s << outside;
    QTest::newRow("documentation address not taken")
        << key << u"198.51.100.9"_s << false << true << u"127.0.0.61"_s << outside;
    QTest::newRow("address of another gateway")
        << QString() << u"127.0.0.62"_s << false << true << u"127.0.0.61"_s << u"Adresse belegt von Gateway 0A.1B.3E"_s;
}

void TestGatewaySimulator::adoption()
{
    QFETCH(QString, newKey);
    QFETCH(QString, fixedAddress);
    QFETCH(bool, dhcp);
    QFETCH(bool, restart);
    QFETCH(QString, finalAddress);
    QFETCH(QString, notTakenReason);

    SimulatedGateway g = gateway(61);
    g.restartDelayMs = 200;
    GatewaySimulator sim;
    QVERIFY2(sim.listen({g, gateway(62)}), qPrintable(sim.errorString()));
    const quint16 port = sim.port();
    QSignalSpy began(&sim, &GatewaySimulator::restartBegan);
    QSignalSpy ended(&sim, &GatewaySimulator::restartEnded);
    QSignalSpy moved(&sim, &GatewaySimulator::moved);
    QSignalSpy notTaken(&sim, &GatewaySimulator::addressNotTaken);

    const MasterKey key = newKey.isEmpty() ? g.masterKey : *FieldRules::masterKey(newKey);
    GWSetupRecord sent = g.record;
    sent.setServerPort(5099);
    sent.setMasterKey(key);
    sent.setFixedIp(octets(QHostAddress(fixedAddress)));
    sent.setNetworkFlags(dhcp ? GWSetupRecord::ReportDaily | GWSetupRecord::Dhcp : GWSetupRecord::ReportDaily);

    QCOMPARE(sendSetup(g.address, port, g.masterKey, sent), QByteArray::fromHex("06"));
    // The record is the gateway's at once; key and address follow after a restart.
    QCOMPARE(sim.gateways().first().record, sent);
    QCOMPARE(sim.gateways().first().address, g.address);
    if (!restart) {
        QCOMPARE(began.count(), 0);
        QVERIFY(!sim.isRestarting(g.address));
        const ReadBack now = readBack(g.address, port, g.masterKey);
        QCOMPARE(now.answer.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(now.answer.record, sent);
        return;
    }

    QCOMPARE(began.count(), 1);
    QCOMPARE(began.first().at(1).toInt(), 200);
    QVERIFY(sim.isRestarting(g.address));
    QVERIFY(readBack(g.address, port, g.masterKey).refused);
    QVERIFY(readBack(g.address, port, key).refused);
    QVERIFY2(sim.isRestarting(g.address), "the refusals must fall inside the restart");
    QCOMPARE(sim.gateways().first().masterKey, g.masterKey);

    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.count(), 1);
    const SimulatedGateway now = sim.gateways().first();
    QCOMPARE(now.address, QHostAddress(finalAddress));
    QCOMPARE(now.masterKey, key);
    QCOMPARE(now.record, sent);
    QCOMPARE(sim.gateways().last().address, local(62));

    const ReadBack after = readBack(now.address, port, key);
    QVERIFY(!after.refused);
    QCOMPARE(after.answer.kind, Telegram::Answer::Kind::Setup);
    QCOMPARE(after.answer.gatewayId, g.id);
    QCOMPARE(after.answer.record, sent);
    if (key != g.masterKey)
        QCOMPARE(readBack(now.address, port, g.masterKey).answer.kind, Telegram::Answer::Kind::WrongKey);

    if (now.address != g.address) {
        QCOMPARE(moved.count(), 1);
        QCOMPARE(qvariant_cast<QHostAddress>(moved.first().at(1)), g.address);
        QVERIFY(readBack(g.address, port, key).refused);
    } else {
        QCOMPARE(moved.count(), 0);
    }
    QCOMPARE(notTaken.count(), notTakenReason.isEmpty() ? 0 : 1);
    if (!notTakenReason.isEmpty()) {
        QCOMPARE(qvariant_cast<QHostAddress>(notTaken.first().at(1)), QHostAddress(fixedAddress));
        QCOMPARE(notTaken.first().at(2).toString(), notTakenReason);
        return;
    }
    // Where the gateway now stands, the same setup changes nothing more: no second restart.
    QCOMPARE(sendSetup(now.address, port, key, sent), QByteArray::fromHex("06"));
    QCOMPARE(began.count(), 1);
    QVERIFY(!sim.isRestarting(now.address));
}

void TestGatewaySimulator::setupBehaviours_data()
{
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("newKey");
    QTest::addColumn<int>("portSent");
    QTest::addColumn<bool>("adopted");
    QTest::addColumn<int>("portStored");
    QTest::addColumn<int>("restartMs"); // 0: none

    QTest::newRow("keepsold") << u"keepsold"_s << false << 5099 << false << 4711 << 0;
    QTest::newRow("keepsold ignores a new key") << u"keepsold"_s << true << 5099 << false << 4711 << 0;
    QTest::newRow("changesfield") << u"changesfield"_s << false << 5099 << true << 5100 << 0;
    QTest::newRow("changesfield wraps the port") << u"changesfield"_s << false << 65535 << true << 0 << 0;
    QTest::newRow("changesfield with a new key") << u"changesfield"_s << true << 5099 << true << 5100 << 200;
    QTest::newRow("longrestart without changes") << u"longrestart"_s << false << 5099 << true << 5099 << 300;
    QTest::newRow("longrestart with a new key") << u"longrestart"_s << true << 5099 << true << 5099 << 300;
}

void TestGatewaySimulator::setupBehaviours()
{
    QFETCH(QString, behaviour);
    QFETCH(bool, newKey);
    QFETCH(int, portSent);
    QFETCH(bool, adopted);
    QFETCH(int, portStored);
    QFETCH(int, restartMs);

    SimulatedGateway g = gateway(65, behaviourFromText(behaviour)->behaviour);
    g.restartDelayMs = 200;
    g.longRestartMs = 300;
    GatewaySimulator sim;
    QVERIFY2(sim.listen({g}), qPrintable(sim.errorString()));
    const quint16 port = sim.port();
    QSignalSpy began(&sim, &GatewaySimulator::restartBegan);
    QSignalSpy ended(&sim, &GatewaySimulator::restartEnded);

    const MasterKey key = newKey ? keyFromHex("00112233445566778899AABBCCDDEEFF") : g.masterKey;
    GWSetupRecord sent = g.record;
    sent.setServerPort(quint16(portSent));
    sent.setServerName("verified.example.lan");
    sent.setMasterKey(key);
    QCOMPARE(sendSetup(g.address, port, g.masterKey, sent), QByteArray::fromHex("06"));
    QCOMPARE(sim.received().size(), 1);
    QCOMPARE(sim.received().first().record, sent);

    if (restartMs > 0) {
        QCOMPARE(began.count(), 1);
        QCOMPARE(began.first().at(1).toInt(), restartMs);
        QVERIFY(readBack(g.address, port, key).refused);
        QVERIFY(ended.wait(5000));
    } else {
        QCOMPARE(began.count(), 0);
    }
    const MasterKey keyInUse = adopted ? key : g.masterKey;
    QCOMPARE(sim.gateways().first().masterKey, keyInUse);
    const ReadBack after = readBack(g.address, port, keyInUse);
    QCOMPARE(after.answer.kind, Telegram::Answer::Kind::Setup);
    QCOMPARE(int(after.answer.record.serverPort()), portStored);
    QCOMPARE(sim.gateways().first().record, after.answer.record);
    if (!adopted) {
        QCOMPARE(after.answer.record, g.record);
        return;
    }
    if (portStored == portSent) {
        QCOMPARE(after.answer.record, sent);
    } else {
        QStringList differing;
        for (const FieldDifference& d : compareRecords(sent, after.answer.record))
            differing << sentAndRead(d);
        QCOMPARE(differing, QStringList{u"[NETZWERK] PORT: gesendet %1, gelesen %2"_s.arg(portSent).arg(portStored)});
    }
    if (g.behaviour == GatewayBehaviour::LongRestart) {
        // Every acknowledged setup restarts it again, also one that changes nothing.
        QCOMPARE(sendSetup(g.address, port, keyInUse, after.answer.record), QByteArray::fromHex("06"));
        QCOMPARE(began.count(), 2);
        QVERIFY(sim.isRestarting(g.address));
    }
}

void TestGatewaySimulator::closeEndsARestart()
{
    SimulatedGateway g = gateway(66);
    g.restartDelayMs = 50;
    GatewaySimulator sim;
    QVERIFY(sim.listen({g}));
    QSignalSpy ended(&sim, &GatewaySimulator::restartEnded);
    GWSetupRecord sent = g.record;
    sent.setMasterKey(keyFromHex("00112233445566778899AABBCCDDEEFF"));
    QCOMPARE(sendSetup(g.address, sim.port(), g.masterKey, sent), QByteArray::fromHex("06"));
    QVERIFY(sim.isRestarting(g.address));
    sim.close();
    QVERIFY(!sim.isListening());
    QVERIFY(!ended.wait(200));
    QVERIFY(sim.listen({g}));
    const ReadBack fresh = readBack(g.address, sim.port(), g.masterKey);
    QCOMPARE(fresh.answer.kind, Telegram::Answer::Kind::Setup);
    QCOMPARE(fresh.answer.record, g.record);
}

void TestGatewaySimulator::permittedAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("expected");
    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s << true;
    QTest::newRow("127.0.0.0 first of loopback") << u"127.0.0.0"_s << true;
    QTest::newRow("127.255.255.255 last of loopback") << u"127.255.255.255"_s << true;
    QTest::newRow("::1") << u"::1"_s << true;
    QTest::newRow("192.0.2.0") << u"192.0.2.0"_s << true;
    QTest::newRow("192.0.2.255") << u"192.0.2.255"_s << true;
    QTest::newRow("198.51.100.21") << u"198.51.100.21"_s << true;
    QTest::newRow("203.0.113.7") << u"203.0.113.7"_s << true;
    QTest::newRow("126.255.255.255 below loopback") << u"126.255.255.255"_s << false;
    QTest::newRow("128.0.0.1 above loopback") << u"128.0.0.1"_s << false;
    QTest::newRow("192.0.1.255 below TEST-NET-1") << u"192.0.1.255"_s << false;
    QTest::newRow("192.0.3.0 above TEST-NET-1") << u"192.0.3.0"_s << false;
    QTest::newRow("198.51.99.1 below TEST-NET-2") << u"198.51.99.1"_s << false;
    QTest::newRow("198.51.101.1 above TEST-NET-2") << u"198.51.101.1"_s << false;
    QTest::newRow("203.0.112.1 below TEST-NET-3") << u"203.0.112.1"_s << false;
    QTest::newRow("203.0.114.1 above TEST-NET-3") << u"203.0.114.1"_s << false;
    QTest::newRow("LAN") << u"192.168.1.20"_s << false;
    QTest::newRow("10.0.0.1") << u"10.0.0.1"_s << false;
    QTest::newRow("any IPv4") << u"0.0.0.0"_s << false;
    QTest::newRow("broadcast") << u"255.255.255.255"_s << false;
    QTest::newRow("any IPv6") << u"::"_s << false;
    QTest::newRow("IPv6 documentation") << u"2001:db8::1"_s << false;
    QTest::newRow("IPv4-mapped loopback") << u"::ffff:127.0.0.1"_s << false;
    QTest::newRow("null") << QString() << false;
}

void TestGatewaySimulator::permittedAddresses()
{
    QFETCH(QString, address);
    QFETCH(bool, expected);
    QCOMPARE(GatewaySimulator::isPermittedAddress(QHostAddress(address)), expected);
}

void TestGatewaySimulator::listenRefusesOtherAddresses()
{
    GatewaySimulator sim;
    const QList<SimulatedGateway> gateways{
        gateway(35), SimulatedGateway::makeDefault(QHostAddress(u"192.168.1.20"_s), gwid(1, 2, 3))};
    QVERIFY(!sim.listen(gateways));
    QVERIFY(!sim.isListening());
    QVERIFY2(sim.errorString().contains(u"192.168.1.20"_s), qPrintable(sim.errorString()));
    QCOMPARE(sim.port(), quint16(0));
    // Nothing was left listening on the loopback gateway either.
    QVERIFY(sim.listen({gateway(35)}));
    QVERIFY(!sim.listen({gateway(36), gateway(36)}));
    QVERIFY(sim.errorString().contains(u"127.0.0.36"_s));
}

void TestGatewaySimulator::listenFailsOnPortInUse()
{
    GatewaySimulator first;
    QVERIFY(first.listen({gateway(37)}));
    GatewaySimulator second;
    QVERIFY(!second.listen({gateway(38), gateway(37)}, first.port()));
    QVERIFY(!second.errorString().isEmpty());
    QVERIFY(!second.isListening());
    // 127.0.0.38 was released again.
    GatewaySimulator third;
    QVERIFY2(third.listen({gateway(38)}, first.port()), qPrintable(third.errorString()));
    QCOMPARE(third.port(), first.port());
}

void TestGatewaySimulator::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("gateways");
    QTest::addColumn<QString>("firstAddress");
    QTest::addColumn<QString>("firstId");
    QTest::addColumn<QString>("firstBehaviour");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("restartDelay");
    QTest::addColumn<int>("longRestart");

    auto ok = [](const char* name, const QStringList& args, int n, const QString& addr, const QString& id,
                 const QString& behaviour, int port = 0, int delay = 0, int restart = 1000, int longRestart = 60000) {
        QTest::newRow(name) << args << n << addr << id << behaviour << port << delay << restart << longRestart;
    };
    ok("one gateway", {u"--port"_s, u"0"_s, u"--gateway"_s, u"127.0.0.21=0A1B2C"_s}, 1, u"127.0.0.21"_s, u"0A.1B.2C"_s,
       u"normal"_s);
    ok("behaviour and port", {u"--port=4000"_s, u"--gateway"_s, u"127.0.0.22=0a.1b.2d:wrongkey"_s}, 1, u"127.0.0.22"_s,
       u"0A.1B.2D"_s, u"wrongkey"_s, 4000);
    ok("two gateways and delay",
       {u"--gateway"_s, u"127.0.0.21=0A1B2C:len1129"_s, u"--gateway"_s, u"127.0.0.22=0A1B2D"_s, u"--delay"_s, u"20"_s},
       2, u"127.0.0.21"_s, u"0A.1B.2C"_s, u"len1129"_s, 0, 20);
    ok("id with colons", {u"--gateway=127.0.0.23=0A:1B:2E"_s}, 1, u"127.0.0.23"_s, u"0A.1B.2E"_s, u"normal"_s);
    ok("id with colons and behaviour", {u"--gateway"_s, u"127.0.0.23=0A:1B:2E:nak"_s}, 1, u"127.0.0.23"_s,
       u"0A.1B.2E"_s, u"nak"_s);
    ok("leading zeros are decimal", {u"--gateway"_s, u"127.0.0.010=0A1B2C"_s}, 1, u"127.0.0.10"_s, u"0A.1B.2C"_s,
       u"normal"_s);
    ok("restart times",
       {u"--restart-delay"_s, u"50"_s, u"--long-restart=7000"_s, u"--gateway"_s, u"127.0.0.21=0A1B2C"_s}, 1,
       u"127.0.0.21"_s, u"0A.1B.2C"_s, u"normal"_s, 0, 0, 50, 7000);
    ok("restart delay zero", {u"--restart-delay"_s, u"0"_s, u"--gateway"_s, u"127.0.0.21=0A1B2C"_s}, 1, u"127.0.0.21"_s,
       u"0A.1B.2C"_s, u"normal"_s, 0, 0, 0);
    ok("single dash long option", {u"-port"_s, u"4001"_s, u"-gateway"_s, u"127.0.0.21=0A1B2C"_s}, 1, u"127.0.0.21"_s,
       u"0A.1B.2C"_s, u"normal"_s, 4001);
    ok("documentation range", {u"--gateway"_s, u"192.0.2.7=010203"_s}, 1, u"192.0.2.7"_s, u"01.02.03"_s, u"normal"_s);
    ok("documentation range of gateways", {u"--gateways"_s, u"198.51.100.21-40"_s}, 20, u"198.51.100.21"_s,
       u"B0.64.15"_s, u"normal"_s);
    ok("range and single in order",
       {u"--gateways"_s, u"127.0.0.30-31:silent"_s, u"--gateway"_s, u"127.0.0.21=0A1B2C"_s}, 3, u"127.0.0.30"_s,
       u"B0.00.1E"_s, u"silent"_s);
}

void TestGatewaySimulator::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, gateways);
    QFETCH(QString, firstAddress);
    QFETCH(QString, firstId);
    QFETCH(QString, firstBehaviour);
    QFETCH(int, port);
    QFETCH(int, delay);
    QFETCH(int, restartDelay);
    QFETCH(int, longRestart);

    args.prepend(u"telvaro-gwsim"_s);
    const Result<SimulatorOptions> out = SimulatorCommandLine::parse(args);
    QVERIFY2(out.ok(), qPrintable(out.message()));
    QVERIFY(!out->help);
    QCOMPARE(out->gateways.size(), gateways);
    const SimulatedGateway& g = out->gateways.first();
    QCOMPARE(g.address, QHostAddress(firstAddress));
    QCOMPARE(g.id.text(), firstId);
    QCOMPARE(g.record.gatewayId().text(), firstId);
    QCOMPARE(behaviourText(g.behaviour, g.lengthField), firstBehaviour);
    QCOMPARE(int(out->port), port);
    for (const SimulatedGateway& each : out->gateways) {
        QCOMPARE(each.answerDelayMs, delay);
        QCOMPARE(each.restartDelayMs, restartDelay);
        QCOMPARE(each.longRestartMs, longRestart);
        QCOMPARE(each.masterKey, SimulatedGateway::defaultMasterKey());
    }
}

void TestGatewaySimulator::commandLineRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QString gw = u"127.0.0.21=0A1B2C"_s;
    auto bad = [](const char* name, const QStringList& args, const QString& message) {
        QTest::newRow(name) << args << message;
    };
    bad("unknown option", {u"--gateway"_s, gw, u"--verbose"_s}, u"Unbekannte Option 'verbose'."_s);
    bad("unknown short option", {u"-x"_s, u"--gateway"_s, gw}, u"Unbekannte Option 'x'."_s);
    bad("removed option", {u"--allow-non-loopback"_s, u"--gateway"_s, gw},
        u"Unbekannte Option 'allow-non-loopback'."_s);
    bad("extra argument", {u"--gateway"_s, gw, u"127.0.0.22"_s}, u"Unerwartetes Argument: 127.0.0.22"_s);
    bad("missing value", {u"--gateway"_s, gw, u"--port"_s}, u"Nach '--port' fehlt der Wert."_s);
    bad("value missing before the next option", {u"--gateway"_s, u"--port"_s, u"5"_s},
        u"Der Option --gateway fehlt ihr Wert (ADRESSE=GWID[:VERHALTEN])"_s);
    bad("missing gateway", {u"--gateway"_s}, u"Nach '--gateway' fehlt der Wert."_s);
    bad("value on help", {u"--help=yes"_s}, u"Wert unerwartet nach '--help'."_s);
    bad("port too large", {u"--port"_s, u"65536"_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „65536“ bei --port: erwartet eine ganze Zahl von 0 bis 65535"_s);
    bad("port negative", {u"--port=-1"_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „-1“ bei --port: erwartet eine ganze Zahl von 0 bis 65535"_s);
    bad("port empty", {u"--port="_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „“ bei --port: erwartet eine ganze Zahl von 0 bis 65535"_s);
    bad("delay with unit", {u"--delay"_s, u"20ms"_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „20ms“ bei --delay: erwartet eine ganze Zahl von 0 bis 3600000"_s);
    bad("restart delay with sign", {u"--restart-delay"_s, u"+5"_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „+5“ bei --restart-delay: erwartet eine ganze Zahl von 0 bis 3600000"_s);
    bad("long restart too long", {u"--long-restart"_s, u"3600001"_s, u"--gateway"_s, gw},
        u"Ungültiger Wert „3600001“ bei --long-restart: erwartet eine ganze Zahl von 0 bis 3600000"_s);
    bad("port twice", {u"--port"_s, u"1"_s, u"--port"_s, u"2"_s, u"--gateway"_s, gw},
        u"Die Option --port ist mehrfach angegeben"_s);
    bad("short key", {u"--key"_s, u"7C3E"_s, u"--gateway"_s, gw},
        u"Ungültiger Master Key „7C3E“ bei --key: erwartet 32 Hex-Ziffern"_s);
    bad("key not hex", {u"--key"_s, u"7C3E9A15D2084BF6E1A05C93D76F2B4G"_s, u"--gateway"_s, gw},
        u"Ungültiger Master Key „7C3E9A15D2084BF6E1A05C93D76F2B4G“ bei --key: erwartet 32 Hex-Ziffern"_s);
    bad("no gateway", {u"--port"_s, u"0"_s},
        u"Kein Gateway angegeben (--gateway ADRESSE=GWID oder --gateways A.B.C.D-E)"_s);
    const QString gatewayUsage = u"Ungültiges Gateway „%1“ bei --gateway: erwartet ADRESSE=GWID[:VERHALTEN], z. B. "
                                 u"127.0.0.21=0A1B2C"_s;
    bad("bad id", {u"--gateway"_s, u"127.0.0.21=0A1B2"_s}, gatewayUsage.arg(u"127.0.0.21=0A1B2"_s));
    bad("missing id", {u"--gateway"_s, u"127.0.0.21"_s}, gatewayUsage.arg(u"127.0.0.21"_s));
    bad("three-part address", {u"--gateway"_s, u"127.0.21=0A1B2C"_s}, gatewayUsage.arg(u"127.0.21=0A1B2C"_s));
    bad("address part too large", {u"--gateway"_s, u"127.0.0.256=0A1B2C"_s}, gatewayUsage.arg(u"127.0.0.256=0A1B2C"_s));
    bad("unknown behaviour", {u"--gateway"_s, u"127.0.0.21=0A1B2C:sometimes"_s},
        u"Unbekanntes Verhalten „sometimes“ bei --gateway 127.0.0.21=0A1B2C:sometimes (bekannt: %1)"_s.arg(
            behaviourTexts().join(u", "_s)));
    const QString rangeUsage = u"Ungültiger Adressbereich „%1“ bei --gateways: erwartet A.B.C.D-E[:VERHALTEN] mit D ≤ "
                               u"E ≤ 255, z. B. 127.0.0.21-40"_s;
    bad("range backwards", {u"--gateways"_s, u"127.0.0.40-21"_s}, rangeUsage.arg(u"127.0.0.40-21"_s));
    bad("range beyond 255", {u"--gateways"_s, u"127.0.0.40-256"_s}, rangeUsage.arg(u"127.0.0.40-256"_s));
    bad("range without end", {u"--gateways"_s, u"127.0.0.40"_s}, rangeUsage.arg(u"127.0.0.40"_s));
    const QString refused = u"Adresse %1 abgelehnt: erlaubt sind nur 127.0.0.0/8 und die Dokumentationsbereiche "
                            u"192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24"_s;
    bad("LAN address refused", {u"--gateway"_s, u"192.168.1.7=010203"_s}, refused.arg(u"192.168.1.7"_s));
    bad("range into a LAN", {u"--gateways"_s, u"10.0.0.1-3"_s}, refused.arg(u"10.0.0.1"_s));
    bad("duplicate address", {u"--gateway"_s, gw, u"--gateway"_s, u"127.0.0.21=0A1B2D"_s},
        u"Adresse 127.0.0.21 ist mehrfach angegeben"_s);
    bad("missing setup folder", {u"--setup-file"_s, u"/nonexistent/telvaro"_s, u"--gateway"_s, gw},
        u"Der Ordner „/nonexistent/telvaro“ bei --setup-file existiert nicht"_s);
    bad("empty log name", {u"--log="_s, u"--gateway"_s, gw}, u"Der Option --log fehlt ein Dateiname"_s);
}

void TestGatewaySimulator::commandLineRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    args.prepend(u"telvaro-gwsim"_s);
    const Result<SimulatorOptions> out = SimulatorCommandLine::parse(args);
    QVERIFY(!out.ok());
    QCOMPARE(out.message(), message);
}

void TestGatewaySimulator::commandLineHelp()
{
    for (const QString& option : {u"--help"_s, u"-h"_s}) {
        const Result<SimulatorOptions> out = SimulatorCommandLine::parse({u"telvaro-gwsim"_s, option});
        QVERIFY2(out.ok(), qPrintable(out.message()));
        QVERIFY(out->help);
    }
    const QString help = SimulatorCommandLine::helpText();
    for (const QString& option : {u"--port"_s, u"--gateway "_s, u"--gateways"_s, u"--key"_s, u"--delay"_s,
                                  u"--restart-delay"_s, u"--long-restart"_s, u"--log"_s, u"--setup-file"_s})
        QVERIFY2(help.contains(option), qPrintable(option));
    for (const QString& behaviour : behaviourTexts())
        QVERIFY2(help.contains(u"\n  "_s + behaviour + u' '), qPrintable(behaviour));
    QVERIFY(!help.contains(u"allow-non-loopback"_s));
}

void TestGatewaySimulator::commandLineRange()
{
    const QString key = u"00112233445566778899aabbccddeeff"_s;
    const Result<SimulatorOptions> out = SimulatorCommandLine::parse(
        {u"telvaro-gwsim"_s, u"--gateways"_s, u"127.0.0.21-40:bytewise"_s, u"--key"_s, key, u"--log"_s, u"x.log"_s});
    QVERIFY2(out.ok(), qPrintable(out.message()));
    QCOMPARE(out->gateways.size(), 20);
    QCOMPARE(out->logFile, u"x.log"_s);
    QSet<QString> ids;
    for (const SimulatedGateway& g : out->gateways) {
        ids.insert(g.id.text());
        QCOMPARE(g.behaviour, GatewayBehaviour::ByteWise);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(g.masterKey.data()), 16).toHex(), key.toLatin1());
        QCOMPARE(g.record.masterKey(), g.masterKey);
    }
    QCOMPARE(ids.size(), 20);
    QCOMPARE(out->gateways.first().address, local(21));
    QCOMPARE(out->gateways.last().address, local(40));
    QCOMPARE(out->gateways.last().id.text(), u"B0.00.28"_s);
}

void TestGatewaySimulator::commandLineSetupFile()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const SimulatedGateway base = SimulatedGateway::makeDefault(local(21), gwid(0x0A, 0x1B, 0x2C));
    const GWSetupRecord stored = editedRecord(base.record);
    QVERIFY(SetupRecordToFile(folder, base.id, stored));

    const Result<SimulatorOptions> out =
        SimulatorCommandLine::parse({u"telvaro-gwsim"_s, u"--setup-file"_s, dir.path(), u"--gateway"_s,
                                     u"127.0.0.21=0A1B2C"_s, u"--gateway"_s, u"127.0.0.22=0A1B2D"_s});
    QVERIFY2(out.ok(), qPrintable(out.message()));
    QCOMPARE(out->gateways.size(), 2);
    QCOMPARE(out->gateways[0].record, stored);
    QCOMPARE(out->gateways[0].record.serverName(), QByteArray("edited.example.lan"));
    // No file for the second gateway: the built-in setup.
    QCOMPARE(out->gateways[1].record, SimulatedGateway::makeDefault(local(22), gwid(0x0A, 0x1B, 0x2D)).record);

    QFile broken(folder + u"SETUPGW_0A_1B_2D.GWINI"_s);
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("[NETZWERK]\r\nPORT=70000\r\n");
    broken.close();
    const Result<SimulatorOptions> refused = SimulatorCommandLine::parse(
        {u"telvaro-gwsim"_s, u"--setup-file"_s, dir.path(), u"--gateway"_s, u"127.0.0.22=0A1B2D"_s});
    QVERIFY(!refused.ok());
    QVERIFY2(refused.message().startsWith(u"Setup-Datei von 0A.1B.2D in „%1“: "_s.arg(folder)),
             qPrintable(refused.message()));
    QVERIFY2(refused.message().contains(u"PORT"_s), qPrintable(refused.message()));
}

void TestGatewaySimulator::toolUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutStart");
    QTest::addColumn<QString>("stderrText");

    const QString hint = u"\nHilfe: telvaro-gwsim --help\n"_s;
    const QString gw = u"127.0.0.21=0A1B2C"_s;
    QTest::newRow("help") << QStringList{u"--help"_s} << 0 << u"Aufruf: telvaro-gwsim [Optionen]\n"_s << QString();
    QTest::newRow("help wins over other options")
        << QStringList{u"--gateway"_s, gw, u"-h"_s} << 0 << u"Aufruf: telvaro-gwsim [Optionen]\n"_s << QString();
    QTest::newRow("unknown option") << QStringList{u"--gateway"_s, gw, u"--verbose"_s} << 2 << QString()
                                    << u"telvaro-gwsim: Unbekannte Option 'verbose'."_s + hint;
    QTest::newRow("extra argument") << QStringList{u"--gateway"_s, gw, u"extra"_s} << 2 << QString()
                                    << u"telvaro-gwsim: Unerwartetes Argument: extra"_s + hint;
    QTest::newRow("missing value") << QStringList{u"--gateway"_s, gw, u"--restart-delay"_s} << 2 << QString()
                                   << u"telvaro-gwsim: Nach '--restart-delay' fehlt der Wert."_s + hint;
    QTest::newRow("bad number") << QStringList{u"--gateway"_s, gw, u"--port"_s, u"30x"_s} << 2 << QString()
                                << u"telvaro-gwsim: Ungültiger Wert „30x“ bei --port: erwartet eine ganze Zahl von 0 "
                                   u"bis 65535"_s +
                                       hint;
    QTest::newRow("refused address")
        << QStringList{u"--gateway"_s, u"8.8.8.8=010203"_s} << 2 << QString()
        << u"telvaro-gwsim: Adresse 8.8.8.8 abgelehnt: erlaubt sind nur 127.0.0.0/8 und die Dokumentationsbereiche "
           u"192.0.2.0/24, 198.51.100.0/24, 203.0.113.0/24"_s +
               hint;
    QTest::newRow("nothing") << QStringList{} << 2 << QString()
                             << u"telvaro-gwsim: Kein Gateway angegeben (--gateway ADRESSE=GWID oder --gateways "
                                u"A.B.C.D-E)"_s +
                                    hint;
}

void TestGatewaySimulator::toolUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutStart);
    QFETCH(QString, stderrText);

    QProcess process;
    process.start(QStringLiteral(TELVARO_GWSIM_PROGRAM), args);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = consoleText(process.readAllStandardOutput());
    QCOMPARE(consoleText(process.readAllStandardError()), stderrText);
    if (stdoutStart.isEmpty())
        QCOMPARE(out, QString());
    else
        QVERIFY2(out.startsWith(stdoutStart) && out.contains(u"--restart-delay MS"_s), qPrintable(out));
}

void TestGatewaySimulator::toolProcess()
{
    const QString program = QStringLiteral(TELVARO_GWSIM_PROGRAM);
    QVERIFY2(QFile::exists(program), qPrintable(program));
    QTemporaryDir dir;
    const QString logFile = dir.filePath(u"setups.jsonl"_s);

    QProcess process;
    QByteArray out;
    const quint16 port = startSimulatorProgram(process,
                                               {u"--port"_s, u"0"_s, u"--gateway"_s, u"127.0.0.51=0A1B2C"_s,
                                                u"--gateway"_s, u"127.0.0.52=0A1B2D:nak"_s, u"--log"_s, logFile},
                                               2, out);
    QVERIFY2(port != 0, out.constData());

    const SimulatedGateway expected = SimulatedGateway::makeDefault(local(51), gwid(0x0A, 0x1B, 0x2C));
    {
        Peer peer;
        QVERIFY(connectPeer(peer, local(51), port));
        peer.socket.write(Telegram::ReadSetupRequest());
        QVERIFY(waitUntil([&] { return peer.data.size() >= 1130; }, 5000));
        const Telegram::Answer a = Telegram::decodeAnswer(peer.data, SimulatedGateway::defaultMasterKey());
        QCOMPARE(a.kind, Telegram::Answer::Kind::Setup);
        QCOMPARE(a.record, expected.record);
    }
    const GWSetupRecord sent = editedRecord(expected.record);
    {
        Peer peer;
        QVERIFY(connectPeer(peer, local(52), port));
        GatewayId id;
        KeyMaterial material{};
        QVERIFY(startWrite(peer, id, material));
        peer.data.clear();
        peer.socket.write(
            Telegram::BuildSetupTelegram(sent, material, id.bytes, SimulatedGateway::defaultMasterKey()).value());
        QVERIFY(waitUntil([&] { return !peer.data.isEmpty(); }, 3000));
        QCOMPARE(peer.data, QByteArray::fromHex("15"));
    }
    QFile log(logFile);
    QVERIFY(waitUntil([&] { return log.size() > 0; }, 3000));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    QCOMPARE(lines.size(), 2); // one line and the empty rest after its newline
    const QJsonObject o = QJsonDocument::fromJson(lines.first()).object();
    QCOMPARE(o.value(u"address"_s).toString(), u"127.0.0.52"_s);
    QCOMPARE(o.value(u"gwid"_s).toString(), u"0A.1B.2D"_s);
    QCOMPARE(o.value(u"wellFormed"_s).toBool(), true);
    QCOMPARE(QByteArray::fromHex(o.value(u"record"_s).toString().toLatin1()), sent.toByteArray());

    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void TestGatewaySimulator::toolLogsRestartAndMove()
{
    QTemporaryDir dir;
    const QString logFile = dir.filePath(u"events.jsonl"_s);
    QProcess process;
    QByteArray out;
    const quint16 port = startSimulatorProgram(
        process, {u"--gateway"_s, u"127.0.0.53=0A1B2C"_s, u"--restart-delay"_s, u"100"_s, u"--log"_s, logFile}, 1, out);
    QVERIFY2(port != 0, out.constData());

    const MasterKey oldKey = SimulatedGateway::defaultMasterKey();
    const MasterKey newKey = keyFromHex("00112233445566778899AABBCCDDEEFF");
    GWSetupRecord sent = SimulatedGateway::makeDefault(local(53), gwid(0x0A, 0x1B, 0x2C)).record;
    sent.setMasterKey(newKey);
    sent.setFixedIp(octets(local(54)));
    QCOMPARE(sendSetup(local(53), port, oldKey, sent), QByteArray::fromHex("06"));

    QList<QJsonObject> events;
    const bool restarted = waitUntil(
        [&] {
            QFile log(logFile);
            if (!log.open(QIODevice::ReadOnly))
                return false;
            events.clear();
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (!line.isEmpty())
                    events.append(QJsonDocument::fromJson(line).object());
            }
            return !events.isEmpty() && events.last().value(u"event"_s) == u"restarted"_s;
        },
        5000);
    QVERIFY2(restarted, qPrintable(QString::number(events.size())));
    QStringList names;
    for (const QJsonObject& e : events)
        names << e.value(u"event"_s).toString();
    QCOMPARE(names, QStringList({u"setup"_s, u"restart"_s, u"move"_s, u"restarted"_s}));
    QCOMPARE(events[1].value(u"address"_s).toString(), u"127.0.0.53"_s);
    QCOMPARE(events[1].value(u"gwid"_s).toString(), u"0A.1B.2C"_s);
    QCOMPARE(events[1].value(u"durationMs"_s).toInt(), 100);
    QCOMPARE(events[1].value(u"masterKeyChanged"_s).toBool(), true);
    QCOMPARE(events[1].value(u"fixedAddress"_s).toString(), u"127.0.0.54"_s);
    QCOMPARE(events[2].value(u"address"_s).toString(), u"127.0.0.54"_s);
    QCOMPARE(events[2].value(u"previousAddress"_s).toString(), u"127.0.0.53"_s);
    QCOMPARE(events[3].value(u"address"_s).toString(), u"127.0.0.54"_s);
    QCOMPARE(events[3].value(u"masterKey"_s).toString(), u"00112233445566778899AABBCCDDEEFF"_s);

    const ReadBack moved = readBack(local(54), port, newKey);
    QCOMPARE(moved.answer.kind, Telegram::Answer::Kind::Setup);
    QCOMPARE(moved.answer.record, sent);
    QVERIFY(readBack(local(53), port, newKey).refused);

    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestGatewaySimulator)
#include "TestGatewaySimulator.moc"
