#pragma once

// What the Qt fuzz targets share: one offscreen application for the whole run,
// a scratch application folder, every message box answered by a recorder, and
// libFuzzer's own handlers for fatal signals kept in force.

#include "AppDirectory.h"
#include "ChartTrace.h"
#include "DataPack.h"
#include "FuzzCheck.h"
#include "DialogRecorder.h"
#include "ModelFlags.h"
#include "ReplyRules.h"

#include <QApplication>
#include <QByteArray>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <random>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

// Fontconfig keeps a few blocks of its own to the end of the process.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace fuzzqt {

// Qt's debug and warning lines would cost more than the code under test;
// fatal messages still end the run (Qt aborts after the handler).
inline void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "qFatal: %s\n", msg.toLocal8Bit().constData());
}

struct Environment
{
    QApplication *app = nullptr;
    QTemporaryDir *dir = nullptr;
    DialogRecorder *dialogs = nullptr;
};

inline Environment &environment()
{
    static Environment env;
    return env;
}

// Call once from LLVMFuzzerInitialize.
inline void start(char *argv0)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("FUZZ_QT_MESSAGES"))
        qInstallMessageHandler(quietMessages);
    static int argc = 1;
    static char *argv[] = {argv0, nullptr};
    Environment &env = environment();
    env.app = new QApplication(argc, argv);
    env.dir = new QTemporaryDir;
    if (!env.dir->isValid()) {
        std::fprintf(stderr, "no scratch folder\n");
        std::abort();
    }
    AppDirectory::setOverride(env.dir->path());
    env.dialogs = new DialogRecorder;
}

inline void resetModelFlags()
{
    acModeFlag = false;
    acDcModelFlag = false;
    noParallelModelFlag = false;
    parallelFlag = false;
    modelSeriesFlag = 0;
}

// The window and the link code install the program's crash handler for the
// fatal signals; libFuzzer's handlers (which keep the crashing input) must
// stay the ones in force. Restores them when it goes out of scope.
class KeepSignalHandlers
{
public:
    KeepSignalHandlers()
    {
        for (int i = 0; i < kCount; ++i)
            sigaction(kSignals[i], nullptr, &m_saved[i]);
    }
    ~KeepSignalHandlers()
    {
        for (int i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &m_saved[i], nullptr);
    }
    KeepSignalHandlers(const KeepSignalHandlers &) = delete;
    KeepSignalHandlers &operator=(const KeepSignalHandlers &) = delete;

private:
    static constexpr int kCount = 5;
    static constexpr int kSignals[kCount] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
    struct sigaction m_saved[kCount];
};

// One input is one reply, or a few in a row: two selector bytes, then the
// reply text as a worker reads it, up to the first NUL (replyText). After
// that NUL the next two bytes and text form the next reply, and so on.
struct Reply
{
    uint8_t select = 0; // key and, in the first reply, the state before it
    uint8_t flags = 0;  // status and more, per target
    QString text;
};

inline QVector<Reply> splitReplies(const uint8_t *data, size_t size, int maxReplies)
{
    QVector<Reply> replies;
    const QByteArray in = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    int pos = 0;
    while (pos + 2 <= in.size() && replies.size() < maxReplies) {
        Reply r;
        r.select = uint8_t(in.at(pos));
        r.flags = uint8_t(in.at(pos + 1));
        const QByteArray rest = in.mid(pos + 2);
        r.text = replyText(rest);
        replies << r;
        const int nul = rest.indexOf('\0');
        if (nul < 0)
            break;
        pos += 2 + nul + 1;
    }
    return replies;
}

// Texts an instrument, a broken line or a forger may send where a number or a
// word is expected.
inline const QList<QByteArray> &awkwardTexts()
{
    static const QList<QByteArray> texts = {
        "1e39", "-1e39", "3.4028235e38", "3.4028236e38", "1e309", "-1e309", "1e-400", "4.9e-324", "nan", "NaN",
        "inf", "-inf", "infinity", "-0", "-1", "-0.5", "0", "1", "2147483647", "2147483648", "-2147483649",
        "99999999999999999999", ".", "e5", "1e", "0x10", "1,5", " ", "", "12 V", "\r", "ON", "OFF", "AC",
        "nan,nan,nan,OFF,OFF,OFF", "1e39,1,1,OFF,OFF,OFF", "1,1e39,1,OFF,OFF,OFF", "1,1,1e39,OFF,OFF,OFF",
        "1,1,inf,OFF,OFF,OFF", "-1e38,1,-1e38,ON,ON,ON", "1,2,3", "1,2,3,4,5,6,7", ",,,,,",
        "Darvik,,SN,V", "Darvik,KTR8674,SN1,V1", "0,0,0,ON,ON,ON"};
    return texts;
}

// The replies of an input as bytes, for the mutator.
struct RawReply
{
    uint8_t select = 0;
    uint8_t flags = 0;
    QByteArray text;
};

inline QVector<RawReply> rawReplies(const uint8_t *data, size_t size)
{
    QVector<RawReply> replies;
    const QByteArray in(reinterpret_cast<const char *>(data), int(size));
    int pos = 0;
    while (pos + 2 <= in.size()) {
        RawReply r;
        r.select = uint8_t(in.at(pos));
        r.flags = uint8_t(in.at(pos + 1));
        const int nul = in.indexOf('\0', pos + 2);
        r.text = in.mid(pos + 2, nul < 0 ? -1 : nul - pos - 2);
        replies << r;
        if (nul < 0)
            break;
        pos = nul + 1;
    }
    return replies;
}

// libFuzzer's own mutations half of the time; otherwise one that knows the
// reply structure: an awkward text for a reply, a new reply, or new selector
// bytes. Finding "1e39" for the one key that keeps it as a float takes the
// plain mutations hours at a few inputs a second.
inline size_t mutateReplies(uint8_t *data, size_t size, size_t maxSize, unsigned int seed, int maxReplies)
{
    std::minstd_rand rng(seed);
    auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };
    QVector<RawReply> replies = rawReplies(data, size);
    const int kind = replies.isEmpty() ? 2 : pick(8);
    if (kind < 4)
        return LLVMFuzzerMutate(data, size, maxSize);
    if (kind < 6) {
        RawReply &r = replies[pick(replies.size())];
        r.text = awkwardTexts().at(pick(awkwardTexts().size()));
        if (pick(2))
            r.text += pick(2) ? "\n" : "\r\n";
    } else if (kind == 6) {
        if (replies.size() >= maxReplies)
            return LLVMFuzzerMutate(data, size, maxSize);
        RawReply r;
        r.select = uint8_t(rng());
        r.flags = uint8_t(rng());
        r.text = awkwardTexts().at(pick(awkwardTexts().size())) + "\n";
        replies.insert(pick(replies.size() + 1), r);
    } else {
        RawReply &r = replies[pick(replies.size())];
        (pick(2) ? r.select : r.flags) = uint8_t(rng());
    }
    QByteArray out;
    for (int i = 0; i < replies.size(); ++i) {
        if (i > 0)
            out += '\0';
        out += char(replies[i].select);
        out += char(replies[i].flags);
        out += replies[i].text;
    }
    if (size_t(out.size()) > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, out.constData(), size_t(out.size()));
    return size_t(out.size());
}

// The status a reply pack carries, from bits 0-1 of its flags byte: as a
// worker assigns it, or forced to received, no reply or not numeric.
inline int statusFor(uint8_t flags, const QString &key, const QString &text)
{
    switch (flags & 3) {
    case 0: return replyStatus(key, text);
    case 1: return DataPack::Received;
    case 2: return DataPack::NoReply;
    default: return DataPack::NotNumeric;
    }
}

// Hands a reply to the key it selects or (bit 7 of its flags) to every key in
// turn from that one on: deliver(key, status).
template <typename Deliver>
void deliverToKeys(const Reply &r, const QStringList &keys, Deliver deliver)
{
    const int first = r.select % keys.size();
    const int count = (r.flags & 0x80) ? keys.size() : 1;
    for (int i = 0; i < count; ++i) {
        const QString &key = keys.at((first + i) % keys.size());
        deliver(key, statusFor(r.flags, key, r.text));
    }
}

// A number formatted from a value that is no number.
inline bool showsNoNumber(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("\\b(nan|inf)\\b"), QRegularExpression::CaseInsensitiveOption);
    return re.match(text).hasMatch();
}

// Every spin box of a page holds a number and no label shows one that is none.
inline void checkWidgetsShowNumbers(const QWidget &page)
{
    for (const QDoubleSpinBox *box : page.findChildren<QDoubleSpinBox *>())
        FUZZ_CHECK(std::isfinite(box->value()), "a spin box holds a value that is not a number");
    for (const QLabel *label : page.findChildren<QLabel *>())
        FUZZ_CHECK(!showsNoNumber(label->text()), "a label shows a value that is not a number");
}

// Every point a page keeps for its charts is a number.
inline void checkTracesFinite(std::initializer_list<const ChartTrace *> traces)
{
    for (const ChartTrace *t : traces)
        for (const QPointF &p : t->points())
            FUZZ_CHECK(std::isfinite(p.x()) && std::isfinite(p.y()), "a chart point is not a number");
}

} // namespace fuzzqt
