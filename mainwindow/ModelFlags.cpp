#include "ModelFlags.h"

bool acModeFlag = false;
bool acDcModelFlag = false;
bool noParallelModelFlag = false;
bool parallelFlag = false;
int modelSeriesFlag = 0;
