#pragma once

#include "session/TemplateApply.h"

#include <QObject>

#include <memory>

class QTableWidget;
class QWidget;

// The actions of the gateway list's context menu: a template applied to the marked gateways (the
// dry run shown first, a table of results at the end) and the list exported as a file.
class GatewayListActions final : public QObject
{
    Q_OBJECT

public:
    GatewayListActions(GatewaySession& session, QWidget* window);

    // Gives the gateway list its context menu: "Vorlage auf markierte Gateways anwenden…",
    // "Liste exportieren…".
    void installListMenu(QTableWidget* grid);
    void applyTemplate(const QList<GatewayId>& marked);
    bool applying() const { return m_run && m_run->running(); }
    // Asks where to and writes the list there; the path written, or empty (cancelled or failed,
    // the failure shown).
    QString exportList();

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
