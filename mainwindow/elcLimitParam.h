#pragma once

#include <QMetaType>

// Working ranges and protection limits of the identified model, kept by the
// main window and sent to the pages. Units: A, V, W, Ohm, A/ms, ms.
struct elcLimitParam
{
    float limitMaxCurr = 40;
    float limitMaxVolt = 150;
    float limitMaxRes = 7500;
    float limitMinRes = 0.05f;
    float limitMaxPow = 400;
    float limitMaxSlope = 2000;
    float limitMinSlope = 0.01f;
    float limitMaxLowDwell = 5000;
    float limitMinLowDwell = 0.1f;
    float limitMaxLowCurr = 40;
    float limitMaxHighDwell = 5000;
    float limitMinHighDwell = 0.1f;
    float limitMaxHighCurr = 40;
    float limitMaxOvp = 165;
    float limitMaxOcp = 44;
    float limitMaxOpp = 440;
    float limitVoltRangeHigh = 150;
    float limitVoltRangeLow = 15;
    float limitCurrRangeHigh = 40;
    float limitCurrRangeLow = 4;
    float limitMaxAcCurr = 40;
    float limitMaxAcOvp = 165;
    float limitMaxAcOcp = 44;
};

Q_DECLARE_METATYPE(elcLimitParam)
