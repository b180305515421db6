#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QFile;

// Simulated device servers. Commands come one per line (stdin); every
// datagram and connection is written to the log (stdout, and a file when given).
class DevSim : public QObject
{
    Q_OBJECT
public:
    explicit DevSim(QObject *parent = nullptr);
    ~DevSim() override;
    bool start(quint16 configPort, const QString &logFile);
    void command(const QString &line);

private:
    struct Device
    {
        QByteArray id; // 6 bytes
        QByteArray block; // 167 bytes
        bool silent = false;
        bool slowRead = false;
        bool noIdent = false;
        QHostAddress src;
        QUdpSocket *config = nullptr; // own configuration socket (when src is given)
        QTcpServer *server = nullptr; // work mode 0
        QUdpSocket *udp = nullptr;    // work mode 2
        QList<QTcpSocket *> links;
        quint64 received = 0;
        quint32 fnv = 2166136261u;
    };

    void log(const QString &line);
    Device *device(const QString &idText);
    QList<Device *> devices(const QString &idOrAll);
    void readConfig(QUdpSocket *socket, Device *own);
    void handleDatagram(QUdpSocket *socket, Device *own, const QByteArray &d, const QHostAddress &from, quint16 port);
    void reply(Device *d, QUdpSocket *via, const QHostAddress &to, quint16 port);
    void applyKey(Device *d, const QString &key, const QString &value);
    void openDataPath(Device *d);
    void closeDataPath(Device *d);
    void watchLink(Device *d, QTcpSocket *s);
    void readLink(Device *d, QTcpSocket *s);
    void countData(Device *d, const QByteArray &bytes, const char *what);
    QString idText(const Device *d) const;

    QUdpSocket *m_main = nullptr;
    QUdpSocket *m_arp = nullptr;
    QList<Device *> m_devices;
    QFile *m_logFile = nullptr;
};
