#include "SetupVerifier.h"

#include "link/Telegram.h"

namespace {
QHostAddress fromOctets(const GWSetupRecord::Address& a)
{
    return QHostAddress(quint32(a[0]) << 24 | quint32(a[1]) << 16 | quint32(a[2]) << 8 | quint32(a[3]));
}
} // namespace

QString SetupVerifier::Report::keyText() const
{
    QString text;
    for (quint8 b : key)
        text += QString::asprintf("%.2X", b);
    return text;
}

QString SetupVerifier::Report::statusLine() const
{
    if (result != Result::Differs)
        return lines().first();
    return QStringLiteral("Kontrolle: Das Gateway %1 (%2) meldet ein anderes Setup als gesendet (%3 %4).")
        .arg(id.text(), host.toString())
        .arg(differences.size())
        .arg(differences.size() == 1 ? QStringLiteral("Feld abweichend") : QStringLiteral("Felder abweichend"));
}

QStringList SetupVerifier::Report::lines() const
{
    QStringList lines;
    const QString who = QStringLiteral("Das Gateway %1 (%2)").arg(id.text(), host.toString());
    switch (result) {
    case Result::Verified:
        lines << QStringLiteral("Kontrolle: %1 meldet das gesendete Setup.").arg(who);
        break;
    case Result::Differs:
        lines << QStringLiteral("Kontrolle: %1 meldet ein anderes Setup als gesendet:").arg(who);
        for (const FieldChange& c : changes())
            lines << c.sentAndRead();
        break;
    case Result::NoAnswer:
        if (unknownKey) {
            lines << QStringLiteral("Kontrolle: %1 antwortet mit einem unbekannten Master Key; ob es das Setup "
                                    "übernommen hat, ist nicht bestätigt.")
                         .arg(who);
            break;
        }
        lines << QStringLiteral("Kontrolle: %1 hat innerhalb von %2 s kein Setup gemeldet; ob es das Setup "
                                "übernommen hat, ist nicht bestätigt.")
                     .arg(who)
                     .arg(windowMs / 1000.0, 0, 'g', 3);
        break;
    }
    if (moved())
        lines << QStringLiteral("Es antwortet jetzt unter der Adresse %1.").arg(answeredFrom.toString());
    if (fixedElsewhere && fixedOnEdge)
        lines << QStringLiteral("Die neue feste Adresse %1 ist Netz- oder Broadcast-Adresse des abgesuchten Segments "
                                "und wurde nicht abgefragt.")
                     .arg(fixedElsewhere->toString());
    else if (fixedElsewhere)
        lines << QStringLiteral("Die neue feste Adresse %1 liegt außerhalb des abgesuchten Segments und wurde nicht "
                                "abgefragt.")
                     .arg(fixedElsewhere->toString());
    if (dhcpTurnedOn && result != Result::Verified && !moved())
        lines << QStringLiteral("Das Gateway bezieht seine Adresse jetzt per DHCP; der nächste Scan findet es an "
                                "seiner GWID %1.")
                     .arg(id.text());
    return lines;
}

QList<FieldChange> SetupVerifier::Report::changes() const
{
    return readBack ? describeChanges(sent, *readBack, differences) : QList<FieldChange>();
}

SetupVerifier::SetupVerifier(QObject* parent) : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.callOnTimeout(this, &SetupVerifier::round);
    m_window.setSingleShot(true);
    m_window.callOnTimeout(this, [this] {
        // A read still under way when the window ends is not waited for.
        m_read.reset();
        finish();
    });
}

SetupVerifier::~SetupVerifier() = default;

void SetupVerifier::start(const Plan& plan)
{
    cancel();
    m_plan = plan;
    m_report = Report();
    m_report.host = plan.host;
    m_report.id = plan.id;
    m_report.windowMs = plan.timings.verifyWindowMs;
    m_report.dhcpTurnedOn = plan.dhcpTurnedOn;
    m_report.sent = plan.sent;
    m_running = true;

    m_candidates = {plan.host};
    if (!plan.sent.networkFlag(GWSetupRecord::Dhcp)) {
        const QHostAddress fixed = fromOctets(plan.sent.fixedIp());
        const quint8 last = plan.sent.fixedIp()[3];
        if (!fixed.isEqual(plan.host)) {
            if (plan.segment.contains(fixed) && last != 0 && last != 255) {
                m_candidates << fixed;
            } else {
                m_report.fixedElsewhere = fixed;
                m_report.fixedOnEdge = plan.segment.contains(fixed);
            }
        }
    }
    // A new master key takes effect with the setup; an answer that does not decrypt with it is
    // tried with the key the setup was sent with.
    const MasterKey sentKey = plan.sent.masterKey();
    m_keys = {sentKey};
    if (sentKey != plan.sessionKey)
        m_keys << plan.sessionKey;
    m_window.start(plan.timings.verifyWindowMs);
    round();
}

void SetupVerifier::cancel()
{
    m_running = false;
    m_retry.stop();
    m_window.stop();
    m_read.reset();
}

void SetupVerifier::round()
{
    m_next = 0;
    readNext();
}

void SetupVerifier::readNext()
{
    m_read = std::make_unique<ReadExchange>();
    connect(m_read.get(), &ReadExchange::finished, this, &SetupVerifier::readDone);
    m_read->start(m_candidates[m_next], m_plan.port, m_plan.timings);
}

void SetupVerifier::readDone(const ReadExchange::Outcome& outcome)
{
    if (!m_running)
        return;
    m_read.release()->deleteLater();
    bool setup = false, otherKey = false;
    for (const MasterKey& key : std::as_const(m_keys)) {
        const Telegram::Answer a = Telegram::decodeAnswer(outcome.bytes, key);
        otherKey = a.kind == Telegram::Answer::Kind::WrongKey && a.gatewayId == m_plan.id;
        if (a.kind != Telegram::Answer::Kind::Setup || a.gatewayId != m_plan.id)
            continue;
        setup = true;
        m_report.answeredFrom = outcome.host;
        m_report.key = key;
        m_report.newKey = key != m_plan.sessionKey;
        m_report.readBack = a.record;
        m_report.differences = compareRecords(m_plan.sent, a.record);
        if (m_report.differences.isEmpty()) {
            finish();
            return;
        }
        break;
    }
    if (!setup && otherKey && !m_report.readBack)
        m_report.unknownKey = true;
    // The next address of this round only while the gateway is not found at this one.
    if (!setup && ++m_next < m_candidates.size()) {
        readNext();
        return;
    }
    m_retry.start(m_plan.timings.verifyRetryMs);
}

void SetupVerifier::finish()
{
    if (!m_running)
        return;
    m_running = false;
    m_retry.stop();
    m_window.stop();
    if (m_report.readBack)
        m_report.result = m_report.differences.isEmpty() ? Report::Result::Verified : Report::Result::Differs;
    else
        m_report.result = Report::Result::NoAnswer;
    emit finished(m_report);
}
