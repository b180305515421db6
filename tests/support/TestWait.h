#pragma once

// How long a test waits for what must come: a reply, a report, a started
// child, a line of its output. Only a failing test waits it out; a loaded
// machine, a sanitizer build or a test process that is stopped now and then
// may take seconds for what takes milliseconds alone. A check that something
// does not come passes a time of its own.
constexpr int kMustComeMs = 30000;
