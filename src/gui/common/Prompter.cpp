#include "Prompter.h"
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

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

QString WidgetPrompter::saveFileName(QWidget* parent, const QString& suggested, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, QString(), suggested, toQtFilter(filter));
}

Prompter::Button WidgetPrompter::table(QWidget* parent, const QString& text, const QStringList& headers,
                                       const QList<QStringList>& rows, Buttons buttons)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* grid = new QTableWidget(int(rows.size()), int(headers.size()), &dialog);
    grid->setHorizontalHeaderLabels(headers);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->setVisible(false);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < headers.size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setToolTip(rows[r][c]);
            grid->setItem(r, c, item);
        }
    // Short columns fit their contents; the last one takes the rest of the width and long texts wrap
    // there, so every column stays in view without scrolling sideways.
    grid->setWordWrap(true);
    grid->setTextElideMode(Qt::ElideNone);
    grid->resizeColumnsToContents();
    // A column is kept narrow, but never narrower than its longest word: a name kept whole must not
    // be cut off.
    constexpr int widestColumn = 200;
    const QFontMetrics metrics(grid->font());
    const int padding = 2 * grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 8;
    for (int c = 0; c + 1 < grid->columnCount(); ++c) {
        int longestWord = 0;
        for (const QStringList& row : rows)
            for (const QString& word :
                 row.value(c).split(QRegularExpression(QStringLiteral("[ \\n]")), Qt::SkipEmptyParts))
                longestWord = std::max(longestWord, metrics.horizontalAdvance(word) + padding);
        grid->setColumnWidth(c, std::min(grid->columnWidth(c), std::max(widestColumn, longestWord)));
    }
    if (grid->columnCount() > 0)
        grid->horizontalHeader()->setSectionResizeMode(grid->columnCount() - 1, QHeaderView::Stretch);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(grid);
    auto* box = new QDialogButtonBox(&dialog);
    const std::pair<Button, QDialogButtonBox::StandardButton> map[] = {{Ok, QDialogButtonBox::Ok},
                                                                       {Yes, QDialogButtonBox::Yes},
                                                                       {No, QDialogButtonBox::No},
                                                                       {Cancel, QDialogButtonBox::Cancel}};
    Button chosen = NoButton;
    for (const auto& [ours, qt] : map)
        if (buttons.testFlag(ours))
            QObject::connect(box->addButton(qt), &QPushButton::clicked, &dialog, [&chosen, &dialog, b = ours] {
                chosen = b;
                dialog.accept();
            });
    layout->addWidget(box);
    dialog.resize(880, 480);
    // Row heights follow the wrapped texts once the dialog has its width.
    QObject::connect(grid->horizontalHeader(), &QHeaderView::sectionResized, grid,
                     [grid] { grid->resizeRowsToContents(); });
    QTimer::singleShot(0, grid, [grid] { grid->resizeRowsToContents(); });
    dialog.exec();
    return chosen;
}

std::optional<QList<bool>> WidgetPrompter::choose(QWidget* parent, const QString& text, const QList<Choice>& choices)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(text, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    QList<QCheckBox*> boxes;
    for (const Choice& choice : choices) {
        auto* box = new QCheckBox(choice.label, &dialog);
        box->setChecked(choice.checked);
        layout->addWidget(box);
        boxes << box;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QList<bool> states;
    for (const QCheckBox* box : std::as_const(boxes))
        states << box->isChecked();
    return states;
}

QString WidgetPrompter::openFileName(QWidget* parent, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), folder, toQtFilter(filter));
}

static Prompter::Button answer(QList<Prompter::Button>& answers, Prompter::Buttons buttons)
{
    if (!answers.isEmpty())
        return answers.takeFirst();
    for (Prompter::Button b :
         {Prompter::Ok, Prompter::Yes, Prompter::Abort, Prompter::No, Prompter::Ignore, Prompter::Cancel})
        if (buttons.testFlag(b))
            return b;
    return Prompter::NoButton;
}

Prompter::Button ScriptedPrompter::message(QWidget*, Icon icon, const QString& text, Buttons buttons)
{
    shown.append({icon, text, buttons});
    return answer(answers, buttons);
}

Prompter::Button ScriptedPrompter::table(QWidget*, const QString& text, const QStringList& headers,
                                         const QList<QStringList>& rows, Buttons buttons)
{
    tables.append({text, headers, rows, buttons});
    return answer(answers, buttons);
}

std::optional<QList<bool>> ScriptedPrompter::choose(QWidget*, const QString& text, const QList<Choice>& choices)
{
    choosings.append({text, choices});
    if (!choiceAnswers.isEmpty())
        return choiceAnswers.takeFirst();
    QList<bool> offered;
    for (const Choice& choice : choices)
        offered << choice.checked;
    return offered;
}

QString ScriptedPrompter::saveFileName(QWidget*, const QString& suggested, const QString& filter)
{
    fileRequests.append({suggested, filter});
    return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
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
    tables.clear();
    choiceAnswers.clear();
    choosings.clear();
}
