#include "FieldMarks.h"

#include <QWidget>

void FieldMarks::add(const QString& section, const QString& key, QWidget* control)
{
    m_controls.insert(key.isEmpty() ? section : section + QLatin1Char('/') + key, control);
}

QWidget* FieldMarks::controlOf(const FieldDifference& d) const
{
    if (QWidget* control = m_controls.value(d.section + QLatin1Char('/') + d.key))
        return control;
    return m_controls.value(d.section);
}

void FieldMarks::show(const QList<FieldDifference>& differences)
{
    QHash<QWidget*, QStringList> tips;
    QList<QWidget*> order;
    for (const FieldDifference& d : differences) {
        QWidget* control = controlOf(d);
        if (!control)
            continue;
        if (!tips.contains(control))
            order << control;
        tips[control]
            << QStringLiteral("Gateway: %1 = %2").arg(d.key, d.first.isEmpty() ? QStringLiteral("(leer)") : d.first);
    }
    for (QWidget* control : std::as_const(m_marked))
        if (!tips.contains(control))
            mark(control, false, QString());
    for (QWidget* control : std::as_const(order))
        mark(control, true, tips.value(control).join(QLatin1Char('\n')));
    m_marked = order;
}

void FieldMarks::mark(QWidget* control, bool on, const QString& tip)
{
    if (!m_unmarked.contains(control))
        m_unmarked.insert(control, Look{control->font(), control->palette(), control->toolTip()});
    const Look& plain = m_unmarked[control];
    if (!on) {
        control->setFont(plain.font);
        control->setPalette(plain.palette);
        control->setToolTip(plain.toolTip);
        return;
    }
    QFont font = plain.font;
    font.setBold(true);
    control->setFont(font);
    QPalette palette = plain.palette;
    const QColor accent(0xE0, 0x8A, 0x1E);
    palette.setColor(QPalette::WindowText, accent);
    palette.setColor(QPalette::Text, accent);
    palette.setColor(QPalette::ButtonText, accent);
    control->setPalette(palette);
    control->setToolTip(tip);
}
