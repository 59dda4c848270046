// Event-loop stall during a scan of 254 answering gateways (127.0.10.1-254): the scan engine runs in
// this process while a 1 ms timer measures the longest gap between its ticks. The gateways run in a
// separate telvaro-gwsim process, so only our own work shows up in the gaps. The scan runs through a
// gateway session with its default settings (every address at once), which decodes each answer,
// stores its setup in a scratch folder and records the scan in the history, as in the main window.
// The gaps are reported for the whole scan and for its end alone: from the last setup stored until
// the history is updated.
// Before the scan the same timer runs for a second on an idle loop: on a busy machine the scheduler
// alone makes gaps, and that floor is printed beside the figure. BENCH_STALL_TRACE=1 prints every
// gap above 10 ms with the scan's state at that moment, and every event that took 3 ms or more with
// how much of it was this thread's own CPU time (the rest: the thread was not running).
// Usage: bench_stall <path of telvaro-gwsim> [--history FILE]
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
#include <ctime>

namespace {
qint64 threadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// With BENCH_STALL_TRACE=1, every event that takes 3 ms or more to handle is printed with its
// receiver, so a long gap can be traced to the work behind it.
class TracingApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!m_trace)
            return QCoreApplication::notify(receiver, event);
        QElapsedTimer t;
        t.start();
        const qint64 cpu0 = threadCpuUs();
        const int type = event->type();
        const char* receiverClass = receiver->metaObject()->className(); // it may be deleted below
        const bool handled = QCoreApplication::notify(receiver, event);
        const qint64 us = t.nsecsElapsed() / 1000;
        if (us >= 3000)
            fprintf(stderr, "  event %d to %s took %lld us, %lld us of it on this thread's CPU\n", type, receiverClass,
                    static_cast<long long>(us), static_cast<long long>(threadCpuUs() - cpu0));
        return handled;
    }

private:
    const bool m_trace = qEnvironmentVariableIsSet("BENCH_STALL_TRACE");
};
} // namespace

int main(int argc, char** argv)
{
    TracingApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (!(args.size() == 2 || (args.size() == 4 && args[2] == QStringLiteral("--history")))) {
        fprintf(stderr, "usage: bench_stall <path of telvaro-gwsim> [--history FILE]\n");
        return 2;
    }
    const QString historyFile = args.value(3);

    QProcess sim;
    sim.setProcessChannelMode(QProcess::MergedChannels);
    sim.start(QString::fromLocal8Bit(argv[1]),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--gateways"),
               QStringLiteral("127.0.10.1-254"), QStringLiteral("--delay"), QStringLiteral("0"),
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
    session.setPort(quint16(port));
    session.setMasterKey(*FieldRules::masterKey(SetupKeys::DefaultMasterKey));
    session.setSetupsFolder(folder);
    session.setHistoryFile(historyFile.isEmpty() ? setups.filePath(QStringLiteral("Telvaro-Scans.jsonl"))
                                                 : historyFile);

    QElapsedTimer sinceTick;
    QElapsedTimer wall;
    qint64 idleGap = 0;
    bool scanning = false;
    qint64 longestGap = 0;
    qint64 longestAtEnd = 0; // from the last setup stored to the end of the scan
    bool allTried = false;
    QObject::connect(&session, &GatewaySession::progress, [&](int done, int total) { allTried = done == total; });
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.elapsed();
        longestGap = std::max(longestGap, gap);
        if (scanning && gap > 10 && qEnvironmentVariableIsSet("BENCH_STALL_TRACE"))
            fprintf(stderr, "gap %lld ms ending at %lld ms, %d answers, %d rows, %d pending\n", (long long)gap,
                    (long long)wall.elapsed(), session.answerCount(), session.list().size(),
                    session.store().pendingSetups());
        if (scanning && allTried && session.store().pendingSetups() == 0)
            longestAtEnd = std::max(longestAtEnd, gap);
        sinceTick.restart();
    });

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
    });
    QTimer::singleShot(1000, [&] {
        idleGap = longestGap;
        longestGap = 0;
        scanning = true;
        wall.start();
        session.startScan(Segment{127, 0, 10});
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

    printf("longest event-loop stall: %lld ms (goal <= 10 ms; idle loop before the scan: %lld ms)\n",
           static_cast<long long>(longestGap), static_cast<long long>(idleGap));
    printf("longest stall from the last setup stored to the history updated: %lld ms\n",
           static_cast<long long>(longestAtEnd));
    printf("scan wall time: %lld ms%s\n", static_cast<long long>(wallMs),
           finished ? "" : " (did not finish within 60 s)");
    printf("gateways answered: %d of 254, setups stored: %d; history: %s\n", answers, stored,
           session.historyStatus() ? "recorded" : qPrintable(session.historyStatus().message()));
    return finished ? 0 : 1;
}
