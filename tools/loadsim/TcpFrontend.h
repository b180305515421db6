#pragma once

#include "Instrument.h"
#include "Misbehaviour.h"
#include "WireLog.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// Listens on 127.0.0.1 and serves one client at a time: a new connection
// replaces the one before it.
class TcpFrontend : public QObject
{
    Q_OBJECT
public:
    TcpFrontend(Instrument *instrument, WireLog *log, Misbehaviour *misbehaviour, QObject *parent = nullptr);
    bool listen(quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }

private:
    void onNewConnection();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    Instrument *m_instrument;
    WireLog *m_log;
    Misbehaviour *m_mis;
};
