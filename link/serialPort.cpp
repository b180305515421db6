#include "serialPort.h"

#include "CrashHandler.h"
#include "MetaTypes.h"
#include "ReplyRules.h"

#include <QDebug>
#include <QSerialPortInfo>
#include <QThread>
#include <QTimer>
#include <QVector>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

serialPort::serialPort(QObject *parent)
    : QObject(parent)
{
    m_queue.clear();
    installCrashHandler();
    registerDataPackTypes();
}

serialPort::~serialPort()
{
    m_handover.takeOver(); // what the finished thread did, before it goes
    // The timer and the port belong to the worker thread, which has finished
    // by the time the worker goes; releasing them here closes the device.
    delete m_timer;
    delete m_port;
}

void serialPort::init()
{
    prepareCrashHandlerThread();
    m_timer = new QTimer();
    m_timer->start(m_tickMs);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(timerTimeOut()));
    // Stopped in its own thread as the thread ends, so the worker can go later.
    connect(thread(), SIGNAL(finished()), m_timer, SLOT(stop()));
    m_port = new QSerialPort();
    m_port->setReadBufferSize(ReplyReader::kReadBufferBytes);
    m_reader.setDevice(m_port);
    connect(m_port, SIGNAL(errorOccurred(QSerialPort::SerialPortError)), this,
            SLOT(handleSerialError(QSerialPort::SerialPortError)));
    m_handover.watch(thread()); // last: after the timer's stop on finished()
}

void serialPort::handleSerialError(QSerialPort::SerialPortError error)
{
    if (!portOpen)
        return;
    // On Linux a device that goes away hangs its tty up: reads then end
    // without data and the port calls that a read error. It is the same loss
    // of the device as a resource error.
    if (error == QSerialPort::ReadError && portHungUp())
        error = QSerialPort::ResourceError;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::ResourceError:
    case QSerialPort::NotOpenError:
        // A vanished device keeps raising the error until the window closes
        // the port; it is reported once per opened link.
        if (seriousErrorReported)
            break;
        seriousErrorReported = true;
        qDebug() << "检测到严重错误，关闭串口";
        // The port failed: nothing queued so far goes out, now or at the
        // close, and nothing more is written to it until it is opened again.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.clear();
        }
        sendLinkReport(QStringLiteral("SERIAL:link"), false, SerialLinkPack::SeriousError);
        break;
    case QSerialPort::NoError:
        qDebug() << "没有错误发生";
        break;
    default:
        break;
    }
}

bool serialPort::portHungUp() const
{
#ifdef Q_OS_UNIX
    if (!m_port || !m_port->isOpen())
        return false;
    pollfd p{};
    p.fd = int(m_port->handle());
    p.events = POLLIN;
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
#else
    return false;
#endif
}

void serialPort::recvPackFun(DataPack str)
{
    if (str.link != DataPack::SerialLink)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push(str);
}

void serialPort::getSerialInfoFun(SerialLinkPack str)
{
    qDebug() << "getSerialInfoFun";
    if (str.key == QLatin1String("SERIAL:ports")) {
        QVector<QString> names;
        if (!str.linkOn) {
            const auto ports = QSerialPortInfo::availablePorts();
            for (const QSerialPortInfo &info : ports) {
                names << info.portName();
                qDebug() << names;
            }
        }
        sendLinkReport(str.key, false, SerialLinkPack::Ok, names);
    } else if (str.key == QLatin1String("SERIAL:link")) {
        if (str.linkOn) {
            int code = SerialLinkPack::Ok;
            if (str.portName.isEmpty())
                code = SerialLinkPack::EmptyName;
            else if (!openPort(str.portName))
                code = SerialLinkPack::OpenFailed;
            sendLinkReport(str.key, true, code);
        } else {
            closePort();
        }
    } else if (str.key == QLatin1String("SERIAL:link?")) {
        sendLinkReport(str.key, portOpen, SerialLinkPack::Ok);
    } else if (str.key == QLatin1String("SERIAL:R:link")) {
        openPort(str.portName);
    }
}

bool serialPort::openPort(const QString &name)
{
    if (!m_port)
        return false;
    m_port->setPortName(name);
    // Not open from here on: errors raised by a failing open are no
    // "serious error" of an open link, the result reports them.
    portOpen = false;
    if (m_port->isOpen())
        m_port->close();
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    portOpen = true;
    seriousErrorReported = false;
    m_reader.reset();
    m_port->setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

QVector<DataPack> serialPort::takeQueue()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.takeAll(false);
}

void serialPort::timerTimeOut()
{
    const QVector<DataPack> packs = takeQueue();
    const bool failedBefore = seriousErrorReported;

    for (int i = 0; i < packs.size(); ++i) {
        if (dropPending())
            break; // the window let go of the link: the rest is stale
        if (seriousErrorReported && !failedBefore)
            break; // the port failed during this tick: the rest is dropped
        if (m_stopping.load()) {
            flushPacks(packs.mid(i));
            break;
        }
        const DataPack &pack = packs.at(i);
        if (pack.data == QLatin1String("INP OFF\n") || pack.data == QLatin1String("INP ON\n"))
            qDebug() << "serial" << pack.data;
        writeCommand(pack.data);
        QThread::msleep(kPauseAfterWriteMs);
        if (pack.needReply != 1)
            continue;
        if (pack.key == QLatin1String("SYS:LOC:P")) {
            sendReply(pack.key, 0, 1, DataPack::Received, QStringLiteral("1"), pack.pageId);
            continue;
        }
        const QString reply = readReply();
        if (m_stopping.load() || dropPending())
            continue; // the link is being let go: no reply for this read
        sendReply(pack.key, 0, 1, replyStatus(pack.key, reply), reply, pack.pageId);
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

void serialPort::flushPacks(const QVector<DataPack> &packs)
{
    for (const DataPack &pack : packs) {
        if (!m_port || !m_port->isOpen())
            return;
        const bool local = pack.key == QLatin1String("SYS:LOC:P");
        if (pack.needReply == 1 && !local)
            continue;
        writeCommand(pack.data);
        QThread::msleep(kPauseAfterWriteMs);
        if (local && pack.needReply == 1 && !m_stopping.load())
            sendReply(pack.key, 0, 1, DataPack::Received, QStringLiteral("1"), pack.pageId);
    }
}

void serialPort::closePort()
{
    if (seriousErrorReported)
        takeQueue(); // a failed port takes nothing more, not even at the close
    else if (portOpen && m_port && m_port->isOpen())
        flushPacks(takeQueue());
    portOpen = false;
    if (m_port)
        m_port->close();
}

void serialPort::dropQueue()
{
    if (dropPending())
        ++m_dropsDone;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
}

void serialPort::shutdown()
{
    m_stopping.store(true);
    closePort();
}

void serialPort::writeCommand(const QString &data)
{
    if (!m_port)
        return;
    if (!m_port->isOpen() || seriousErrorReported)
        return; // nothing can be written; a query then times out
    m_reader.settle();
    m_port->clear(QSerialPort::AllDirections);
    m_reader.discardInput();
    const QByteArray bytes = data.toLocal8Bit();
    m_port->write(bytes.constData()); // up to the first NUL
    // Wait while bytes are left and the port reports progress. (On Linux a
    // wait with nothing left to write would sit out its whole 30 ms.)
    while (m_port->bytesToWrite() > 0 && m_port->waitForBytesWritten(30)) {
    }
}

QString serialPort::readReply()
{
    QByteArray line;
    if (m_reader.readLine(&line) != ReplyReader::Complete) {
        qDebug() << "===========超时=============";
        return QString();
    }
    return replyText(line);
}

void serialPort::sendReply(const QString &key, int isRequest, int needReply, int status,
                           const QString &data, int pageId)
{
    emit sendPackFun(makeReplyPack(key, isRequest, needReply, status, data, pageId));
}

void serialPort::sendLinkReport(const QString &key, bool linkOn, int code,
                                const QVector<QString> &portNames)
{
    SerialLinkPack report;
    report.key = key;
    report.linkOn = linkOn;
    report.isQuery = 0;
    report.portNames = portNames;
    report.code = code;
    emit sendSerialInfo(report);
}
