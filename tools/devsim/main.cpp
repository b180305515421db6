#include "DevSim.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <cstdio>
#include <unistd.h>

// devsim [--port N] [--log FILE] [command ...]
// Commands (also one per line on stdin; see DevSim.cpp): add, set, silent,
// announce, connect, disconnect, send, slowread, stats, quit.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    quint16 port = 1092;
    QString logFile;
    QStringList commands;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--port") && i + 1 < args.size())
            port = quint16(args[++i].toUInt());
        else if (args[i] == QLatin1String("--log") && i + 1 < args.size())
            logFile = args[++i];
        else
            commands << args[i];
    }
    DevSim sim;
    if (!sim.start(port, logFile))
        return 1;
    for (const QString &c : commands)
        sim.command(c);

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buf, int(n));
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl)).trimmed();
            pending.remove(0, nl + 1);
            if (!line.isEmpty())
                sim.command(line);
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
