// libFuzzer target for the reply rules every link worker and receiver applies:
// replyText, replyStatus with isNumeric, routingSuffix and the finite number
// readers. Each result is checked against a plain reading of the rule.
//
// Input: byte 0 chooses the key. Below 0xC0 it picks one of the known keys
// (the text-reply keys and a set of numeric ones) and the rest is the reply
// as read from a link. From 0xC0 on, byte 1 is a length n and the next n bytes
// are the key itself; what follows is the reply.

#include "FuzzCheck.h"
#include "ReplyRules.h"
#include "DataPack.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

const QStringList &knownKeys()
{
    static const QStringList keys = [] {
        QStringList k = textReplyKeys();
        k << QStringLiteral("CC:CURR:L") << QStringLiteral("CV:VOLT:L") << QStringLiteral("CR:RES:L")
          << QStringLiteral("CP:POW:L") << QStringLiteral("SYS:VOLT:M") << QStringLiteral("SYS:CURR:M")
          << QStringLiteral("SYS:POW:M") << QStringLiteral("SYS:OVP:M") << QStringLiteral("SYS:OCP:M")
          << QStringLiteral("SYS:OPP:M") << QStringLiteral("LOAD:CURR:RANG:L") << QStringLiteral("SYS:ADDRESS:P")
          << QStringLiteral("SYS:LOC:P") << QStringLiteral("CCD:LOW:DWEL:L")
          // Not in the list: the comparison is case-sensitive.
          << QStringLiteral("sys:devtype:p") << QStringLiteral("SYS:OUT:m") << QStringLiteral("SYS:ALL:M ");
        return k;
    }();
    return keys;
}

bool isAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// The pattern "^\d*\.?\d*(?:e[+-]?\d+)?$" (any case) read by hand. Sets
// *mantissaDigits when the part before the exponent has a digit.
bool matchesNumberPattern(const QString &t, bool *mantissaDigits)
{
    const int n = t.size();
    int i = 0;
    int digits = 0;
    while (i < n && isAsciiDigit(t.at(i)))
        ++i, ++digits;
    if (i < n && t.at(i) == QLatin1Char('.'))
        ++i;
    while (i < n && isAsciiDigit(t.at(i)))
        ++i, ++digits;
    *mantissaDigits = digits > 0;
    if (i < n && (t.at(i) == QLatin1Char('e') || t.at(i) == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < n && (t.at(j) == QLatin1Char('+') || t.at(j) == QLatin1Char('-')))
            ++j;
        const int first = j;
        while (j < n && isAsciiDigit(t.at(j)))
            ++j;
        if (j == first)
            return false;
        i = j;
    }
    return i == n;
}

// The C library's reading of an ASCII number text (the pattern's texts are
// ASCII): its value, and whether it overflowed or underflowed.
struct CRead
{
    double value = 0;
    bool overflow = false;
    bool underflow = false;
};

CRead readWithC(const QString &t)
{
    const QByteArray a = t.toLatin1();
    CRead r;
    errno = 0;
    r.value = std::strtod(a.constData(), nullptr);
    if (errno == ERANGE) {
        if (std::isinf(r.value))
            r.overflow = true;
        else
            r.underflow = true;
    }
    return r;
}

void checkNumberReaders(const QString &text)
{
    const double sentinel = -12345.5;
    double d = sentinel;
    const bool dOk = toFiniteDouble(text, &d);
    if (dOk)
        FUZZ_CHECK(std::isfinite(d), "toFiniteDouble gave a value that is not finite");
    else
        FUZZ_CHECK(d == sentinel, "toFiniteDouble changed the value on failure");

    float f = float(sentinel);
    const bool fOk = toFiniteFloat(text, &f);
    if (fOk) {
        FUZZ_CHECK(std::isfinite(f), "toFiniteFloat gave a value that is not finite");
        FUZZ_CHECK(dOk, "toFiniteFloat read a text toFiniteDouble refuses");
        FUZZ_CHECK(f == float(d), "toFiniteFloat disagrees with toFiniteDouble");
    } else {
        FUZZ_CHECK(f == float(sentinel), "toFiniteFloat changed the value on failure");
        if (dOk)
            FUZZ_CHECK(std::fabs(d) > double(std::numeric_limits<float>::max()),
                       "toFiniteFloat refused a double in the float range");
    }

    // The numeric form itself.
    const QString t = text.trimmed();
    bool mantissaDigits = false;
    const bool pattern = !t.isEmpty() && matchesNumberPattern(t, &mantissaDigits);
    const CRead c = pattern ? readWithC(t) : CRead();
    const bool numeric = isNumeric(text);
    FUZZ_CHECK(numeric == (pattern && !c.overflow), "isNumeric disagrees with the number pattern");
    if (numeric && mantissaDigits && !c.underflow) {
        // A number text with digits reads as the number it shows.
        FUZZ_CHECK(dOk, "isNumeric accepted a text toFiniteDouble refuses");
        FUZZ_CHECK(d == c.value, "toFiniteDouble reads a number text to another value");
    }
}

void checkStatus(const QString &key, const QString &reply)
{
    const int status = replyStatus(key, reply);
    FUZZ_CHECK(status == DataPack::Received || status == DataPack::NoReply || status == DataPack::NotNumeric,
               "replyStatus gave an unknown status");
    if (isTextReplyKey(key)) {
        FUZZ_CHECK(status == (reply.trimmed().isEmpty() ? DataPack::NoReply : DataPack::Received),
                   "wrong status for a text-reply key");
        return;
    }
    if (reply.isEmpty()) {
        FUZZ_CHECK(status == DataPack::NoReply, "an empty reply to a numeric key is not 'no reply'");
        return;
    }
    FUZZ_CHECK(status != DataPack::NoReply, "a non-empty reply to a numeric key is 'no reply'");
    if (status == DataPack::Received) {
        // What a receiver may rely on: a number text with a finite value.
        const QString t = reply.trimmed();
        bool mantissaDigits = false;
        FUZZ_CHECK(matchesNumberPattern(t, &mantissaDigits), "status 0 for a reply that is no number text");
        FUZZ_CHECK(!readWithC(t).overflow, "status 0 for a number that overflows");
        double v = 0;
        if (toFiniteDouble(reply, &v))
            FUZZ_CHECK(std::isfinite(v), "status 0 reading is not finite");
    } else {
        FUZZ_CHECK(!isNumeric(reply), "status 3 for a number text");
    }
}

void checkRoutingSuffix(const QString &key)
{
    const QChar s = routingSuffix(key);
    const int colon = key.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || colon == key.size() - 1)
        FUZZ_CHECK(s.isNull(), "routingSuffix found a suffix where there is none");
    else
        FUZZ_CHECK(s == key.at(colon + 1), "routingSuffix is not the character after the last ':'");
}

void checkReplyText(const QByteArray &bytes, const QString &text)
{
    FUZZ_CHECK(!text.contains(QChar(0)), "replyText kept a NUL");
    const int nul = bytes.indexOf('\0');
    const QByteArray head = nul < 0 ? bytes : bytes.left(nul);
    FUZZ_CHECK(text.size() <= head.size(), "replyText is longer than the bytes read");
    // Valid UTF-8 comes back unchanged.
    if (QString::fromUtf8(head).toUtf8() == head)
        FUZZ_CHECK(text.toUtf8() == head, "replyText changed valid UTF-8");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // strtod reads the point as the C locale does.
    std::setlocale(LC_NUMERIC, "C");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray in(reinterpret_cast<const char *>(data), int(size));
    QString key;
    QByteArray bytes;
    const uint8_t sel = data[0];
    if (sel < 0xC0) {
        key = knownKeys().at(sel % knownKeys().size());
        bytes = in.mid(1);
    } else {
        if (size < 2)
            return 0;
        const int n = data[1];
        key = QString::fromUtf8(in.mid(2, n));
        bytes = in.mid(2 + n);
    }

    const QString reply = replyText(bytes);
    checkReplyText(bytes, reply);
    checkRoutingSuffix(key);
    checkStatus(key, reply);
    checkNumberReaders(reply);
    // The same rules on the raw bytes as Latin-1 (every code point below 256).
    checkNumberReaders(QString::fromLatin1(bytes));
    return 0;
}
