#pragma once

#include <QString>

#include <cstdint>

// Parameter ids of a device that the LAN dialog reads and writes.
constexpr int kParamIp = 2;
constexpr int kParamPort = 3;
constexpr int kParamWorkMode = 256;
constexpr int kParamIpMode = 257;
constexpr int kParamName = 276;

// The device library as the LAN dialog uses it: loaded by name at run time
// from the program's own folder, its entry points resolved into one table
// that every dialog object shares. Nothing of the library is linked.
struct VkdmLibrary
{
    using InitFn = int (*)(uint32_t);
    using ExitFn = void (*)();
    using GetVerFn = const char *(*)();
    using SearchFn = int (*)();
    using GetDevIdFn = const char *(*)(uint32_t);
    using GetStrFn = const char *(*)(const char *, int32_t);
    using GetIntFn = int (*)(const char *, int32_t);
    using SetStrFn = int (*)(const char *, const char *, int32_t);
    using SetIntFn = int (*)(const char *, uint32_t, int32_t);
    using ExecuteFn = int (*)(const char *);
    using AddManualFn = int (*)(const char *, const char *, uint32_t);
    using ClearManualFn = void (*)();

    InitFn init = nullptr;
    GetVerFn getVer = nullptr;
    ExitFn exit = nullptr;
    SearchFn startSearchDev = nullptr;
    GetDevIdFn getDevId = nullptr;
    GetStrFn getDevParamString = nullptr;
    GetIntFn getDevParamInt = nullptr;
    SetStrFn setDevParamString = nullptr;
    SetIntFn setDevParamInt = nullptr;
    ExecuteFn setDevParamExcute = nullptr;
    AddManualFn addManualDev = nullptr;
    ClearManualFn clearManualDev = nullptr;

    // The program-wide table.
    static VkdmLibrary &instance();

    // Loads "VKDevManage" (once; it stays loaded) and resolves the twelve
    // names. False when the library could not be loaded.
    bool load();
    // The file the library is loaded from: beside the executable.
    static QString fileName();

    // Calls that tolerate an entry point that did not resolve (result as the
    // library reports a failure: 0, empty text, -1). Texts are copied at once.
    // The set calls and execute are true when the library took the call: a
    // device it does not know (or an entry point that did not resolve) is false.
    int search() const;
    QString deviceId(int index) const;
    QString paramString(const QString &id, int param) const;
    int paramInt(const QString &id, int param) const;
    bool setParamString(const QString &id, const QString &value, int param) const;
    bool setParamInt(const QString &id, uint32_t value, int param) const;
    bool execute(const QString &id) const;
};
