#include "ListExport.h"

#include "base/AtomicFile.h"

using namespace Qt::StringLiterals;

namespace {

QString field(const QString& text)
{
    const bool blankEdge = !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
    if (!blankEdge && !text.contains(u';') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

QByteArray line(const QStringList& fields)
{
    QStringList cells;
    for (const QString& f : fields)
        cells << field(f);
    return cells.join(u';').toUtf8() + "\r\n";
}

} // namespace

QByteArray gatewayListCsv(const QList<ExportRow>& rows)
{
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += line({u"IP"_s, u"GWID"_s, u"Firmware"_s, u"Zustand"_s, u"Änderung"_s, u"Setup-Datei"_s});
    for (const ExportRow& r : rows)
        bytes += line({r.ip, r.gwid, r.firmware, r.state, r.change, r.setupFile});
    return bytes;
}

Status writeGatewayListCsv(const QString& path, const QList<ExportRow>& rows)
{
    return writeFileAtomically(path, gatewayListCsv(rows));
}
