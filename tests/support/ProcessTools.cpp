#include "ProcessTools.h"

#include "CrashHandler.h"

#include <QByteArray>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

QString ForkedRun::describe() const
{
    return exited ? QStringLiteral("exit %1").arg(exitCode) : QStringLiteral("killed by signal %1").arg(signal);
}

namespace {
void writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}
} // namespace

ForkedRun runForked(const std::function<QStringList()> &body, int giveUpMs)
{
    ForkedRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return run;
    }
    if (pid == 0) {
        ::close(fds[0]);
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << body();
        }
        writeAll(fds[1], bytes);
        ::close(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray got;
    const QDeadlineTimer deadline(giveUpMs);
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int r = ::poll(&p, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) { // given up: the child is stuck
            ::kill(pid, SIGKILL);
            break;
        }
        char buf[4096];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got.append(buf, int(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    QDataStream in(got);
    in >> run.output;
    return run;
}

bool mountSmallTmpfs(const QString &dir, qint64 bytes, QString *why)
{
    if (::geteuid() != 0) {
        *why = QStringLiteral("a mount of its own needs root");
        return false;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        *why = QStringLiteral("unshare(CLONE_NEWNS): ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        *why = QStringLiteral("making mounts private: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData())
        != 0) {
        *why = QStringLiteral("mounting a tmpfs: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

bool refuseTruncation(int err, QString *why)
{
#if defined(__x86_64__)
    const unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    const unsigned arch = AUDIT_ARCH_AARCH64;
#else
    const unsigned arch = 0;
#endif
    if (arch == 0) {
        *why = QStringLiteral("no seccomp filter for this architecture");
        return false;
    }
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ftruncate, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (unsigned(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog prog{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
        || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog, 0, 0) != 0) {
        *why = QStringLiteral("seccomp: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    ignoreFileSizeSignal();
    if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    rlimit limit = m_old;
    limit.rlim_cur = rlim_t(bytes);
    m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_ok)
        ::setrlimit(RLIMIT_FSIZE, &m_old);
}
