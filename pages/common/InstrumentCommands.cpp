#include "InstrumentCommands.h"

#include "CommandText.h"

namespace InstrumentCommands {

namespace {

using namespace CommandText;

// Range combos list the high range first; the instrument calls it 1.
InstrumentCommand rangeSetting(const char *pattern, const char *key, int comboIndex)
{
    if (comboIndex != 0 && comboIndex != 1)
        return make(key, QString(), false, false);
    return intSetting(pattern, key, comboIndex == 0 ? 1 : 0, 0, 1);
}

} // namespace

InstrumentCommand setCurr(double v) { return floatSetting("CURR %0\n", "CC:CURR:L", v); }
InstrumentCommand setCurrSlewRise(double v) { return floatSetting("CURR:SLEW:RISE %0\n", "CC:SLEW:RISE:L", v); }
InstrumentCommand setCurrSlewFall(double v) { return floatSetting("CURR:SLEW:FALL %0\n", "CC:SLEW:FALL:L", v); }
InstrumentCommand setVolt(double v) { return floatSetting("VOLT %0\n", "CV:VOLT:L", v); }
InstrumentCommand setRes(double v) { return floatSetting("RES %0\n", "CR:RES:L", v); }
InstrumentCommand setPow(double v) { return floatSetting("POW %0\n", "CP:POW:L", v); }
InstrumentCommand setDynLow(double v) { return floatSetting("DYN:LOW %0\n", "CCD:LOW:DWEL:L", v); }
InstrumentCommand setDynHigh(double v) { return floatSetting("DYN:HIGH %0\n", "CCD:HIGH:DWEL:L", v); }
InstrumentCommand setDynLowDwell(double v) { return floatSetting("DYN:LOW:DWEL %0\n", "CCD:LOW:L", v); }
InstrumentCommand setDynHighDwell(double v) { return floatSetting("DYN:HIGH:DWEL %0\n", "CCD:HIGH:L", v); }
InstrumentCommand setDynSlewRise(double v) { return floatSetting("DYN:SLEW:RISE %0\n", "CCD:SLEW:RISE:L", v); }
InstrumentCommand setDynSlewFall(double v) { return floatSetting("DYN:SLEW:FALL %0\n", "CCD:SLEW:FALL:L", v); }
InstrumentCommand setOvp(double v) { return floatSetting("VOLT:PROT %0\n", "SYS:OVP:M", v); }
InstrumentCommand setOcp(double v) { return floatSetting("CURR:PROT %0\n", "SYS:OCP:M", v); }
InstrumentCommand setOpp(double v) { return floatSetting("POW:PROT %0\n", "SYS:OPP:M", v); }

InstrumentCommand setVoltSlewRise(int s) { return intSetting("VOLT:SLEW:RISE %0\n", "CV:SLEW:RISE:L", s, 0, 2); }
InstrumentCommand setVoltSlewFall(int s) { return intSetting("VOLT:SLEW:FALL %0\n", "CV:SLEW:FALL:L", s, 0, 2); }
InstrumentCommand setResSlewRise(int s) { return intSetting("RES:SLEW:RISE %0\n", "CR:SLEW:RISE:L", s, 0, 2); }
InstrumentCommand setResSlewFall(int s) { return intSetting("RES:SLEW:FALL %0\n", "CR:SLEW:FALL:L", s, 0, 2); }
InstrumentCommand setPowSlewRise(int s) { return intSetting("POW:SLEW:RISE %0\n", "CP:SLEW:RISE:L", s, 0, 2); }
InstrumentCommand setPowSlewFall(int s) { return intSetting("POW:SLEW:FALL %0\n", "CP:SLEW:FALL:L", s, 0, 2); }
InstrumentCommand setDynMode(int m) { return intSetting("DYN:MODE %0\n", "CCD:MODE:L", m, 0, 1); }
InstrumentCommand setVoltRange(int i) { return rangeSetting("VOLT:RANG %0\n", "LOAD:VOLT:RANG:L", i); }
InstrumentCommand setCurrRange(int i) { return rangeSetting("CURR:RANG %0\n", "LOAD:CURR:RANG:L", i); }
InstrumentCommand setShort(int on) { return intSetting("INP:SHOR %0\n", "SYS:SHOUT:M", on, 0, 1); }
InstrumentCommand setFunc(int f) { return intSetting("FUNC %0\n", "SYS:FUNC:M", f, 0, 4); }

InstrumentCommand setDcAcMode(int ac)
{
    if (ac != 0 && ac != 1)
        return make("DCAC:MODE:L", QString(), false, false);
    return make("DCAC:MODE:L", ac == 1 ? QStringLiteral("DCAC:MODE AC\n") : QStringLiteral("DCAC:MODE DC\n"));
}

InstrumentCommand setOutMode(int battery)
{
    if (battery != 0 && battery != 1)
        return make("SYS:OutMode", QString(), false, false);
    return make("SYS:OutMode", battery == 1 ? QStringLiteral("MODE 4\n") : QStringLiteral("MODE 0\n"));
}

InstrumentCommand setInput(bool on)
{
    return on ? make("SYS:ON", QStringLiteral("INP ON\n")) : make("SYS:OFF", QStringLiteral("INP OFF\n"));
}

InstrumentCommand queryCurr() { return query("CURR?\n", "CC:CURR:L"); }
InstrumentCommand queryCurrSlewRise() { return query("CURR:SLEW:RISE?\n", "CC:SLEW:RISE:L"); }
InstrumentCommand queryCurrSlewFall() { return query("CURR:SLEW:FALL?\n", "CC:SLEW:FALL:L"); }
InstrumentCommand queryVolt() { return query("VOLT?\n", "CV:VOLT:L"); }
InstrumentCommand queryVoltSlewRise() { return query("VOLT:SLEW:RISE?\n", "CV:SLEW:RISE:L"); }
InstrumentCommand queryVoltSlewFall() { return query("VOLT:SLEW:FALL?\n", "CV:SLEW:FALL:L"); }
InstrumentCommand queryRes() { return query("RES?\n", "CR:RES:L"); }
InstrumentCommand queryResSlewRise() { return query("RES:SLEW:RISE?\n", "CR:SLEW:RISE:L"); }
InstrumentCommand queryResSlewFall() { return query("RES:SLEW:FALL?\n", "CR:SLEW:FALL:L"); }
InstrumentCommand queryPow() { return query("POW?\n", "CP:POW:L"); }
InstrumentCommand queryPowSlewRise() { return query("POW:SLEW:RISE?\n", "CP:SLEW:RISE:L"); }
InstrumentCommand queryPowSlewFall() { return query("POW:SLEW:FALL?\n", "CP:SLEW:FALL:L"); }
InstrumentCommand queryDynMode() { return query("DYN:MODE?\n", "CCD:MODE:L"); }
InstrumentCommand queryDynLow() { return query("DYN:LOW?\n", "CCD:LOW:DWEL:L"); }
InstrumentCommand queryDynHigh() { return query("DYN:HIGH?\n", "CCD:HIGH:DWEL:L"); }
InstrumentCommand queryDynLowDwell() { return query("DYN:LOW:DWEL?\n", "CCD:LOW:L"); }
InstrumentCommand queryDynHighDwell() { return query("DYN:HIGH:DWEL?\n", "CCD:HIGH:L"); }
InstrumentCommand queryDynSlewRise() { return query("DYN:SLEW:RISE?\n", "CCD:SLEW:RISE:L"); }
InstrumentCommand queryDynSlewFall() { return query("DYN:SLEW:FALL?\n", "CCD:SLEW:FALL:L"); }
InstrumentCommand queryVoltRange() { return query("VOLT:RANG?\n", "LOAD:VOLT:RANG:L"); }
InstrumentCommand queryCurrRange() { return query("CURR:RANG?\n", "LOAD:CURR:RANG:L"); }
InstrumentCommand queryDcAcMode() { return query("DCAC:MODE?\n", "DCAC:MODE:L"); }
InstrumentCommand queryShort() { return query("INP:SHOR?\n", "SYS:SHOUT:M"); }
InstrumentCommand queryFunc() { return query("FUNC?\n", "SYS:FUNC:M"); }
InstrumentCommand measureCurr() { return query("MEAS:CURR?\n", "SYS:CURR:M"); }
InstrumentCommand measureVolt() { return query("MEAS:VOLT?\n", "SYS:VOLT:M"); }
InstrumentCommand queryOvp() { return query("VOLT:PROT?\n", "SYS:OVP:M"); }
InstrumentCommand queryOcp() { return query("CURR:PROT?\n", "SYS:OCP:M"); }
InstrumentCommand queryOpp() { return query("POW:PROT?\n", "SYS:OPP:M"); }
InstrumentCommand queryInput() { return query("INP?\n", "SYS:OUT:M"); }
InstrumentCommand measureAll() { return query("MEAS:ALL:INFO?\n", "SYS:ALL:M"); }

} // namespace InstrumentCommands
