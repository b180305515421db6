// CPU use of the real program while it holds a TCP link to the simulated
// instrument (loadsim on 127.0.0.1), in two phases:
//   1. the main view, linked and identified;
//   2. the static mode page open with the input on, so that the page polls.
// The program runs offscreen with a preloaded hook (cpuhook.cpp) that plays
// the operator: LAN, 127.0.0.1 and the port typed in, the link button, then
// the page button and the input switch. Each phase is measured from
// /proc/<pid>/stat (user + system time of all threads) over --seconds and
// given as % of one core, with the share of the busiest threads. The pacing
// comes twice: as the instrument saw it, from loadsim's wire log (the least
// and the mean gap between lines received over TCP), and as the program made
// it, from the hook's clock on each write to the instrument's socket.
//
// Usage: bench_cpu [--seconds N] [--settle N] [--program PATH] [--check]
//   --seconds  length of each phase (default 30)
//   --settle   wait after each step before measuring (default 3)
//   --program  another build of the program to measure (default build/bin/Quellon)
//   --check    exit 1 when a phase uses 3 % of a core or more, or the
//              pacing was not kept
//
// The pacing is judged by the program's own writes (at least 80 ms apart by
// the hook's clock). loadsim's figures are printed beside them as seen:
// loadsim stamps a line in whole milliseconds when its event loop gets to
// it, so on a busy machine a line read late makes the next gap look short
// (a few ms below 80 with a load average near the number of cores).

#include "LoadSim.h"
#include "TestProcess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

const double kCpuLimitPct = 3.0;
const double kMinGapMs = 80.0;

struct Times
{
    QString name;
    qint64 ticks = 0; // utime + stime
};

// utime + stime of a /proc/.../stat file, in clock ticks; -1 when unreadable.
qint64 readTicks(const QString &statPath, QString *name = nullptr)
{
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    const int open = s.indexOf('(');
    const int close = s.lastIndexOf(')');
    if (open < 0 || close < open)
        return -1;
    if (name)
        *name = QString::fromUtf8(s.mid(open + 1, close - open - 1));
    const QList<QByteArray> fields = s.mid(close + 2).split(' ');
    // After the name: state (field 3) ... utime (14), stime (15).
    if (fields.size() < 13)
        return -1;
    return fields.at(11).toLongLong() + fields.at(12).toLongLong();
}

struct Sample
{
    qint64 total = -1;
    QMap<qint64, Times> threads; // by thread id
};

Sample sample(qint64 pid)
{
    Sample s;
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    s.total = readTicks(base + QStringLiteral("/stat"));
    const QStringList tids = QDir(base + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &tid : tids) {
        Times t;
        t.ticks = readTicks(base + QStringLiteral("/task/") + tid + QStringLiteral("/stat"), &t.name);
        if (t.ticks >= 0)
            s.threads.insert(tid.toLongLong(), t);
    }
    return s;
}

struct Gaps
{
    int lines = 0;
    int under = 0; // gaps under kMinGapMs
    double minMs = -1;
    double meanMs = -1;
};

// Gaps between lines loadsim received over TCP from `from` to `to`.
Gaps tcpGaps(const QList<LoadSim::Entry> &log, const QDateTime &from, const QDateTime &to)
{
    Gaps g;
    QDateTime prev, first;
    for (const LoadSim::Entry &e : log) {
        if (e.channel != QLatin1String("tcp") || !e.time.isValid() || e.time < from || e.time > to)
            continue;
        ++g.lines;
        if (prev.isValid()) {
            const double gap = double(prev.msecsTo(e.time));
            g.minMs = g.minMs < 0 ? gap : std::min(g.minMs, gap);
            g.under += gap < kMinGapMs;
        } else {
            first = e.time;
        }
        prev = e.time;
    }
    if (g.lines > 1)
        g.meanMs = double(first.msecsTo(prev)) / (g.lines - 1);
    return g;
}

// A hook report "<name> n=.. min_ms=.. mean_ms=.. under80=..".
struct Writes
{
    int count = 0;
    int under = 0;
    double minMs = -1;
    double meanMs = -1;
};

Writes parseWrites(const QString &line)
{
    Writes w;
    static const QRegularExpression re(
        QStringLiteral("n=(\\d+) min_ms=(-?[\\d.]+) mean_ms=(-?[\\d.]+) under80=(\\d+)"));
    const QRegularExpressionMatch m = re.match(line);
    if (m.hasMatch()) {
        w.count = m.captured(1).toInt();
        w.minMs = m.captured(2).toDouble();
        w.meanMs = m.captured(3).toDouble();
        w.under = m.captured(4).toInt();
    }
    return w;
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2)
                                       : QStringLiteral("?");
}

struct Phase
{
    QString title;
    double seconds = 0;
    double cpuPct = 0;
    QDateTime from, to;
    QList<QPair<QString, double>> threads; // name, % of one core, busiest first
    Gaps gaps;
    Writes writes;
    QString loadBefore, loadAfter;
};

// The program, its output (hook reports included) kept in a file.
class Program
{
public:
    bool start(const QString &program, const QString &workDir)
    {
        m_log = workDir + QStringLiteral("/program.log");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(CPU_HOOK));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
        m_proc.setProcessEnvironment(env);
        m_proc.setWorkingDirectory(workDir);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.setStandardOutputFile(m_log);
        m_proc.start(program, QStringList());
        return m_proc.waitForStarted(5000);
    }
    ~Program()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(3000);
        }
    }
    qint64 pid() const { return m_proc.processId(); }
    bool running() const { return m_proc.state() == QProcess::Running; }
    void command(const QByteArray &line)
    {
        m_proc.write(line + '\n');
        m_proc.waitForBytesWritten(1000);
    }
    QString output() const
    {
        QFile f(m_log);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QStringList hookLines() const
    {
        QStringList lines;
        const QStringList all = output().split(QLatin1Char('\n'));
        for (const QString &l : all)
            if (l.startsWith(QLatin1String("CPUHOOK ")))
                lines << l.mid(8);
        return lines;
    }
    // Waits for a hook report starting with `what`; false on an error report,
    // on the program's end or after the timeout.
    bool waitFor(const QString &what, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            for (const QString &l : hookLines()) {
                if (l.startsWith(what))
                    return true;
                if (l.startsWith(QLatin1String("error")))
                    return false;
            }
            if (!running())
                return false;
            QTest::qWait(50);
        }
        return false;
    }
    // Sends a hook command and returns the next report starting with `what`.
    QString request(const QByteArray &cmd, const QString &what, int timeoutMs = 5000)
    {
        const auto matching = [&] {
            QStringList found;
            for (const QString &l : hookLines())
                if (l.startsWith(what))
                    found << l;
            return found;
        };
        const int before = matching().size();
        command(cmd);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs && running()) {
            const QStringList found = matching();
            if (found.size() > before)
                return found.at(before);
            QTest::qWait(20);
        }
        return QString();
    }
    bool quit(int timeoutMs, int *exitCode)
    {
        command("quit");
        if (!m_proc.waitForFinished(timeoutMs))
            return false;
        *exitCode = m_proc.exitStatus() == QProcess::NormalExit ? m_proc.exitCode() : -1;
        return true;
    }

private:
    QProcess m_proc;
    QString m_log;
};

// Thread names from the hook's reports: 1 serial worker, 2 TCP worker.
QMap<qint64, QString> workerNames(const QStringList &hookLines, qint64 pid)
{
    QMap<qint64, QString> names;
    names.insert(pid, QStringLiteral("main (GUI)"));
    static const QRegularExpression re(QStringLiteral("^thread (\\d+) tid=(\\d+)$"));
    for (const QString &l : hookLines) {
        const QRegularExpressionMatch m = re.match(l);
        if (!m.hasMatch())
            continue;
        const int n = m.captured(1).toInt();
        names.insert(m.captured(2).toLongLong(), n == 1 ? QStringLiteral("serial worker")
                                                 : n == 2 ? QStringLiteral("TCP worker")
                                                          : QStringLiteral("worker %1").arg(n));
    }
    return names;
}

bool measure(Program &prog, Phase &phase, int seconds)
{
    const qint64 pid = prog.pid();
    const double tick = double(sysconf(_SC_CLK_TCK));
    prog.request("writes", QStringLiteral("writes ")); // starts the count
    phase.loadBefore = loadAverage();
    const Sample a = sample(pid);
    phase.from = QDateTime::currentDateTime();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < seconds * 1000LL) {
        QTest::qWait(200);
        if (!prog.running())
            return false;
    }
    const Sample b = sample(pid);
    phase.seconds = wall.nsecsElapsed() / 1e9;
    phase.to = QDateTime::currentDateTime();
    phase.loadAfter = loadAverage();
    phase.writes = parseWrites(prog.request("writes", QStringLiteral("writes ")));
    if (a.total < 0 || b.total < 0)
        return false;
    phase.cpuPct = 100.0 * double(b.total - a.total) / tick / phase.seconds;

    const QMap<qint64, QString> names = workerNames(prog.hookLines(), pid);
    for (auto it = b.threads.constBegin(); it != b.threads.constEnd(); ++it) {
        const qint64 before = a.threads.value(it.key()).ticks; // 0 for a thread started meanwhile
        const double pct = 100.0 * double(it.value().ticks - before) / tick / phase.seconds;
        const QString name = names.value(it.key(), it.value().name);
        phase.threads << qMakePair(QStringLiteral("%1 [%2]").arg(name).arg(it.key()), pct);
    }
    std::sort(phase.threads.begin(), phase.threads.end(),
              [](const QPair<QString, double> &x, const QPair<QString, double> &y) { return x.second > y.second; });
    return true;
}

int fail(const QString &what, const Program *prog)
{
    std::fprintf(stderr, "bench_cpu: %s\n", qPrintable(what));
    if (prog) {
        std::fprintf(stderr, "-- hook reports:\n");
        for (const QString &l : prog->hookLines())
            std::fprintf(stderr, "   %s\n", qPrintable(l));
    }
    return 1;
}

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietDebug);
    QCoreApplication app(argc, argv);
    int seconds = 30, settle = 3;
    bool check = false;
    QString program = binPath(QStringLiteral("Quellon"));
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        bool ok = true;
        if (a == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args.at(++i).toInt(&ok);
        else if (a == QLatin1String("--settle") && i + 1 < args.size())
            settle = args.at(++i).toInt(&ok);
        else if (a == QLatin1String("--program") && i + 1 < args.size())
            program = QFileInfo(args.at(++i)).absoluteFilePath();
        else if (a == QLatin1String("--check"))
            check = true;
        else
            ok = false;
        if (!ok || seconds < 1 || settle < 0) {
            std::fprintf(stderr, "usage: bench_cpu [--seconds N] [--settle N] [--program PATH] [--check]\n");
            return 2;
        }
    }

    const QDateTime started = QDateTime::currentDateTime();
    LoadSim sim;
    if (!sim.start() || sim.port() == 0)
        return fail(QStringLiteral("cannot start loadsim"), nullptr);

    QTemporaryDir work;
    Program prog;
    if (!work.isValid() || !prog.start(program, work.path()))
        return fail(QStringLiteral("cannot start the program"), nullptr);
    if (!prog.waitFor(QStringLiteral("ready"), 15000))
        return fail(QStringLiteral("the program's window did not come up"), &prog);

    const QDateTime pressed = QDateTime::currentDateTime();
    prog.command("link 127.0.0.1 " + QByteArray::number(sim.port()));
    if (!prog.waitFor(QStringLiteral("identified"), 30000))
        return fail(QStringLiteral("no link to the instrument"), &prog);
    QTest::qWait(settle * 1000);

    Phase mainView;
    mainView.title = QStringLiteral("main view, linked");
    if (!measure(prog, mainView, seconds))
        return fail(QStringLiteral("the program ended while measuring"), &prog);
    if (!prog.request("status", QStringLiteral("status ")).contains(QLatin1String("lamp=ON ")))
        return fail(QStringLiteral("the link did not hold through the main view phase"), &prog);

    prog.command("page");
    if (!prog.waitFor(QStringLiteral("input on"), 60000))
        return fail(QStringLiteral("the static mode page did not switch the input on"), &prog);
    QTest::qWait(settle * 1000);

    Phase page;
    page.title = QStringLiteral("static page, input on");
    if (!measure(prog, page, seconds))
        return fail(QStringLiteral("the program ended while measuring"), &prog);
    if (prog.request("status", QStringLiteral("status ")) != QLatin1String("status lamp=ON input=ON"))
        return fail(QStringLiteral("link or input did not hold through the static page phase"), &prog);

    const QDateTime linkEnd = QDateTime::currentDateTime(); // the link's own traffic, before the quit
    const Writes linkWrites = parseWrites(prog.request("writes", QStringLiteral("link ")));
    const QStringList hook = prog.hookLines();
    int exitCode = -1;
    const bool ended = prog.quit(10000, &exitCode);

    const QList<LoadSim::Entry> log = sim.log();
    mainView.gaps = tcpGaps(log, mainView.from, mainView.to);
    page.gaps = tcpGaps(log, page.from, page.to);
    const Gaps whole = tcpGaps(log, pressed, linkEnd);

    QString model;
    QStringList dialogs;
    for (const QString &l : hook) {
        if (l.startsWith(QLatin1String("identified ")))
            model = l.mid(11);
        if (l.startsWith(QLatin1String("dialog ")))
            dialogs << l.mid(7);
    }

    std::printf("CPU while linked: %s offscreen, TCP to loadsim on 127.0.0.1:%u (model %s)\n",
                qPrintable(program), unsigned(sim.port()), qPrintable(model));
    std::printf("run started %s, %d s per phase after %d s settling\n\n",
                qPrintable(started.toString(Qt::ISODate)), seconds, settle);
    std::printf("%-24s %14s %8s  %s\n", "phase", "%_of_one_core", "wall_s", "load average before / after");
    for (const Phase *p : {&mainView, &page})
        std::printf("%-24s %14.2f %8.1f  %s / %s\n", qPrintable(p->title), p->cpuPct, p->seconds,
                    qPrintable(p->loadBefore), qPrintable(p->loadAfter));

    std::printf("\npacing on TCP         | seen by loadsim (wire log, ms stamps)     | made by the program (hook clock)\n");
    std::printf("%-21s | %6s %8s %9s %9s | %6s %8s %9s %9s\n", "", "lines", "min_ms", "mean_ms", "gaps<80",
                "writes", "min_ms", "mean_ms", "gaps<80");
    const auto pacingRow = [](const char *title, const Gaps &g, const Writes &w) {
        std::printf("%-21s | %6d %8.0f %9.1f %9d | %6d %8.2f %9.1f %9d\n", title, g.lines, g.minMs, g.meanMs,
                    g.under, w.count, w.minMs, w.meanMs, w.under);
    };
    pacingRow("main view, linked", mainView.gaps, mainView.writes);
    pacingRow("static page, input on", page.gaps, page.writes);
    pacingRow("whole link", whole, linkWrites);
    for (const Phase *p : {&mainView, &page}) {
        std::printf("\nthreads, %s (%% of one core):\n", qPrintable(p->title));
        for (int i = 0; i < p->threads.size() && i < 5; ++i)
            std::printf("  %6.2f  %s\n", p->threads.at(i).second, qPrintable(p->threads.at(i).first));
    }
    std::printf("\ngoal: under %.0f %% of one core in each phase; at least %.0f ms between TCP writes"
                " (by the program's clock)\n", kCpuLimitPct, kMinGapMs);
    const bool cpuOk = mainView.cpuPct < kCpuLimitPct && page.cpuPct < kCpuLimitPct;
    const bool gapOk = linkWrites.count > 0 && (linkWrites.minMs < 0 || linkWrites.minMs >= kMinGapMs);
    std::printf("cpu: %s; pacing: %s\n", cpuOk ? "met" : "NOT met", gapOk ? "met" : "NOT met");
    if (!dialogs.isEmpty())
        std::printf("message boxes shown (answered by the hook): %s\n", qPrintable(dialogs.join(QStringLiteral(" | "))));
    std::printf("program %s\n", ended ? qPrintable(QStringLiteral("quit with exit code %1").arg(exitCode))
                                      : "did not quit in 10 s (killed)");
    std::fflush(stdout);

    if (!dialogs.isEmpty() || !ended || exitCode != 0)
        return 1;
    if (check && (!cpuOk || !gapOk))
        return 1;
    return 0;
}
