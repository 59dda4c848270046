#pragma once

#include <QValidator>

// Master key edits: keeps only the hex digits 0-9 and A-F of whatever reaches the edit (typed or
// pasted), turning lower-case letters into upper case.
class HexDigitsValidator final : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;

    // The key-press rule: the character that a typed character becomes, or a null QChar when refused.
    static QChar filterTyped(QChar typed);
};
