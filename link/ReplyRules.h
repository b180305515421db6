#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

// True when the text, trimmed, is non-empty and looks like an unsigned decimal
// number with optional exponent ("12", ".5", "1e3", "1.2E-3"; not "-1", "ON"),
// and its value is finite ("1e309" overflows and is no number).
bool isNumeric(const QString &text);

// The value of a number text (trimmed; any form QString::toDouble takes) when
// it is finite. "nan", "inf" and anything that overflows a double give false
// and leave *value alone. Every parser of instrument replies and files goes
// through these, so that a reading is never NaN or infinite.
bool toFiniteDouble(const QString &text, double *value);
// The same for a value kept as float: it must be finite as a float too
// ("1e39" is a finite double but overflows a float).
bool toFiniteFloat(const QString &text, float *value);

// The 24 keys whose replies are words or lists rather than one number.
const QStringList &textReplyKeys();
bool isTextReplyKey(const QString &key);

// Status a worker assigns to the reply text it read for a query (DataPack::Status).
int replyStatus(const QString &key, const QString &reply);

// A reply as read from a link: the bytes up to the first NUL byte, as UTF-8.
QString replyText(const QByteArray &bytes);

// What of a reply goes into the debug log: a short prefix, marked when cut.
QString logPrefix(const QString &text, int maxChars = 64);

// Character after the last ':' of the key; a null QChar when the key has no ':'
// or ends with one.
QChar routingSuffix(const QString &key);

// Debug line of a receiver that finds no routing suffix.
extern const char *const kNoSuffixDebugLine;
