#pragma once

// Tools for tests that change what the system grants the process (a file-size
// limit, a file system of its own, refused system calls). What cannot be
// undone runs in a forked child of the test.

#include <QString>
#include <QStringList>

#include <functional>
#include <sys/resource.h>

// How a forked child ended and the texts it handed back.
struct ForkedRun
{
    bool exited = false;    // ended by _exit, not by a signal
    int exitCode = -1;
    int signal = 0;         // the signal that ended it, 0 when it exited
    QStringList output;     // what the body returned
    QString describe() const; // "exit 0" / "killed by signal 25", for messages
};

// Runs `body` in a forked child of this process and returns what it gave
// back. The child ends with _exit: nothing of the test's objects is torn down
// twice, and the parent's objects are never changed by what the child does
// (apart from files on shared file systems). A child that does not end within
// `giveUpMs` is killed and reported so.
ForkedRun runForked(const std::function<QStringList()> &body, int giveUpMs = 120000);

// In a forked child: a private mount namespace in which a tmpfs of `bytes`
// is mounted on `dir`. False, with the reason, where that is not permitted
// (not root, no namespaces).
bool mountSmallTmpfs(const QString &dir, qint64 bytes, QString *why);

// In a forked child: from now on every ftruncate fails with `err` (a
// seccomp filter; it cannot be lifted). False where seccomp is not at hand.
bool refuseTruncation(int err, QString *why);

// A file-size limit for this process while it lives, with SIGXFSZ ignored as
// the program does at start-up, so that a write past the limit fails with
// EFBIG. The old limit comes back at the end.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    bool m_ok = false;
};
