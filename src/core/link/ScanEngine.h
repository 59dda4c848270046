#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

class ReadExchange;

// What one address answered during a scan.
struct ScanAnswer
{
    int octet = 0;    // last octet d of a.b.c.d
    QString ip;       // "a.b.c.d"
    QByteArray bytes; // never empty
};

// Scans a.b.c.0 .. a.b.c.254 (never .255) with up to `parallel` read exchanges at once. Never blocks:
// every exchange is asynchronous. With parallel = 1 the addresses are tried one after the other with
// a 300 ms pause between them.
class ScanEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanEngine)

public:
    static constexpr int LastOctet = 254;
    static constexpr int AddressCount = LastOctet + 1;
    static constexpr int PauseMs = 300;

    struct Settings
    {
        int a = 0, b = 0, c = 0;
        quint16 port = 30;
        int parallel = 64;
        int connectTimeoutMs = 1000;
    };

    explicit ScanEngine(QObject* parent = nullptr);
    ~ScanEngine() override;

    // Starts a scan; a scan already running is stopped first (without finished()).
    void start(const Settings& settings);
    // Ends the scan at once: open exchanges are closed; no answer and no finished() follow.
    void stop();
    bool running() const { return m_running; }
    int done() const { return m_done; }

signals:
    void tryingAddress(const QString& ip);
    void answered(const ScanAnswer& answer);
    void progress(int done, int total);
    void finished();

private:
    void launchMore();
    void exchangeFinished(ReadExchange* exchange, int octet, const QByteArray& bytes);
    void deliverNext();

    Settings m_settings;
    std::vector<ReadExchange*> m_open;
    std::deque<ScanAnswer> m_ended; // exchanges that ended, not yet handed on (bytes may be empty)
    QTimer m_pause;
    QTimer m_deliver;
    int m_next = 0;
    int m_done = 0;
    bool m_running = false;
};
