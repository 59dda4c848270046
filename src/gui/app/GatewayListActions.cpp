#include "GatewayListActions.h"

#include "base/SharedFolders.h"
#include "common/Prompter.h"
#include "common/TextWrap.h"
#include "setups/SetupFile.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTableWidget>
#include <QWidget>

GatewayListActions::GatewayListActions(GatewaySession& session, QWidget* window)
    : QObject(window), m_session(session), m_window(window)
{}

void GatewayListActions::installListMenu(QTableWidget* grid)
{
    auto* apply = new QAction(QStringLiteral("Vorlage auf markierte Gateways anwenden…"), grid);
    apply->setObjectName(QStringLiteral("ActionApplyTemplate"));
    connect(apply, &QAction::triggered, this, [this, grid] {
        emit aboutToApply();
        applyTemplate(markedIds(grid));
    });
    auto* exportAction = new QAction(QStringLiteral("Liste exportieren…"), grid);
    exportAction->setObjectName(QStringLiteral("ActionExportList"));
    connect(exportAction, &QAction::triggered, this, [this] {
        if (const QString path = exportList(); !path.isEmpty())
            emit statusText(QStringLiteral("Liste exportiert: %1").arg(path));
    });
    grid->addActions({apply, exportAction});
    grid->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QList<GatewayId> GatewayListActions::markedIds(const QTableWidget* grid) const
{
    QList<GatewayId> ids;
    const QList<GatewayRow>& rows = m_session.list().rows();
    for (const QModelIndex& index : grid->selectionModel()->selectedRows())
        if (index.row() < rows.size())
            ids << rows[index.row()].id;
    return ids;
}

QList<QStringList> GatewayListActions::tableRows(const TemplateApply& run)
{
    // The fields' names as the dialog shows them, kept whole wherever a reason names them.
    static const QStringList labels = [] {
        QStringList all;
        for (const RecordField& field : recordFields())
            if (const QString label = fieldLabel(field.section, field.key); !label.isEmpty() && !all.contains(label))
                all << label;
        return all;
    }();
    QList<QStringList> rows;
    for (const TemplateApply::Outcome& o : run.outcomes())
        rows << QStringList{o.ip.isNull() ? QStringLiteral("–") : o.ip.toString(), o.id.text(),
                            TemplateApply::resultText(o.result), TextWrap::keepNamesWhole(o.reason, labels),
                            o.changed.isEmpty() ? QStringLiteral("–") : TextWrap::changeList(o.changed)};
    return rows;
}

void GatewayListActions::applyTemplate(const QList<GatewayId>& marked)
{
    Prompter& prompter = Prompter::instance();
    if (applying()) {
        prompter.message(m_window, Prompter::Icon::Warning,
                         QStringLiteral("Es läuft bereits eine Vorlage; bitte auf ihr Ergebnis warten."), Prompter::Ok);
        return;
    }
    if (marked.isEmpty()) {
        prompter.message(m_window, Prompter::Icon::Information,
                         QStringLiteral("Bitte zuerst Gateways in der Liste markieren."), Prompter::Ok);
        return;
    }
    m_template =
        prompter.openFileName(m_window, m_session.setupsFolder(), SetupKeys::FileFilter + QStringLiteral("|*.GWINI"));
    if (m_template.isEmpty())
        return;
    // Which fields the template gives: a check box per group, the default groups ticked.
    QList<Prompter::Choice> choices;
    for (const FieldGroupInfo& group : fieldGroups())
        choices << Prompter::Choice{group.name, group.byDefault};
    const std::optional<QList<bool>> chosen =
        prompter.choose(m_window, QStringLiteral("Welche Felder soll die Vorlage den Gateways geben?"), choices);
    if (!chosen)
        return;
    QList<RecordField> fields;
    for (int i = 0; i < fieldGroups().size() && i < chosen->size(); ++i)
        if (chosen->at(i))
            fields << groupFields(fieldGroups()[i].group);
    if (fields.isEmpty()) {
        prompter.message(m_window, Prompter::Icon::Information,
                         QStringLiteral("Bitte mindestens eine Feldgruppe wählen."), Prompter::Ok);
        return;
    }
    // The result first: the list of changed fields can be long and is wrapped in the last column.
    const QStringList headers{QStringLiteral("IP"), QStringLiteral("GWID"), QStringLiteral("Ergebnis"),
                              QStringLiteral("Grund"), QStringLiteral("Änderungen")};
    TemplateApply::Options options;
    options.templatePath = m_template;
    options.only = marked;
    options.fields = fields;
    options.dryRun = true;
    TemplateApply dryRun(m_session);
    if (const Status planned = dryRun.start(options); !planned) {
        prompter.error(m_window, planned.message());
        return;
    }
    const QString name = QFileInfo(m_template).fileName();
    const Prompter::Button go = prompter.table(
        m_window,
        QStringLiteral("Vorlage %1 auf %2 markierte Gateways anwenden? So würden sich ihre Setups ändern:")
            .arg(name)
            .arg(marked.size()),
        headers, tableRows(dryRun), Prompter::Yes | Prompter::No);
    if (go != Prompter::Yes)
        return;
    options.dryRun = false;
    m_run = std::make_unique<TemplateApply>(m_session);
    connect(m_run.get(), &TemplateApply::finished, this, [this, headers, name] {
        emit statusText(m_run->summary(name));
        Prompter::instance().table(m_window, QStringLiteral("Ergebnis der Vorlage %1:").arg(name), headers,
                                   tableRows(*m_run), Prompter::Ok);
        emit applyFinished();
    });
    if (const Status started = m_run->start(options); !started)
        prompter.error(m_window, started.message());
}

QString GatewayListActions::exportList()
{
    const QString suggested =
        QDir(SharedFolders::documents()).filePath(QStringLiteral("Gateways_%1.csv").arg(m_session.segment().text()));
    const QString path =
        Prompter::instance().saveFileName(m_window, suggested, QStringLiteral("CSV-Datei  (*.csv)|*.CSV"));
    if (path.isEmpty())
        return QString();
    if (const Status written = writeGatewayListCsv(path, m_session.exportRows()); !written) {
        Prompter::instance().error(m_window, written.message());
        return QString();
    }
    return path;
}
