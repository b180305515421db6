// libFuzzer target for the main window's reply dispatcher: a reply built from
// the input goes through recvSerialFun into a fresh window, then a poll tick
// runs. Message boxes are answered by the recorder.
//
// Input (see fuzzqt::splitReplies): byte 0 chooses the key (byte 0 % number
// of keys) and the state the window is in before the reply (byte 0 / number
// of keys, see prepare()); byte 1 chooses the status (bits 0-1, see
// statusFor()) and the model the window identified (bits 3-4); the rest is
// the reply text as read from the link, up to the first NUL. Bytes after that
// NUL make further replies the same way (their byte 0 only picks the key; bit
// 2 of their byte 1 asks for a tick after them), so that states which take a
// few replies are reached too. A tick follows the last reply.

#include "FuzzCheck.h"
#include "FuzzQt.h"

#include "DataPack.h"
#include "Quellon.h"
#include "ReplyRules.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"
#include "elcLimitParam.h"

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

const QStringList kKeys = {
    QStringLiteral("SYS:DEVTYPE:P"),  QStringLiteral("SYS:UDEVTYPE:P"), QStringLiteral("SYS:REM:P"),
    QStringLiteral("SYS:LOC:P"),      QStringLiteral("SYS:ERROR:P"),    QStringLiteral("SYS:PARALLEL:P"),
    QStringLiteral("SYS:PARSM:P"),    QStringLiteral("SYS:PARNUM:P"),   QStringLiteral("SYS:ADDRESS:P"),
    QStringLiteral("SYS:MODE:P"),
    // Routed elsewhere or nowhere.
    QStringLiteral("SYS:VOLT:M"),     QStringLiteral("SYS:REM:"),       QStringLiteral("SYSREMP"),
};

// Enough for the give-up after more than forty missed remote-state replies
// (two misses count one).
const int kMaxReplies = 100;

const QStringList kModels = {QStringLiteral("KTR8548"), QStringLiteral("KTR8674"), QStringLiteral("KTR8679N"),
                             QStringLiteral("KTR1541-V")};

enum Prelude { Fresh, IdentifiedSerial, IdentifiedLanMissPending, IdentifiedParallelMaster, PreludeCount };

DataPack reply(const QString &key, const QString &data, int status = DataPack::Received)
{
    return makeReplyPack(key, 0, 1, status, data, DataPack::MainWindowPage);
}

void openLink(Quellon &w, int interfaceIndex)
{
    w.findChild<QComboBox *>(QStringLiteral("comboBoxInterface"))->setCurrentIndex(interfaceIndex);
    if (interfaceIndex == 0) {
        SerialLinkPack r;
        r.key = QStringLiteral("SERIAL:link");
        r.code = SerialLinkPack::Ok;
        r.linkOn = true;
        w.recvSerialInfoFun(r);
    } else {
        TcpLinkPack r;
        r.key = QStringLiteral("TCP:link");
        r.code = TcpLinkPack::Connected;
        r.linkOn = true;
        w.recvTcpInfoFun(r);
    }
}

void prepare(Quellon &w, int prelude, const QString &model)
{
    if (prelude == Fresh)
        return;
    openLink(w, prelude == IdentifiedLanMissPending ? 1 : 0);
    w.recvSerialFun(reply(QStringLiteral("SYS:DEVTYPE:P"), QStringLiteral("Darvik,%1,SN0001,V1.0\n").arg(model)));
    if (prelude == IdentifiedLanMissPending) {
        w.recvSerialFun(reply(QStringLiteral("SYS:REM:P"), QStringLiteral("err"), DataPack::NoReply));
    } else if (prelude == IdentifiedParallelMaster) {
        w.recvSerialFun(reply(QStringLiteral("SYS:PARALLEL:P"), QStringLiteral("ON\n")));
        w.recvSerialFun(reply(QStringLiteral("SYS:PARSM:P"), QStringLiteral("MASTER\n")));
        w.recvSerialFun(reply(QStringLiteral("SYS:PARNUM:P"), QStringLiteral("2\n")));
    }
}

void checkLimits(const elcLimitParam &l)
{
    const float values[] = {l.limitMaxCurr,      l.limitMaxVolt,       l.limitMaxRes,       l.limitMinRes,
                            l.limitMaxPow,       l.limitMaxSlope,      l.limitMinSlope,     l.limitMaxLowDwell,
                            l.limitMinLowDwell,  l.limitMaxLowCurr,    l.limitMaxHighDwell, l.limitMinHighDwell,
                            l.limitMaxHighCurr,  l.limitMaxOvp,        l.limitMaxOcp,       l.limitMaxOpp,
                            l.limitVoltRangeHigh, l.limitVoltRangeLow, l.limitCurrRangeHigh, l.limitCurrRangeLow,
                            l.limitMaxAcCurr,    l.limitMaxAcOvp,      l.limitMaxAcOcp};
    for (float v : values)
        FUZZ_CHECK(std::isfinite(v), "the window sent a limit that is not finite");
}

void checkCommand(const DataPack &p)
{
    FUZZ_CHECK(p.isRequest == 1, "a command that is no request");
    FUZZ_CHECK(p.pageId == DataPack::MainWindowPage, "a window command with a page id");
    FUZZ_CHECK(p.link == DataPack::SerialLink || p.link == DataPack::TcpLink, "a command for no link");
    FUZZ_CHECK(!routingSuffix(p.key).isNull(), "a command whose reply key routes nowhere");
    FUZZ_CHECK(p.data.endsWith(QLatin1Char('\n')), "a command line without its line feed");
    FUZZ_CHECK(p.data.indexOf(QLatin1Char('\n')) == p.data.size() - 1, "a command of more than one line");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    fuzzqt::start((*argv)[0]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QVector<fuzzqt::Reply> replies = fuzzqt::splitReplies(data, size, kMaxReplies);
    if (replies.isEmpty())
        return 0;
    const int keyCount = kKeys.size();
    const int prelude = (replies.first().select / keyCount) % PreludeCount;
    const QString &model = kModels.at((replies.first().flags >> 3) % kModels.size());

    fuzzqt::resetModelFlags();
    fuzzqt::environment().dialogs->clear();
    std::unique_ptr<Quellon> w;
    {
        fuzzqt::KeepSignalHandlers keep;
        w = std::make_unique<Quellon>();
    }
    w->pollTimer()->stop();
    QObject::connect(w.get(), &Quellon::sendLimitParam, [](elcLimitParam l) { checkLimits(l); });
    QObject::connect(w.get(), &Quellon::sendSriealFun, [](DataPack p) { checkCommand(p); });

    prepare(*w, prelude, model);
    for (int i = 0; i < replies.size(); ++i) {
        const fuzzqt::Reply &r = replies.at(i);
        const QString &key = kKeys.at(r.select % keyCount);
        w->recvSerialFun(reply(key, r.text, fuzzqt::statusFor(r.flags, key, r.text)));
        if (i == replies.size() - 1 || (r.flags & 4))
            w->timerTimeOut();
    }

    bool ok = false;
    const QString online = w->findChild<QLabel *>(QStringLiteral("labelPaOnline"))->text();
    online.toInt(&ok);
    FUZZ_CHECK(ok, "the online count shown is no number");
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    return fuzzqt::mutateReplies(data, size, maxSize, seed, kMaxReplies);
}
