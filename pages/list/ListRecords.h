#pragma once

#include "RecordLog.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// Record-log settings and state of the list page.
struct FileSaveParamsList : RecordLogParams
{
    FileSaveParamsList() = default;
    FileSaveParamsList(const RecordLogParams &p) : RecordLogParams(p) {}
};

Q_DECLARE_METATYPE(FileSaveParamsList)

// A list file as read, before the page checks its cells: the texts of the
// "#TotalCounts", "#Cycles" and "#Mode" lines and the cells of every step line.
struct ListFileContent
{
    QString countText = QStringLiteral("0");
    QString cycleText = QStringLiteral("0");
    QString modeText = QStringLiteral("xxxx");
    QVector<QStringList> steps; // fields after the step number
};
