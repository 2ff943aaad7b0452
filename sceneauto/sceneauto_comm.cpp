// Adapter operations over the platform's attribute records: each reads one
// record, replaces the fields it tunes and writes the record back.
#include "sceneauto/sceneauto_comm.h"

#include "core/pref_record.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "mpi/video/vi/mpi_vi.h"
#include "sceneauto/sceneauto.h"

#include <cstdio>

u32 u32AELockExpTime, u32AELockAGain, u32AELockDGain, u32AELockISPDGain;
u32 AWBLockRGain, AWBLockGGain, AWBLockBGain;

namespace {

constexpr u32 kNeutralContrast = 45;
// The ISP device the tuning works on.
constexpr s32 kIspDev = 0;
constexpr u32 kOpAuto = 0, kOpManual = 1;

// Reads a record, lets `patch` change it and writes it back; the failing
// call's line and -1, or 0.
template <class Rec, class Patch>
s32 get_patch_set(s32 (*get)(s32, Rec *), const char *get_name, s32 (*set)(s32, const Rec *),
                  const char *set_name, Patch patch)
{
    Rec rec = {};
    if (get(kIspDev, &rec) != 0) {
        printf("%s failed\n", get_name);
        return -1;
    }
    patch(rec);
    if (set(kIspDev, &rec) != 0) {
        printf("%s failed\n", set_name);
        return -1;
    }
    return 0;
}

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

s32 CommSceneautoLockAE(u32 lock)
{
    return get_patch_set<AE_EXPOSURE_SETTINGS_S>(
        DU_DUZ_ISP_GetExposureAttr, "DU_DUZ_ISP_GetExposureAttr", DU_DUZ_ISP_SetExposureAttr,
        "DU_DUZ_ISP_SetExposureAttr", [lock](AE_EXPOSURE_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto;
                return;
            }
            AE_EXPOSURE_STATUS_S st = {};
            DU_DUZ_ISP_QueryExposureInfo(kIspDev, &st); // fails only for another device
            u32AELockExpTime = st.u32ExpTime;
            u32AELockAGain = st.u32AGain;
            u32AELockDGain = st.u32DGain;
            u32AELockISPDGain = st.u32ISPDGain;
            a.enOpType = kOpManual;
            AE_MANUAL_SETTINGS_S &m = a.stManual;
            m.bManualExpTimeEn = m.bManualAGainEn = m.bManualDGainEn = m.bManualISPDGainEn = 1;
            m.u32ExpTime = u32AELockExpTime;
            m.u32AGain = u32AELockAGain;
            m.u32DGain = u32AELockDGain;
            m.u32ISPDGain = u32AELockISPDGain;
        });
}

s32 CommSceneautoLockAwb(u32 lock)
{
    return get_patch_set<AWB_WB_SETTINGS_S>(
        DU_DUZ_ISP_GetWBAttr, "DU_DUZ_ISP_GetWBAttr", DU_DUZ_ISP_SetWBAttr, "DU_DUZ_ISP_SetWBAttr",
        [lock](AWB_WB_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto; // the manual gains stay as they were
                return;
            }
            AWB_WB_STATUS_S st = {};
            DU_DUZ_ISP_QueryWBInfo(kIspDev, &st); // fails only for another device
            AWBLockRGain = st.u16GainR;
            AWBLockGGain = st.u16GainGr;
            AWBLockBGain = st.u16GainB;
            a.enOpType = kOpManual;
            a.stManual.u16ManualGainR = (u16)AWBLockRGain;
            a.stManual.u16ManualGainGr = a.stManual.u16ManualGainGb = (u16)AWBLockGGain;
            a.stManual.u16ManualGainB = (u16)AWBLockBGain;
        });
}

// ---- the engine's entry points ----------------------------------------------------------

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
