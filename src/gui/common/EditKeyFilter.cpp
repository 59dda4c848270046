#include "EditKeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>

EditKeyFilter::EditKeyFilter(QLineEdit* edit, KeyPress keyPress, int maxLength, KeyUp keyUp)
    : QObject(edit), m_edit(edit), m_keyPress(std::move(keyPress)), m_maxLength(maxLength), m_keyUp(std::move(keyUp))
{
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textEdited, this, &EditKeyFilter::sweep);
}

QString EditKeyFilter::filtered(const QString& text) const
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        m_keyPress(c);
        if (!c.isNull())
            out += c;
    }
    return out;
}

bool EditKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_edit)
        return false;
    if (event->type() == QEvent::KeyRelease && m_keyUp) {
        m_keyUp();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // Only typed characters are filtered; editing keys and shortcuts (paste included) pass, and what
    // a paste inserts is swept afterwards.
    if (key->text().size() != 1 || !key->text()[0].isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return false;
    if (m_maxLength > 0 && m_edit->text().size() >= m_maxLength && !m_edit->hasSelectedText())
        return true;
    const QChar typed = key->text()[0];
    QChar c = typed;
    m_keyPress(c);
    if (c == typed)
        return false;
    if (!c.isNull())
        m_edit->insert(QString(c));
    return true;
}

void EditKeyFilter::sweep(const QString& text)
{
    QString clean = filtered(text);
    if (m_maxLength > 0 && clean.size() > m_maxLength)
        clean.truncate(m_maxLength);
    if (clean == text)
        return;
    const int cursor = m_edit->cursorPosition() - int(text.size() - clean.size());
    m_edit->setText(clean);
    m_edit->setCursorPosition(qMax(0, cursor));
}
