#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

// Runs a key-press handler on every character typed into an edit: the handler may replace the
// character, or set it to 0 to discard it. Pasted or dropped text goes through the same handler
// character by character. Text the program sets is left alone.
class EditKeyFilter final : public QObject
{
    Q_OBJECT

public:
    using KeyPress = std::function<void(QChar& key)>;
    using KeyUp = std::function<void()>;

    EditKeyFilter(QLineEdit* edit, KeyPress keyPress, KeyUp keyUp = {});

    // The text as the handler lets it through.
    QString filtered(const QString& text) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sweep(const QString& text);

    QLineEdit* m_edit;
    KeyPress m_keyPress;
    KeyUp m_keyUp;
};
