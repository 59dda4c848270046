#include "common/TextWrap.h"

#include <QFont>
#include <QTextLayout>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The lines text falls into at width, as a table cell wraps it (between words where it can).
QStringList wrapped(const QString& text, const QFont& font, int width)
{
    QString shown = text;
    shown.replace(u'\n', QChar::LineSeparator); // as a table cell lays out its lines
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << shown.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

// As the user reads it: no joiners, plain blanks.
QString plain(QString text)
{
    return text.remove(QChar(0x2060)).replace(QChar(0x00A0), u' ');
}

} // namespace

class TestTextWrap : public QObject
{
    Q_OBJECT

private slots:
    // At every width that can hold the longest name, each name stands whole on one line, and the
    // cell reads as the changes joined with ", ".
    void namesStayWhole_data()
    {
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("file keys") << QStringList{u"NETZWERK/SRV_DNS"_s, u"NETZWERK/PORT"_s, u"NETZWERK/PROH"_s,
                                                  u"NETZWERK/PROTAG"_s,  u"WM-BUS/MODET"_s,  u"WM-BUS_IDS/ID0"_s}
                                   << QStringList{u"NETZWERK/SRV_DNS"_s, u"NETZWERK/PORT"_s, u"NETZWERK/PROH"_s,
                                                  u"NETZWERK/PROTAG"_s,  u"WM-BUS/MODET"_s,  u"WM-BUS_IDS/ID0"_s};
        QTest::newRow("labels with values")
            << QStringList{u"DNS Name oder IP Adresse: alt.example.net → zaehler.example.net"_s,
                           u"Server Port: 5035 → 7100"_s, u"Verbindungsintervall: pro h → pro Tag"_s,
                           u"Funk-IDs: +12345678 +23456789 −34567890 −45678901"_s}
            << QStringList{u"DNS Name oder IP Adresse"_s, u"Server Port"_s, u"Verbindungsintervall"_s, u"Funk-IDs"_s};
    }
    void namesStayWhole()
    {
        QFETCH(QStringList, changes);
        QFETCH(QStringList, names);
        const QString cell = TextWrap::changeList(changes);
        QCOMPARE(plain(cell), changes.join(u", "_s));
        checkLayout(cell, names);
    }

    // A reason's lines name fields among other words: those names stay whole, the rest wraps.
    void namesInReasonsStayWhole()
    {
        const QStringList names{u"Server (DNS Name oder IP Adresse)"_s, u"Server Port"_s, u"DNS Server"_s,
                                u"Verbindungsintervall"_s, u"wM-Bus Mode"_s};
        const QString reason =
            u"Server (DNS Name oder IP Adresse): gesendet flotte.example.net, gelesen "
            u"collector.mbus.lan\nServer Port: gesendet 5000, gelesen 4711\nDNS Server: gesendet "
            u"9.9.9.9, gelesen 1.1.1.1\nVerbindungsintervall: gesendet pro Tag, gelesen pro h\nwM-Bus Mode: "
            u"gesendet S, gelesen T/C"_s;
        const QString cell = TextWrap::keepNamesWhole(reason, names);
        QCOMPARE(plain(cell), reason);
        checkLayout(cell, names);
    }

private:
    void checkLayout(const QString& cell, const QStringList& names)
    {
        QFont font(u"Tahoma"_s);
        font.setPointSize(8);
        const QFontMetrics metrics(font);
        int widest = 0;
        for (const QString& name : names)
            widest = std::max(widest, metrics.horizontalAdvance(TextWrap::keepWhole(name)) + 2);
        int broken = 0;
        for (int width = widest; width < widest + 400; width += 7) {
            const QStringList lines = wrapped(cell, font, width);
            broken += lines.size() > 1 ? 1 : 0;
            for (const QString& name : names) {
                const bool onOneLine =
                    std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return plain(l).contains(name); });
                QVERIFY2(onOneLine, qPrintable(u"%1 broken at width %2: %3"_s.arg(name).arg(width).arg(
                                        plain(lines.join(u" | "_s)))));
            }
        }
        QVERIFY(broken > 0); // the cell did wrap
    }
};

QTEST_MAIN(TestTextWrap)
#include "TestTextWrap.moc"
