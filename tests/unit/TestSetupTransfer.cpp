#include "link/SetupTransfer.h"
#include "link/Telegram.h"

#include "GatewayFrames.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

// A gateway whose timing the test sets: when its answer to the write request begins, how much of
// it comes, and how long after the setup telegram its acknowledgement follows.
class ScriptedGateway final : public QObject
{
public:
    int answerAfterMs = 0;
    int answerBytes = 26; // of the 26-byte answer
    int ackAfterMs = 0;   // after the whole setup telegram arrived; < 0: never
    QByteArray ack = QByteArray(1, char(0x06));
    QElapsedTimer clock;
    qint64 telegramAtMs = -1;

    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_server.nextPendingConnection();
            clock.start();
            connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
        });
        return m_server.listen(QHostAddress(u"127.0.0.1"_s), 0);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void onData(QTcpSocket* s)
    {
        m_in += s->readAll();
        if (m_stage == 0 && m_in.size() >= 4) {
            m_in.remove(0, 4);
            m_stage = 1;
            const QByteArray answer = GatewayFrames::answer(0x41, GatewayId{{0x0A, 0x1B, 0x2C}},
                                                            KeyMaterial{9, 8, 7, 6}, MasterKey{}, QByteArray());
            QTimer::singleShot(answerAfterMs, s, [s, answer, n = answerBytes] { s->write(answer.left(n)); });
        }
        if (m_stage == 1 && m_in.size() >= Telegram::SetupTelegramSize) {
            m_stage = 2;
            telegramAtMs = clock.elapsed();
            if (ackAfterMs >= 0)
                QTimer::singleShot(ackAfterMs, s, [s, this] { s->write(ack); });
        }
    }

    QTcpServer m_server;
    QByteArray m_in;
    int m_stage = 0;
};

// The gateway's delays below are in the real waits' milliseconds; the test runs everything, both
// sides, this many times faster.
constexpr int Faster = 5;

class TestSetupTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<SetupTransfer::Report>(); }

    void outcomes_data()
    {
        QTest::addColumn<int>("answerAfterMs");
        QTest::addColumn<int>("answerBytes");
        QTest::addColumn<int>("ackAfterMs");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("telegramSent");
        using O = SetupTransfer::Outcome;
        QTest::newRow("prompt gateway") << 20 << 26 << 20 << int(O::Acknowledged) << true;
        // Header only: the rest of the answer never comes, the header is enough. The acknowledgement
        // comes late in its own window, more than 4 s after the start: still a success.
        QTest::newRow("slow answer, late ack in its window") << 700 << 10 << 2500 << int(O::Acknowledged) << true;
        QTest::newRow("ack after its window") << 20 << 26 << 3600 << int(O::NotAcknowledged) << true;
        QTest::newRow("answer begins too late") << 1400 << 26 << 20 << int(O::NoAnswer) << false;
        QTest::newRow("fewer than 10 bytes") << 20 << 9 << 20 << int(O::NoAnswer) << false;
        QTest::newRow("never acknowledged") << 20 << 26 << -1 << int(O::NotAcknowledged) << true;
    }
    void outcomes()
    {
        QFETCH(int, answerAfterMs);
        QFETCH(int, answerBytes);
        QFETCH(int, ackAfterMs);
        QFETCH(int, outcome);
        QFETCH(bool, telegramSent);
        ScriptedGateway gateway;
        gateway.answerAfterMs = answerAfterMs / Faster;
        gateway.answerBytes = answerBytes;
        gateway.ackAfterMs = ackAfterMs < 0 ? -1 : ackAfterMs / Faster;
        QVERIFY(gateway.listen());

        SetupTransfer transfer;
        QSignalSpy finished(&transfer, &SetupTransfer::finished);
        SetupTransfer::Request request;
        request.host = QHostAddress(u"127.0.0.1"_s);
        request.port = gateway.port();
        request.timings = ExchangeTimings().scaledDown(Faster);
        request.expectedId = GatewayId{{0x0A, 0x1B, 0x2C}};
        transfer.start(request);
        QVERIFY(finished.wait(8000));
        QTest::qWait(300 / Faster);
        QCOMPARE(finished.count(), 1); // exactly one outcome
        const auto report = finished.first().first().value<SetupTransfer::Report>();
        QCOMPARE(int(report.outcome), outcome);
        QCOMPARE(report.message(),
                 report.acknowledged() ? SetupTransfer::successMessage() : SetupTransfer::failureMessage());
        QCOMPARE(report.telegramSent, telegramSent);
        QCOMPARE(gateway.telegramAtMs >= 0, telegramSent);
        QVERIFY(!transfer.running());
    }

    void refusedConnectionFailsAtOnce()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress(u"127.0.0.1"_s), 0));
        const quint16 port = probe.serverPort();
        probe.close(); // nothing listens there now
        SetupTransfer transfer;
        QSignalSpy finished(&transfer, &SetupTransfer::finished);
        SetupTransfer::Request request;
        request.host = QHostAddress(u"127.0.0.1"_s);
        request.port = port;
        transfer.start(request);
        QVERIFY(finished.wait(3000));
        QCOMPARE(finished.first().first().value<SetupTransfer::Report>().outcome, SetupTransfer::Outcome::Refused);
    }
};

QTEST_GUILESS_MAIN(TestSetupTransfer)
#include "TestSetupTransfer.moc"
