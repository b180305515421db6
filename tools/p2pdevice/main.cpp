// Device endpoint for a P2P path on one machine:
//   p2pdevice --server 127.0.0.1 --id 564B00000A01
// Prints "ready" once it has logged in and proved itself, then one line per
// change of its first channel's state; runs until killed.
#include "P2pChannel.h"
#include "P2pEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription("Device endpoint of the P2P engine.");
    p.addHelpOption();
    p.addOption({"server", "Relay server host name or address.", "host", "127.0.0.1"});
    p.addOption({"id", "Own device ID text (12 hex digits).", "id", "564B00000A01"});
    p.addOption({"lan", "LAN address text to announce (default: the host name's first address).", "text"});
    p.process(app);

    P2pEngine engine;
    if (p.isSet("lan"))
        engine.setLanAddressForTest(p.value("lan").toUtf8().constData());
    if (!engine.openDevice(p.value("server").toUtf8().constData(), p.value("id").toUtf8().constData())) {
        std::fprintf(stderr, "cannot open the engine\n");
        return 1;
    }
    bool ready = false;
    int lastState = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!ready && engine.connected() && engine.serverAuthenticated()) {
            ready = true;
            std::printf("ready\n");
        }
        const int state = engine.channels().empty() ? -1 : engine.channels().front()->state;
        if (state != lastState) {
            lastState = state;
            char text[80];
            engine.status(0, text, 1);
            std::printf("channel state %d: %s\n", state, text);
        }
        std::fflush(stdout);
    });
    watch.start(50);
    return app.exec();
}
