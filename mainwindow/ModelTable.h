#pragma once

#include <QString>
#include <QStringList>

// Working ranges of one model. An AC maximum of 0 means "same as the DC value".
struct ModelLimits
{
    float curr, volt, pow, ovp, ocp, opp;
    float voltRangeHigh, voltRangeLow, currRangeHigh, currRangeLow;
    float acCurr, acOvp, acOcp;
};

// The built-in table of models and the model lists.
class ModelTable
{
public:
    // The limits of a listed model (identifier compared exactly), or nullptr.
    static const ModelLimits *find(const QString &model);
    // Every identifier of the table, in table order.
    static QStringList models();
    // Series of a model text by its first series number: 0 for 85 and 86,
    // 1 for 15, 30 and 60, -1 when the text shows none.
    static int series(const QString &model);
    // Models without parallel operation and battery test (any case).
    static bool isNoParallelModel(const QString &model);
    // Models that offer AC/DC operation (any case).
    static bool isAcDcModel(const QString &model);
};
