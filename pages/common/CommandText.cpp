#include "CommandText.h"

#include "PageTools.h"

namespace CommandText {

InstrumentCommand make(const char *key, const QString &text, bool query, bool valid)
{
    InstrumentCommand c;
    c.key = QLatin1String(key);
    c.text = text;
    c.query = query;
    c.valid = valid;
    return c;
}

InstrumentCommand floatSetting(const char *pattern, const char *key, double value)
{
    if (!(value >= 0)) // negative or not a number: nothing is sent
        return make(key, QString(), false, false);
    return make(key, QString::fromLatin1(pattern).replace(QLatin1String("%0"), settingValueText(value)));
}

InstrumentCommand intSetting(const char *pattern, const char *key, int value, int lowest, int highest)
{
    if (value < lowest || value > highest)
        return make(key, QString(), false, false);
    return make(key, QString::fromLatin1(pattern).replace(QLatin1String("%0"), QString::number(value)));
}

InstrumentCommand enableSetting(const char *pattern, const char *key, bool on)
{
    return make(key, QString::fromLatin1(pattern).replace(QLatin1String("%0"), on ? QStringLiteral("1") : QStringLiteral("0")));
}

InstrumentCommand query(const char *text, const char *key)
{
    return make(key, QString::fromLatin1(text), true);
}

} // namespace CommandText
