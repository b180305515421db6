#pragma once

// Process-wide model flags: written only by the main window on the GUI
// thread (model lookup, link state, parallel panel), read by the pages.
extern bool acModeFlag;          // AC operation chosen
extern bool acDcModelFlag;       // the model offers AC/DC operation
extern bool noParallelModelFlag; // no parallel operation and no battery test
extern bool parallelFlag;        // parallel operation is on
extern int modelSeriesFlag;      // 0: 85/86 series, 1: 15/30/60 series
