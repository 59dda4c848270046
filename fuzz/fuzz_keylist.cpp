// The key-list reader, its line splitter and ExtractRadioID.
#include "FuzzCheck.h"
#include "radioids/KeyList.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool onlyDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const KeyListImport import = parseKeyList(bytes);
    check(import.outcome != KeyListImport::Outcome::Unexpected, "bytes in memory are always readable");
    for (const QString& id : import.ids)
        check(!id.isEmpty() && id.size() <= 8 && onlyDigits(id), "every imported ID is storable");

    const QStringList lines = readKeyListLines(bytes);
    check(import.ids.size() + import.skipped <= qMax<qsizetype>(0, lines.size() - 1),
          "at most one ID per row after the header");
    for (const QString& line : lines) {
        check(!line.contains(u'\r') && !line.contains(u'\n'), "no line break inside a line");
        const QStringList fields = splitKeyListLine(line);
        if (line.isEmpty())
            check(fields.isEmpty(), "an empty line has no fields");
        if (!line.contains(u'"'))
            check(fields.size() == line.count(u';') + 1 || line.isEmpty(),
                  "without quotes, fields are the ; count + 1");
        qsizetype total = 0;
        for (const QString& field : fields) {
            total += field.size();
            check(onlyDigits(ExtractRadioID(field)), "ExtractRadioID keeps digits only");
        }
        check(total <= line.size(), "fields never hold more characters than the line");
    }
    const QString text = QString::fromLatin1(bytes);
    const QString id = ExtractRadioID(text);
    check(onlyDigits(id) && id.size() <= text.size(), "ExtractRadioID of any text");
    return 0;
}
