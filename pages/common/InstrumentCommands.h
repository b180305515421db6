#pragma once

#include <QString>

// One instrument command: its text (with "\n"), the key its reply carries and
// whether it is a query. `valid` is false when the value given cannot be sent
// (a negative float, an integer outside the listed values); nothing is sent then.
struct InstrumentCommand
{
    QString key;
    QString text;
    bool query = false;
    bool valid = true;
};

// The commands of the static mode page, of which the list and battery pages
// share the protection limits, the input switch, the mode entry, the current
// and its rise slope and the measurement queries. Float values go out in the
// general format with at most 6 significant digits.
namespace InstrumentCommands {

// Settings with a float value.
InstrumentCommand setCurr(double amps);
InstrumentCommand setCurrSlewRise(double ampsPerMs);
InstrumentCommand setCurrSlewFall(double ampsPerMs);
InstrumentCommand setVolt(double volts);
InstrumentCommand setRes(double ohms);
InstrumentCommand setPow(double watts);
InstrumentCommand setDynLow(double amps);       // low level, key "CCD:LOW:DWEL:L"
InstrumentCommand setDynHigh(double amps);      // high level, key "CCD:HIGH:DWEL:L"
InstrumentCommand setDynLowDwell(double ms);    // key "CCD:LOW:L"
InstrumentCommand setDynHighDwell(double ms);   // key "CCD:HIGH:L"
InstrumentCommand setDynSlewRise(double ampsPerMs);
InstrumentCommand setDynSlewFall(double ampsPerMs);
InstrumentCommand setOvp(double volts);
InstrumentCommand setOcp(double amps);
InstrumentCommand setOpp(double watts);

// Settings with an integer value.
InstrumentCommand setVoltSlewRise(int speed); // 0 FAST, 1 NORM, 2 SLOW
InstrumentCommand setVoltSlewFall(int speed);
InstrumentCommand setResSlewRise(int speed);
InstrumentCommand setResSlewFall(int speed);
InstrumentCommand setPowSlewRise(int speed);
InstrumentCommand setPowSlewFall(int speed);
InstrumentCommand setDynMode(int mode);       // 0 continuous, 1 pulse
InstrumentCommand setVoltRange(int comboIndex); // index 0 (high) sends 1, index 1 (low) sends 0
InstrumentCommand setCurrRange(int comboIndex);
InstrumentCommand setDcAcMode(int ac);        // 1 "DCAC:MODE AC\n", 0 "DCAC:MODE DC\n"
InstrumentCommand setShort(int on);           // 1 on, 0 off
InstrumentCommand setFunc(int func);          // 0 CR, 1 CC, 2 CV, 3 CP, 4 CCD
InstrumentCommand setOutMode(int battery);    // 1 "MODE 4\n", 0 "MODE 0\n"
InstrumentCommand setInput(bool on);          // "INP ON\n" / "INP OFF\n"

// Queries.
InstrumentCommand queryCurr();
InstrumentCommand queryCurrSlewRise();
InstrumentCommand queryCurrSlewFall();
InstrumentCommand queryVolt();
InstrumentCommand queryVoltSlewRise();
InstrumentCommand queryVoltSlewFall();
InstrumentCommand queryRes();
InstrumentCommand queryResSlewRise();
InstrumentCommand queryResSlewFall();
InstrumentCommand queryPow();
InstrumentCommand queryPowSlewRise();
InstrumentCommand queryPowSlewFall();
InstrumentCommand queryDynMode();
InstrumentCommand queryDynLow();
InstrumentCommand queryDynHigh();
InstrumentCommand queryDynLowDwell();
InstrumentCommand queryDynHighDwell();
InstrumentCommand queryDynSlewRise();
InstrumentCommand queryDynSlewFall();
InstrumentCommand queryVoltRange();
InstrumentCommand queryCurrRange();
InstrumentCommand queryDcAcMode();
InstrumentCommand queryShort();
InstrumentCommand queryFunc();
InstrumentCommand measureCurr();
InstrumentCommand measureVolt();
InstrumentCommand queryOvp();
InstrumentCommand queryOcp();
InstrumentCommand queryOpp();
InstrumentCommand queryInput();
InstrumentCommand measureAll(); // "MEAS:ALL:INFO?\n", key "SYS:ALL:M"

} // namespace InstrumentCommands
