#include "GatewayBehaviour.h"

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const std::array<std::pair<GatewayBehaviour, QLatin1StringView>, 19> names{{
    {GatewayBehaviour::Normal, "normal"_L1},
    {GatewayBehaviour::WrongKey, "wrongkey"_L1},
    {GatewayBehaviour::OtherType, "othertype"_L1},
    {GatewayBehaviour::Short, "short"_L1},
    {GatewayBehaviour::Split, "split"_L1},
    {GatewayBehaviour::Silent, "silent"_L1},
    {GatewayBehaviour::Close, "close"_L1},
    {GatewayBehaviour::Nak, "nak"_L1},
    {GatewayBehaviour::NoAck, "noack"_L1},
    {GatewayBehaviour::LateAck, "lateack"_L1},
    {GatewayBehaviour::ByteWise, "bytewise"_L1},
    {GatewayBehaviour::Trickle, "trickle"_L1},
    {GatewayBehaviour::Flood, "flood"_L1},
    {GatewayBehaviour::ResetMidFrame, "reset"_L1},
    {GatewayBehaviour::TrailingBytes, "trailing"_L1},
    {GatewayBehaviour::TwoFrames, "twoframes"_L1},
    {GatewayBehaviour::LengthField, "len"_L1},
    {GatewayBehaviour::WriteShort, "writeshort"_L1},
    {GatewayBehaviour::AckPlus, "ackplus"_L1},
}};

} // namespace

QString behaviourText(GatewayBehaviour behaviour, int lengthField)
{
    for (const auto& [b, name] : names) {
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
        const QString digits = lower.mid(3);
        if (digits.isEmpty() || digits.size() > 5)
            return std::nullopt;
        for (QChar c : digits) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        const int value = digits.toInt();
        if (value > 65535)
            return std::nullopt;
        return BehaviourSetting{GatewayBehaviour::LengthField, value};
    }
    for (const auto& [b, name] : names) {
        if (b != GatewayBehaviour::LengthField && lower == name)
            return BehaviourSetting{b, 0};
    }
    return std::nullopt;
}

QStringList behaviourTexts()
{
    QStringList list;
    for (const auto& [b, name] : names)
        list << (b == GatewayBehaviour::LengthField ? u"len<N>"_s : QString(name));
    return list;
}
