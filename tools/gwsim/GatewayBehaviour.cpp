#include "GatewayBehaviour.h"

#include "setups/FieldRules.h"

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

struct BehaviourName
{
    GatewayBehaviour behaviour;
    QLatin1StringView name;
    const char16_t* description; // German, for the help text
};

const std::array<BehaviourName, 22> names{{
    {GatewayBehaviour::Normal, "normal"_L1, u"antwortet wie ein Gateway: 1130 Bytes, Setup mit 0x06 quittiert"},
    {GatewayBehaviour::WrongKey, "wrongkey"_L1, u"verschlüsselt mit einem anderen Master Key"},
    {GatewayBehaviour::OtherType, "othertype"_L1, u"antwortet mit Typ 0x15 ohne Setup (26 Bytes)"},
    {GatewayBehaviour::Short, "short"_L1, u"sendet nur die ersten 9 Bytes"},
    {GatewayBehaviour::Split, "split"_L1, u"600 Bytes, den Rest 200 ms später"},
    {GatewayBehaviour::Silent, "silent"_L1, u"nimmt die Verbindung an und antwortet nie"},
    {GatewayBehaviour::Close, "close"_L1, u"schließt jede Verbindung sofort"},
    {GatewayBehaviour::Nak, "nak"_L1, u"beantwortet ein Setup mit 0x15 und übernimmt es nicht"},
    {GatewayBehaviour::NoAck, "noack"_L1, u"beantwortet ein Setup nicht"},
    {GatewayBehaviour::LateAck, "lateack"_L1, u"quittiert ein Setup erst nach 3500 ms"},
    {GatewayBehaviour::ByteWise, "bytewise"_L1, u"ein Byte je Millisekunde"},
    {GatewayBehaviour::Trickle, "trickle"_L1, u"ein Byte je Sekunde, höchstens 15"},
    {GatewayBehaviour::Flood, "flood"_L1, u"nach der Antwort Füllbytes, 100 MB insgesamt"},
    {GatewayBehaviour::ResetMidFrame, "reset"_L1, u"halbe Antwort, dann Verbindungsabbruch (RST)"},
    {GatewayBehaviour::TrailingBytes, "trailing"_L1, u"nach der Antwort 50 weitere Bytes"},
    {GatewayBehaviour::TwoFrames, "twoframes"_L1, u"zwei vollständige Antworten auf einmal"},
    {GatewayBehaviour::LengthField, "len"_L1, u"Längenfeld N statt 1130, z. B. len1129"},
    {GatewayBehaviour::WriteShort, "writeshort"_L1, u"Antwort auf die Schreibanfrage nur 5 Bytes lang"},
    {GatewayBehaviour::AckPlus, "ackplus"_L1, u"quittiert ein Setup mit 06 15 15 15"},
    {GatewayBehaviour::KeepsOld, "keepsold"_L1, u"quittiert ein Setup mit 0x06, behält aber sein altes"},
    {GatewayBehaviour::LongRestart, "longrestart"_L1,
     u"übernimmt ein Setup und startet danach jedes Mal --long-restart ms lang neu"},
    {GatewayBehaviour::ChangesField, "changesfield"_L1,
     u"übernimmt ein Setup, speichert aber den Server-Port um 1 erhöht ([NETZWERK] PORT)"},
}};

} // namespace

QString behaviourText(GatewayBehaviour behaviour, int lengthField)
{
    for (const auto& [b, name, description] : names) {
        if (b != behaviour)
            continue;
        if (b == GatewayBehaviour::LengthField)
            return name + QString::number(lengthField);
        return name;
    }
    return QString();
}

std::optional<BehaviourSetting> behaviourFromText(const QString& text)
{
    const QString lower = text.trimmed().toLower();
    if (lower.startsWith("len"_L1)) {
        // The frame's two-byte length field.
        const std::optional<int> value = FieldRules::number(lower.mid(3), FieldRules::Range{0, 0xFFFF});
        if (!value)
            return std::nullopt;
        return BehaviourSetting{GatewayBehaviour::LengthField, *value};
    }
    for (const auto& [b, name, description] : names) {
        if (b != GatewayBehaviour::LengthField && lower == name)
            return BehaviourSetting{b, 0};
    }
    return std::nullopt;
}

QStringList behaviourTexts()
{
    QStringList list;
    for (const auto& [b, name, description] : names)
        list << (b == GatewayBehaviour::LengthField ? u"len<N>"_s : QString(name));
    return list;
}

QString behaviourHelp()
{
    QString text;
    for (const auto& [b, name, description] : names) {
        const QString shown = b == GatewayBehaviour::LengthField ? u"len<N>"_s : QString(name);
        text += u"  %1 %2\n"_s.arg(shown, -12).arg(QString::fromUtf16(description));
    }
    return text;
}
