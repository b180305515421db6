#include "DevSim.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <cstdio>

// Command reference (one per line):
//   add id=<12 hex> [name=..] [ip=a.b.c.d] [mask=..] [gw=..] [dest=..] [port=N]
//       [destport=N] [mode=N] [ipmode=N] [io=N] [hasio=0|1] [ageflags=N]
//       [agelimit=N] [idle=N] [b48=N] [b<offset>=N] [src=a.b.c.d] [silent=1]
//       [slow=1] [noident=1]                       a device (mode 0 listens on
//                                                   its port, mode 2 binds it)
//   set <id> key=value ...                         change a device's block
//   silent <id|all> 0|1                            stop/resume answering
//   announce <id|all> <host> <port>                unsolicited reply datagram
//   connect <id> / disconnect <id>                 work-mode-1 link to dest:destport
//   send <id> <hex>                                data on the device's link(s)
//   slowread <id> 0|1                              stop/resume reading its links
//   stats <id>                                     "stats <id> bytes=N fnv=X"
//   quit
// Log lines: search, getio, write, setio, raw, arp, accepted, connected,
// closed, data, announced, stats.

namespace {

void putAddress(QByteArray &b, int off, const QString &text)
{
    const quint32 a = QHostAddress(text).toIPv4Address();
    b[off] = char(a >> 24);
    b[off + 1] = char(a >> 16);
    b[off + 2] = char(a >> 8);
    b[off + 3] = char(a);
}

void put16(QByteArray &b, int off, quint32 v)
{
    b[off] = char(v >> 8);
    b[off + 1] = char(v);
}

quint16 get16(const QByteArray &b, int off)
{
    return quint16((quint8(b[off]) << 8) | quint8(b[off + 1]));
}

QHostAddress getAddress(const QByteArray &b, int off)
{
    return QHostAddress((quint32(quint8(b[off])) << 24) | (quint32(quint8(b[off + 1])) << 16)
                        | (quint32(quint8(b[off + 2])) << 8) | quint8(b[off + 3]));
}

void putText(QByteArray &b, int off, int size, const QByteArray &text)
{
    for (int i = 0; i < size; ++i)
        b[off + i] = i < text.size() ? text[i] : char(0);
}

QByteArray defaultBlock()
{
    QByteArray b(167, 0);
    putAddress(b, 0, QStringLiteral("192.168.1.200"));
    putAddress(b, 4, QStringLiteral("255.255.255.0"));
    putAddress(b, 8, QStringLiteral("192.168.1.1"));
    putAddress(b, 12, QStringLiteral("192.168.1.3"));
    put16(b, 16, 4196);
    put16(b, 18, 4196);
    putText(b, 21, 10, "730915");
    b[37] = 11;
    putText(b, 38, 10, "VKDEV0001");
    b[49] = 3;
    put16(b, 50, 1300);
    b[58] = 1;
    putAddress(b, 62, QStringLiteral("8.8.4.4"));
    putText(b, 66, 30, "192.168.1.3");
    b[96] = 12;
    b[97] = 60;
    put16(b, 98, 80);
    putAddress(b, 105, QStringLiteral("230.86.75.1"));
    b[111] = 5;
    return b;
}

} // namespace

DevSim::DevSim(QObject *parent) : QObject(parent) {}

DevSim::~DevSim()
{
    qDeleteAll(m_devices);
}

void DevSim::log(const QString &line)
{
    const QByteArray text = line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    if (m_logFile) {
        m_logFile->write(text);
        m_logFile->flush();
    }
}

bool DevSim::start(quint16 configPort, const QString &logFile)
{
    if (!logFile.isEmpty()) {
        m_logFile = new QFile(logFile, this);
        m_logFile->open(QIODevice::WriteOnly | QIODevice::Append);
    }
    m_main = new QUdpSocket(this);
    if (!m_main->bind(QHostAddress::AnyIPv4, configPort)) {
        log(QStringLiteral("error bind %1: %2").arg(configPort).arg(m_main->errorString()));
        return false;
    }
    connect(m_main, &QUdpSocket::readyRead, this, [this] { readConfig(m_main, nullptr); });
    m_arp = new QUdpSocket(this);
    if (m_arp->bind(QHostAddress::AnyIPv4, 25897)) {
        connect(m_arp, &QUdpSocket::readyRead, this, [this] {
            while (m_arp->hasPendingDatagrams()) {
                QHostAddress from;
                const qint64 size = m_arp->pendingDatagramSize();
                QByteArray d(int(size > 0 ? size : 0), 0);
                m_arp->readDatagram(d.data(), d.size(), &from);
                log(QStringLiteral("arp from=%1 len=%2").arg(from.toString()).arg(d.size()));
            }
        });
    }
    return true;
}

QString DevSim::idText(const Device *d) const
{
    return QString::fromLatin1(d->id.toHex().toUpper());
}

DevSim::Device *DevSim::device(const QString &text)
{
    const QByteArray id = QByteArray::fromHex(text.toLatin1());
    for (Device *d : m_devices)
        if (d->id == id)
            return d;
    return nullptr;
}

QList<DevSim::Device *> DevSim::devices(const QString &idOrAll)
{
    if (idOrAll == QLatin1String("all"))
        return m_devices;
    Device *d = device(idOrAll);
    return d ? QList<Device *> {d} : QList<Device *> {};
}

void DevSim::applyKey(Device *d, const QString &key, const QString &value)
{
    QByteArray &b = d->block;
    const uint n = value.toUInt(nullptr, 0);
    if (key == QLatin1String("id")) {
        d->id = QByteArray::fromHex(value.toLatin1()).leftJustified(6, 0, true);
        for (int i = 0; i < 6; ++i)
            b[31 + i] = d->id[i];
    } else if (key == QLatin1String("name")) {
        putText(b, 38, 10, value.toUtf8().left(10));
    } else if (key == QLatin1String("ip")) {
        putAddress(b, 0, value);
    } else if (key == QLatin1String("mask")) {
        putAddress(b, 4, value);
    } else if (key == QLatin1String("gw")) {
        putAddress(b, 8, value);
    } else if (key == QLatin1String("dest")) {
        putAddress(b, 12, value);
        putText(b, 66, 30, value.toUtf8());
    } else if (key == QLatin1String("port")) {
        put16(b, 16, n);
    } else if (key == QLatin1String("destport")) {
        put16(b, 18, n);
    } else if (key == QLatin1String("mode")) {
        b[20] = char(n);
    } else if (key == QLatin1String("ipmode")) {
        b[56] = char(n);
    } else if (key == QLatin1String("io")) {
        b[109] = char(n);
    } else if (key == QLatin1String("hasio")) {
        b[112] = char(n ? 1 : 0);
    } else if (key == QLatin1String("ageflags")) {
        b[110] = char(n);
    } else if (key == QLatin1String("agelimit")) {
        b[111] = char(n);
    } else if (key == QLatin1String("idle")) {
        b[97] = char(n);
    } else if (key == QLatin1String("firmware")) {
        b[103] = char(n);
    } else if (key.startsWith(QLatin1Char('b')) && key.mid(1).toInt() >= 0 && key.mid(1).toInt() < 167) {
        b[key.mid(1).toInt()] = char(n);
    } else if (key == QLatin1String("src")) {
        d->src = QHostAddress(value);
    } else if (key == QLatin1String("silent")) {
        d->silent = n != 0;
    } else if (key == QLatin1String("slow")) {
        d->slowRead = n != 0;
    } else if (key == QLatin1String("noident")) {
        d->noIdent = n != 0;
    }
}

void DevSim::command(const QString &line)
{
    const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return;
    const QString &c = w[0];
    if (c == QLatin1String("quit")) {
        QCoreApplication::quit();
    } else if (c == QLatin1String("add")) {
        auto *d = new Device;
        d->block = defaultBlock();
        for (int i = 1; i < w.size(); ++i) {
            const int eq = w[i].indexOf(QLatin1Char('='));
            if (eq > 0)
                applyKey(d, w[i].left(eq), w[i].mid(eq + 1));
        }
        if (!d->src.isNull()) {
            d->config = new QUdpSocket(this);
            d->config->bind(d->src, 0);
            connect(d->config, &QUdpSocket::readyRead, this, [this, d] { readConfig(d->config, d); });
        }
        m_devices << d;
        openDataPath(d);
        log(QStringLiteral("added %1").arg(idText(d)));
    } else if (c == QLatin1String("set") && w.size() > 1) {
        for (Device *d : devices(w[1])) {
            for (int i = 2; i < w.size(); ++i) {
                const int eq = w[i].indexOf(QLatin1Char('='));
                if (eq > 0)
                    applyKey(d, w[i].left(eq), w[i].mid(eq + 1));
            }
            log(QStringLiteral("set %1").arg(idText(d)));
        }
    } else if (c == QLatin1String("silent") && w.size() > 2) {
        for (Device *d : devices(w[1]))
            d->silent = w[2] != QLatin1String("0");
        log(QStringLiteral("silent %1 %2").arg(w[1], w[2]));
    } else if (c == QLatin1String("announce") && w.size() > 3) {
        for (Device *d : devices(w[1])) {
            reply(d, d->config ? d->config : m_main, QHostAddress(w[2]), quint16(w[3].toUInt()));
            log(QStringLiteral("announced %1").arg(idText(d)));
        }
    } else if (c == QLatin1String("connect") && w.size() > 1) {
        for (Device *d : devices(w[1])) {
            auto *s = new QTcpSocket(this);
            if (!d->src.isNull())
                s->bind(d->src, 0);
            connect(s, &QTcpSocket::connected, this, [this, d, s] {
                log(QStringLiteral("connected %1").arg(idText(d)));
                if (!d->noIdent) {
                    QByteArray frame = QByteArray::fromHex("FA071302FA02");
                    frame += d->id;
                    frame += QByteArray::fromHex("FAFF");
                    s->write(frame);
                }
            });
            watchLink(d, s);
            s->connectToHost(getAddress(d->block, 12), get16(d->block, 18));
        }
    } else if (c == QLatin1String("disconnect") && w.size() > 1) {
        for (Device *d : devices(w[1]))
            for (QTcpSocket *s : d->links)
                s->disconnectFromHost();
    } else if (c == QLatin1String("send") && w.size() > 2) {
        const QByteArray bytes = QByteArray::fromHex(w.mid(2).join(QString()).toLatin1());
        for (Device *d : devices(w[1])) {
            if (d->udp)
                d->udp->writeDatagram(bytes, getAddress(d->block, 12), get16(d->block, 18));
            for (QTcpSocket *s : d->links)
                s->write(bytes);
            log(QStringLiteral("sent %1 %2").arg(idText(d)).arg(bytes.size()));
        }
    } else if (c == QLatin1String("slowread") && w.size() > 2) {
        for (Device *d : devices(w[1])) {
            d->slowRead = w[2] != QLatin1String("0");
            for (QTcpSocket *s : d->links) {
                s->setReadBufferSize(d->slowRead ? 1 : 0);
                if (!d->slowRead)
                    readLink(d, s);
            }
        }
        log(QStringLiteral("slowread %1 %2").arg(w[1], w[2]));
    } else if (c == QLatin1String("stats") && w.size() > 1) {
        for (Device *d : devices(w[1]))
            log(QStringLiteral("stats %1 bytes=%2 fnv=%3")
                    .arg(idText(d)).arg(d->received).arg(d->fnv, 8, 16, QLatin1Char('0')));
    } else {
        log(QStringLiteral("unknown %1").arg(line));
    }
}

void DevSim::openDataPath(Device *d)
{
    const int mode = quint8(d->block[20]);
    const quint16 port = get16(d->block, 16);
    const QHostAddress at = d->src.isNull() ? QHostAddress(QHostAddress::AnyIPv4) : d->src;
    if (mode == 0) {
        d->server = new QTcpServer(this);
        if (!d->server->listen(at, port))
            log(QStringLiteral("error listen %1").arg(port));
        connect(d->server, &QTcpServer::newConnection, this, [this, d] {
            while (QTcpSocket *s = d->server->nextPendingConnection()) {
                log(QStringLiteral("accepted %1 from=%2").arg(idText(d), s->peerAddress().toString()));
                if (d->slowRead)
                    s->setReadBufferSize(1);
                watchLink(d, s);
            }
        });
    } else if (mode == 2) {
        d->udp = new QUdpSocket(this);
        if (!d->udp->bind(at, port))
            log(QStringLiteral("error bind %1").arg(port));
        connect(d->udp, &QUdpSocket::readyRead, this, [this, d] {
            while (d->udp->hasPendingDatagrams()) {
                const qint64 size = d->udp->pendingDatagramSize();
                QByteArray bytes(int(size > 0 ? size : 0), 0);
                d->udp->readDatagram(bytes.data(), bytes.size());
                countData(d, bytes, "data");
            }
        });
    }
}

void DevSim::watchLink(Device *d, QTcpSocket *s)
{
    d->links << s;
    connect(s, &QTcpSocket::readyRead, this, [this, d, s] { readLink(d, s); });
    connect(s, &QTcpSocket::disconnected, this, [this, d, s] {
        log(QStringLiteral("closed %1").arg(idText(d)));
        d->links.removeAll(s);
        s->deleteLater();
    });
}

void DevSim::readLink(Device *d, QTcpSocket *s)
{
    if (d->slowRead)
        return;
    const QByteArray bytes = s->readAll();
    if (!bytes.isEmpty())
        countData(d, bytes, "data");
}

void DevSim::countData(Device *d, const QByteArray &bytes, const char *what)
{
    for (char ch : bytes) {
        d->fnv ^= quint8(ch);
        d->fnv *= 16777619u;
    }
    d->received += quint64(bytes.size());
    if (bytes.size() <= 64)
        log(QStringLiteral("%1 %2 %3").arg(QLatin1String(what), idText(d), QString::fromLatin1(bytes.toHex().toUpper())));
}

void DevSim::readConfig(QUdpSocket *socket, Device *own)
{
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        QByteArray d(int(size > 0 ? size : 0), 0);
        QHostAddress from;
        quint16 port = 0;
        socket->readDatagram(d.data(), d.size(), &from, &port);
        handleDatagram(socket, own, d, from, port);
    }
}

void DevSim::reply(Device *d, QUdpSocket *via, const QHostAddress &to, quint16 port)
{
    QByteArray datagram("VK\x01", 3);
    datagram += d->block;
    via->writeDatagram(datagram, to, port);
}

void DevSim::handleDatagram(QUdpSocket *socket, Device *own, const QByteArray &d, const QHostAddress &from, quint16 port)
{
    const QString source = QStringLiteral("%1:%2").arg(QHostAddress(from.toIPv4Address()).toString()).arg(port);
    if (d.size() < 3 || d[0] != 'V' || d[1] != 'K') {
        log(QStringLiteral("raw from=%1 len=%2 hex=%3")
                .arg(source).arg(d.size()).arg(QString::fromLatin1(d.left(64).toHex().toUpper())));
        return;
    }
    const int cmd = quint8(d[2]);
    if (cmd == 0 || cmd == 6) {
        log(QStringLiteral("%1 from=%2 len=%3").arg(cmd == 0 ? QStringLiteral("search") : QStringLiteral("getio"))
                .arg(source).arg(d.size()));
        for (Device *dev : m_devices) {
            if (dev->silent || (own && dev != own))
                continue;
            reply(dev, dev->config ? dev->config : socket, from, port);
        }
        return;
    }
    if (cmd == 2 || cmd == 5) {
        const QByteArray block = d.mid(3, 167).leftJustified(167, 0, true);
        const QByteArray id = block.mid(31, 6);
        Device *dev = nullptr;
        for (Device *x : m_devices)
            if (x->id.mid(2) == id.mid(2))
                dev = x;
        const QString via = own ? QStringLiteral("unicast") : QStringLiteral("config-port");
        if (!dev) {
            log(QStringLiteral("%1 unknown=%2 from=%3 len=%4 via=%5")
                    .arg(cmd == 2 ? QStringLiteral("write") : QStringLiteral("setio"),
                         QString::fromLatin1(id.toHex().toUpper()), source).arg(d.size()).arg(via));
            return;
        }
        if (cmd == 2) {
            dev->block = block;
            for (int i = 0; i < 6; ++i)
                dev->block[31 + i] = dev->id[i];
            const QByteArray name = block.mid(38, 10);
            log(QStringLiteral("write %1 from=%2 len=%3 via=%4 name=%5 ip=%6 port=%7 mode=%8 ipmode=%9")
                    .arg(idText(dev), source).arg(d.size()).arg(via)
                    .arg(QString::fromLatin1(name.left(name.indexOf('\0') < 0 ? 10 : name.indexOf('\0'))))
                    .arg(getAddress(block, 0).toString()).arg(get16(block, 16)).arg(quint8(block[20]))
                    .arg(quint8(block[56])));
        } else {
            dev->block[109] = block[109];
            log(QStringLiteral("setio %1 from=%2 len=%3 via=%4 io=%5")
                    .arg(idText(dev), source).arg(d.size()).arg(via).arg(quint8(block[109])));
        }
        return;
    }
    log(QStringLiteral("other cmd=%1 from=%2 len=%3").arg(cmd).arg(source).arg(d.size()));
}
