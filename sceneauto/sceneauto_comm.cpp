// Adapter operations over the platform's attribute records: each reads one
// record, replaces the fields it tunes and writes the record back.
#include "sceneauto/sceneauto_comm.h"

#include "app/pref.h"
#include "mpi/video/vi/mpi_vi.h"

#include <cstdio>

namespace {

constexpr u32 kNeutralContrast = 45;

} // namespace

s32 CommSceneManualSetVICSC(s32 dev)
{
    VI_CSC_ATTR_REC_S csc = {};
    s32 ret = DU_DUZ_VI_GetCSCAttr(dev, &csc);
    if (ret != 0) {
        // Nothing to patch: setting a record never read would wipe the
        // device's brightness, hue and saturation.
        printf("DU_DUZ_VI_GetCSCAttr failed!s32Ret =0x %x\n", ret);
        return -1;
    }
    if (app_pref_user) {
        s32 v = app_pref_user->Contrast;
        if (v == 0)
            csc.u32ContrVal = kNeutralContrast;
        else if (v >= -128 && v <= 128)
            csc.u32ContrVal = (u32)((s32)kNeutralContrast + v * (s32)kNeutralContrast / 128);
    }
    ret = DU_DUZ_VI_SetCSCAttr(dev, &csc);
    if (ret != 0) {
        printf("DU_DUZ_VI_SetCSCAttr failed!s32Ret =0x %x\n", ret);
        return -1;
    }
    return 0;
}
