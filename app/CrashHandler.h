#pragma once

#include <csignal>

// Process-wide handler for fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT). On a crash it writes "yyyy-MM-dd-HH-mm-ss-zzz.dmp" in the working
// directory, logs "Crash Addr:" and "Code:" on stderr, posts showCrashMessage
// to the GUI thread and lets the process die of the signal.

// Installs crashDumpFilter for the fatal signals, on an alternate stack for
// the calling thread. Safe to call again; the handler stays the one in force.
void installCrashHandler();

// Gives the calling thread its own alternate signal stack, so that a stack
// overflow on that thread is caught too. installCrashHandler calls it.
void prepareCrashHandlerThread();

// A write past the process's file-size limit (`ulimit -f`) raises SIGXFSZ,
// which by default ends the process on the spot. The program ignores it, so
// such a write fails with EFBIG instead and is reported like any other write
// error. Called first thing at start-up.
void ignoreFileSizeSignal();

// The handler itself (sigaction with SA_SIGINFO).
void crashDumpFilter(int sig, siginfo_t *info, void *context);

// Modal critical box "致命错误，即将退出..." titled "程式崩溃".
void showCrashMessage();

// Windows-style exception code for a signal and its si_code
// (c0000005 access violation, c0000094 integer divide by zero, ...).
unsigned int crashExceptionCode(int sig, int code);
