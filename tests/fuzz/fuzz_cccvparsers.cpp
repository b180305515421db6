// libFuzzer target for the static mode page's reply parsers: a reply with a
// measurement ('M') or setting ('L') key and the fuzzed text goes through the
// page's reply slot CVrecvSerialFun, optionally followed by poll ticks. Then
// every value the page keeps, shows, draws or sends must still be a number.
//
// Input (see fuzzqt::splitReplies): byte 0 chooses the key (byte 0 % number
// of keys) and the page's state before the reply (byte 0 / number of keys, see
// prepare()); byte 1 chooses the status (bits 0-1, see fuzzqt::statusFor()), whether
// ticks follow (bit 2) and whether the text goes to every key in turn rather
// than to the one chosen (bit 7); the rest is the reply text as read from the
// link, up to the first NUL. Bytes after that NUL make further replies the
// same way (their byte 0 only picks the key): a fresh page costs far more than
// a reply, and some states take a few replies.

#include "FuzzCheck.h"
#include "FuzzQt.h"

#include "CCCVPage.h"
#include "DataPack.h"
#include "ReplyRules.h"
#include "elcLimitParam.h"

#include <QMetaObject>
#include <QTimer>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

// The keys the page's measurement and setting parsers read.
const QStringList kKeys = {
    QStringLiteral("SYS:VOLT:M"),       QStringLiteral("SYS:CURR:M"),       QStringLiteral("SYS:POW:M"),
    QStringLiteral("SYS:ALL:M"),        QStringLiteral("SYS:FUNC:M"),       QStringLiteral("SYS:SHOUT:M"),
    QStringLiteral("SYS:OVP:M"),        QStringLiteral("SYS:OCP:M"),        QStringLiteral("SYS:OPP:M"),
    QStringLiteral("SYS:OUT:M"),
    QStringLiteral("CC:CURR:L"),        QStringLiteral("CC:SLEW:RISE:L"),   QStringLiteral("CC:SLEW:FALL:L"),
    QStringLiteral("CV:VOLT:L"),        QStringLiteral("CV:SLEW:RISE:L"),   QStringLiteral("CV:SLEW:FALL:L"),
    QStringLiteral("CR:RES:L"),         QStringLiteral("CR:SLEW:RISE:L"),   QStringLiteral("CR:SLEW:FALL:L"),
    QStringLiteral("CP:POW:L"),         QStringLiteral("CP:SLEW:RISE:L"),   QStringLiteral("CP:SLEW:FALL:L"),
    QStringLiteral("CCD:MODE:L"),       QStringLiteral("CCD:LOW:DWEL:L"),   QStringLiteral("CCD:LOW:L"),
    QStringLiteral("CCD:HIGH:DWEL:L"),  QStringLiteral("CCD:HIGH:L"),       QStringLiteral("CCD:SLEW:RISE:L"),
    QStringLiteral("CCD:SLEW:FALL:L"),  QStringLiteral("LOAD:VOLT:RANG:L"), QStringLiteral("LOAD:CURR:RANG:L"),
    QStringLiteral("DCAC:MODE:L"),
};

const int kMaxReplies = 16;

enum Prelude {
    Fresh,             // no link
    Ready,             // linked and identified, limits in
    TakenOver,         // START and the read-back finished
    Running,           // taken over, input on, charts running
    Synchronising,     // START, read-back under way (mode reply pending)
    AcModel,           // taken over on an AC/DC model in AC operation
    ReadyNoLimits,     // linked and identified, no limits yet
    PreludeCount
};

qint64 g_now = 0;
qint64 fakeClock() { return g_now; }

elcLimitParam modelLimits(bool ac)
{
    elcLimitParam l; // the window's defaults: 40 A, 150 V, ...
    if (ac) {
        l.limitMaxAcCurr = 25;
        l.limitMaxAcOvp = 105;
        l.limitMaxAcOcp = 30;
    }
    return l;
}

DataPack reply(const QString &key, const QString &data, int status = DataPack::Received)
{
    return makeReplyPack(key, 0, 1, status, data, DataPack::StaticModePage);
}

void tick(CCCVPage &page, int n)
{
    for (int i = 0; i < n; ++i) {
        g_now += 100;
        QMetaObject::invokeMethod(&page, "timerTimeOut", Qt::DirectConnection);
    }
}

void prepare(CCCVPage &page, int prelude)
{
    if (prelude == Fresh)
        return;
    if (prelude == AcModel)
        acDcModelFlag = true;
    page.CVreceDevFun(true, 1, QStringLiteral("STATUS"));
    if (prelude != ReadyNoLimits)
        page.recvLimitParam(modelLimits(prelude == AcModel));
    if (prelude == Ready || prelude == ReadyNoLimits)
        return;
    page.CVreceDevFun(true, 1, QStringLiteral("START"));
    if (prelude == Synchronising)
        return;
    page.CVrecvSerialFun(reply(QStringLiteral("SYS:FUNC:M"), QStringLiteral("current\n")));
    page.CVrecvSerialFun(reply(QStringLiteral("LOAD:CURR:RANG:L"), QStringLiteral("1\n")));
    if (prelude == AcModel) {
        acModeFlag = true;
        page.CVrecvSerialFun(reply(QStringLiteral("DCAC:MODE:L"), QStringLiteral("AC\n")));
    } else if (prelude == Running) {
        page.CVrecvSerialFun(reply(QStringLiteral("SYS:OUT:M"), QStringLiteral("ON\n")));
        page.CVrecvSerialFun(reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12.5,2.0,25.0,OFF,OFF,OFF\n")));
        tick(page, 3);
    }
}

bool finite(float v) { return std::isfinite(v); }

void checkCommand(const DataPack &p)
{
    FUZZ_CHECK(p.isRequest == 1, "a page command that is no request");
    FUZZ_CHECK(p.data.endsWith(QLatin1Char('\n')), "a page command line without its line feed");
    FUZZ_CHECK(!fuzzqt::showsNoNumber(p.data), "the page sent a value that is not a number");
}

void checkPage(CCCVPage &page)
{
    const elcShowParam &s = page.showParam();
    FUZZ_CHECK(finite(s.volt) && finite(s.curr) && finite(s.pow), "a reading is not a number");
    FUZZ_CHECK(s.func >= CCCVPage::FuncCR && s.func <= CCCVPage::FuncCCD, "no such function");
    FUZZ_CHECK(s.shortState == 0 || s.shortState == 1, "no such short-circuit state");

    const elcCCModeParam &cc = page.ccParam();
    FUZZ_CHECK(finite(cc.curr) && finite(cc.riseSlope) && finite(cc.fallSlope), "a CC setting is not a number");
    FUZZ_CHECK(finite(page.cvParam().volt), "the CV setting is not a number");
    FUZZ_CHECK(finite(page.crParam().res), "the CR setting is not a number");
    FUZZ_CHECK(finite(page.cpParam().pow), "the CP setting is not a number");
    const elcCCDModeParam &d = page.ccdParam();
    FUZZ_CHECK(finite(d.lowCurr) && finite(d.lowDwell) && finite(d.highCurr) && finite(d.highDwell)
                   && finite(d.riseSlope) && finite(d.fallSlope),
               "a CCD setting is not a number");
    FUZZ_CHECK(d.mode == 0 || d.mode == 1, "no such CCD mode");
    for (int slew : {page.cvParam().riseSlope, page.cvParam().fallSlope, page.crParam().riseSlope,
                     page.crParam().fallSlope, page.cpParam().riseSlope, page.cpParam().fallSlope})
        FUZZ_CHECK(slew >= 0 && slew <= 2, "no such slew speed");
    FUZZ_CHECK(page.gearParam().currRange == 0 || page.gearParam().currRange == 1, "no such current range");
    FUZZ_CHECK(page.gearParam().voltRange == 0 || page.gearParam().voltRange == 1, "no such voltage range");
    FUZZ_CHECK(page.acDcIndex() == 0 || page.acDcIndex() == 1, "no such AC/DC choice");
    FUZZ_CHECK(std::isfinite(page.exportInterval()) && page.exportInterval() > 0, "no export interval");

    fuzzqt::checkTracesFinite({&page.voltTrace(), &page.currTrace(), &page.powTrace()});
    fuzzqt::checkWidgetsShowNumbers(page);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    fuzzqt::start((*argv)[0]);
    CCCVPage::setClock(fakeClock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QVector<fuzzqt::Reply> replies = fuzzqt::splitReplies(data, size, kMaxReplies);
    if (replies.isEmpty())
        return 0;
    const int prelude = (replies.first().select / kKeys.size()) % PreludeCount;

    fuzzqt::resetModelFlags();
    fuzzqt::environment().dialogs->clear();
    g_now = 1000;
    CCCVPage::resetSharedTimerState();
    auto page = std::make_unique<CCCVPage>();
    page->setOutputSwitchPause(0);
    for (QTimer *t : page->findChildren<QTimer *>())
        t->stop(); // the ticks are driven here
    QObject::connect(page.get(), &CCCVPage::CVsendSriealFun, [](DataPack p) { checkCommand(p); });

    prepare(*page, prelude);
    for (const fuzzqt::Reply &r : replies) {
        fuzzqt::deliverToKeys(r, kKeys, [&](const QString &key, int status) {
            page->CVrecvSerialFun(reply(key, r.text, status));
            checkPage(*page);
        });
        if (r.flags & 4) {
            tick(*page, 12); // past the divider: the slow queries and the chart
            checkPage(*page);
        }
    }
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    return fuzzqt::mutateReplies(data, size, maxSize, seed, kMaxReplies);
}
