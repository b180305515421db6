#include "BATCommands.h"

#include "PageTools.h"

namespace BATCommands {

namespace {

InstrumentCommand make(const char *key, const QString &text, bool query = false, bool valid = true)
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

InstrumentCommand enableSetting(const char *pattern, const char *key, bool on)
{
    return make(key, QString::fromLatin1(pattern).replace(QLatin1String("%0"), on ? QStringLiteral("1") : QStringLiteral("0")));
}

InstrumentCommand query(const char *text, const char *key)
{
    return make(key, QString::fromLatin1(text), true);
}

} // namespace

InstrumentCommand setCurr(double v) { return floatSetting("BAT %0\n", "SYS:BAT:CURR:L", v); }
InstrumentCommand setVoltStop(double v) { return floatSetting("BAT:VST %0\n", "SYS:BAT:VSTOP:L", v); }
InstrumentCommand setCapStop(double v) { return floatSetting("BAT:CST %0\n", "SYS:BAT:CSTOP:L", v); }
InstrumentCommand setTimeStop(double v) { return floatSetting("BAT:TIM %0\n", "SYS:BAT:TMSTOP:L", v); }
InstrumentCommand setVoltStopEnabled(bool on) { return enableSetting("BAT:VEN %0\n", "SYS:BAT:VSTOP_EN:L", on); }
InstrumentCommand setCapStopEnabled(bool on) { return enableSetting("BAT:CEN %0\n", "SYS:BAT:CSTOP_EN:L", on); }
InstrumentCommand setTimeStopEnabled(bool on) { return enableSetting("BAT:TEN %0\n", "SYS:BAT:TMSTOP_EN:L", on); }

InstrumentCommand queryCurr() { return query("BAT?\n", "SYS:BAT:CURR:L"); }
InstrumentCommand queryVoltStop() { return query("BAT:VST?\n", "SYS:BAT:VSTOP:L"); }
InstrumentCommand queryCapStop() { return query("BAT:CST?\n", "SYS:BAT:CSTOP:L"); }
InstrumentCommand queryTimeStop() { return query("BAT:TIM?\n", "SYS:BAT:TMSTOP:L"); }
InstrumentCommand queryVoltStopEnabled() { return query("BAT:VEN?\n", "SYS:BAT:VSTOP_EN:L"); }
InstrumentCommand queryCapStopEnabled() { return query("BAT:CEN?\n", "SYS:BAT:CSTOP_EN:L"); }
InstrumentCommand queryTimeStopEnabled() { return query("BAT:TEN?\n", "SYS:BAT:TMSTOP_EN:L"); }

InstrumentCommand setBatteryMode(int modelSeries)
{
    return make("SYS:OutMode", modelSeries != 0 ? QStringLiteral("MODE 4\n") : QStringLiteral("MODE 6\n"));
}

InstrumentCommand setOutput(int kind)
{
    switch (kind) {
    case 1: return make("SYS:ON", QStringLiteral("INP ON\n"));
    case 2: return make("SYS:PAUSE", QStringLiteral("INP PAUSE\n"));
    case 0: return make("SYS:OFF", QStringLiteral("INP OFF\n"));
    default: return make("SYS:OFF", QString(), false, false);
    }
}

InstrumentCommand queryAll() { return query("BAT:ALL?\n", "SYS:ALL:M"); }
InstrumentCommand queryTime() { return query("BAT:TIME?\n", "SYS:TIME:M"); }
InstrumentCommand queryStatus() { return query("BAT:STAT?\n", "SYS:STATUS:M"); }

} // namespace BATCommands
