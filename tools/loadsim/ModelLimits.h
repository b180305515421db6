#pragma once

#include <QString>

// Ratings of one instrument model, as far as the simulator needs them.
struct ModelLimits
{
    double maxCurr = 40;
    double maxVolt = 150;
    double maxPow = 400;
    double maxOvp = 155;
    double maxOcp = 44;
    double maxOpp = 420;
    bool acDc = false;     // offers AC/DC operation
    int series = -1;       // 0: 85/86 series, 1: 15/30/60 series, -1: unknown

    // Ratings of a model by its identifier; unknown models get the defaults.
    static ModelLimits forModel(const QString &model);
};
