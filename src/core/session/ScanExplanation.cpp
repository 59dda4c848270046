#include "ScanExplanation.h"

#include "GatewayRead.h"

#include <numeric>

using namespace Qt::StringLiterals;

namespace {

QString notGateways(int silent, int closed)
{
    QStringList why;
    if (silent)
        why << u"%1 ohne Antwort"_s.arg(silent);
    if (closed)
        why << (closed == 1 ? u"1 schließt die Verbindung"_s : u"%1 schließen die Verbindung"_s.arg(closed));
    return u"(%1)"_s.arg(why.join(u", "_s));
}

} // namespace

QString explainEmptyScan(const std::array<int, 8>& counts, const Segment& segment, quint16 port)
{
    using K = GatewayRead::Kind;
    const auto n = [&](K kind) { return counts[std::size_t(kind)]; };
    if (n(K::Gateway) > 0 || n(K::OtherKey) > 0 || n(K::OtherType) > 0)
        return QString();
    if (std::accumulate(counts.begin(), counts.end(), 0) <= 0)
        return QString();

    // The most telling outcome wins. Any answer, even a cut one, proves the segment reachable and
    // the port open, so it points closest at the cause; a device that accepts and then says nothing
    // or hangs up is something else listening on the port; a refusal proves hosts are reachable but
    // nothing listens on the port; only time-outs everywhere leave the segment itself in doubt (or a
    // firewall that drops).
    const int incomplete = n(K::Incomplete), silent = n(K::Silent), closed = n(K::Closed);
    const int refused = n(K::Refused), timeout = n(K::Timeout);
    const int others = silent + closed;
    if (incomplete > 0) {
        QString text = incomplete == 1 ? u"1 Gerät an Port %1 antwortet unvollständig"_s.arg(port)
                                       : u"%1 Geräte an Port %2 antworten unvollständig"_s.arg(incomplete).arg(port);
        if (others > 0) {
            text += others == 1 ? u"; 1 weiteres Gerät ist kein Gateway "_s
                                : u"; %1 weitere Geräte sind keine Gateways "_s.arg(others);
            text += notGateways(silent, closed);
        }
        return text;
    }
    if (others > 0) {
        const QString head = others == 1 ? u"1 Gerät an Port %1 ist kein Gateway "_s.arg(port)
                                         : u"%1 Geräte an Port %2 sind keine Gateways "_s.arg(others).arg(port);
        return head + notGateways(silent, closed);
    }
    const QString none = u"Keine Antwort an Port %1: "_s.arg(port);
    if (refused > 0) {
        QString text = none + (refused == 1 ? u"1 Adresse lehnt die Verbindung ab"_s
                                            : u"%1 Adressen lehnen die Verbindung ab"_s.arg(refused));
        if (timeout > 0)
            text += u", %1 ohne Verbindung"_s.arg(timeout);
        return text + u" – ist der Port richtig?"_s;
    }
    const QString addresses = timeout == 1 ? u"1 Adresse"_s : u"alle %1 Adressen"_s.arg(timeout);
    return none + addresses + u" ohne Verbindung – liegt %1 in einem lokalen Netz?"_s.arg(segment.text());
}
