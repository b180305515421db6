// Preloaded into the real program by tst_entry: drives the running program
// from inside through the window's own signals and closes its windows, and
// counts the threads the program starts and sees finish. The program itself
// carries no test hook.
//
// Environment: ENTRY_HOOK_SERIAL (pty to open), ENTRY_HOOK_TCP_PORT (server on
// 127.0.0.1), ENTRY_HOOK_BUSY (queue queries that keep the serial tick busy),
// ENTRY_HOOK_QUIT_FILE (close the windows as soon as this file exists; else
// they are closed after 2.5 s).

#include "DataPack.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"

#include <QApplication>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdio>
#include <dlfcn.h>

namespace {
std::atomic<int> g_started{0};
std::atomic<int> g_finished{0};
std::atomic<QThread *> g_firstThread{nullptr}; // the serial link's worker thread
// The busy case: a timer that lives in the serial worker's thread (made there,
// as that thread starts) and the window it emits the queries on. Nothing of
// the hook's own crosses threads inside a queued call: each side publishes
// what the other reads through these atomics (release, then acquire), an
// order ThreadSanitizer sees.
std::atomic<QTimer *> g_busyTrigger{nullptr};
std::atomic<QWidget *> g_busyWindow{nullptr};

void say(const QString &line)
{
    std::fprintf(stderr, "HOOK %s\n", line.toUtf8().constData());
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

DataPack pack(const QString &key, int needReply, const QString &data, int link)
{
    DataPack p;
    p.key = key;
    p.isRequest = 1;
    p.needReply = needReply;
    p.data = data;
    p.link = link;
    return p;
}

void emitCommand(QWidget *w, const DataPack &p)
{
    QMetaObject::invokeMethod(w, "sendSriealFun", Qt::DirectConnection, Q_ARG(DataPack, p));
}

void report()
{
    say(QStringLiteral("threads started=%1 finished=%2").arg(g_started).arg(g_finished));
}

void openLinks()
{
    QWidget *w = findWindow();
    if (!w) {
        say(QStringLiteral("no window"));
        return;
    }
    say(QStringLiteral("title=") + w->windowTitle());
    say(QStringLiteral("visible=%1").arg(w->isVisible()));
    // Once linked the window identifies the instrument on its own poll timer;
    // hold that poll in the busy case, so that only the hook's queries occupy
    // the serial tick that is under way when the program quits.
    if (qEnvironmentVariableIsSet("ENTRY_HOOK_BUSY")) {
        const auto timers = w->findChildren<QTimer *>();
        for (QTimer *t : timers)
            t->stop();
    }
    if (qEnvironmentVariableIsSet("ENTRY_HOOK_SERIAL")) {
        SerialLinkPack p;
        p.key = QStringLiteral("SERIAL:link");
        p.linkOn = true;
        p.portName = qEnvironmentVariable("ENTRY_HOOK_SERIAL");
        QMetaObject::invokeMethod(w, "getSerialInfoFun", Qt::DirectConnection, Q_ARG(SerialLinkPack, p));
    }
    if (qEnvironmentVariableIsSet("ENTRY_HOOK_TCP_PORT")) {
        TcpLinkPack p;
        p.key = QStringLiteral("TCP:link");
        p.linkOn = true;
        p.hostAddress = QStringLiteral("127.0.0.1");
        p.port = qEnvironmentVariableIntValue("ENTRY_HOOK_TCP_PORT");
        QMetaObject::invokeMethod(w, "getTcpInfoFun", Qt::DirectConnection, Q_ARG(TcpLinkPack, p));
    }
}

void sendCommands()
{
    if (QWidget *w = findWindow()) {
        emitCommand(w, pack(QStringLiteral("HOOK:SERIAL"), 0, QStringLiteral("HOOK:SERIAL\n"), 0));
        emitCommand(w, pack(QStringLiteral("HOOK:TCP"), 0, QStringLiteral("HOOK:TCP\n"), 1));
    }
}

// The busy queries must land in one tick. Emitted from the GUI thread they
// reach the worker as queued calls, and on a loaded machine its tick can
// fall between two of them; emitted from the worker's own thread the
// connection is direct, so all are queued before its next tick. Twenty of
// them, each with its read window, keep the tick busy for about 4 s: time
// enough for the test to see the first and ask for the quit, however slowly
// it runs.
constexpr int kBusyQueries = 20;

void emitBusyQueries()
{
    QWidget *w = g_busyWindow.load(std::memory_order_acquire);
    if (!w)
        return;
    for (int i = 1; i <= kBusyQueries; ++i)
        emitCommand(w, pack(QStringLiteral("HOOK:BUSY:M"), 1, QStringLiteral("HOOK:BUSY%1?\n").arg(i), 0));
}

// In the serial worker's thread as it starts: the timer that runs
// emitBusyQueries there, gone with the thread.
void prepareBusyTrigger()
{
    auto *trigger = new QTimer;
    trigger->setSingleShot(true);
    trigger->setInterval(0);
    QObject::connect(trigger, &QTimer::timeout, trigger, emitBusyQueries);
    QObject::connect(QThread::currentThread(), &QThread::finished, trigger, &QObject::deleteLater,
                     Qt::DirectConnection);
    g_busyTrigger.store(trigger, std::memory_order_release);
}

void keepSerialBusy()
{
    QWidget *w = findWindow();
    QTimer *trigger = g_busyTrigger.load(std::memory_order_acquire);
    if (!w || !trigger) {
        say(QStringLiteral("no serial worker"));
        return;
    }
    g_busyWindow.store(w, std::memory_order_release);
    QMetaObject::invokeMethod(trigger, "start", Qt::QueuedConnection);
}

void start()
{
    qAddPostRoutine(report);
    QTimer::singleShot(300, qApp, openLinks);
    QTimer::singleShot(900, qApp, sendCommands);
    if (qEnvironmentVariableIsSet("ENTRY_HOOK_BUSY"))
        QTimer::singleShot(1200, qApp, keepSerialBusy);
    const auto close = [] {
        say(QStringLiteral("closing"));
        QApplication::closeAllWindows();
    };
    if (qEnvironmentVariableIsSet("ENTRY_HOOK_QUIT_FILE")) {
        auto *poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, qApp, [poll, close] {
            if (QFileInfo::exists(qEnvironmentVariable("ENTRY_HOOK_QUIT_FILE"))) {
                poll->stop();
                close();
            }
        });
        poll->start(10);
    } else {
        QTimer::singleShot(2500, qApp, close);
    }
}
}

Q_COREAPP_STARTUP_FUNCTION(start)

// Counts the plain threads the program starts (Qt's own helpers are
// subclasses) and how many of them finish. The entry starts the serial
// worker's thread first.
void QThread::start(Priority priority)
{
    using Start = void (*)(QThread *, Priority);
    static const Start real = reinterpret_cast<Start>(dlsym(RTLD_NEXT, "_ZN7QThread5startENS_8PriorityE"));
    if (metaObject() == &QThread::staticMetaObject) {
        QThread *none = nullptr;
        const bool first = g_firstThread.compare_exchange_strong(none, this);
        ++g_started;
        // Counted in the ending thread itself, as its last act (a release).
        QObject::connect(this, &QThread::finished, [] { g_finished.fetch_add(1, std::memory_order_acq_rel); });
        if (first && qEnvironmentVariableIsSet("ENTRY_HOOK_BUSY"))
            QObject::connect(this, &QThread::started, prepareBusyTrigger);
    }
    real(this, priority);
}

// The program destroys its window and workers once wait() has returned.
// Taking the count here (an acquire) lets what the ended threads did, the
// hook's queries on the window among it, happen before that.
bool QThread::wait(QDeadlineTimer deadline)
{
    using Wait = bool (*)(QThread *, QDeadlineTimer);
    static const Wait real = reinterpret_cast<Wait>(dlsym(RTLD_NEXT, "_ZN7QThread4waitE14QDeadlineTimer"));
    const bool ended = real(this, deadline);
    if (ended)
        g_finished.load(std::memory_order_acquire);
    return ended;
}
