#pragma once

#include "QueuedValue.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// Serial-link request from the main window to the serial worker, or a report back.
struct SerialLinkPackFields
{
    QString key;             // "SERIAL:ports", "SERIAL:link", "SERIAL:link?", "SERIAL:R:link"
    bool linkOn = false;     // request: open/close (ports: false = list); report: link state
    qint32 isQuery = 0;      // 1 in "SERIAL:ports" requests, else 0; not read
    QVector<QString> portNames; // "SERIAL:ports" report: the ports present
    QString portName;        // request: port to open
    qint32 code = 0;         // report: 0 ok, 4 empty name, 5 cannot open, 8 serious error

    enum Code { Ok = 0, EmptyName = 4, OpenFailed = 5, SeriousError = 8 };
};

// Handed between threads in queued calls: see QueuedValue.
struct SerialLinkPack : QueuedValue<SerialLinkPackFields>
{
};

Q_DECLARE_METATYPE(SerialLinkPack)
