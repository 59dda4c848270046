#pragma once

#include "GatewayRow.h"

#include <QList>

// The gateways found, one row per address, in ascending order of the address whatever order the
// answers arrive in.
class GatewayList final
{
public:
    // A row for the address of row: replaces the row already there, or is inserted at its place.
    // Returns its index.
    int addOrUpdate(const GatewayRow& row);
    // The row of host moves to row.address (the gateway took a new address); returns its new index.
    int move(const QHostAddress& from, const GatewayRow& row);
    void clear() { m_rows.clear(); }
    const QList<GatewayRow>& rows() const { return m_rows; }
    int size() const { return int(m_rows.size()); }
    int indexOf(const QHostAddress& host) const;
    const GatewayRow* find(const QHostAddress& host) const;
    GatewayRow* find(const QHostAddress& host);

private:
    QList<GatewayRow> m_rows;
};
