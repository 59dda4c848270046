#include "ScanEngine.h"

#include "setups/FieldRules.h"

#include <algorithm>

static_assert(FieldRules::ParallelRange.max == ScanEngine::AddressCount, "one connection per address at most");

QHostAddress Segment::address(int octet) const
{
    return QHostAddress(quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | quint32(octet));
}

QString Segment::text() const
{
    return QStringLiteral("%1.%2.%3").arg(a).arg(b).arg(c);
}

bool Segment::contains(const QHostAddress& host) const
{
    bool ok = false;
    const quint32 v = host.toIPv4Address(&ok);
    return ok && (v >> 8) == (quint32(a) << 16 | quint32(b) << 8 | quint32(c));
}

Result<Segment> Segment::fromParts(const QStringList& parts)
{
    const auto refused = [&parts] {
        return Result<Segment>::failure(
            QStringLiteral("Ungültiges IP-Segment: \"%1\". Erlaubt sind drei ganze Zahlen von 0 bis 255.")
                .arg(parts.join(QLatin1Char('.'))));
    };
    if (parts.size() != 3)
        return refused();
    int values[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::optional<quint8> part = FieldRules::addressPart(parts[i].trimmed());
        if (!part)
            return refused();
        values[i] = *part;
    }
    return Segment{values[0], values[1], values[2]};
}

Result<Segment> Segment::fromText(const QString& text)
{
    return fromParts(text.split(QLatin1Char('.')));
}

ScanEngine::ScanEngine(QObject* parent) : QObject(parent)
{
    m_pause.setSingleShot(true);
    m_pause.setTimerType(Qt::PreciseTimer); // never early: the pause is a promise to the peers
    m_pause.callOnTimeout(this, &ScanEngine::launchMore);
    m_deliver.setSingleShot(true);
    m_deliver.setInterval(0);
    m_deliver.callOnTimeout(this, &ScanEngine::deliverNext);
    m_launch.setSingleShot(true);
    m_launch.setInterval(0);
    m_launch.callOnTimeout(this, &ScanEngine::launchMore);
}

ScanEngine::~ScanEngine()
{
    stop();
}

void ScanEngine::start(const Settings& settings)
{
    stop();
    m_settings = settings;
    m_settings.parallel = FieldRules::ParallelRange.clamped(settings.parallel);
    m_next = 0;
    m_done = 0;
    m_running = true;
    emit progress(0, AddressCount);
    launchMore();
}

void ScanEngine::stop()
{
    m_running = false;
    m_pause.stop();
    m_deliver.stop();
    m_launch.stop();
    m_ended.clear();
    for (ReadExchange* exchange : m_open) {
        exchange->abort();
        exchange->deleteLater();
    }
    m_open.clear();
}

void ScanEngine::launchMore()
{
    int opened = 0;
    while (m_running && m_next <= LastOctet && int(m_open.size()) < m_settings.parallel) {
        if (opened++ == OpenedPerPass) {
            if (!m_launch.isActive())
                m_launch.start();
            return;
        }
        const QHostAddress host = m_settings.segment.address(m_next++);
        auto* exchange = new ReadExchange(this);
        m_open.push_back(exchange);
        connect(exchange, &ReadExchange::finished, this,
                [this, exchange](const ReadExchange::Outcome& outcome) { exchangeFinished(exchange, outcome); });
        emit tryingAddress(host);
        exchange->start(host, m_settings.port, m_settings.timings);
    }
}

void ScanEngine::exchangeFinished(ReadExchange* exchange, const ReadExchange::Outcome& outcome)
{
    m_open.erase(std::remove(m_open.begin(), m_open.end(), exchange), m_open.end());
    exchange->deleteLater();
    if (!m_running)
        return;
    // Outcomes are handed on one per pass of the event loop: when many exchanges end together, the
    // receivers' work (decrypting, storing a setup file) must not add up to one long stall.
    m_ended.push_back(outcome);
    if (!m_deliver.isActive())
        m_deliver.start();
    if (m_settings.parallel == 1)
        m_pause.start(m_settings.timings.pauseMs);
    else
        launchMore();
}

void ScanEngine::deliverNext()
{
    if (!m_running || m_ended.empty())
        return;
    const ReadExchange::Outcome next = std::move(m_ended.front());
    m_ended.pop_front();
    ++m_done;
    emit addressDone(next);
    if (!m_running) // a receiver stopped the scan
        return;
    emit progress(m_done, AddressCount);
    if (m_done == AddressCount) {
        m_running = false;
        emit finished();
        return;
    }
    if (!m_ended.empty())
        m_deliver.start();
}
