#pragma once

/* Exported C interface of the device-server library (filled in with the library). */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(VKDM_BUILDING)
#define VKDM_API __attribute__((visibility("default")))
#else
#define VKDM_API
#endif

VKDM_API const char *VKDM_GetVer(void);

#ifdef __cplusplus
}
#endif
