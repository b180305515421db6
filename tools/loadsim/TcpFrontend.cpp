#include "TcpFrontend.h"

#include "LineChannel.h"

TcpFrontend::TcpFrontend(Instrument *instrument, WireLog *log, Misbehaviour *misbehaviour, QObject *parent)
    : QObject(parent), m_instrument(instrument), m_log(log), m_mis(misbehaviour)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpFrontend::onNewConnection);
}

bool TcpFrontend::listen(quint16 port, QString *error)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    *error = m_server.errorString();
    return false;
}

void TcpFrontend::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *channel = new LineChannel(socket, LineChannel::Tcp, m_instrument, m_log, m_mis, socket);
        connect(channel, &LineChannel::dropRequested, socket, [socket] { socket->disconnectFromHost(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
