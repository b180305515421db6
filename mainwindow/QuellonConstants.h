#pragma once

// Texts and numbers the main window's source files share: the keys of its
// own commands, the words it tells the pages, and the panel texts and styles.

#include <QString>

namespace {
const QString kStyleRed = QStringLiteral("color: rgb(255, 0, 0);");
const QString kNoTarget = QStringLiteral("NO TARGET");

const QString kCmdStart = QStringLiteral("START");
const QString kCmdStatus = QStringLiteral("STATUS");
const QString kCmdLinkOff = QStringLiteral("OUT_SW_0_LINK_OFF");
const QString kCmdError = QStringLiteral("ERROR");

const QString kKeyDevType = QStringLiteral("SYS:DEVTYPE:P");
const QString kKeyUDevType = QStringLiteral("SYS:UDEVTYPE:P");
const QString kKeyRemote = QStringLiteral("SYS:REM:P");
const QString kKeyLocal = QStringLiteral("SYS:LOC:P");
const QString kKeyError = QStringLiteral("SYS:ERROR:P");
const QString kKeyParallel = QStringLiteral("SYS:PARALLEL:P");
const QString kKeyParallelRole = QStringLiteral("SYS:PARSM:P");
const QString kKeyParallelCount = QStringLiteral("SYS:PARNUM:P");
const QString kKeyParallelAddress = QStringLiteral("SYS:ADDRESS:P");
} // namespace
