#include "HexDigitsValidator.h"

#include "setups/FieldRules.h"

QChar HexDigitsValidator::filterTyped(QChar typed)
{
    const QChar c = (typed >= u'a' && typed <= u'z') ? typed.toUpper() : typed;
    return FieldRules::isHexDigit(c) ? c : QChar();
}

QValidator::State HexDigitsValidator::validate(QString& input, int& pos) const
{
    QString kept;
    kept.reserve(input.size());
    int newPos = pos;
    for (int i = 0; i < input.size(); ++i) {
        const QChar c = filterTyped(input[i]);
        if (c.isNull()) {
            if (i < pos)
                --newPos;
            continue;
        }
        kept += c;
    }
    input = kept;
    pos = qBound(0, newPos, int(kept.size()));
    return Acceptable;
}
