// Crashes on purpose, the way named by its argument, with the crash handler installed.
#include "CrashHandler.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {
volatile int g_zero = 0;
volatile int g_sink = 0;
volatile int *g_null = nullptr;
volatile bool g_stopRecursion = false; // never set: the recursion runs until the stack overflows

// The faults below are made on purpose for the crash handler to catch: the
// undefined-behaviour checks of a sanitizer build must let them happen.
__attribute__((noinline, no_sanitize("undefined"))) int divide(volatile int a, volatile int b)
{
    return a / b;
}

__attribute__((noinline)) int recurse(int n)
{
    if (g_stopRecursion)
        return n;
    volatile char pad[1024];
    pad[0] = static_cast<char>(n);
    return recurse(n + 1) + pad[0];
}

__attribute__((no_sanitize("undefined"))) void crash(const char *how)
{
    if (!std::strcmp(how, "segv"))
        *g_null = 1;
    else if (!std::strcmp(how, "fpe"))
        g_sink = divide(1, g_zero);
    else if (!std::strcmp(how, "abort"))
        std::abort();
    else if (!std::strcmp(how, "ill"))
        __builtin_trap();
    else if (!std::strcmp(how, "overflow"))
        std::printf("%d\n", recurse(0));
    else if (!std::strcmp(how, "bus"))
        raise(SIGBUS);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    installCrashHandler();
    if (argc < 2)
        return 2;
    const bool inThread = argc > 2 && !std::strcmp(argv[2], "thread");
    // "gone": the working directory disappears before the crash, so no dump
    // file can be created there.
    if (argc > 3 && !std::strcmp(argv[3], "gone")) {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            rmdir(cwd);
    }
    if (inThread) {
        QThread *t = QThread::create([how = argv[1]] {
            prepareCrashHandlerThread();
            crash(how);
        });
        t->start();
        t->wait();
    } else {
        crash(argv[1]);
    }
    return 0;
}
