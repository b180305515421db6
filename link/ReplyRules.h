#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

// True when the text, trimmed, is non-empty and looks like an unsigned decimal
// number with optional exponent ("12", ".5", "1e3", "1.2E-3"; not "-1", "ON").
bool isNumeric(const QString &text);

// The 24 keys whose replies are words or lists rather than one number.
const QStringList &textReplyKeys();
bool isTextReplyKey(const QString &key);

// Status a worker assigns to the reply text it read for a query (DataPack::Status).
int replyStatus(const QString &key, const QString &reply);

// A reply as read from a link: the bytes up to the first NUL byte, as UTF-8.
QString replyText(const QByteArray &bytes);

// Character after the last ':' of the key; a null QChar when the key has no ':'
// or ends with one.
QChar routingSuffix(const QString &key);

// Debug line of a receiver that finds no routing suffix.
extern const char *const kNoSuffixDebugLine;
