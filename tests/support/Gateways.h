#pragma once

#include "SimulatedGateway.h"
#include "link/ExchangeTimings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

#include <functional>

// How much faster than a real gateway the tests run: the tool's waits and the simulated gateways'
// delays are divided by the same number, so every "within the window" and "after the window" keeps.
inline constexpr int TestSpeedUp = 10;

inline ExchangeTimings fastTimings()
{
    return ExchangeTimings().scaledDown(TestSpeedUp);
}

// A default simulated gateway at 127.0.0.<octet> with ID 0A.1B.<last> (last -1: the octet), its
// delays scaled like fastTimings().
inline SimulatedGateway gw(int octet, GatewayBehaviour behaviour = GatewayBehaviour::Normal, int last = -1)
{
    const quint8 idByte = quint8(last < 0 ? octet : last);
    SimulatedGateway g = SimulatedGateway::makeDefault(QHostAddress(QStringLiteral("127.0.0.%1").arg(octet)),
                                                       GatewayId{{0x0A, 0x1B, idByte}});
    g.behaviour = behaviour;
    return g.scaledDown(TestSpeedUp);
}

inline SimulatedGateway gw(int octet, quint8 last, GatewayBehaviour behaviour = GatewayBehaviour::Normal)
{
    return gw(octet, behaviour, last);
}

// Lets deferred deletions and the simulator's side of closed connections run.
inline void settleDeletions()
{
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Runs the event loop until condition holds or timeoutMs have passed; true when it holds. Unlike
// QTest::qWait it never sleeps, so a peer's 1 ms pacing in the same thread is not stretched.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    if (condition())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.callOnTimeout(&loop, [&] {
        if (condition() || elapsed.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return condition();
}
