#include "Prompter.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

static Prompter* g_override = nullptr;

Prompter& Prompter::instance()
{
    static WidgetPrompter real;
    return g_override ? *g_override : real;
}

void Prompter::setInstance(Prompter* prompter)
{
    g_override = prompter;
}

Prompter::Button WidgetPrompter::message(QWidget* parent, Icon icon, const QString& text, Buttons buttons)
{
    QMessageBox box(parent);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setText(text);
    const std::pair<Button, QMessageBox::StandardButton> map[] = {
        {Ok, QMessageBox::Ok},       {Yes, QMessageBox::Yes},       {No, QMessageBox::No},
        {Abort, QMessageBox::Abort}, {Ignore, QMessageBox::Ignore}, {Cancel, QMessageBox::Cancel},
    };
    for (const auto& [ours, qt] : map)
        if (buttons.testFlag(ours))
            box.addButton(qt);
    const auto chosen = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& [ours, qt] : map)
        if (qt == chosen)
            return ours;
    return NoButton;
}

QString WidgetPrompter::toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString pattern = parts[i + 1];
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && description.endsWith(QLatin1Char(')')))
            description = description.left(description.size() - 1) + QLatin1Char(' ') + pattern + QLatin1Char(')');
        else
            description += QStringLiteral(" (") + pattern + QLatin1Char(')');
        entries << description;
    }
    return entries.join(QStringLiteral(";;"));
}

QString WidgetPrompter::openFileName(QWidget* parent, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, toQtFilter(filter));
}

Prompter::Button ScriptedPrompter::message(QWidget*, Icon icon, const QString& text, Buttons buttons)
{
    shown.append({icon, text, buttons});
    if (!answers.isEmpty())
        return answers.takeFirst();
    for (Button b : {Ok, Yes, Abort, No, Ignore, Cancel})
        if (buttons.testFlag(b))
            return b;
    return NoButton;
}

QString ScriptedPrompter::openFileName(QWidget*, const QString& folder, const QString& filter)
{
    fileRequests.append({folder, filter});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
}

QStringList ScriptedPrompter::texts() const
{
    QStringList list;
    for (const Shown& s : shown)
        list << s.text;
    return list;
}

void ScriptedPrompter::clear()
{
    answers.clear();
    fileNames.clear();
    shown.clear();
    fileRequests.clear();
}
