// loadsim: plays one programmable DC electronic load for tests and `make run`.

#include "Instrument.h"
#include "LineChannel.h"
#include "Misbehaviour.h"
#include "StdioDevice.h"
#include "TcpFrontend.h"
#include "WireLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSerialPort>
#include <QTextStream>

#include <cmath>

namespace {

const char kDescription[] =
    "Simulated programmable DC electronic load (test tool, not part of the product).\n"
    "\n"
    "Reads one command line at a time (ending in \"\\n\"; a \"\\r\" before it is ignored),\n"
    "answers each query with one line ending in \"\\n\" and answers nothing to settings.\n"
    "Headers are matched without regard to case. Every setting is stored and read back\n"
    "by its query; the input (\"INP ON|OFF|PAUSE\") switches the load on a source of\n"
    "--source-volt behind --source-res, so the readings follow the function (CC, CV, CR,\n"
    "CP, CCD) and its set values. \"MEAS:ALL:INFO?\" answers\n"
    "volt,curr,pow,OVP,OCP,OPP with ON for a tripped protection. A protection trips\n"
    "when a reading passes its limit (VOLT:PROT, CURR:PROT, POW:PROT); the input then\n"
    "goes off and the trip stays until the input is switched on again.\n"
    "Battery mode (\"MODE 6\" for 85/86 models, \"MODE 4\" for 15/30/60 models): \"INP ON\"\n"
    "starts a test on a full battery of --battery-ah, discharging at \"BAT\" A; it ends\n"
    "with \"BAT:STAT?\" 2 (success) when an enabled cut-off (BAT:VEN/VST, BAT:CEN/CST,\n"
    "BAT:TEN/TIM) is reached, 3 (failure) when the battery runs flat first or a\n"
    "protection trips; \"BAT:ALL?\" answers volt,curr,Ah,Wh,seconds. \"FUNC <n>\" returns\n"
    "to static mode (MODE 0).\n"
    "List memory: LIST:MODE/STEP/CYCle/INDex/VOLTage/CURRent/TIMEr are stored,\n"
    "\"LIST:LOAD\" loads them (\"LIST:LOAD?\" ON); in manual or extern mode each\n"
    "\"LIST:TRIG\" moves to the next step, whose first value (LIST:VOLTage) is drawn\n"
    "as current while the input is on; \"INP OFF\" or \"FUNC\" stops it.\n"
    "\n"
    "Simulator-only commands:\n"
    "  SIM:TRIP OVP[,OCP,OPP] | NONE  trip protections (kept until NONE); SIM:TRIP?\n"
    "  SIM:LOCAL 1|0                  front panel in local mode: SYST:REM? answers 0\n"
    "  SIM:SOURCE <volts>             change the source voltage; SIM:SOURCE?\n"
    "  SIM:BAT FAIL                   end a running battery test with failure\n"
    "\n"
    "Misbehaviour for tests, on the instrument channels (TCP client and serial port):\n"
    "set by the options below, changed at run time by these commands (typed into the\n"
    "control channel, see below, so that a test can link and identify first):\n"
    "  SIM:FLOOD <rate> | OFF         flood at <rate> bytes/s, 0: full speed (--flood)\n"
    "  SIM:FLOOD:TEXT <text>          what the flood repeats (--flood-text)\n"
    "  SIM:SILENCE <secs>             answer no query for <secs> s from now; 0 ends it\n"
    "  SIM:DELAY <ms>                 every reply <ms> late, 0: not late (--delay)\n"
    "  SIM:BYTEWISE <ms> | OFF        replies one byte at a time (--bytewise)\n"
    "  SIM:ANSWER <query>=<text>      answer <query> with <text> (--answer)\n"
    "  SIM:ANSWER <query>             answer <query> normally again\n"
    "  SIM:ANSWER:ONCE <query>=<text> answer only the next such query with <text>\n"
    "  SIM:SAY <text>                 send <text> at once, unsolicited\n"
    "A refused value is reported on stderr as \"loadsim: <channel>: ...\" and changes\n"
    "nothing. In every <text> (these commands, --answer, --flood-text) \\n \\r \\t \\\\\n"
    "and \\xHH are decoded; a \"\\n\" is appended unless the text already ends with\n"
    "one or ends with \\c (no newline). A command's argument loses its leading and\n"
    "trailing blanks: write \\x20 for them. <query> is a query header such as\n"
    "MEAS:VOLT? or *ODN?, matched without regard to case.\n"
    "Replies leave in the order of their queries; neither an unsolicited line nor the\n"
    "flood cuts into a reply. The flood goes out in whole repetitions of its text (so\n"
    "replies land between them) and waits while 256 KB of it are still unsent.\n"
    "\n"
    "Standard input is a control channel that shares the instrument: any command\n"
    "(simulator-only ones included) typed there is applied and answered on standard\n"
    "output, never misbehaving, and logged with the channel \"stdin\".\n"
    "\n"
    "Prints \"loadsim ready\" on stdout once listening and the serial device is open.";

bool intValue(const QCommandLineParser &p, const QString &name, int min, int *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min) {
        QTextStream(stderr) << "loadsim: --" << name << " needs a whole number of at least " << min << '\n';
        return false;
    }
    *out = v;
    return true;
}

bool doubleValue(const QCommandLineParser &p, const QString &name, double min, double *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < min) {
        QTextStream(stderr) << "loadsim: --" << name << " needs a number of at least " << min << '\n';
        return false;
    }
    *out = v;
    return true;
}

// --flood-text, --silence, --silence-after and --answer.
bool misbehaviourOptions(const QCommandLineParser &p, Misbehaviour *mis)
{
    QString error;
    if (p.isSet(QStringLiteral("flood-text"))) {
        QByteArray text;
        if (!Misbehaviour::decodeText(p.value(QStringLiteral("flood-text")), &text, &error) || text.isEmpty()) {
            QTextStream(stderr) << "loadsim: --flood-text: " << (error.isEmpty() ? QStringLiteral("empty") : error)
                                << '\n';
            return false;
        }
        mis->floodText = text;
    }
    double silence = 0;
    int silenceAfter = 0;
    if (!doubleValue(p, QStringLiteral("silence"), 0, &silence)
        || !intValue(p, QStringLiteral("silence-after"), 0, &silenceAfter))
        return false;
    if (p.isSet(QStringLiteral("silence-after")) && !p.isSet(QStringLiteral("silence"))) {
        QTextStream(stderr) << "loadsim: --silence-after needs --silence\n";
        return false;
    }
    if (silence > 1e9) {
        QTextStream(stderr) << "loadsim: --silence is too long\n";
        return false;
    }
    if (p.isSet(QStringLiteral("silence")))
        mis->armSilence(silence, silenceAfter);
    for (const QString &assignment : p.values(QStringLiteral("answer"))) {
        QByteArray header, text;
        bool hasText = false;
        if (!Misbehaviour::parseAnswer(assignment, true, &header, &text, &hasText, &error)) {
            QTextStream(stderr) << "loadsim: --answer " << error << '\n';
            return false;
        }
        mis->setAnswer(header, text, false);
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("loadsim"));

    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.addHelpOption();
    p.addOptions({
        {QStringLiteral("tcp"), QStringLiteral("Listen on 127.0.0.1:<port> (0 picks a free port, printed as "
                                               "\"loadsim: listening on 127.0.0.1:<port>\"). One client at a "
                                               "time: a new connection replaces the old one."),
         QStringLiteral("port")},
        {QStringLiteral("serial"), QStringLiteral("Open the serial device <path> (e.g. one end of a socat pty "
                                                  "pair), 115200 8N1."),
         QStringLiteral("path")},
        {QStringLiteral("model"), QStringLiteral("Model identifier (default KTR8548); \"*IDN?\" and \"*ODN?\" "
                                                 "answer \"Darvik,<model>,SIM000001,V1.00\"."),
         QStringLiteral("name"), QStringLiteral("KTR8548")},
        {QStringLiteral("idn"), QStringLiteral("Answer \"*IDN?\" with <text> instead."), QStringLiteral("text")},
        {QStringLiteral("odn"), QStringLiteral("Answer \"*ODN?\" with <text> instead."), QStringLiteral("text")},
        {QStringLiteral("log"), QStringLiteral("Write every received line to <file> as \"<ISO time with ms> "
                                               "<tcp|serial> <line>\" (line ending removed, control characters "
                                               "and backslash as \\xHH), flushed per line."),
         QStringLiteral("file")},
        {QStringLiteral("time-scale"), QStringLiteral("Simulated seconds per real second for the battery test "
                                                      "(default 1)."),
         QStringLiteral("k")},
        {QStringLiteral("source-volt"), QStringLiteral("Open-circuit voltage of the source (default 12)."),
         QStringLiteral("volts")},
        {QStringLiteral("source-res"), QStringLiteral("Internal resistance of the source (default 0.05)."),
         QStringLiteral("ohms")},
        {QStringLiteral("battery-ah"), QStringLiteral("Capacity of the simulated battery (default 2)."),
         QStringLiteral("ah")},
        {QStringLiteral("parallel-units"), QStringLiteral("\"PAR:NUM?\" answer while parallel operation is on "
                                                          "(default 2; 1 while off)."),
         QStringLiteral("n")},
        {QStringLiteral("trip"), QStringLiteral("Protections tripped from the start, e.g. OVP or OCP,OPP; kept "
                                                "until \"SIM:TRIP NONE\"."),
         QStringLiteral("list")},
        {QStringLiteral("local"), QStringLiteral("Report local mode: \"SYST:REM?\" always answers \"0\" (as "
                                                 "\"SIM:LOCAL 1\")."),},
        {QStringLiteral("silent"), QStringLiteral("Never answer a query (commands are still read, logged and "
                                                  "applied).")},
        {QStringLiteral("silent-after"), QStringLiteral("Answer only the first <n> queries of the run, then "
                                                        "none."),
         QStringLiteral("n")},
        {QStringLiteral("delay"), QStringLiteral("Send every reply <ms> after its command was read (commands "
                                                 "keep being handled meanwhile)."),
         QStringLiteral("ms")},
        {QStringLiteral("split"), QStringLiteral("Send every reply in two pieces <ms> apart: the first half of "
                                                 "its bytes (at least one), then the rest."),
         QStringLiteral("ms")},
        {QStringLiteral("drop-after"), QStringLiteral("TCP only: close the connection after its <n>-th command "
                                                      "line (once that line's reply has left); counted per "
                                                      "connection, later lines are ignored."),
         QStringLiteral("n")},
        {QStringLiteral("flood"), QStringLiteral("Send unsolicited bytes on the instrument channels all the time, "
                                                 "<rate> bytes per second; 0: as fast as the peer takes them."),
         QStringLiteral("rate")},
        {QStringLiteral("flood-text"), QStringLiteral("What the flood repeats (default a 64-byte line: \"FLOOD\" "
                                                      "repeated, then \"\\n\")."),
         QStringLiteral("text")},
        {QStringLiteral("silence"), QStringLiteral("Answer no query for <secs> seconds (commands are still read, "
                                                   "logged and applied), then answer normally again. The silence "
                                                   "starts with the first query after --silence-after."),
         QStringLiteral("secs")},
        {QStringLiteral("silence-after"), QStringLiteral("Answer the first <n> queries of the run before the "
                                                         "--silence (default 0)."),
         QStringLiteral("n")},
        {QStringLiteral("bytewise"), QStringLiteral("Send every reply one byte at a time, <ms> apart (with "
                                                    "--split the pause where the reply is cut is the split's)."),
         QStringLiteral("ms")},
        {QStringLiteral("answer"), QStringLiteral("Answer the query <query> with <text> instead of its reply, "
                                                  "e.g. \"MEAS:VOLT?=nan\"; repeatable."),
         QStringLiteral("query=text")},
    });
    p.process(app);

    InstrumentOptions io;
    io.model = p.value(QStringLiteral("model"));
    io.idn = p.value(QStringLiteral("idn"));
    io.odn = p.value(QStringLiteral("odn"));
    io.local = p.isSet(QStringLiteral("local"));
    Misbehaviour mis;
    mis.silent = p.isSet(QStringLiteral("silent"));
    int tcpPort = -1;
    bool ok = intValue(p, QStringLiteral("tcp"), 0, &tcpPort)
              && doubleValue(p, QStringLiteral("time-scale"), 0, &io.timeScale)
              && doubleValue(p, QStringLiteral("source-volt"), 0, &io.sourceVolt)
              && doubleValue(p, QStringLiteral("source-res"), 0, &io.sourceRes)
              && doubleValue(p, QStringLiteral("battery-ah"), 1e-6, &io.batteryAh)
              && intValue(p, QStringLiteral("parallel-units"), 0, &io.parallelUnits)
              && intValue(p, QStringLiteral("silent-after"), 0, &mis.silentAfter)
              && intValue(p, QStringLiteral("delay"), 0, &mis.delayMs)
              && intValue(p, QStringLiteral("split"), 0, &mis.splitMs)
              && intValue(p, QStringLiteral("drop-after"), 1, &mis.dropAfter)
              && intValue(p, QStringLiteral("bytewise"), 1, &mis.bytewiseMs)
              && intValue(p, QStringLiteral("flood"), 0, &mis.floodRate);
    if (!ok)
        return 2;
    if (!misbehaviourOptions(p, &mis))
        return 2;
    if (tcpPort > 65535) {
        QTextStream(stderr) << "loadsim: --tcp port out of range\n";
        return 2;
    }
    if (p.isSet(QStringLiteral("trip")) && !Instrument::parseTrips(p.value(QStringLiteral("trip")), &io.trips)) {
        QTextStream(stderr) << "loadsim: --trip takes OVP, OCP, OPP separated by commas\n";
        return 2;
    }
    const QString serialPath = p.value(QStringLiteral("serial"));
    if (tcpPort < 0 && serialPath.isEmpty()) {
        QTextStream(stderr) << "loadsim: give --tcp and/or --serial (see --help)\n";
        return 2;
    }

    WireLog log;
    const QString logPath = p.value(QStringLiteral("log"));
    if (!logPath.isEmpty() && !log.open(logPath)) {
        QTextStream(stderr) << "loadsim: cannot write the log " << logPath << '\n';
        return 1;
    }
    Instrument instrument(io);
    QTextStream out(stdout);

    TcpFrontend tcp(&instrument, &log, &mis);
    if (tcpPort >= 0) {
        QString error;
        if (!tcp.listen(quint16(tcpPort), &error)) {
            QTextStream(stderr) << "loadsim: cannot listen on 127.0.0.1:" << tcpPort << ": " << error << '\n';
            return 1;
        }
        out << "loadsim: listening on 127.0.0.1:" << tcp.port() << '\n';
    }

    QSerialPort serial;
    if (!serialPath.isEmpty()) {
        serial.setPortName(serialPath);
        if (!serial.open(QIODevice::ReadWrite)) {
            QTextStream(stderr) << "loadsim: cannot open " << serialPath << ": " << serial.errorString() << '\n';
            return 1;
        }
        serial.setBaudRate(QSerialPort::Baud115200);
        serial.setDataBits(QSerialPort::Data8);
        serial.setParity(QSerialPort::NoParity);
        serial.setStopBits(QSerialPort::OneStop);
        serial.setFlowControl(QSerialPort::NoFlowControl);
        new LineChannel(&serial, LineChannel::Serial, &instrument, &log, &mis, &app);
        out << "loadsim: serial " << serialPath << '\n';
    }

    // Control channel: lines typed into standard input, answered on standard
    // output, logged as "stdin", never misbehaving; its SIM:* misbehaviour
    // commands change the instrument channels.
    StdioDevice stdio;
    new LineChannel(&stdio, LineChannel::Control, &instrument, &log, &mis, &app);

    out << "loadsim ready" << Qt::endl;
    return app.exec();
}
