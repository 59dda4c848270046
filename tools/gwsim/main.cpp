// telvaro-gwsim: simulated gateways on loopback or documentation-range addresses (see --help).
#include "GatewaySimulator.h"
#include "SimulatorCommandLine.h"
#include "SimulatorLog.h"

#include "base/QtTexts.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <QAbstractNativeEventFilter>

#include <qt_windows.h>
#endif

using namespace Qt::StringLiterals;

namespace {

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT end the event loop through a self-pipe: a signal handler may only write.
bool installQuitOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char c;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}
#endif

#ifdef Q_OS_WIN
// What Windows sends instead of SIGTERM and SIGINT: QProcess::terminate() and taskkill post WM_CLOSE
// to the main thread (this program has no window), a console sends Ctrl+C, Ctrl+Break or close.
class QuitOnClose final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->hwnd == nullptr && msg->message == WM_CLOSE) {
            QCoreApplication::quit();
            return true;
        }
        return false;
    }
};

BOOL WINAPI onConsoleControl(DWORD)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    return TRUE;
}

bool installQuitOnSignals(QCoreApplication& app)
{
    static QuitOnClose filter;
    app.installNativeEventFilter(&filter);
    return ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
#endif

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    installQtGermanTexts(app);
    const Result<SimulatorOptions> parsed = SimulatorCommandLine::parse(QCoreApplication::arguments());
    if (!parsed) {
        std::fprintf(stderr, "telvaro-gwsim: %s\nHilfe: telvaro-gwsim --help\n", qUtf8Printable(parsed.message()));
        return 2;
    }
    const SimulatorOptions& options = *parsed;
    if (options.help) {
        std::fputs(qUtf8Printable(SimulatorCommandLine::helpText()), stdout);
        return 0;
    }

    QFile log;
    if (options.logFile.isEmpty()) {
        if (!log.open(stdout, QIODevice::WriteOnly)) {
            std::fprintf(stderr, "telvaro-gwsim: Standardausgabe nicht beschreibbar\n");
            return 1;
        }
    } else {
        log.setFileName(options.logFile);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            std::fprintf(stderr, "telvaro-gwsim: Protokolldatei %s lässt sich nicht öffnen: %s\n",
                         qUtf8Printable(options.logFile), qUtf8Printable(log.errorString()));
            return 1;
        }
    }

#if defined(Q_OS_UNIX) || defined(Q_OS_WIN)
    if (!installQuitOnSignals(app)) {
        std::fprintf(stderr, "telvaro-gwsim: Signalbehandlung lässt sich nicht einrichten\n");
        return 1;
    }
#endif

    GatewaySimulator simulator;
    auto write = [&log](const QByteArray& line) {
        log.write(line);
        log.flush();
    };
    QObject::connect(&simulator, &GatewaySimulator::setupReceived, &app,
                     [write](const ReceivedSetup& setup) { write(SimulatorLog::setupLine(setup)); });
    QObject::connect(&simulator, &GatewaySimulator::restartBegan, &app,
                     [write](const SimulatedGateway& g, int ms) { write(SimulatorLog::restartLine(g, ms)); });
    QObject::connect(&simulator, &GatewaySimulator::moved, &app,
                     [write](const SimulatedGateway& g, const QHostAddress& previous) {
                         write(SimulatorLog::moveLine(g, previous));
                     });
    QObject::connect(&simulator, &GatewaySimulator::addressNotTaken, &app,
                     [write](const SimulatedGateway& g, const QHostAddress& fixed, const QString& reason) {
                         write(SimulatorLog::addressNotTakenLine(g, fixed, reason));
                     });
    QObject::connect(&simulator, &GatewaySimulator::restartEnded, &app,
                     [write](const SimulatedGateway& g) { write(SimulatorLog::restartedLine(g)); });
    QObject::connect(&simulator, &GatewaySimulator::restartFailed, &app,
                     [write](const SimulatedGateway& g, const QString& reason) {
                         write(SimulatorLog::restartFailedLine(g, reason));
                     });
    if (!simulator.listen(options.gateways, options.port)) {
        std::fprintf(stderr, "telvaro-gwsim: %s\n", qUtf8Printable(simulator.errorString()));
        return 1;
    }
    // Whoever starts us waits for this line before connecting.
    std::printf("listening on port %u with %d gateways\n", unsigned(simulator.port()), int(options.gateways.size()));
    std::fflush(stdout);

    const int rc = app.exec();
    simulator.close();
    return rc;
}
