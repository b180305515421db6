// Relay server for a P2P path on one machine:
//   p2prelay --account user1:pw1:564B00000A01,564B00000A02 --account anonymous::564B00000C03
// Prints "ready" once it listens on UDP port 8000; runs until killed.
#include "P2pEngine.h"
#include "P2pChannel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription("Relay server of the P2P engine (UDP port 8000).");
    p.addHelpOption();
    p.addOption({"account", "An account: user:password[:deviceId,deviceId...] (repeatable).", "account"});
    p.addOption({"address", "The server's address as the peers reach it (default 127.0.0.1).", "text", "127.0.0.1"});
    p.addOption({"verbose", "Print the registries every 5 s."});
    p.process(app);

    P2pEngine engine;
    for (const QString &a : p.values("account")) {
        const QStringList parts = a.split(':');
        if (parts.size() < 2) {
            std::fprintf(stderr, "bad account: %s\n", qPrintable(a));
            return 2;
        }
        std::vector<std::string> devices;
        if (parts.size() > 2)
            for (const QString &d : parts[2].split(',', Qt::SkipEmptyParts))
                devices.push_back(d.toStdString());
        engine.addAccount(parts[0].toUtf8().constData(), parts[1].toUtf8().constData(), devices);
    }
    if (!engine.openServer(p.value("address").toUtf8().constData())) {
        std::fprintf(stderr, "cannot bind UDP port 8000\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QTimer report;
    if (p.isSet("verbose")) {
        QObject::connect(&report, &QTimer::timeout, [&engine] {
            std::printf("devices %zu clients %zu relay pairs %zu\n", engine.deviceRegistry().size(),
                        engine.clientRegistry().size(), engine.relayPairs().size());
            for (const P2pChannel *r : engine.deviceRegistry())
                std::printf("  device %s at %s:%u proved %d owner %s\n", r->id, r->sourceText, r->sourcePort,
                            r->auth, r->userName);
            std::fflush(stdout);
        });
        report.start(5000);
    }
    return app.exec();
}
