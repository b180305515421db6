#include "DeviceManager.h"
#include "NotifyEvent.h"
#include "P2pEngine.h"

#include <cstring>

#include <sys/resource.h>

namespace {

// At load: ask for a high priority for the host (a refusal is ignored) and
// reserve the notification event number.
struct LibraryLoad
{
    LibraryLoad()
    {
        const int current = getpriority(PRIO_PROCESS, 0);
        if (current > -10)
            setpriority(PRIO_PROCESS, 0, -10);
        QEvent::registerEventType(VKDM_NOTIFY_EVENT);
    }
};
const LibraryLoad g_load;

DeviceManager &dm()
{
    return DeviceManager::instance();
}

P2pEngine &p2p()
{
    return P2pEngine::library();
}

} // namespace

extern "C" {

VKDM_API int VKDM_Init(uint32_t port)
{
    return dm().init(port);
}

VKDM_API void VKDM_Exit(void)
{
    dm().exit();
}

VKDM_API const char *VKDM_GetVer(void)
{
    return "V1.41";
}

VKDM_API int VKDM_StartSearchDev(void)
{
    return dm().startSearch();
}

VKDM_API const char *VKDM_GetDevID(uint32_t index)
{
    return dm().deviceIdText(index);
}

VKDM_API const char *VKDM_GetDevParamString(const char *id, int32_t paramId)
{
    return dm().getParamString(id, paramId);
}

VKDM_API int VKDM_GetDevParamInt(const char *id, int32_t paramId)
{
    return dm().getParamInt(id, paramId);
}

VKDM_API int VKDM_SetDevParamString(const char *id, const char *value, int32_t paramId)
{
    return dm().setParamString(id, value, paramId);
}

VKDM_API int VKDM_SetDevParamInt(const char *id, uint32_t value, int32_t paramId)
{
    return dm().setParamInt(id, value, paramId);
}

VKDM_API int VKDM_SetDevParamExcute(const char *id)
{
    return dm().executeParams(id);
}

VKDM_API int VKDM_AddManualDev(const char *fromAddress, const char *toAddress, uint32_t port)
{
    return dm().addManualRange(fromAddress, toAddress, port);
}

VKDM_API void VKDM_ClearManualDev(void)
{
    dm().clearManualRanges();
}

VKDM_API int VKDM_DevOpen(int32_t deviceNumber, int32_t flags, void *target)
{
    return dm().devOpen(deviceNumber, flags, target);
}

VKDM_API int VKDM_DevClose(int32_t deviceNumber)
{
    return dm().devClose(deviceNumber);
}

VKDM_API int VKDM_DevRead(int32_t deviceNumber, char *buffer, int32_t size)
{
    return dm().devRead(deviceNumber, buffer, size);
}

VKDM_API int VKDM_DevWrite(int32_t deviceNumber, const char *data, int32_t length)
{
    return dm().devWrite(deviceNumber, data, length);
}

VKDM_API int VKDM_GetIO(int32_t deviceNumber, uint8_t *inputs, uint8_t *output)
{
    return dm().getIo(deviceNumber, inputs, output) ? 1 : 0;
}

VKDM_API int VKDM_SetIO(int32_t deviceNumber, uint8_t inputs, uint8_t output)
{
    return dm().setIo(deviceNumber, inputs, output) ? 1 : 0;
}

// The P2P client is switched on only by a version text holding "P2P"; this
// version's "V1.41" does not, so the family answers 0 or null and does nothing.

VKDM_API uint8_t VKDM_P2pOpen(const char *server, uint32_t, const char *user, const char *password,
                              uint16_t proxyThreshold)
{
    if (!dm().p2pEnabled())
        return 0;
    return p2p().exportOpen(server, user, password, proxyThreshold) ? 1 : 0;
}

VKDM_API uint8_t VKDM_P2pClose(void)
{
    if (!dm().p2pEnabled())
        return 0;
    return p2p().exportClose() ? 1 : 0;
}

VKDM_API int VKDM_P2pAddPort(uint32_t localPort, const char *id, const char *targetAddress, uint16_t targetPort)
{
    if (!dm().p2pEnabled())
        return 0;
    return p2p().addPort(localPort, id, targetAddress, targetPort);
}

VKDM_API uint8_t VKDM_P2pDelPort(uint32_t localPort)
{
    if (!dm().p2pEnabled())
        return 0;
    return p2p().delPort(localPort) ? 1 : 0;
}

VKDM_API int VKDM_P2pRestartAll(void)
{
    if (!dm().p2pEnabled())
        return 0;
    p2p().restartAll();
    return 1;
}

VKDM_API uint8_t VKDM_P2pRetartPort(uint32_t localPort)
{
    if (!dm().p2pEnabled())
        return 0;
    return p2p().restartPort(localPort) ? 1 : 0;
}

VKDM_API const char *VKDM_P2pGetID(uint32_t index)
{
    if (!dm().p2pEnabled() || !p2p().isOpen())
        return nullptr;
    char *out = dm().resultBuffer();
    std::memset(out, 0, kResultBufferSize);
    return p2p().mappingId(index, out, kResultBufferSize);
}

} // extern "C"
