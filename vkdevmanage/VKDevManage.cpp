#define VKDM_BUILDING 1
#include "VKDevManage.h"

extern "C" VKDM_API const char *VKDM_GetVer(void)
{
    return "V1.41";
}
