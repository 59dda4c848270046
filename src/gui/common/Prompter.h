#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every message box and file dialog of the program goes through this interface, so tests can
// read what the user would see and answer it (ScriptedPrompter).
class Prompter
{
public:
    enum class Icon
    {
        None,
        Information,
        Warning,
        Error,
        Question
    };
    enum Button
    {
        NoButton = 0,
        Ok = 0x1,
        Yes = 0x2,
        No = 0x4,
        Abort = 0x8,
        Ignore = 0x10,
        Cancel = 0x20
    };
    Q_DECLARE_FLAGS(Buttons, Button)
    struct Choice
    {
        QString label;
        bool checked = false;
    };

    virtual ~Prompter() = default;

    // Shows text with an icon and buttons; returns the button chosen (NoButton when the box was closed).
    virtual Button message(QWidget* parent, Icon icon, const QString& text, Buttons buttons) = 0;
    // File-open dialog. filter uses the "Description|*.EXT|Description|*.EXT" form. Empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& folder, const QString& filter) = 0;
    // File-save dialog, starting with suggested (a full path); same filter form. Empty when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& suggested, const QString& filter) = 0;
    // text above a table (headers, then one list of cells per row) with buttons, like message().
    virtual Button table(QWidget* parent, const QString& text, const QStringList& headers,
                         const QList<QStringList>& rows, Buttons buttons) = 0;
    // text above a check box per choice, with OK and Abbrechen: the boxes' states when the user
    // chose OK, nothing when cancelled.
    virtual std::optional<QList<bool>> choose(QWidget* parent, const QString& text, const QList<Choice>& choices) = 0;

    // The plain message with OK.
    void show(QWidget* parent, const QString& text) { message(parent, Icon::None, text, Ok); }
    // The application's error report: the error's text with OK.
    void error(QWidget* parent, const QString& text) { message(parent, Icon::Error, text, Ok); }

    static Prompter& instance();
    // Replaces the prompter (tests); nullptr restores the real one. Not owned.
    static void setInstance(Prompter* prompter);
};
Q_DECLARE_OPERATORS_FOR_FLAGS(Prompter::Buttons)

// Real message boxes and file dialogs (German standard buttons through Qt's translations).
class WidgetPrompter final : public Prompter
{
public:
    Button message(QWidget* parent, Icon icon, const QString& text, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& folder, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& suggested, const QString& filter) override;
    Button table(QWidget* parent, const QString& text, const QStringList& headers, const QList<QStringList>& rows,
                 Buttons buttons) override;
    std::optional<QList<bool>> choose(QWidget* parent, const QString& text, const QList<Choice>& choices) override;
    // "Geräteliste  (*.route)|*.ROUTE" -> "Geräteliste  (*.route *.ROUTE)" and so on.
    static QString toQtFilter(const QString& filter);
};

// For tests: records every prompt and answers from queues.
class ScriptedPrompter final : public Prompter
{
public:
    struct Shown
    {
        Icon icon;
        QString text;
        Buttons buttons;
    };
    struct FileRequest
    {
        QString folder;
        QString filter;
    };

    struct Table
    {
        QString text;
        QStringList headers;
        QList<QStringList> rows;
        Buttons buttons;
    };
    struct Choosing
    {
        QString text;
        QList<Choice> choices;
    };

    Button message(QWidget* parent, Icon icon, const QString& text, Buttons buttons) override;
    QString openFileName(QWidget* parent, const QString& folder, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& suggested, const QString& filter) override;
    Button table(QWidget* parent, const QString& text, const QStringList& headers, const QList<QStringList>& rows,
                 Buttons buttons) override;
    std::optional<QList<bool>> choose(QWidget* parent, const QString& text, const QList<Choice>& choices) override;

    // Answers are used in order (messages and tables alike); with none queued a message returns its first button (Ok,
    // Yes, Abort ...) and a file dialog is cancelled.
    QList<Button> answers;
    QStringList fileNames;
    QList<Shown> shown;
    QList<FileRequest> fileRequests; // folder: the suggested path for a save dialog
    QList<Table> tables;
    // Answers to choose(), in order; with none queued the boxes stay as offered and OK is chosen.
    QList<std::optional<QList<bool>>> choiceAnswers;
    QList<Choosing> choosings;

    QStringList texts() const;
    void clear();
};
