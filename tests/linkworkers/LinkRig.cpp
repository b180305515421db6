#include "LinkRig.h"

#include "MetaTypes.h"

#include <QSocketNotifier>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <mutex>
#include <fcntl.h>
#include <unistd.h>

DataPack request(const QString &key, int needReply, const QString &data, int link, int pageId)
{
    DataPack p = makeRequestPack(key, needReply, data, pageId);
    p.link = link;
    return p;
}

bool LinkCapture::waitForSerial(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return serial.size() >= n; }, timeoutMs);
}

bool LinkCapture::waitForTcp(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return tcp.size() >= n; }, timeoutMs);
}

namespace {
std::mutex g_logMutex;
// Never destroyed: worker threads may still log while the process ends.
QStringList &g_log = *new QStringList;
QtMessageHandler g_previous = nullptr;

void logHandler(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_log << msg;
    }
    if (g_previous)
        g_previous(type, ctx, msg);
}
}

namespace DebugLog {
void install()
{
    static bool done = false;
    if (!done) {
        g_previous = qInstallMessageHandler(logHandler);
        done = true;
    }
}

int count(const QString &line)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    int n = 0;
    for (const QString &m : qAsConst(g_log))
        if (m == line)
            ++n;
    return n;
}

void clear()
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_log.clear();
}

bool waitForCount(const QString &line, int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(line) >= n; }, timeoutMs);
}
}

bool ScriptedPeer::waitForLines(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_lines.size() >= n; }, timeoutMs);
}

void ScriptedPeer::feed(const QByteArray &bytes)
{
    m_received += bytes;
    m_partial += bytes;
    int nl;
    while ((nl = m_partial.indexOf('\n')) >= 0) {
        const QByteArray line = m_partial.left(nl + 1);
        m_partial.remove(0, nl + 1);
        m_lines << line;
        const auto it = m_script.constFind(line);
        if (it == m_script.constEnd())
            continue;
        int at = 0;
        for (const Piece &piece : *it) {
            at += piece.delayMs;
            if (at == 0)
                writeOut(piece.bytes);
            else
                QTimer::singleShot(at, Qt::PreciseTimer, this, [this, b = piece.bytes] { writeOut(b); });
        }
    }
}

PtyPeer::~PtyPeer()
{
    close();
}

bool PtyPeer::open(const QString &path)
{
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        return false;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPeer::readReady);
    return true;
}

void PtyPeer::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void PtyPeer::readReady()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            feed(QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (n < 0 && errno != EAGAIN)) // the other side went away
            m_notifier->setEnabled(false);
        return;
    }
}

void PtyPeer::writeOut(const QByteArray &bytes)
{
    if (m_fd >= 0)
        (void)!::write(m_fd, bytes.constData(), size_t(bytes.size()));
}

TcpPeer::TcpPeer()
    : m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server->nextPendingConnection()) {
            if (m_client)
                m_client->deleteLater();
            m_client = s;
            connect(s, &QTcpSocket::readyRead, this, [this, s] { feed(s->readAll()); });
        }
    });
}

TcpPeer::~TcpPeer() = default;

bool TcpPeer::listen(quint16 port)
{
    if (m_held && port != 0 && port == m_held->port()) {
        const int fd = m_held->takeListening();
        m_held.reset();
        if (fd >= 0 && m_server->setSocketDescriptor(fd)) {
            m_port = port;
            return true;
        }
    }
    m_held.reset();
    if (!m_server->listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

void TcpPeer::stopListening()
{
    m_server->close();
    // Held, so that no other program's listener takes it in the meantime.
    m_held = std::make_unique<RefusingTcpPort>(m_port);
}

bool TcpPeer::waitForClient(int timeoutMs)
{
    return QTest::qWaitFor([&] { return hasClient(); }, timeoutMs);
}

bool TcpPeer::hasClient() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

void TcpPeer::dropClient()
{
    if (m_client) {
        m_client->abort();
        m_client->deleteLater();
        m_client = nullptr;
    }
}

void TcpPeer::writeOut(const QByteArray &bytes)
{
    if (m_client)
        m_client->write(bytes);
}

void registerLinkTypes()
{
    registerDataPackTypes();
    registerTcpLinkPackType();
}

void addReplyDisciplineColumns()
{
    QTest::addColumn<QList<ScriptedPeer::Piece>>("first");
    QTest::addColumn<int>("firstStatus");
    QTest::addColumn<QString>("firstText");
    QTest::addColumn<QString>("secondText");
}

void addReplyDisciplineRows()
{
    using Pieces = QList<ScriptedPeer::Piece>;
    QTest::newRow("prompt") << Pieces{{5, "12.5\n"}} << 0 << "12.5\n" << "3\n";
    // Later than the read window: no reply, and not the next query's either.
    // Well past it: the peer runs in the test's own process, so were the
    // process held up across both moments, a reply only a little late would
    // be waiting when the worker looks again, as an instrument's on time would.
    QTest::newRow("1 s late") << Pieces{{1000, "12.5\n"}} << 2 << "" << "3\n";
    QTest::newRow("in two pieces") << Pieces{{60, "12"}, {20, ".5\r\n"}} << 0 << "12.5\r\n" << "3\n";
    Pieces bytes;
    for (char c : QByteArray("12.5\n"))
        bytes << ScriptedPeer::Piece{8, QByteArray(1, c)};
    QTest::newRow("byte by byte") << bytes << 0 << "12.5\n" << "3\n";
    // A stray line behind the reply is dropped before the next write.
    QTest::newRow("extra line behind") << Pieces{{5, "12.5\n1,2,3,ON,ON,ON\n"}} << 0 << "12.5\n" << "3\n";
    // The rest of a reply that stalls past a window: both halves are dropped.
    QTest::newRow("stalled rest") << Pieces{{5, "12"}, {1000, ".5\n"}} << 2 << "" << "3\n";
    QTest::newRow("no line end") << Pieces{{5, "12.5"}} << 2 << "" << "3\n";
}
