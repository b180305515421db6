#pragma once

#include "QueuedValue.h"

#include <QMetaType>
#include <QString>

// TCP-link request from the main window to the TCP worker, or a report back.
struct TcpLinkPackFields
{
    QString key;          // "TCP:link", "TCP:link?", "TCP:R:link"; reports carry "TCP:link"
    bool linkOn = false;  // request: connect/disconnect; report: connected or not
    qint32 isQuery = 0;   // always 0; not read
    QString hostAddress;  // dotted IPv4 address as typed
    qint32 port = 0;      // TCP port; the low 16 bits are used
    qint32 code = 0;      // report: 0 connected, 6 empty address, 7 unreachable/given up

    enum Code { Connected = 0, EmptyAddress = 6, Unreachable = 7 };
};

// Handed between threads in queued calls: see QueuedValue.
struct TcpLinkPack : QueuedValue<TcpLinkPackFields>
{
};

Q_DECLARE_METATYPE(TcpLinkPack)
