// The scene auto-tuning engine's entry points as the recording engine calls
// them: the engine's own calls, with its answers turned into 1 or -1.
#include "sceneauto/sceneauto_comm.h"

#include "sceneauto/sceneauto.h"

#include <cstdio>

s32 KX_Scene_Auto_Init(void)
{
    if (DU_VUZI_SCENEAUTO_Init("/dv/iq_config/sceneauto_34220.ini") != 0) {
        puts("DU_VUZI_SCENEAUTO_Init failed");
        return -1;
    }
    return 1;
}

s32 KX_Scene_Auto_Run(u32 cmd, u32 arg)
{
    printf("%s:%s %s\n", __FUNCTION__, __DATE__, __TIME__);
    switch (cmd) {
    case 1:
        if (DU_VUZI_SCENEAUTO_Start() != 0) {
            puts("DU_VUZI_SCENEAUTO_Start failed");
            return -1;
        }
        return 1;
    case 2:
        if (DU_VUZI_SCENEAUTO_Stop() != 0) {
            puts("DU_VUZI_SCENEAUTO_Stop failed");
            return -1;
        }
        return 1;
    case 3: {
        if (arg > 5) {
            puts("unkonw input");
            return 1;
        }
        const u32 scene = arg == 5 ? 0 : arg + 1;
        if (DU_VUZI_SCENEAUTO_SetSpecialMode(&scene) != 0) {
            puts("DU_VUZI_SCENEAUTO_SetSpecialMode failed");
            return -1;
        }
        return 1;
    }
    case 4: {
        u32 scene = 0;
        if (DU_VUZI_SCENEAUTO_GetSpecialMode(&scene) != 0) {
            puts("DU_VUZI_SCENEAUTO_GetSpecialMode failed");
            return -1;
        }
        printf("current scene is %d\n", scene);
        return 1;
    }
    default:
        puts("unkonw input");
        return 1;
    }
}

s32 KX_Scene_Auto_Exit(void)
{
    if (DU_VUZI_SCENEAUTO_DeInit() != 0) {
        puts("DU_VUZI_SCENEAUTO_DeInit failed");
        return -1;
    }
    puts("deinit success");
    return 1;
}
