// libFuzzer target for the battery test page's reply parsers: a reply with a
// measurement ('M') or setting ('L') key and the fuzzed text goes through the
// page's reply slot BATrecvSerialFun, optionally after a press of a run button
// and followed by poll ticks. Then every value the page keeps, shows, draws or
// sends must still be a number, and the run state one of its three.
//
// Input (see fuzzqt::splitReplies): byte 0 chooses the key (byte 0 % number
// of keys) and the page's state before the replies (byte 0 / number of keys,
// see prepare()); byte 1 chooses the status (bits 0-1, see fuzzqt::statusFor()),
// whether ticks follow (bit 2), a run button pressed before the reply (bits
// 3-4: none, start, pause, stop) and whether the text goes to every key in
// turn rather than to the one chosen (bit 7); the rest is the reply text as
// read from the link, up to the first NUL. Bytes after that NUL make further
// replies the same way (their byte 0 only picks the key).

#include "FuzzCheck.h"
#include "FuzzQt.h"

#include "BATPage.h"
#include "BATProcessState.h"
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
    QStringLiteral("SYS:VOLT:M"),         QStringLiteral("SYS:CURR:M"),         QStringLiteral("SYS:CAPA:M"),
    QStringLiteral("SYS:ENERGY:M"),       QStringLiteral("SYS:ALL:M"),          QStringLiteral("SYS:TIME:M"),
    QStringLiteral("SYS:STATUS:M"),       QStringLiteral("SYS:OVP:M"),          QStringLiteral("SYS:OCP:M"),
    QStringLiteral("SYS:OPP:M"),          QStringLiteral("SYS:BAT:CURR:L"),     QStringLiteral("SYS:BAT:VSTOP:L"),
    QStringLiteral("SYS:BAT:CSTOP:L"),    QStringLiteral("SYS:BAT:TMSTOP:L"),   QStringLiteral("SYS:BAT:VSTOP_EN:L"),
    QStringLiteral("SYS:BAT:CSTOP_EN:L"), QStringLiteral("SYS:BAT:TMSTOP_EN:L"),
};

const int kMaxReplies = 16;

enum Prelude {
    Fresh,         // no link
    Ready,         // linked and identified, limits in
    TakenOver,     // START and the read-back finished
    Running,       // taken over, test started, past the skipped ticks
    Synchronising, // START, read-back under way
    Paused,        // running, then paused
    PreludeCount
};

qint64 g_now = 0;
qint64 fakeClock() { return g_now; }

DataPack reply(const QString &key, const QString &data, int status = DataPack::Received)
{
    return makeReplyPack(key, 0, 1, status, data, DataPack::BatteryPage);
}

void tick(BATPage &page, int n)
{
    for (int i = 0; i < n; ++i) {
        g_now += 100;
        QMetaObject::invokeMethod(&page, "timerTimeOut", Qt::DirectConnection);
    }
}

void press(BATPage &page, int button)
{
    static const char *const kButtons[] = {nullptr, "on_pushButtonOutSW_clicked", "on_bntOutSW_PAUSE_clicked",
                                        "on_bntOutSW_STOP_clicked"};
    if (kButtons[button])
        QMetaObject::invokeMethod(&page, kButtons[button], Qt::DirectConnection);
}

void prepare(BATPage &page, int prelude)
{
    if (prelude == Fresh)
        return;
    page.BATreceDevFun(true, 1, QStringLiteral("STATUS"));
    page.recvLimitParam(elcLimitParam());
    if (prelude == Ready)
        return;
    page.BATreceDevFun(true, 1, QStringLiteral("START"));
    if (prelude == Synchronising)
        return;
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:BAT:CURR:L"), QStringLiteral("2.0\n")));
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:BAT:VSTOP_EN:L"), QStringLiteral("ON\n")));
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:BAT:CSTOP_EN:L"), QStringLiteral("OFF\n")));
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:BAT:TMSTOP_EN:L"), QStringLiteral("ON\n")));
    if (prelude == TakenOver)
        return;
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12.5,0,0,0,0\n")));
    tick(page, 3);
    press(page, 1);
    tick(page, 12); // past the skipped ticks
    page.BATrecvSerialFun(reply(QStringLiteral("SYS:ALL:M"), QStringLiteral("12.4,2.0,0.01,0.12,3\n")));
    tick(page, 4);
    if (prelude == Paused)
        press(page, 2);
}

bool finite(float v) { return std::isfinite(v); }

void checkCommand(const DataPack &p)
{
    FUZZ_CHECK(p.data.endsWith(QLatin1Char('\n')), "a page command line without its line feed");
    FUZZ_CHECK(!fuzzqt::showsNoNumber(p.data), "the page sent a value that is not a number");
}

void checkPage(BATPage &page)
{
    FUZZ_CHECK(page.runState() >= BATPage::Stopped && page.runState() <= BATPage::Paused, "no such run state");
    const elcBatShowParam &s = page.showParam();
    FUZZ_CHECK(finite(s.volt) && finite(s.curr) && finite(s.cap) && finite(s.energy) && finite(s.time),
               "a reading is not a number");
    FUZZ_CHECK(finite(s.soh) && finite(s.ri) && finite(s.noLoadVolt) && finite(s.loadVolt),
               "a health result is not a number");
    const elcBatteryModeParam &m = page.modeParam();
    FUZZ_CHECK(finite(m.setCurr) && finite(m.setVolt) && finite(m.setCap) && finite(m.setTime) && finite(m.batCap),
               "a setting is not a number");
    FUZZ_CHECK(m.batCap > 0, "no nominal capacity to divide by");

    fuzzqt::checkTracesFinite({&page.voltTrace(), &page.currTrace(), &page.capTrace()});
    fuzzqt::checkWidgetsShowNumbers(page);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv)
{
    fuzzqt::start((*argv)[0]);
    BATProcessState::setClock(fakeClock);
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
    BATProcessState::reset();
    BATProcessState::setClock(fakeClock);
    auto page = std::make_unique<BATPage>();
    for (QTimer *t : page->findChildren<QTimer *>())
        t->stop(); // the ticks are driven here
    QObject::connect(page.get(), &BATPage::BATsendSriealFun, [](DataPack p) { checkCommand(p); });

    prepare(*page, prelude);
    checkPage(*page);
    for (const fuzzqt::Reply &r : replies) {
        press(*page, (r.flags >> 3) & 3);
        fuzzqt::deliverToKeys(r, kKeys, [&](const QString &key, int status) {
            page->BATrecvSerialFun(reply(key, r.text, status));
            checkPage(*page);
        });
        if (r.flags & 4) {
            tick(*page, 12); // past the divider: status, queries, chart samples
            checkPage(*page);
        }
    }
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    return fuzzqt::mutateReplies(data, size, maxSize, seed, kMaxReplies);
}
