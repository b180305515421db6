#include "CrashHandler.h"

#include "Dialogs.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

const int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Local time offset, taken when the handler is installed: localtime_r is not
// safe inside a signal handler.
std::atomic<long> g_utcOffsetSeconds{0};
std::atomic<bool> g_inHandler{false};

// Small append-only text buffer on the stack; nothing here allocates.
struct Text
{
    char buf[512];
    size_t len = 0;

    void add(const char *s)
    {
        while (*s && len < sizeof(buf) - 1)
            buf[len++] = *s++;
        buf[len] = 0;
    }
    void addHex(unsigned long long v, bool prefix = false)
    {
        char tmp[20];
        int n = 0;
        do {
            tmp[n++] = "0123456789abcdef"[v & 0xf];
            v >>= 4;
        } while (v);
        if (prefix)
            add("0x");
        while (n > 0 && len < sizeof(buf) - 1)
            buf[len++] = tmp[--n];
        buf[len] = 0;
    }
    void addDec(long long v, int width = 0)
    {
        char tmp[24];
        int n = 0;
        bool neg = v < 0;
        unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        do {
            tmp[n++] = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u);
        while (n < width)
            tmp[n++] = '0';
        if (neg)
            add("-");
        while (n > 0 && len < sizeof(buf) - 1)
            buf[len++] = tmp[--n];
        buf[len] = 0;
    }
    void writeTo(int fd) const
    {
        size_t off = 0;
        while (off < len) {
            ssize_t w = ::write(fd, buf + off, len - off);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return;
            off += static_cast<size_t>(w);
        }
    }
};

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(long long z, int &y, int &m, int &d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

void dumpFileName(Text &name)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    long long secs = static_cast<long long>(ts.tv_sec) + g_utcOffsetSeconds.load();
    long long days = secs / 86400;
    long long rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    int y, mo, d;
    civilFromDays(days, y, mo, d);
    name.addDec(y, 4); name.add("-");
    name.addDec(mo, 2); name.add("-");
    name.addDec(d, 2); name.add("-");
    name.addDec(rem / 3600, 2); name.add("-");
    name.addDec((rem / 60) % 60, 2); name.add("-");
    name.addDec(rem % 60, 2); name.add("-");
    name.addDec(ts.tv_nsec / 1000000, 3);
    name.add(".dmp");
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    }
    return "signal";
}

unsigned long long instructionAddress(void *context)
{
    if (!context)
        return 0;
    auto *uc = static_cast<ucontext_t *>(context);
#if defined(__x86_64__)
    return static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<unsigned long long>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void writeRegisters(int fd, void *context)
{
    if (!context)
        return;
    auto *uc = static_cast<ucontext_t *>(context);
#if defined(__x86_64__)
    static const struct { const char *name; int index; } regs[] = {
        {"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX}, {"rdx", REG_RDX},
        {"rsi", REG_RSI}, {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP},
        {"r8", REG_R8},   {"r9", REG_R9},   {"r10", REG_R10}, {"r11", REG_R11},
        {"r12", REG_R12}, {"r13", REG_R13}, {"r14", REG_R14}, {"r15", REG_R15},
        {"rip", REG_RIP}, {"eflags", REG_EFL},
    };
    for (const auto &r : regs) {
        Text t;
        t.add("  ");
        t.add(r.name);
        t.add(" ");
        t.addHex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[r.index]), true);
        t.add("\n");
        t.writeTo(fd);
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        Text t;
        t.add("  x");
        t.addDec(i);
        t.add(" ");
        t.addHex(uc->uc_mcontext.regs[i], true);
        t.add("\n");
        t.writeTo(fd);
    }
    Text t;
    t.add("  sp ");
    t.addHex(uc->uc_mcontext.sp, true);
    t.add("\n  pc ");
    t.addHex(uc->uc_mcontext.pc, true);
    t.add("\n");
    t.writeTo(fd);
#else
    (void)uc;
    (void)fd;
#endif
}

void writeDump(int fd, int sig, siginfo_t *info, void *context, unsigned int code)
{
    Text t;
    t.add("Quellon crash dump\nsignal: ");
    t.addDec(sig);
    t.add(" (");
    t.add(signalName(sig));
    t.add(")\nsignal code: ");
    t.addDec(info ? info->si_code : 0);
    t.add("\nexception code: ");
    t.addHex(code);
    t.add("\nfault address: ");
    t.addHex(info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0, true);
    t.add("\ninstruction address: ");
    t.addHex(instructionAddress(context), true);
    t.add("\nprocess id: ");
    t.addDec(getpid());
    t.add("\nthread id: ");
    t.addDec(static_cast<long long>(syscall(SYS_gettid)));
    t.add("\nregisters:\n");
    t.writeTo(fd);
    writeRegisters(fd, context);

    Text b;
    b.add("backtrace:\n");
    b.writeTo(fd);
    void *frames[64];
    const int n = backtrace(frames, 64);
    backtrace_symbols_fd(frames, n, fd);
}

} // namespace

unsigned int crashExceptionCode(int sig, int code)
{
    switch (sig) {
    case SIGSEGV:
    case SIGBUS:
        return 0xc0000005u; // access violation
    case SIGILL:
        return 0xc000001du; // illegal instruction
    case SIGABRT:
        return 0xc0000409u; // fail-fast / abort
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return 0xc0000094u;
        case FPE_INTOVF: return 0xc0000095u;
        case FPE_FLTDIV: return 0xc000008eu;
        case FPE_FLTOVF: return 0xc0000091u;
        case FPE_FLTUND: return 0xc0000093u;
        case FPE_FLTRES: return 0xc000008fu;
        case FPE_FLTINV: return 0xc0000090u;
        default: return 0xc0000090u;
        }
    }
    return 0xc0000005u;
}

void crashDumpFilter(int sig, siginfo_t *info, void *context)
{
    // A second fatal signal while we are at it: die at once.
    if (g_inHandler.exchange(true)) {
        signal(sig, SIG_DFL);
        raise(sig);
        _exit(128 + sig);
    }
    // Whatever happens below (a corrupted heap may hang the queued call),
    // the process ends within a few seconds.
    alarm(5);

    const unsigned int code = crashExceptionCode(sig, info ? info->si_code : 0);

    Text name;
    dumpFileName(name);
    const int fd = ::open(name.buf, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeDump(fd, sig, info, context, code);
        ::close(fd);
    }

    unsigned long long where = instructionAddress(context);
    if (!where && info)
        where = reinterpret_cast<unsigned long long>(info->si_addr);
    Text log;
    log.add("Crash Addr: \"");
    log.addHex(where);
    log.add("\" Code: \"");
    log.addHex(code);
    log.add("\"\n");
    log.writeTo(STDERR_FILENO);

    // The box is posted, not shown: the process ends before the GUI thread runs it.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &showCrashMessage, Qt::QueuedConnection);

    // Let the signal take its default course (core and exit status of the signal).
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof(dfl));
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void prepareCrashHandlerThread()
{
    static thread_local bool prepared = false;
    if (prepared)
        return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_sp) {
        prepared = true;
        return;
    }
    // Never freed: it must stay valid for the life of the thread.
    const size_t size = 64 * 1024;
    void *mem = ::operator new(size, std::nothrow);
    if (!mem)
        return;
    stack_t ss{};
    ss.ss_sp = mem;
    ss.ss_size = size;
    ss.ss_flags = 0;
    if (sigaltstack(&ss, nullptr) == 0)
        prepared = true;
}

void installCrashHandler()
{
    // Loads the unwinder now, so backtrace() inside the handler does not allocate.
    static bool warmed = false;
    if (!warmed) {
        void *frames[4];
        backtrace(frames, 4);
        warmed = true;
    }
    time_t now = time(nullptr);
    struct tm local{};
    if (localtime_r(&now, &local))
        g_utcOffsetSeconds.store(local.tm_gmtoff);

    prepareCrashHandlerThread();

    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_sigaction = &crashDumpFilter;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int s : kFatalSignals)
        sigaction(s, &sa, nullptr);
}

void ignoreFileSizeSignal()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_handler = SIG_IGN;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGXFSZ, &sa, nullptr);
}

void showCrashMessage()
{
    Dialogs::critical(nullptr, QStringLiteral("程式崩溃"), QStringLiteral("致命错误，即将退出..."),
                      QMessageBox::Ok);
}
