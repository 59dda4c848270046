#pragma once

#include "setups/SetupDiff.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QPalette>
#include <QString>

class QWidget;

// Marks the controls of the fields in which the dialog differs from what the gateway last
// reported: bold, in the accent colour, with the gateway's value as tooltip.
class FieldMarks final
{
public:
    // The control that shows a field: NETZWERK, PORT -> its label. An empty key stands for every key
    // of the section (the radio-ID list); an empty section for a field without a key (the gateway ID).
    void add(const QString& section, const QString& key, QWidget* control);
    void show(const QList<FieldDifference>& differences);
    // The controls marked now (tests).
    QList<QWidget*> marked() const { return m_marked; }

private:
    QWidget* controlOf(const FieldDifference& difference) const;
    void mark(QWidget* control, bool on, const QString& tip);

    struct Look
    {
        QFont font;
        QPalette palette;
        QString toolTip;
    };
    QHash<QString, QWidget*> m_controls;
    QHash<QWidget*, Look> m_unmarked; // how a control looked before it was first marked
    QList<QWidget*> m_marked;
};
