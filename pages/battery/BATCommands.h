#pragma once

#include "InstrumentCommands.h"

// The commands of the battery test page. Float values go out in the general
// format with at most 6 significant digits; a negative value is not sent.
namespace BATCommands {

InstrumentCommand setCurr(double amps);        // "BAT %0\n"
InstrumentCommand setVoltStop(double volts);   // "BAT:VST %0\n"
InstrumentCommand setCapStop(double ampHours); // "BAT:CST %0\n"
InstrumentCommand setTimeStop(double seconds); // "BAT:TIM %0\n"
InstrumentCommand setVoltStopEnabled(bool on); // "BAT:VEN 0|1\n"
InstrumentCommand setCapStopEnabled(bool on);  // "BAT:CEN 0|1\n"
InstrumentCommand setTimeStopEnabled(bool on); // "BAT:TEN 0|1\n"

InstrumentCommand queryCurr();
InstrumentCommand queryVoltStop();
InstrumentCommand queryCapStop();
InstrumentCommand queryTimeStop();
InstrumentCommand queryVoltStopEnabled();
InstrumentCommand queryCapStopEnabled();
InstrumentCommand queryTimeStopEnabled();

// Battery mode: "MODE 4\n" for the 15/30/60 series (modelSeries not 0),
// "MODE 6\n" for the 85/86 series.
InstrumentCommand setBatteryMode(int modelSeries);
// Input: 1 "INP ON\n", 2 "INP PAUSE\n", 0 "INP OFF\n"; anything else is not sent.
InstrumentCommand setOutput(int kind);

InstrumentCommand queryAll();    // "BAT:ALL?\n", key "SYS:ALL:M"
InstrumentCommand queryTime();   // "BAT:TIME?\n", key "SYS:TIME:M"
InstrumentCommand queryStatus(); // "BAT:STAT?\n", key "SYS:STATUS:M"

} // namespace BATCommands
