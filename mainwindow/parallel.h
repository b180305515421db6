#pragma once

#include <QMetaType>

// Parallel-operation settings of the connected instrument (one master and
// slaves with addresses).
struct parallel
{
    bool parallelOn = false; // parallel operation on
    bool isMaster = true;    // the connected instrument is the master
    int address = 1;         // slave address
    int masterAddress = 10;  // address shown while the instrument is the master
    int onlineCount = 0;     // units online ("PAR:NUM?")
};

Q_DECLARE_METATYPE(parallel)
