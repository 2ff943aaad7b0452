// The adapter's exposure and white-balance operations: the engine's AE
// levels, the user's exposure and white-balance preferences, the fixed
// exposure routes, and the locks the application holds the picture with.
#include "sceneauto/du_sceneauto_adpt.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "sceneauto/du_sceneauto_adpt_call.h"

using namespace sceneauto_adpt;

u32 u32AELockExpTime, u32AELockAGain, u32AELockDGain, u32AELockISPDGain;
u32 AWBLockRGain, AWBLockGGain, AWBLockBGain;

namespace {

constexpr u32 kOpAuto = 0, kOpManual = 1;
// The ISP device of the tuning image; the locks may run before the engine
// has loaded it.
constexpr s32 kLockDev = 0;

} // namespace

s32 CommSceneautoLockAE(u32 lock)
{
    return get_patch_set<AE_EXPOSURE_SETTINGS_S>(
        kLockDev, SCENEAUTO_CALL(DU_DUZ_ISP_GetExposureAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetExposureAttr),
        [lock](AE_EXPOSURE_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto;
                return;
            }
            AE_EXPOSURE_STATUS_S st = {};
            DU_DUZ_ISP_QueryExposureInfo(kLockDev, &st); // fails only for another device
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
        kLockDev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWBAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetWBAttr),
        [lock](AWB_WB_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto; // the manual gains stay as they were
                return;
            }
            AWB_WB_STATUS_S st = {};
            DU_DUZ_ISP_QueryWBInfo(kLockDev, &st); // fails only for another device
            AWBLockRGain = st.u16GainR;
            AWBLockGGain = st.u16GainGr;
            AWBLockBGain = st.u16GainB;
            a.enOpType = kOpManual;
            a.stManual.u16ManualGainR = (u16)AWBLockRGain;
            a.stManual.u16ManualGainGr = a.stManual.u16ManualGainGb = (u16)AWBLockGGain;
            a.stManual.u16ManualGainB = (u16)AWBLockBGain;
        });
}
