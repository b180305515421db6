#pragma once

/*
 * libVKDevManage: finds and configures serial-to-Ethernet device servers on
 * the local network, and carries their data channels and input/output bits.
 *
 * Load it by name ("VKDevManage") and call it from one thread: the thread
 * that calls VKDM_Init must run a Qt event loop, through which the library's
 * socket notifications and its 20 s maintenance timer are delivered (never in
 * the middle of a call into the library).
 *
 * Texts cross the boundary as zero-terminated UTF-8. A text the library
 * returns lives in one shared buffer of 652 bytes and stays valid only until
 * the next call of VKDM_GetDevID, VKDM_GetDevParamString or VKDM_P2pGetID:
 * copy it at once. Failures are reported by results only: 0, a null pointer
 * or -1.
 *
 * Devices are named two ways: parameter functions take the ID text of
 * VKDM_GetDevID (12 hexadecimal digits, either case; only digits 5 to 12
 * matter); channel and I/O functions take the device number, the last eight
 * digits read as a big-endian 32-bit number. -1 is the raw broadcast channel.
 *
 * Notification target of VKDM_DevOpen (one for the library, replaced by
 * every VKDM_DevOpen), telling the host that data waits for VKDM_DevRead:
 *  - flags bit 1 set: target is a VKDM_NotifyCallback, called with
 *    (device number, 0); its result is ignored;
 *  - flags bit 1 clear: target is a QObject*, which receives synchronously
 *    (QCoreApplication::sendEvent) an event of type VKDM_NOTIFY_EVENT
 *    (0x0B80, registered by the library when it is loaded) laid out as
 *    VKDMNotifyEvent below: the QEvent, then the device number and 0 as two
 *    32-bit integers. The handler may call the library (e.g. VKDM_DevRead).
 * For device number -1 the target is always a QObject*.
 * Flags bit 0 set keeps the TCP send delay (no TCP_NODELAY). For device
 * number -1, the upper 16 bits of flags are the local UDP port and the lower
 * 16 bits the destination port of VKDM_DevWrite's broadcasts.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VKDM_BUILDING)
#define VKDM_API __attribute__((visibility("default")))
#else
#define VKDM_API
#endif

#define VKDM_NOTIFY_EVENT 0x0B80

typedef int (*VKDM_NotifyCallback)(int32_t deviceNumber, int32_t zero);

/* Lifecycle. Init: 1 ready, 0 the UDP port could not be bound (0 = open no port). */
VKDM_API int VKDM_Init(uint32_t port);
VKDM_API void VKDM_Exit(void);
VKDM_API const char *VKDM_GetVer(void);

/* Search (blocks about 500 ms per local IPv4 address): number of devices listed. */
VKDM_API int VKDM_StartSearchDev(void);
/* ID text of the index-th device (newest first), or null. */
VKDM_API const char *VKDM_GetDevID(uint32_t index);

/* Parameters by id; writes change the library's copy until VKDM_SetDevParamExcute. */
VKDM_API const char *VKDM_GetDevParamString(const char *id, int32_t paramId);
VKDM_API int VKDM_GetDevParamInt(const char *id, int32_t paramId);
VKDM_API int VKDM_SetDevParamString(const char *id, const char *value, int32_t paramId);
VKDM_API int VKDM_SetDevParamInt(const char *id, uint32_t value, int32_t paramId);
VKDM_API int VKDM_SetDevParamExcute(const char *id);

/* Manual device ranges: 1 added, 0 refused. */
VKDM_API int VKDM_AddManualDev(const char *fromAddress, const char *toAddress, uint32_t port);
VKDM_API void VKDM_ClearManualDev(void);

/* Data channels. */
VKDM_API int VKDM_DevOpen(int32_t deviceNumber, int32_t flags, void *target);
VKDM_API int VKDM_DevClose(int32_t deviceNumber);
/* Bytes delivered, 0 (also: a datagram for another device was discarded), -1 unknown device or socket error. */
VKDM_API int VKDM_DevRead(int32_t deviceNumber, char *buffer, int32_t size);
/* Bytes sent or queued, -1 unknown device or socket error. */
VKDM_API int VKDM_DevWrite(int32_t deviceNumber, const char *data, int32_t length);

/* Input/output bits: inputs byte (bit 3 excluded) and output bit (0 or 1). 1 when the device has I/O. */
VKDM_API int VKDM_GetIO(int32_t deviceNumber, uint8_t *inputs, uint8_t *output);
VKDM_API int VKDM_SetIO(int32_t deviceNumber, uint8_t inputs, uint8_t output);

/* P2P relay client: switched off in this version; every call returns 0 or null. */
VKDM_API uint8_t VKDM_P2pOpen(const char *server, uint32_t unused, const char *user, const char *password,
                              uint16_t proxyThreshold);
VKDM_API uint8_t VKDM_P2pClose(void);
VKDM_API int VKDM_P2pAddPort(uint32_t localPort, const char *id, const char *targetAddress, uint16_t targetPort);
VKDM_API uint8_t VKDM_P2pDelPort(uint32_t localPort);
VKDM_API int VKDM_P2pRestartAll(void);
VKDM_API uint8_t VKDM_P2pRetartPort(uint32_t localPort);
VKDM_API const char *VKDM_P2pGetID(uint32_t index);

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && defined(QCOREEVENT_H)
/* The event a QObject target receives (include <QEvent> before this header). */
class VKDMNotifyEvent : public QEvent
{
public:
    explicit VKDMNotifyEvent(int32_t number) : QEvent(QEvent::Type(VKDM_NOTIFY_EVENT)), deviceNumber(number) {}
    int32_t deviceNumber;
    int32_t param = 0;
};
#endif
