#pragma once

#include "session/TemplateApply.h"

#include <QObject>

#include <memory>
#include <optional>

class QTableWidget;
class QWidget;

// What the main window asks and shows the user about its session's work: the list's context menu
// (apply a template to the marked gateways, with a dry run shown first and a table of results at the
// end; export the list) and the outcome of a read-back.
class SessionDialogs final : public QObject
{
    Q_OBJECT

public:
    SessionDialogs(GatewaySession& session, QWidget* window);

    // Gives the gateway list its context menu: "Vorlage auf markierte Gateways anwenden…",
    // "Liste exportieren…".
    void installListMenu(QTableWidget* grid);
    void applyTemplate(const QList<GatewayId>& marked);
    bool applying() const { return m_run && m_run->running(); }
    // Asks where to and writes the list there; the path written, or empty (cancelled or failed,
    // the failure shown).
    QString exportList();
    // Warns when the read-back differs or did not come; for a gateway that took a new master key,
    // asks whether the main window takes it too. The key to take, if the user said Ja.
    std::optional<MasterKey> reportReadBack(const SetupVerifier::Report& report);

signals:
    void aboutToApply();
    void applyFinished();
    void statusText(const QString& text);

private:
    static QList<QStringList> tableRows(const TemplateApply& run);
    QList<GatewayId> markedIds(const QTableWidget* grid) const;

    GatewaySession& m_session;
    QWidget* m_window;
    std::unique_ptr<TemplateApply> m_run;
    QString m_template;
};
