#pragma once

#include "InstrumentCommands.h"

// Builders behind every page's command functions: one place decides how a
// value becomes command text and when a value cannot be sent at all.
namespace CommandText {

InstrumentCommand make(const char *key, const QString &text, bool query = false, bool valid = true);

// "%0" replaced by the value in the general format with at most 6 significant
// digits; a negative value (or one that is not a number) is not sent.
InstrumentCommand floatSetting(const char *pattern, const char *key, double value);

// "%0" replaced by the integer; a value outside [lowest, highest] is not sent.
InstrumentCommand intSetting(const char *pattern, const char *key, int value, int lowest, int highest);

// "%0" replaced by "1" or "0".
InstrumentCommand enableSetting(const char *pattern, const char *key, bool on);

InstrumentCommand query(const char *text, const char *key);

} // namespace CommandText
