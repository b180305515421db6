#pragma once

// A port number that the kernel gave out, free for TCP and UDP on every
// address (a P2P mapping binds both), for the API that takes a number.
// Shared by the P2P tests and the P2P benchmark.

#include <QHostAddress>
#include <QTcpServer>
#include <QUdpSocket>

inline quint16 freeMappingPort()
{
    for (int i = 0; i < 50; ++i) {
        QTcpServer tcp;
        if (!tcp.listen(QHostAddress::AnyIPv4, 0))
            continue;
        QUdpSocket udp;
        if (udp.bind(QHostAddress::AnyIPv4, tcp.serverPort()))
            return tcp.serverPort();
    }
    return 0;
}
