#include "TextEncoding.h"

#include "Windows1252.h"

#include <QStringDecoder>

namespace TextEncodings {

Detected detect(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {TextEncoding::Utf8, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {TextEncoding::Utf16LE, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {TextEncoding::Utf16BE, 2};
    return {};
}

QByteArray byteOrderMark(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Windows1252:
        return QByteArray();
    case TextEncoding::Utf8:
        return QByteArrayLiteral("\xEF\xBB\xBF");
    case TextEncoding::Utf16LE:
        return QByteArrayLiteral("\xFF\xFE");
    case TextEncoding::Utf16BE:
        return QByteArrayLiteral("\xFE\xFF");
    }
    return QByteArray();
}

int unitSize(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE ? 2 : 1;
}

QString name(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    }
    return QString();
}

QString decode(TextEncoding encoding, QByteArrayView bytes)
{
    switch (encoding) {
    case TextEncoding::Windows1252:
        return Windows1252::decode(bytes);
    case TextEncoding::Utf8: {
        // The mark has been taken off already: a second one is text.
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return decoder(bytes);
    }
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool little = encoding == TextEncoding::Utf16LE;
        QString text(bytes.size() / 2, Qt::Uninitialized);
        QChar* out = text.data();
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
            const auto first = static_cast<quint8>(bytes[i]);
            const auto second = static_cast<quint8>(bytes[i + 1]);
            out[i / 2] = QChar(char16_t(little ? (second << 8) | first : (first << 8) | second));
        }
        return text;
    }
    }
    return QString();
}

std::optional<QByteArray> encode(TextEncoding encoding, QStringView text)
{
    switch (encoding) {
    case TextEncoding::Windows1252:
        return Windows1252::encode(text);
    case TextEncoding::Utf8:
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            if (text[i].isSurrogate())
                return std::nullopt;
        }
        return text.toUtf8();
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool little = encoding == TextEncoding::Utf16LE;
        QByteArray bytes(text.size() * 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            bytes[2 * i] = char(little ? u & 0xFF : u >> 8);
            bytes[2 * i + 1] = char(little ? u >> 8 : u & 0xFF);
        }
        return bytes;
    }
    }
    return std::nullopt;
}

} // namespace TextEncodings
