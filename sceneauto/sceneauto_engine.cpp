// The scene auto-tuning engine is not part of this firmware yet. Its start-up
// says so and fails; every other call then answers as the engine does while
// it is not initialised, so the recording engine goes on without it.
#include "sceneauto/sceneauto.h"

#include <cstdio>

s32 DU_VUZI_SCENEAUTO_Init(const char *pcIniPath)
{
    if (!pcIniPath) {
        printf("func:%s,line:%d, NULL pointer\n", __FUNCTION__, __LINE__);
        return -1;
    }
    puts("VUZI SCENEAUTO Module is not available in this firmware");
    return -1;
}

s32 DU_VUZI_SCENEAUTO_DeInit(void)
{
    puts("VUZI SCENEAUTO Module has not been inited !");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_Start(void)
{
    printf("func:%s,line:%d, please init sceneauto first!\n", __FUNCTION__, __LINE__);
    return -1;
}

s32 DU_VUZI_SCENEAUTO_Stop(void)
{
    puts("VUZI SCENEAUTO Module has been stopped already!");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_GetSpecialMode(u32 *peSpecialScene)
{
    if (!peSpecialScene) {
        printf("func:%s,line:%d, NULL pointer\n", __FUNCTION__, __LINE__);
        return -1;
    }
    *peSpecialScene = 0; // never left the normal scene
    return 0;
}

s32 DU_VUZI_SCENEAUTO_SetSpecialMode(const u32 *)
{
    printf("func:%s,line:%d, please init sceneauto first!\n", __FUNCTION__, __LINE__);
    return -1;
}
