#include "TestProcess.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QString binPath(const QString &name)
{
    return QStringLiteral(QUELLON_BIN_DIR) + QLatin1Char('/') + name;
}

PtyPair::PtyPair() = default;

PtyPair::~PtyPair()
{
    stop();
}

bool PtyPair::start(int timeoutMs)
{
    m_a = m_dir.path() + QStringLiteral("/ptyA");
    m_b = m_dir.path() + QStringLiteral("/ptyB");
    m_socat.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_socat.start(QStringLiteral("socat"),
                  {QStringLiteral("pty,raw,echo=0,link=%1").arg(m_a),
                   QStringLiteral("pty,raw,echo=0,link=%1").arg(m_b)});
    if (!m_socat.waitForStarted(timeoutMs))
        return false;
    return QTest::qWaitFor([&] { return QFileInfo::exists(m_a) && QFileInfo::exists(m_b); }, timeoutMs);
}

void PtyPair::stop()
{
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(2000)) {
            m_socat.kill();
            m_socat.waitForFinished(2000);
        }
    }
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const QString &program, const QStringList &args, int startedTimeoutMs)
{
    m_proc.setProcessChannelMode(QProcess::MergedChannels);
    m_proc.start(program, args);
    return m_proc.waitForStarted(startedTimeoutMs);
}

QString ChildProcess::output()
{
    m_out += m_proc.readAll();
    return QString::fromUtf8(m_out);
}

bool ChildProcess::waitForOutput(const QString &text, int timeoutMs)
{
    return QTest::qWaitFor([&] {
        m_proc.waitForReadyRead(10);
        return output().contains(text);
    }, timeoutMs);
}

void ChildProcess::stop()
{
    if (m_proc.state() != QProcess::NotRunning) {
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000)) {
            m_proc.kill();
            m_proc.waitForFinished(3000);
        }
    }
}

quint16 freeTcpPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    return s.serverPort();
}

quint16 freeUdpPort()
{
    QUdpSocket s;
    if (!s.bind(QHostAddress(QHostAddress::AnyIPv4), 0))
        return 0;
    return s.localPort();
}

RefusingTcpPort::RefusingTcpPort(quint16 port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    // A connection of the port's last owner may still be in TIME_WAIT.
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    socklen_t len = sizeof a;
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_port = ntohs(a.sin_port);
}

RefusingTcpPort::~RefusingTcpPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int RefusingTcpPort::takeListening()
{
    const int fd = m_fd;
    m_fd = -1;
    m_port = 0;
    if (fd >= 0 && ::listen(fd, 16) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}
