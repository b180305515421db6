#pragma once

#include <QMetaType>

// Records of the static mode page; each mirrors one group of its form.

struct elcCCModeParam
{
    float curr = 0;      // A
    float riseSlope = 0; // A/ms
    float fallSlope = 0; // A/ms
};

// Slew speeds of CV, CR and CP: 0 FAST, 1 NORM, 2 SLOW.
struct elcCVModeParam
{
    float volt = 0; // V
    int riseSlope = 0;
    int fallSlope = 0;
};

struct elcCRModeParam
{
    float res = 0; // Ohm
    int riseSlope = 0;
    int fallSlope = 0;
};

struct elcCPModeParam
{
    float pow = 0; // W
    int riseSlope = 0;
    int fallSlope = 0;
};

struct elcCCDModeParam
{
    int mode = 0;        // 0 continuous, 1 pulse
    float lowCurr = 0;   // A
    float lowDwell = 0;  // ms
    float highCurr = 0;  // A
    float highDwell = 0; // ms
    float riseSlope = 0; // A/ms
    float fallSlope = 0; // A/ms
};

// Range combo indexes: 0 high range, 1 low range.
struct elcGSetParam
{
    int currRange = 0;
    int voltRange = 0;
};

struct elcShowParam
{
    int func = 1;       // 0 CR, 1 CC, 2 CV, 3 CP, 4 CCD
    int shortState = 0; // 1 short circuit on
    float curr = 0;     // measured A
    float volt = 0;     // measured V
    float pow = 0;      // measured W
    int reserved = 0;
};

Q_DECLARE_METATYPE(elcCCModeParam)
Q_DECLARE_METATYPE(elcCVModeParam)
Q_DECLARE_METATYPE(elcCRModeParam)
Q_DECLARE_METATYPE(elcCPModeParam)
Q_DECLARE_METATYPE(elcCCDModeParam)
Q_DECLARE_METATYPE(elcGSetParam)
Q_DECLARE_METATYPE(elcShowParam)
