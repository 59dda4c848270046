#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

// Runs a key-press handler on every character typed into an edit: the handler may replace the
// character, or set it to 0 to discard it. Pasted or dropped text goes through the same handler
// character by character, and the edit holds at most maxLength characters (0: no limit) when the
// user changes it. Text the program sets is left alone, however long: a loaded value must reach the
// save's checks as the file holds it (QLineEdit::maxLength would cut it silently).
class EditKeyFilter final : public QObject
{
    Q_OBJECT

public:
    using KeyPress = std::function<void(QChar& key)>;
    using KeyUp = std::function<void()>;

    EditKeyFilter(QLineEdit* edit, KeyPress keyPress, int maxLength = 0, KeyUp keyUp = {});

    // The text as the handler lets it through.
    QString filtered(const QString& text) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sweep(const QString& text);

    QLineEdit* m_edit;
    KeyPress m_keyPress;
    int m_maxLength;
    KeyUp m_keyUp;
};
