#pragma once

// How the simulator misbehaves on purpose, for tests. Shared by every channel.
struct Misbehaviour
{
    bool silent = false;      // never answer a query
    int silentAfter = -1;     // answer only the first N queries of the process (-1: no limit)
    int delayMs = 0;          // every reply leaves this long after its command was read
    int splitMs = -1;         // >= 0: every reply leaves in two pieces, this far apart
    int dropAfter = -1;       // TCP: close the connection after N command lines (-1: never)

    int repliesSent = 0;      // queries answered so far (all channels)
};
