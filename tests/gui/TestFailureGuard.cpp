// Exceptions never turn into success: one out of an event handler of the command line ends the run
// with exit code 2 and a German message; in the window it is reported and the program goes on.
#include "base/GuardedApplication.h"
#include "cli/CommandArguments.h"
#include "cli/CommandRunner.h"

#include "GatewaySimulator.h"
#include "TestSupport.h"

#include <QApplication>
#include <QTimer>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
QStringList reported;
} // namespace

class TestFailureGuard : public QObject
{
    Q_OBJECT

private slots:
    void init() { reported.clear(); }

    void messages_data()
    {
        QTest::addColumn<int>("thrown");
        QTest::addColumn<QString>("message");
        QTest::newRow("runtime error") << 0 << u"Unerwarteter Fehler: Testfehler. Der Vorgang wurde abgebrochen."_s;
        QTest::newRow("out of memory")
            << 1 << u"Unerwarteter Fehler: nicht genug Arbeitsspeicher. Der Vorgang wurde abgebrochen."_s;
        QTest::newRow("anything else") << 2 << u"Unerwarteter Fehler. Der Vorgang wurde abgebrochen."_s;
    }
    // In the window: the message is reported once and the event loop goes on.
    void messages()
    {
        QFETCH(int, thrown);
        QFETCH(QString, message);
        bool after = false;
        QTimer::singleShot(0, qApp, [thrown] {
            if (thrown == 0)
                throw std::runtime_error("Testfehler");
            if (thrown == 1)
                throw std::bad_alloc();
            throw 42;
        });
        QTimer::singleShot(20, qApp, [&after] { after = true; });
        QTRY_VERIFY(after);
        QCOMPARE(reported, QStringList{message});
    }

    // The command line: a scan of simulated gateways whose event handling throws part way ends with
    // exit code 2, never 0.
    void commandLineEndsWithTwo()
    {
        ScratchDocuments docs;
        GatewaySimulator sim;
        QVERIFY(sim.listen({SimulatedGateway::makeDefault(QHostAddress(u"127.0.0.21"_s), GatewayId{{1, 2, 3}})}, 0));
        const Result<Invocation> invocation =
            parseInvocation({u"telvaro"_s, u"scan"_s, u"127.0.0"_s, u"--port"_s, QString::number(sim.port()),
                             u"--documents"_s, docs.path()});
        QVERIFY(invocation.ok());
        qApp->setProperty("commandLine", true);
        QTimer::singleShot(1, qApp, [] { throw std::bad_alloc(); });
        const int code = runCommand(*invocation);
        qApp->setProperty("commandLine", false);
        QCOMPARE(code, 2);
        QCOMPARE(reported,
                 QStringList{u"Unerwarteter Fehler: nicht genug Arbeitsspeicher. Der Vorgang wurde abgebrochen."_s});
    }
};

int main(int argc, char** argv)
{
    // The program's guard, also recording what it reported; in a command-line test the failure goes
    // to the command line's own report, which ends the event loop.
    GuardedApplication<QApplication> app(argc, argv, [](const QString& message) {
        reported << message;
        if (QCoreApplication::instance()->property("commandLine").toBool())
            reportCommandLineFailure(message);
    });
    TestFailureGuard test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFailureGuard.moc"
