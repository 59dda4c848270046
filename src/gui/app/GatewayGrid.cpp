#include "GatewayGrid.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {

void setCells(QTableWidget* grid, int row, const QStringList& cells, const QString& tip, bool greyed)
{
    for (int col = 0; col < grid->columnCount(); ++col) {
        QTableWidgetItem* item = grid->item(row, col);
        if (!item)
            grid->setItem(row, col, item = new QTableWidgetItem());
        item->setText(cells.value(col));
        item->setToolTip(tip);
        item->setForeground(greyed ? grid->palette().brush(QPalette::Disabled, QPalette::Text)
                                   : grid->palette().brush(QPalette::Active, QPalette::Text));
        item->setFlags(greyed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
}

} // namespace

void prepareGatewayGrid(QTableWidget* grid)
{
    grid->setColumnCount(5);
    grid->setHorizontalHeaderLabels({QStringLiteral("IP:"), QStringLiteral("GWID:"), QStringLiteral("Firmware:"),
                                     QStringLiteral("Geprüft"), QStringLiteral("Änderung")});
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

void drawGatewayGrid(QTableWidget* grid, const QList<GatewayRow>& rows, const QList<SeenGateway>& missing)
{
    const int total = int(rows.size() + missing.size());
    grid->setRowCount(qMax(1, total));
    if (total == 0)
        setCells(grid, 0, {}, QString(), false);
    for (int r = 0; r < rows.size(); ++r) {
        const GatewayRow& row = rows[r];
        QString tip = row.stored ? QString() : row.stored.message();
        if (!row.movedFrom.isNull())
            tip = QStringLiteral("vorher unter %1").arg(row.movedFrom.toString());
        if (row.state == GatewayRow::State::DuplicateId)
            tip = QStringLiteral("GWID doppelt an %1").arg(row.sameIdText());
        setCells(grid, r, {row.ipText(), row.gwidText(), row.firmwareText(), row.verificationText(), row.changeText()},
                 tip, false);
    }
    for (int m = 0; m < missing.size(); ++m) {
        const SeenGateway& gone = missing[m];
        setCells(grid, int(rows.size()) + m,
                 {gone.address.toString(), gone.id.text(), gone.firmware, QString(), QStringLiteral("fehlt")},
                 QStringLiteral("Beim letzten Scan gefunden, diesmal nicht"), true);
    }
}
