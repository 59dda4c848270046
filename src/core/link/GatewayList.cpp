#include "GatewayList.h"

#include <QHostAddress>

static quint32 sortKey(const QString& ip)
{
    bool ok = false;
    const quint32 v = QHostAddress(ip).toIPv4Address(&ok);
    return ok ? v : 0xFFFFFFFFu;
}

int GatewayList::AddOrUpdateGatewayRow(const QString& gwid, const QString& ip, const QString& firmware)
{
    if (gwid.isEmpty())
        return -1;
    int matched = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].ip == ip) {
            m_rows[i].gwid = gwid;
            if (matched < 0)
                matched = i;
        }
    }
    if (matched >= 0)
        return matched;
    const quint32 key = sortKey(ip);
    int at = 0;
    while (at < m_rows.size() && sortKey(m_rows[at].ip) <= key)
        ++at;
    m_rows.insert(at, Row{ip, gwid, firmware});
    return at;
}
