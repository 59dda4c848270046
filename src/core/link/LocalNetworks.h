#pragma once

#include "ScanEngine.h"

#include <QHostAddress>
#include <QList>
#include <QString>

// The computer's own IPv4 addresses and the networks they lie in.
struct LocalAddress
{
    QHostAddress address;
    int prefixLength = 24;
    QString interfaceName;
};

// Every IPv4 address of an interface that is up, loopback last.
QList<LocalAddress> localIPv4Addresses();

// True when some address of segment lies in one of the networks (loopback counts as local).
bool segmentIsLocal(const Segment& segment, const QList<LocalAddress>& networks);
