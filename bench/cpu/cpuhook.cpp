// Preloaded into the real program by bench_cpu: plays the operator through
// the window's own widgets (found by their object names), on commands read
// from standard input one line at a time, and reports on standard error with
// lines starting "CPUHOOK". The program itself carries no test hook.
//
// Commands:
//   link <host> <port>  choose LAN, type the address and the port, press the
//                       link button; reports "identified <model>" once the
//                       link lamp is on and the instrument has named itself
//   page                open the static mode page, wait until it has read the
//                       instrument's settings back, switch the input on;
//                       reports "input on"
//   writes              reports the program's writes to the instrument since
//                       the last "writes": "writes n=<count> min_ms=<least gap>
//                       mean_ms=<mean gap> under80=<gaps under 80 ms>", then
//                       the same for the whole link ("link n=..."), and starts
//                       the next count
//   status              reports "status lamp=<link lamp> input=<input state>"
//                       (the input state is "-" without the page)
//   quit                close the windows (the program ends)
//
// The writes are timed where the program makes them: connect() to the
// instrument's port marks the socket, and every write(), send() or sendmsg()
// on it is stamped with the monotonic clock.
//
// While the program is only being measured the hook does nothing: no timer of
// its own runs, and standard input is watched by a socket notifier.

#include "DataPack.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

void say(const QString &line)
{
    std::fprintf(stderr, "CPUHOOK %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

QWidget *findWindow()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *w : widgets)
        if (w->inherits("Quellon"))
            return w;
    return nullptr;
}

// Writes to the instrument.
std::atomic<int> g_peerPort{-1};
std::atomic<int> g_socket{-1};

struct WriteGaps
{
    long count = 0;
    long under = 0;
    double minMs = -1;
    double sumMs = 0;
    qint64 lastNs = -1;
    void add(qint64 ns)
    {
        ++count;
        if (lastNs >= 0) {
            const double gap = double(ns - lastNs) / 1e6;
            minMs = minMs < 0 ? gap : std::min(minMs, gap);
            sumMs += gap;
            under += gap < 80.0;
        }
        lastNs = ns;
    }
    QString text(const char *name) const
    {
        return QStringLiteral("%1 n=%2 min_ms=%3 mean_ms=%4 under80=%5")
            .arg(QLatin1String(name))
            .arg(count)
            .arg(minMs, 0, 'f', 2)
            .arg(count > 1 ? sumMs / double(count - 1) : -1.0, 0, 'f', 2)
            .arg(under);
    }
};
std::mutex g_writesLock;
WriteGaps g_phaseWrites;
WriteGaps g_linkWrites;

void noteWrite(int fd, long result)
{
    if (result <= 0 || fd < 0 || fd != g_socket.load(std::memory_order_relaxed))
        return;
    const int savedErrno = errno;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const qint64 ns = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    std::lock_guard<std::mutex> lock(g_writesLock);
    g_phaseWrites.add(ns);
    g_linkWrites.add(ns);
    errno = savedErrno;
}

QStringList takeWrites()
{
    std::lock_guard<std::mutex> lock(g_writesLock);
    const QStringList lines = {g_phaseWrites.text("writes"), g_linkWrites.text("link")};
    g_phaseWrites = WriteGaps();
    return lines;
}

void reportWrites()
{
    for (const QString &l : takeWrites())
        say(l);
}

template <class T>
T *child(QWidget *w, const char *name)
{
    T *c = w ? w->findChild<T *>(QLatin1String(name)) : nullptr;
    if (!c)
        say(QStringLiteral("error no widget %1").arg(QLatin1String(name)));
    return c;
}

} // namespace

class CpuHook : public QObject
{
    Q_OBJECT
public:
    CpuHook()
        : m_stdin(STDIN_FILENO, QSocketNotifier::Read, this)
    {
        connect(&m_stdin, &QSocketNotifier::activated, this, &CpuHook::readCommands);
        qApp->installEventFilter(this);
        QTimer::singleShot(0, this, [] {
            if (findWindow())
                say(QStringLiteral("ready"));
            else
                say(QStringLiteral("error no window"));
        });
    }

public slots:
    // The window hands the page's replies over here after the page (connected
    // first) has taken them: the last read-back reply ends its synchronisation.
    void modeData(DataPack p)
    {
        if (m_waitingForSync && p.key == QLatin1String("LOAD:CURR:RANG:L")) {
            m_waitingForSync = false;
            say(QStringLiteral("synchronised"));
            QTimer::singleShot(0, this, [this] { switchInputOn(10); });
        }
    }

protected:
    // Any message box is answered at once and reported: a run that shows one
    // did not go as planned.
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && o->isWidgetType() && o->inherits("QMessageBox")) {
            auto *box = static_cast<QMessageBox *>(o);
            say(QStringLiteral("dialog ") + box->text().simplified());
            QMetaObject::invokeMethod(box, "done", Qt::QueuedConnection, Q_ARG(int, QMessageBox::Ok));
        }
        return false;
    }

private:
    void readCommands()
    {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            // The bench has gone: leave as well.
            m_stdin.setEnabled(false);
            QApplication::closeAllWindows();
            return;
        }
        m_pending.append(buf, int(n));
        if (m_pending.size() > 4096)
            m_pending.clear();
        int nl;
        while ((nl = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(nl)).trimmed();
            m_pending.remove(0, nl + 1);
            run(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
        }
    }

    void run(const QStringList &cmd)
    {
        if (cmd.isEmpty())
            return;
        if (cmd.at(0) == QLatin1String("link") && cmd.size() == 3)
            link(cmd.at(1), cmd.at(2));
        else if (cmd.at(0) == QLatin1String("page"))
            openPage();
        else if (cmd.at(0) == QLatin1String("writes"))
            reportWrites();
        else if (cmd.at(0) == QLatin1String("status"))
            reportStatus();
        else if (cmd.at(0) == QLatin1String("quit"))
            QApplication::closeAllWindows();
        else
            say(QStringLiteral("error unknown command ") + cmd.join(QLatin1Char(' ')));
    }

    static bool type(QLineEdit *field, const QString &text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        return field->text() == text;
    }

    void link(const QString &host, const QString &port)
    {
        QWidget *w = findWindow();
        auto *iface = child<QComboBox>(w, "comboBoxInterface");
        auto *ip = child<QLineEdit>(w, "lineEditIP");
        auto *prt = child<QLineEdit>(w, "lineEditProt");
        auto *button = child<QAbstractButton>(w, "connectServer");
        if (!iface || !ip || !prt || !button)
            return;
        const int lan = iface->findText(QStringLiteral("LAN"));
        if (lan < 0) {
            say(QStringLiteral("error no LAN interface"));
            return;
        }
        g_peerPort = port.toInt();
        iface->setCurrentIndex(lan);
        if (!type(ip, host) || !type(prt, port)) {
            say(QStringLiteral("error typed fields read %1 / %2").arg(ip->text(), prt->text()));
            return;
        }
        button->click();
        say(QStringLiteral("link pressed"));
        watch([w] {
            auto *lamp = w->findChild<QLabel *>(QStringLiteral("labelLinkStatus"));
            auto *model = w->findChild<QLabel *>(QStringLiteral("labelMaster"));
            if (!lamp || !model || lamp->text() != QLatin1String("ON") || model->text().isEmpty()
                || model->text() == QLatin1String("NO TARGET"))
                return false;
            say(QStringLiteral("identified ") + model->text());
            return true;
        });
    }

    static void reportStatus()
    {
        QWidget *w = findWindow();
        auto *lamp = w ? w->findChild<QLabel *>(QStringLiteral("labelLinkStatus")) : nullptr;
        auto *input = w ? w->findChild<QLabel *>(QStringLiteral("label_Sw_State")) : nullptr;
        say(QStringLiteral("status lamp=%1 input=%2")
                .arg(lamp ? lamp->text() : QStringLiteral("-"), input ? input->text() : QStringLiteral("-")));
    }

    void openPage()
    {
        QWidget *w = findWindow();
        auto *button = child<QAbstractButton>(w, "pushButtonEnterCCCV");
        if (!button)
            return;
        m_waitingForSync = true;
        connect(w, SIGNAL(sendModeDataFun(DataPack)), this, SLOT(modeData(DataPack)), Qt::UniqueConnection);
        button->click();
        if (!w->findChild<QWidget *>(QStringLiteral("CCCVPage"))) {
            say(QStringLiteral("error no static mode page"));
            return;
        }
        say(QStringLiteral("page open"));
    }

    // Presses the input switch until the page shows the input on.
    void switchInputOn(int triesLeft)
    {
        QWidget *w = findWindow();
        auto *sw = child<QAbstractButton>(w, "pushButtonOutSW");
        auto *state = child<QLabel>(w, "label_Sw_State");
        if (!sw || !state)
            return;
        if (state->text() != QLatin1String("ON"))
            sw->click();
        if (state->text() == QLatin1String("ON")) {
            say(QStringLiteral("input on"));
            return;
        }
        if (triesLeft <= 1) {
            say(QStringLiteral("error the input stays ") + state->text());
            return;
        }
        QTimer::singleShot(1000, this, [this, triesLeft] { switchInputOn(triesLeft - 1); });
    }

    // Checks `done` every 100 ms until it holds (at most 30 s); the timer
    // goes once it does, so nothing of the hook runs while measuring.
    template <class F>
    void watch(F done)
    {
        auto *t = new QTimer(this);
        auto *left = new int(300);
        connect(t, &QTimer::timeout, this, [t, left, done] {
            if (done() || --*left <= 0) {
                if (*left <= 0)
                    say(QStringLiteral("error timed out"));
                t->stop();
                t->deleteLater();
                delete left;
            }
        });
        t->start(100);
    }

    QSocketNotifier m_stdin;
    QByteArray m_pending;
    bool m_waitingForSync = false;
};

namespace {
std::atomic<int> g_threads{0};

void start()
{
    new CpuHook; // lives as long as the program
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(start)

// Names the program's own worker threads (plain QThreads; Qt's helpers are
// subclasses) by the kernel thread id they run as, in the order they start:
// the entry starts the serial worker's thread first, then the TCP worker's.
void QThread::start(Priority priority)
{
    using Start = void (*)(QThread *, Priority);
    static const Start real = reinterpret_cast<Start>(dlsym(RTLD_NEXT, "_ZN7QThread5startENS_8PriorityE"));
    if (metaObject() == &QThread::staticMetaObject) {
        const int n = ++g_threads;
        QObject::connect(this, &QThread::started, [n] {
            say(QStringLiteral("thread %1 tid=%2").arg(n).arg(long(syscall(SYS_gettid))));
        });
    }
    real(this, priority);
}

// The socket to the instrument and what is written on it.
extern "C" {

int connect(int fd, const struct sockaddr *addr, socklen_t len)
{
    using Fn = int (*)(int, const struct sockaddr *, socklen_t);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "connect"));
    if (addr && len >= socklen_t(sizeof(sockaddr_in)) && addr->sa_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(addr);
        if (ntohl(in->sin_addr.s_addr) == INADDR_LOOPBACK && int(ntohs(in->sin_port)) == g_peerPort.load())
            g_socket = fd;
    }
    return real(fd, addr, len);
}

int close(int fd)
{
    using Fn = int (*)(int);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "close"));
    int expected = fd;
    g_socket.compare_exchange_strong(expected, -1);
    return real(fd);
}

ssize_t write(int fd, const void *buf, size_t n)
{
    using Fn = ssize_t (*)(int, const void *, size_t);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "write"));
    const ssize_t r = real(fd, buf, n);
    noteWrite(fd, long(r));
    return r;
}

ssize_t send(int fd, const void *buf, size_t n, int flags)
{
    using Fn = ssize_t (*)(int, const void *, size_t, int);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "send"));
    const ssize_t r = real(fd, buf, n, flags);
    noteWrite(fd, long(r));
    return r;
}

ssize_t sendmsg(int fd, const struct msghdr *msg, int flags)
{
    using Fn = ssize_t (*)(int, const struct msghdr *, int);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "sendmsg"));
    const ssize_t r = real(fd, msg, flags);
    noteWrite(fd, long(r));
    return r;
}

} // extern "C"

#include "cpuhook.moc"
