#include "ScanEngine.h"

#include "ReadExchange.h"

#include <algorithm>

ScanEngine::ScanEngine(QObject* parent) : QObject(parent)
{
    m_pause.setSingleShot(true);
    m_pause.callOnTimeout(this, &ScanEngine::launchMore);
    m_deliver.setSingleShot(true);
    m_deliver.setInterval(0);
    m_deliver.callOnTimeout(this, &ScanEngine::deliverNext);
}

ScanEngine::~ScanEngine()
{
    stop();
}

void ScanEngine::start(const Settings& settings)
{
    stop();
    m_settings = settings;
    m_settings.parallel = std::clamp(settings.parallel, 1, AddressCount);
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
    m_ended.clear();
    for (ReadExchange* exchange : m_open) {
        exchange->abort();
        exchange->deleteLater();
    }
    m_open.clear();
}

void ScanEngine::launchMore()
{
    while (m_running && m_next <= LastOctet && int(m_open.size()) < m_settings.parallel) {
        const int octet = m_next++;
        const QString ip =
            QStringLiteral("%1.%2.%3.%4").arg(m_settings.a).arg(m_settings.b).arg(m_settings.c).arg(octet);
        auto* exchange = new ReadExchange(this);
        m_open.push_back(exchange);
        connect(exchange, &ReadExchange::finished, this,
                [this, exchange, octet](const QByteArray& bytes, bool) { exchangeFinished(exchange, octet, bytes); });
        emit tryingAddress(ip);
        exchange->start(QHostAddress(ip), m_settings.port, m_settings.connectTimeoutMs);
    }
}

void ScanEngine::exchangeFinished(ReadExchange* exchange, int octet, const QByteArray& bytes)
{
    m_open.erase(std::remove(m_open.begin(), m_open.end(), exchange), m_open.end());
    exchange->deleteLater();
    if (!m_running)
        return;
    // Answers are handed on one per pass of the event loop: when many exchanges end together, the
    // receivers' work (decrypting, storing a setup file) must not add up to one long stall.
    m_ended.push_back(ScanAnswer{octet, exchange->host().toString(), bytes});
    if (!m_deliver.isActive())
        m_deliver.start();
    if (m_settings.parallel == 1)
        m_pause.start(PauseMs);
    else
        launchMore();
}

void ScanEngine::deliverNext()
{
    while (m_running && !m_ended.empty()) {
        const ScanAnswer next = std::move(m_ended.front());
        m_ended.pop_front();
        ++m_done;
        const bool answered = !next.bytes.isEmpty();
        if (answered) {
            emit this->answered(next);
            if (!m_running) // a receiver stopped the scan
                return;
        }
        emit progress(m_done, AddressCount);
        if (m_done == AddressCount) {
            m_running = false;
            emit finished();
            return;
        }
        if (answered)
            break;
    }
    if (m_running && !m_ended.empty())
        m_deliver.start();
}
