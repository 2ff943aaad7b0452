// The adapter's operations on the ISP's image attributes and registers and
// on the video input's DCI and colour conversion.
#include "sceneauto/du_sceneauto_adpt.h"

#include "mpi/video/vi/mpi_vi.h"
#include "sceneauto/du_sceneauto_adpt_call.h"

using namespace sceneauto_adpt;

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
    s32 v = prefs().Contrast;
    if (v == 0)
        csc.u32ContrVal = kNeutralContrast;
    else if (v >= -128 && v <= 128)
        csc.u32ContrVal = (u32)((s32)kNeutralContrast + v * (s32)kNeutralContrast / 128);
    ret = DU_DUZ_VI_SetCSCAttr(dev, &csc);
    if (ret != 0) {
        printf("DU_DUZ_VI_SetCSCAttr failed!s32Ret =0x %x\n", ret);
        return -1;
    }
    return 0;
}
