// Event-loop stall during a scan of 254 answering gateways: the scan engine runs in this process
// while a 1 ms timer measures the longest gap between its ticks. The gateways run in a separate
// telvaro-gwsim process, so only our own work shows up in the gaps. The scan runs through a gateway
// session with its default settings (every address at once), which decodes each answer and stores
// its setup in a scratch folder, as in the main window.
// Usage: bench_stall <path of telvaro-gwsim>
#include "session/GatewaySession.h"
#include "setups/FieldRules.h"
#include "setups/SetupFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: bench_stall <path of telvaro-gwsim>\n");
        return 2;
    }

    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(QString::fromLocal8Bit(argv[1]),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--gateways"),
               QStringLiteral("127.0.0.1-254"), QStringLiteral("--delay"), QStringLiteral("20"),
               QStringLiteral("--log"), QStringLiteral("/dev/null")});
    const auto stopSim = [&sim] {
        if (sim.state() == QProcess::NotRunning)
            return;
        sim.terminate();
        if (!sim.waitForFinished(3000)) {
            sim.kill();
            sim.waitForFinished(3000);
        }
    };
    if (!sim.waitForStarted(5000)) {
        fprintf(stderr, "bench_stall: cannot start %s\n", argv[1]);
        return 1;
    }

    // Wait (bounded) for "listening on port N".
    QByteArray output;
    int port = 0;
    QElapsedTimer startUp;
    startUp.start();
    const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
    while (port == 0 && startUp.elapsed() < 10000 && sim.state() == QProcess::Running) {
        sim.waitForReadyRead(200);
        output += sim.readAll();
        const auto m = listening.match(QString::fromUtf8(output));
        if (m.hasMatch())
            port = m.captured(1).toInt();
    }
    if (port == 0) {
        fprintf(stderr, "bench_stall: the simulator did not start listening:\n%s\n", output.constData());
        stopSim();
        return 1;
    }

    QTemporaryDir setups;
    const QString folder = setups.path() + QLatin1Char('/');
    GatewaySession session;
    LinkSettings link;
    link.port = quint16(port);
    session.setLinkSettings(link);
    session.setMasterKey(*FieldRules::masterKey(SetupKeys::DefaultMasterKey));
    session.setSetupsFolder(folder);

    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });

    QElapsedTimer wall;
    bool finished = false;
    QObject::connect(&session, &GatewaySession::scanFinished, [&] {
        finished = true;
        app.quit();
    });
    // A scan that does not end within 60 s is a failure of its own; the bench ends all the same.
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, [&] {
        sinceTick.start();
        ticker.start();
        wall.start();
        session.startScan(Segment{127, 0, 0});
    });
    app.exec();
    const qint64 wallMs = wall.elapsed();
    ticker.stop();
    session.stopScan();
    const int answers = session.answerCount();
    int stored = 0;
    for (const GatewayRow& row : session.list().rows())
        stored += row.state == GatewayRow::State::SetupStored ? 1 : 0;
    stopSim();

    printf("longest event-loop stall: %lld ms (target < 50 ms)\n", static_cast<long long>(longestGap));
    printf("scan wall time: %lld ms%s\n", static_cast<long long>(wallMs),
           finished ? "" : " (did not finish within 60 s)");
    printf("gateways answered: %d of 254, setups stored: %d\n", answers, stored);
    return finished ? 0 : 1;
}
