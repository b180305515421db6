#include "BATCommands.h"

#include "CommandText.h"

namespace BATCommands {

using namespace CommandText;

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
