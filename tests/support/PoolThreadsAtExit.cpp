// Linked into every test executable.
//
// Qt's global thread pool (the window's pictures are converted on it as the
// form loads them) ends its threads when the application object goes, but
// does not join them: a pool thread may still be releasing its thread data
// when the process exits, and LeakSanitizer's check at exit (make asan) then
// finds that data with nothing pointing at it. Before that check, and after
// everything Qt tears down at exit, the process waits for those threads to be
// gone: a second at the most, normally not at all.

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Qt names its pool threads so; the kernel keeps 15 characters of a name.
const char kPoolThreadName[] = "Thread (pooled)";

bool poolThreadsLeft()
{
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return false;
    bool found = false;
    while (const dirent *e = readdir(tasks)) {
        if (e->d_name[0] == '.')
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", e->d_name);
        FILE *f = std::fopen(path, "r");
        if (!f)
            continue; // ended meanwhile
        char name[32] = {};
        const bool read = std::fgets(name, sizeof name, f) != nullptr;
        std::fclose(f);
        if (read && std::strncmp(name, kPoolThreadName, sizeof kPoolThreadName - 1) == 0) {
            found = true;
            break;
        }
    }
    closedir(tasks);
    return found;
}

void waitForPoolThreads()
{
    for (int i = 0; i < 1000 && poolThreadsLeft(); ++i)
        usleep(1000);
}

// Registered before main: runs after the static objects made later are gone
// (the thread pool among them) and before the sanitizer's own exit check.
const int kRegistered = std::atexit(waitForPoolThreads);

} // namespace
