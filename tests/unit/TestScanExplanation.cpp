// The status line that says why a scan listed nothing, from the outcome counts per address.
#include "session/GatewayRead.h"
#include "session/ScanExplanation.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Counts = std::array<int, 8>;
Q_DECLARE_METATYPE(Counts)

namespace {

// Counts in the order of GatewayRead::Kind; whatever is not named timed out, so that every row adds
// up to the 255 addresses of a scan.
Counts counts(int gateway, int otherKey, int otherType, int incomplete, int silent, int closed, int refused)
{
    const int timeout = 255 - gateway - otherKey - otherType - incomplete - silent - closed - refused;
    Counts c{};
    c[std::size_t(GatewayRead::Kind::Gateway)] = gateway;
    c[std::size_t(GatewayRead::Kind::OtherKey)] = otherKey;
    c[std::size_t(GatewayRead::Kind::OtherType)] = otherType;
    c[std::size_t(GatewayRead::Kind::Incomplete)] = incomplete;
    c[std::size_t(GatewayRead::Kind::Silent)] = silent;
    c[std::size_t(GatewayRead::Kind::Closed)] = closed;
    c[std::size_t(GatewayRead::Kind::Refused)] = refused;
    c[std::size_t(GatewayRead::Kind::Timeout)] = timeout;
    return c;
}

} // namespace

class TestScanExplanation final : public QObject
{
    Q_OBJECT

private slots:
    void explanation_data();
    void explanation();
};

void TestScanExplanation::explanation_data()
{
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");

    QTest::newRow("every address timed out")
        << counts(0, 0, 0, 0, 0, 0, 0) << 30
        << u"Keine Antwort an Port 30: alle 255 Adressen ohne Verbindung – liegt 10.1.1 in einem lokalen Netz?"_s;
    QTest::newRow("every address refused")
        << counts(0, 0, 0, 0, 0, 0, 255) << 30
        << u"Keine Antwort an Port 30: 255 Adressen lehnen die Verbindung ab – ist der Port richtig?"_s;
    QTest::newRow("some hosts refuse, the rest absent: the port is in doubt")
        << counts(0, 0, 0, 0, 0, 0, 12) << 4001
        << u"Keine Antwort an Port 4001: 12 Adressen lehnen die Verbindung ab, 243 ohne Verbindung – ist der Port richtig?"_s;
    QTest::newRow("one host refuses") << counts(0, 0, 0, 0, 0, 0, 1) << 30
                                      << u"Keine Antwort an Port 30: 1 Adresse lehnt die Verbindung ab, 254 ohne "
                                         u"Verbindung – ist der Port richtig?"_s;
    QTest::newRow("all but one refuse") << counts(0, 0, 0, 0, 0, 0, 254) << 30
                                        << u"Keine Antwort an Port 30: 254 Adressen lehnen die Verbindung ab, 1 ohne "
                                           u"Verbindung – ist der Port richtig?"_s;
    QTest::newRow("accepted but silent or closed")
        << counts(0, 0, 0, 0, 2, 1, 0) << 30
        << u"3 Geräte an Port 30 sind keine Gateways (2 ohne Antwort, 1 schließt die Verbindung)"_s;
    QTest::newRow("silent ones win over refusals")
        << counts(0, 0, 0, 0, 3, 0, 200) << 30 << u"3 Geräte an Port 30 sind keine Gateways (3 ohne Antwort)"_s;
    QTest::newRow("one that closes") << counts(0, 0, 0, 0, 0, 1, 100) << 30
                                     << u"1 Gerät an Port 30 ist kein Gateway (1 schließt die Verbindung)"_s;
    QTest::newRow("two that close") << counts(0, 0, 0, 0, 0, 2, 0) << 30
                                    << u"2 Geräte an Port 30 sind keine Gateways (2 schließen die Verbindung)"_s;
    QTest::newRow("incomplete answers") << counts(0, 0, 0, 2, 0, 0, 0) << 30
                                        << u"2 Geräte an Port 30 antworten unvollständig"_s;
    QTest::newRow("one incomplete answer, refusals besides")
        << counts(0, 0, 0, 1, 0, 0, 50) << 30 << u"1 Gerät an Port 30 antwortet unvollständig"_s;
    QTest::newRow("incomplete answers win, the others named")
        << counts(0, 0, 0, 2, 1, 1, 10) << 30
        << u"2 Geräte an Port 30 antworten unvollständig; 2 weitere Geräte sind keine Gateways (1 ohne Antwort, 1 "
           u"schließt die Verbindung)"_s;
    QTest::newRow("incomplete answer and one silent")
        << counts(0, 0, 0, 1, 1, 0, 0) << 30
        << u"1 Gerät an Port 30 antwortet unvollständig; 1 weiteres Gerät ist kein Gateway (1 ohne Antwort)"_s;
    QTest::newRow("a gateway was listed") << counts(1, 0, 0, 0, 0, 0, 0) << 30 << QString();
    QTest::newRow("another key was listed") << counts(0, 1, 0, 3, 4, 0, 0) << 30 << QString();
    QTest::newRow("another type was listed") << counts(0, 0, 1, 0, 0, 0, 254) << 30 << QString();
    QTest::newRow("nothing tried") << Counts{} << 30 << QString();
}

void TestScanExplanation::explanation()
{
    QFETCH(Counts, counts);
    QFETCH(int, port);
    QFETCH(QString, text);
    QCOMPARE(explainEmptyScan(counts, Segment{10, 1, 1}, quint16(port)), text);
}

QTEST_GUILESS_MAIN(TestScanExplanation)
#include "TestScanExplanation.moc"
