#include "LocalNetworks.h"

#include <QNetworkInterface>

QList<LocalAddress> localIPv4Addresses()
{
    QList<LocalAddress> found, loopback;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!iface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const LocalAddress a{entry.ip(), entry.prefixLength() < 0 ? 24 : entry.prefixLength(),
                                 iface.humanReadableName()};
            (entry.ip().isLoopback() ? loopback : found).append(a);
        }
    }
    return found + loopback;
}

bool segmentIsLocal(const Segment& segment, const QList<LocalAddress>& networks)
{
    if (segment.a == 127)
        return true;
    for (const LocalAddress& local : networks) {
        // The segment's /24 and the interface's network overlap when either contains the other.
        const int prefix = std::min(local.prefixLength, 24);
        if (segment.address(0).isInSubnet(local.address, prefix))
            return true;
    }
    return false;
}
