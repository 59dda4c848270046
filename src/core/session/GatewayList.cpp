#include "GatewayList.h"

static quint32 sortKey(const QHostAddress& host)
{
    bool ok = false;
    const quint32 v = host.toIPv4Address(&ok);
    return ok ? v : 0xFFFFFFFFu;
}

int GatewayList::indexOf(const QHostAddress& host) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].address.isEqual(host))
            return i;
    return -1;
}

const GatewayRow* GatewayList::find(const QHostAddress& host) const
{
    const int i = indexOf(host);
    return i < 0 ? nullptr : &m_rows[i];
}

GatewayRow* GatewayList::find(const QHostAddress& host)
{
    const int i = indexOf(host);
    return i < 0 ? nullptr : &m_rows[i];
}

int GatewayList::addOrUpdate(const GatewayRow& row)
{
    const int existing = indexOf(row.address);
    if (existing >= 0) {
        m_rows[existing] = row;
        return existing;
    }
    const quint32 key = sortKey(row.address);
    int at = 0;
    while (at < m_rows.size() && sortKey(m_rows[at].address) <= key)
        ++at;
    m_rows.insert(at, row);
    return at;
}

int GatewayList::move(const QHostAddress& from, const GatewayRow& row)
{
    const int old = indexOf(from);
    if (old >= 0)
        m_rows.removeAt(old);
    return addOrUpdate(row);
}
