#pragma once

#include <QString>

// A number from the instrument, for a value a page keeps as a float: it must
// be finite, as a float too ("nan", "inf", "1e39" are no numbers). On false
// *value is left alone.
bool replyNumber(const QString &text, double *value);

// The three readings of a "SYS:ALL:M" reply (to "MEAS:ALL:INFO?\n").
struct MeasureAll
{
    double volt = 0;
    double curr = 0;
    double pow = 0;
};

// Reads a "SYS:ALL:M" reply: trimmed and split at ',' it must have six
// fields, the first three numbers (voltage, current, power); otherwise it is
// logged and false. A voltage whose magnitude exceeds `voltBound` or a
// current whose magnitude exceeds `currBound` drops the reply silently
// (false as well). *out is only written on true.
bool readMeasureAll(const QString &text, double voltBound, double currBound, MeasureAll *out);
