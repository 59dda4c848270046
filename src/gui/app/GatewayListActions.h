#pragma once

#include "session/TemplateApply.h"

#include <QObject>

#include <memory>

class QWidget;

// What the gateway list's context menu does: apply a template to the marked gateways (with a dry
// run shown first and a table of results at the end), and export the list.
class GatewayListActions final : public QObject
{
    Q_OBJECT

public:
    GatewayListActions(GatewaySession& session, QWidget* window);

    void applyTemplate(const QList<GatewayId>& marked);
    bool applying() const { return m_run && m_run->running(); }
    // Asks where to and writes the list there; the path written, or empty (cancelled or failed,
    // the failure shown).
    QString exportList();

signals:
    void applyFinished();

private:
    static QList<QStringList> tableRows(const TemplateApply& run);

    GatewaySession& m_session;
    QWidget* m_window;
    std::unique_ptr<TemplateApply> m_run;
    QString m_template;
};
