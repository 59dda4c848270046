#include "TextWrap.h"

#include <algorithm>

namespace TextWrap {

namespace {
constexpr QChar NoBreakSpace(0x00A0);
constexpr QChar WordJoiner(0x2060);
} // namespace

QString keepWhole(const QString& name)
{
    QString whole;
    whole.reserve(name.size() + 4);
    for (const QChar c : name) {
        whole += c == u' ' ? NoBreakSpace : c;
        if (c == u'/' || c == u'-')
            whole += WordJoiner;
    }
    return whole;
}

QString changeList(const QStringList& changes)
{
    QStringList cells;
    for (const QString& change : changes) {
        const qsizetype colon = change.indexOf(QStringLiteral(": "));
        cells << (colon < 0 ? keepWhole(change) : keepWhole(change.left(colon)) + change.mid(colon));
    }
    return cells.join(QStringLiteral(", "));
}

QString keepNamesWhole(const QString& text, QStringList names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    QString kept = text;
    for (const QString& name : std::as_const(names))
        if (!name.isEmpty())
            kept.replace(name, keepWhole(name));
    return kept;
}

} // namespace TextWrap
