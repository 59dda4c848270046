// The field rules on any short text, against a plain reading of what each rule says: an address is
// exactly four parts of 1 to 3 digits, 0..255; a port 1 to 5 digits, 1..65535; a medium code 1 to
// 3 digits, 0..255; a radio ID 1 to 8 digits, not 0; a master key 32 hex digits. The dialog's check
// and the conversion give the same answer.
#include "FuzzCheck.h"
#include "setups/FieldRules.h"
#include "setups/SetupConversion.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

bool digitsOnly(const QString& text, int minDigits, int maxDigits)
{
    if (text.size() < minDigits || text.size() > maxDigits)
        return false;
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
    for (const QString& text : {QString::fromLatin1(bytes), QString::fromUtf8(bytes)}) {
        const auto quad = FieldRules::address(text);
        const QStringList parts = text.split(u'.');
        bool expected = parts.size() == 4;
        for (const QString& part : parts)
            expected = expected && digitsOnly(part, 1, 3) && part.toInt() <= 255;
        check(quad.has_value() == expected, "an address is four parts of 1 to 3 digits, 0..255");
        if (quad) {
            for (int i = 0; i < 4; ++i)
                check((*quad)[i] == parts[i].toInt(), "the parts as written, decimal");
            const QString canonical =
                QString::asprintf("%.3d.%.3d.%.3d.%.3d", (*quad)[0], (*quad)[1], (*quad)[2], (*quad)[3]);
            check(FieldRules::address(canonical) == quad, "the file's own form reads back");
        }

        const auto port = FieldRules::port(text);
        check(port.has_value() == (digitsOnly(text, 1, 5) && text.toInt() >= 1 && text.toInt() <= 65535),
              "a port is 1 to 5 digits, 1..65535");
        check(!port || *port == text.toInt(), "the port as written");

        const auto medium = FieldRules::mediumCode(text);
        check(medium.has_value() == (digitsOnly(text, 1, 3) && text.toInt() <= 255), "a medium code is 0..255");

        const auto id = FieldRules::radioId(text);
        check(id.has_value() == (digitsOnly(text, 1, 8) && text.toInt() != 0), "a radio ID is 1 to 8 digits, not 0");

        const auto key = FieldRules::masterKey(text);
        bool hex = text.size() == 32;
        for (const QChar c : text)
            hex = hex && FieldRules::isHexDigit(c);
        check(key.has_value() == hex, "a master key is 32 hex digits");
        if (key)
            check(QByteArray(reinterpret_cast<const char*>(key->data()), 16).toHex() == text.toLatin1().toLower(),
                  "the key's bytes as written");

        const auto server = FieldRules::serverNameBytes(text);
        check(!server || (server->size() <= 32 && !server->contains('\0') && !server->contains('\n') &&
                          !server->contains('\r')),
              "a server name fits the record and a line");
    }
    return 0;
}
