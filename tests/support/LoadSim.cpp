#include "LoadSim.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

bool LoadSim::start(const QStringList &args, int timeoutMs)
{
    m_held.reset();
    QStringList all = args;
    if (!all.contains(QStringLiteral("--log")))
        all << QStringLiteral("--log") << logPath();
    if (!all.contains(QStringLiteral("--tcp")) && !all.contains(QStringLiteral("--serial")))
        all << QStringLiteral("--tcp") << QStringLiteral("0");
    if (!m_proc.start(binPath(QStringLiteral("loadsim")), all) || !m_proc.waitForOutput(QStringLiteral("loadsim ready"), timeoutMs))
        return false;
    static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    const QRegularExpressionMatch m = listening.match(m_proc.output());
    m_port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    return true;
}

void LoadSim::stop()
{
    m_proc.stop();
    if (m_port != 0 && !m_held)
        m_held = std::make_unique<RefusingTcpPort>(m_port);
}

QString LoadSim::logPath() const
{
    return m_dir.path() + QStringLiteral("/wire.log");
}

QList<LoadSim::Entry> LoadSim::log() const
{
    QList<Entry> entries;
    QFile f(logPath());
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &l : lines) {
        const int a = l.indexOf(' ');
        const int b = a < 0 ? -1 : l.indexOf(' ', a + 1);
        if (b < 0)
            continue;
        Entry e;
        e.time = QDateTime::fromString(QString::fromLatin1(l.left(a)), Qt::ISODateWithMs);
        e.channel = QString::fromLatin1(l.mid(a + 1, b - a - 1));
        const QByteArray text = l.mid(b + 1);
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i) == '\\' && i + 3 < text.size() && text.at(i + 1) == 'x') {
                e.line += char(text.mid(i + 2, 2).toInt(nullptr, 16));
                i += 3;
            } else {
                e.line += text.at(i);
            }
        }
        entries << e;
    }
    return entries;
}

QStringList LoadSim::receivedLines(const QString &channel) const
{
    QStringList lines;
    for (const Entry &e : log())
        if (channel.isEmpty() || e.channel == channel)
            lines << QString::fromUtf8(e.line);
    return lines;
}

void LoadSim::control(const QByteArray &command)
{
    m_proc.process().write(command.endsWith('\n') ? command : command + '\n');
    m_proc.process().waitForBytesWritten(1000);
}

QString LoadSim::controlQuery(const QByteArray &query, int timeoutMs)
{
    const int from = m_proc.output().size();
    control(query);
    QString reply;
    const bool answered = QTest::qWaitFor([&] {
        m_proc.process().waitForReadyRead(10);
        const QString fresh = m_proc.output().mid(from);
        const int nl = fresh.indexOf(QLatin1Char('\n'));
        if (nl < 0)
            return false;
        reply = fresh.left(nl);
        return true;
    }, timeoutMs);
    return answered ? reply : QString();
}

bool LoadSim::waitForLines(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return log().size() >= count; }, timeoutMs);
}

bool LoadSim::controlApply(const QByteArray &command, int timeoutMs)
{
    const int from = m_proc.output().size();
    control(command);
    control("*IDN?");
    QString fresh;
    // Diagnostics start with "loadsim: "; the first other complete line is the answer.
    const bool answered = QTest::qWaitFor([&] {
        m_proc.process().waitForReadyRead(10);
        fresh = m_proc.output().mid(from);
        const QStringList lines = fresh.split(QLatin1Char('\n'));
        for (int i = 0; i + 1 < lines.size(); ++i)
            if (!lines.at(i).startsWith(QLatin1String("loadsim: ")))
                return true;
        return false;
    }, timeoutMs);
    return answered && !fresh.contains(QLatin1String("loadsim: stdin: "));
}

qint64 LoadSim::residentKb()
{
    QFile f(QStringLiteral("/proc/%1/status").arg(m_proc.process().processId()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n')) {
        if (l.startsWith("VmRSS:")) {
            bool ok = false;
            const qint64 kb = l.mid(6).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kb : -1;
        }
    }
    return -1;
}
