#pragma once

#include "RecordLog.h"

#include <QMetaType>
#include <QString>

// Records of the battery test page.

// Discharge settings: current, the three cut-offs and the nominal capacity.
struct elcBatteryModeParam
{
    float setCurr = 0;  // discharge current, A; divisor of the internal resistance
    float setVolt = 0;  // cut-off voltage, V
    float setCap = 0;   // cut-off capacity, Ah
    float setTime = 0;  // cut-off time, s
    float batCap = 0;   // nominal capacity, Ah; divisor of the SOH
    bool setVoltFlag = false;
    bool setCapFlag = false;
    bool setTimeFlag = false;
};

// Live values and results.
struct elcBatShowParam
{
    float curr = 0;     // measured current, A
    float volt = 0;     // measured voltage, V
    float cap = 0;      // discharged capacity, Ah (0 while ticks are skipped)
    float energy = 0;   // discharged energy, Wh
    float time = 0;     // test time reported by the instrument, s
    int status = 0;     // 0 idle, 1 testing, 2 success, 3 failure
    float soh = 0;      // state of health, %
    float ri = 0;       // internal resistance estimate, Ohm
    float noLoadVolt = 0; // voltage while no test runs
    float loadVolt = 0;   // voltage under load used for ri
    int skipTicks = 0;  // timer ticks still to skip after a fresh start
};

// Record-log settings and state.
// The battery page's record-log settings and state: the shared log's fields
// under the battery page's record name.
struct FileSaveParams : RecordLogParams
{
    FileSaveParams() = default;
    FileSaveParams(const RecordLogParams &p) : RecordLogParams(p) {}
};

Q_DECLARE_METATYPE(elcBatteryModeParam)
Q_DECLARE_METATYPE(elcBatShowParam)
Q_DECLARE_METATYPE(FileSaveParams)
