#pragma once

#include "ExchangeTimings.h"
#include "ReadExchange.h"
#include "base/Result.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <vector>

// One IPv4 segment a.b.c, the first three octets of the addresses a scan tries.
struct Segment
{
    int a = 0, b = 0, c = 0;

    QHostAddress address(int octet) const;
    QString text() const; // "a.b.c"
    bool contains(const QHostAddress& host) const;
    // Three whole numbers 0..255 (leading zeros allowed), as the segment edits or "a.b.c" hold them.
    static Result<Segment> fromParts(const QStringList& parts);
    static Result<Segment> fromText(const QString& text);
    friend bool operator==(const Segment&, const Segment&) = default;
};

// Scans a.b.c.0 .. a.b.c.254 (never .255) with up to `parallel` read exchanges at once. Never blocks:
// every exchange is asynchronous. With parallel = 1 the addresses are tried one after the other with
// the pause of the timings between them.
class ScanEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanEngine)

public:
    static constexpr int LastOctet = 254;
    static constexpr int AddressCount = LastOctet + 1;
    // Connections opened in one pass of the event loop; the rest follow in the next passes, so
    // opening a whole segment never holds the loop (and a window's painting) for long.
    static constexpr int OpenedPerPass = 6;

    struct Settings
    {
        Segment segment;
        quint16 port = 30;
        int parallel = AddressCount;
        ExchangeTimings timings;
    };

    explicit ScanEngine(QObject* parent = nullptr);
    ~ScanEngine() override;

    // Starts a scan; a scan already running is stopped first (without finished()).
    void start(const Settings& settings);
    // Ends the scan at once: open exchanges are closed; no outcome and no finished() follow.
    void stop();
    bool running() const { return m_running; }
    int done() const { return m_done; }
    int openExchanges() const { return int(m_open.size()); }

signals:
    void tryingAddress(const QHostAddress& host);
    // Every address ends in exactly one outcome, handed on one per pass of the event loop.
    void addressDone(const ReadExchange::Outcome& outcome);
    void progress(int done, int total);
    void finished();

private:
    void launchMore();
    void exchangeFinished(ReadExchange* exchange, const ReadExchange::Outcome& outcome);
    void deliverNext();

    Settings m_settings;
    std::vector<ReadExchange*> m_open;
    std::deque<ReadExchange::Outcome> m_ended; // not yet handed on
    QTimer m_pause;
    QTimer m_deliver;
    QTimer m_launch;
    int m_next = 0;
    int m_done = 0;
    bool m_running = false;
};
