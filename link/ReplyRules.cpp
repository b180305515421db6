#include "ReplyRules.h"

#include "DataPack.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

const char *const kNoSuffixDebugLine = "没有找到冒号或冒号后没有字符";

bool isNumeric(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    static const QRegularExpression re(QStringLiteral("^\\d*\\.?\\d*(?:e[+-]?\\d+)?$"),
                                       QRegularExpression::CaseInsensitiveOption);
    if (!re.match(t).hasMatch())
        return false;
    // The pattern also takes a lone point and texts such as "1e309"; only
    // the overflow is no number (a lone point stays one, as it always was).
    // (QString::toDouble gives an infinity for an overflow.)
    bool ok = false;
    const double v = t.toDouble(&ok);
    return std::isfinite(v);
}

bool toFiniteDouble(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool toFiniteFloat(const QString &text, float *value)
{
    double v = 0;
    if (!toFiniteDouble(text, &v) || std::fabs(v) > double(std::numeric_limits<float>::max()))
        return false;
    *value = float(v);
    return true;
}

const QStringList &textReplyKeys()
{
    static const QStringList keys = {
        QStringLiteral("SYS:DEVTYPE:P"),      QStringLiteral("SYS:UDEVTYPE:P"),
        QStringLiteral("SYS:REM:P"),          QStringLiteral("SYS:ERROR:P"),
        QStringLiteral("LIST:LOAD:L"),        QStringLiteral("SYS:MODE:P"),
        QStringLiteral("SYS:OUT:M"),          QStringLiteral("CV:SLEW:RISE:L"),
        QStringLiteral("CV:SLEW:FALL:L"),     QStringLiteral("CR:SLEW:RISE:L"),
        QStringLiteral("CR:SLEW:FALL:L"),     QStringLiteral("CP:SLEW:RISE:L"),
        QStringLiteral("CP:SLEW:FALL:L"),     QStringLiteral("SYS:FUNC:M"),
        QStringLiteral("SYS:SHOUT:M"),        QStringLiteral("CCD:MODE:L"),
        QStringLiteral("SYS:PARALLEL:P"),     QStringLiteral("SYS:PARNUM:P"),
        QStringLiteral("SYS:BAT:CSTOP_EN:L"), QStringLiteral("SYS:BAT:VSTOP_EN:L"),
        QStringLiteral("SYS:BAT:TMSTOP_EN:L"), QStringLiteral("SYS:ALL:M"),
        QStringLiteral("SYS:PARSM:P"),        QStringLiteral("DCAC:MODE:L"),
    };
    return keys;
}

bool isTextReplyKey(const QString &key)
{
    return textReplyKeys().contains(key, Qt::CaseSensitive);
}

int replyStatus(const QString &key, const QString &reply)
{
    if (isTextReplyKey(key))
        return reply.trimmed().isEmpty() ? DataPack::NoReply : DataPack::Received;
    if (reply.isEmpty())
        return DataPack::NoReply;
    return isNumeric(reply) ? DataPack::Received : DataPack::NotNumeric;
}

QString replyText(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}

QChar routingSuffix(const QString &key)
{
    const int colon = key.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || colon + 1 >= key.size())
        return QChar();
    return key.at(colon + 1);
}

QString logPrefix(const QString &text, int maxChars)
{
    if (text.size() <= maxChars)
        return text;
    return text.left(maxChars) + QStringLiteral("...(%1 chars)").arg(text.size());
}
