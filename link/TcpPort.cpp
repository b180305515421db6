#include "TcpPort.h"

#include "CrashHandler.h"
#include "MetaTypes.h"
#include "ReplyRules.h"

#include <QDebug>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

std::atomic<bool> TcpPort::tickBusy{false};

TcpPort::TcpPort(QObject *parent)
    : QObject(parent)
{
    m_queue.clear();
    installCrashHandler();
    registerTcpLinkPackType();
}

TcpPort::~TcpPort()
{
    m_handover.takeOver(); // what the finished thread did, before it goes
    // The timer lives in the worker thread, which has finished by now.
    delete m_timer;
}

void TcpPort::init()
{
    prepareCrashHandlerThread();
    m_timer = new QTimer();
    m_timer->start(m_tickMs);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(timerTimeOut()));
    // Stopped in its own thread as the thread ends, so the worker can go later.
    connect(thread(), SIGNAL(finished()), m_timer, SLOT(stop()));
    m_socket = new QTcpSocket(this);
    // What one peer can make the program hold: a bounded buffer; the rest
    // waits in the system's socket buffer and is dropped as it is read.
    m_socket->setReadBufferSize(ReplyReader::kReadBufferBytes);
    m_reader.setDevice(m_socket, [this] { return isConnected(); });
    m_handover.watch(thread()); // last: after the timer's stop on finished()
}

void TcpPort::recvPackFun(DataPack str)
{
    if (str.link != DataPack::TcpLink)
        return;
    m_queue.push(str);
}

void TcpPort::getTcpInfoFun(TcpLinkPack str)
{
    lastCode = 0;
    qDebug() << "getTcpInfoFun";
    if (str.key == QLatin1String("TCP:link")) {
        if (str.linkOn) {
            if (str.hostAddress.isEmpty())
                lastCode = TcpLinkPack::EmptyAddress;
            hostAddress = str.hostAddress;
            port = str.port;
            startConnection();
            relinkMode = false;
        } else {
            closeLink();
            relinkMode = false;
        }
    } else if (str.key == QLatin1String("TCP:R:link")) {
        hostAddress = str.hostAddress;
        port = str.port;
        relinkMode = true;
        // A socket that is still connected needs no new attempt: one would
        // stay pending and the watchdog would later close the live link.
        if (isConnected())
            return;
        startConnection();
    }
}

bool TcpPort::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpPort::closeLink()
{
    if (isConnected())
        flushPacks(takeQueue());
    dropStateTracking();
}

void TcpPort::dropQueue()
{
    if (dropPending())
        ++m_dropsDone;
    m_queue.clear();
}

void TcpPort::shutdown()
{
    m_stopping.store(true);
    closeLink();
}

void TcpPort::startConnection()
{
    if (!m_socket)
        return;
    m_reader.reset();
    m_socket->connectToHost(QHostAddress(hostAddress), static_cast<quint16>(port),
                            QIODevice::ReadWrite);
    connect(m_socket, SIGNAL(stateChanged(QAbstractSocket::SocketState)), this,
            SLOT(clientStateMannage(QAbstractSocket::SocketState)), Qt::UniqueConnection);
    connectPending = true;
}

void TcpPort::dropStateTracking()
{
    if (!m_socket)
        return;
    disconnect(m_socket, SIGNAL(stateChanged(QAbstractSocket::SocketState)), this,
               SLOT(clientStateMannage(QAbstractSocket::SocketState)));
    m_socket->close();
    // A socket still connecting only notes the close for later; give the
    // attempt up as well, so a new one can start.
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

void TcpPort::clientStateMannage(QAbstractSocket::SocketState socketState)
{
    switch (socketState) {
    case QAbstractSocket::UnconnectedState:
        qDebug() << "Client:The server is not connected.";
        if (relinkMode) {
            if (++relinkFailures <= kSilentRelinkFailures)
                return;
            relinkFailures = 0;
            relinkMode = false;
            sendLinkReport(false, TcpLinkPack::Unreachable);
        } else {
            qDebug() << "Client:creatTcpInfo.";
            sendLinkReport(false, hostAddress.isEmpty() ? TcpLinkPack::EmptyAddress
                                                        : TcpLinkPack::Unreachable);
        }
        connectPending = false;
        break;
    case QAbstractSocket::ConnectingState:
        qDebug() << "Client:The socket has started establishing a connection.";
        break;
    case QAbstractSocket::ConnectedState:
        qDebug() << "Client:A connection is established.";
        lastCode = 0;
        sendLinkReport(true, TcpLinkPack::Connected);
        relinkMode = true;
        relinkFailures = 0;
        connectPending = false;
        break;
    case QAbstractSocket::ClosingState:
        qDebug() << "Client:The socket is about to close (data may still be waiting to be written).";
        break;
    default:
        break;
    }
}

void TcpPort::timerTimeOut()
{
    if (tickBusy.exchange(true))
        return;

    if (connectPending) {
        if (connectWatchdog <= 0) {
            connectPending = false;
            lastCode = TcpLinkPack::Unreachable;
            sendLinkReport(false, TcpLinkPack::Unreachable);
            closeLink();
        } else {
            --connectWatchdog;
        }
    } else {
        connectWatchdog = m_watchdogTicks;
    }

    // The packs are taken out first; nothing can arrive while the tick runs
    // (requests are queued calls of this thread).
    const QVector<DataPack> packs = takeQueue();
    for (int i = 0; i < packs.size(); ++i) {
        if (dropPending())
            break; // the window let go of the link: the rest is stale
        if (m_stopping.load()) {
            flushPacks(packs.mid(i));
            break;
        }
        const DataPack &pack = packs.at(i);
        writePack(pack);
        if (pack.needReply != 1)
            continue;
        if (pack.key == QLatin1String("SYS:LOC:P")) {
            sendReply(pack.key, 0, 1, DataPack::Received, QStringLiteral("1"), pack.pageId);
            continue;
        }
        const QString reply = readReply();
        if (m_stopping.load() || dropPending())
            continue; // the link is being let go: no reply for this read
        const int status = replyStatus(pack.key, reply);
        sendReply(pack.key, 0, 1, status,
                  status == DataPack::Received ? reply : QStringLiteral("err"), pack.pageId);
    }

    tickBusy = false;
}

QVector<DataPack> TcpPort::takeQueue()
{
    return m_queue.takeAll();
}

void TcpPort::writePack(const DataPack &pack)
{
    if (m_socket) {
        m_reader.settle();
        m_reader.discardInput();
        m_socket->write(pack.data.toUtf8());
        if (!m_socket->waitForBytesWritten(kWriteWaitMs))
            qDebug() << "===========发送超时=============";
    }
    // The instrument needs this pause between commands; the thread sleeps.
    QThread::msleep(kPauseAfterWriteMs);
}

void TcpPort::flushPacks(const QVector<DataPack> &packs)
{
    for (const DataPack &pack : packs) {
        if (!isConnected())
            return;
        const bool local = pack.key == QLatin1String("SYS:LOC:P");
        if (pack.needReply == 1 && !local)
            continue;
        writePack(pack);
        if (local && pack.needReply == 1 && !m_stopping.load())
            sendReply(pack.key, 0, 1, DataPack::Received, QStringLiteral("1"), pack.pageId);
    }
}

QString TcpPort::readReply()
{
    if (!m_socket)
        return QString();
    QByteArray line;
    if (m_reader.readLine(&line) != ReplyReader::Complete)
        return QString();
    return replyText(line);
}

void TcpPort::sendReply(const QString &key, int isRequest, int needReply, int status,
                        const QString &data, int pageId)
{
    emit sendPackFun(makeReplyPack(key, isRequest, needReply, status, data, pageId));
}

void TcpPort::sendLinkReport(bool linkOn, int code)
{
    TcpLinkPack report;
    report.key = QStringLiteral("TCP:link");
    report.linkOn = linkOn;
    report.isQuery = 0;
    report.hostAddress = hostAddress;
    report.port = port;
    report.code = code;
    emit sendTcpInfo(report);
}
