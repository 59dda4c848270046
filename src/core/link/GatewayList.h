#pragma once

#include <QList>
#include <QString>

// The gateways found by a scan, one row per address, in ascending order of the address whatever
// order the answers arrive in.
class GatewayList final
{
public:
    struct Row
    {
        QString ip;
        QString gwid;
        QString firmware;
    };

    // AddOrUpdateGatewayRow: an empty gwid changes nothing; a row with the same ip only gets the new
    // gwid (its firmware stays); otherwise a row is inserted at its place. Returns the row's index, -1 if none.
    int AddOrUpdateGatewayRow(const QString& gwid, const QString& ip, const QString& firmware);
    void clear() { m_rows.clear(); }
    const QList<Row>& rows() const { return m_rows; }
    int size() const { return int(m_rows.size()); }

private:
    QList<Row> m_rows;
};
