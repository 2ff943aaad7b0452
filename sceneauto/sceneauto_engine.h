// Inside the scene auto-tuning engine: its state, the scene lock, the two
// tuning threads and the setters they and the special scenes share. The
// public interface is sceneauto/sceneauto.h.
//
// Who writes what: the API calls (the recording engine's threads) write the
// flags and the scene, and apply the special scenes, under
// g_stSceneautoLock; the threads poll their run flags without it. The
// normal thread holds the lock for its start-up and for each cycle, the
// special thread for its highlight switching.
#pragma once

#include "core/run_thread.h"
#include "sceneauto/sceneauto.h"
#include "sceneauto/sceneauto_iq.h"

#include <atomic>
#include <pthread.h>

enum SCENEAUTO_SPECIAL_SCENE_E : u32 {
    SCENEAUTO_SPECIAL_SCENE_NONE = 0,
    SCENEAUTO_SPECIAL_SCENE_BLC = 1,
    SCENEAUTO_SPECIAL_SCENE_IR = 2,
    SCENEAUTO_SPECIAL_SCENE_HLC = 3,
    SCENEAUTO_SPECIAL_SCENE_DYNAMIC = 4,
    SCENEAUTO_SPECIAL_SCENE_DRC = 5,
    SCENEAUTO_SPECIAL_SCENE_AUTO_FSWDR = 6,
    SCENEAUTO_SPECIAL_SCENE_FSWDR_ON = 7,
    SCENEAUTO_SPECIAL_SCENE_FSWDR_OFF = 8,
    SCENEAUTO_SPECIAL_SCENE_BUTT,
};

extern pthread_mutex_t g_stSceneautoLock;
extern u32 g_bSceneautoInit, g_bSceneautoStart;
// A thread loops while its flag is 1.
extern std::atomic<u32> g_bNormalThreadFlag, g_bSpecialThreadFlag;
extern RunThread g_pthSceneAutoNormal, g_pthSceneAutoSpecial;
extern std::atomic<u32> g_eSpecialScene;
// An INI dictionary; only Sceneauto_LoadFile (no caller in the camera) fills it.
struct dictionary;
extern dictionary *g_Sceneautodictionary;
s32 Sceneauto_LoadFile(const char *path);

// ---- the tuning threads ----------------------------------------------------------------------

void *SceneAuto_NormalThread(void *);
void *SceneAuto_SpecialThread(void *);

// The exposure measure both threads work with: exposure time (us) x the
// whole gain (analog x digital x ISP digital, each 1024 = 1x) in whole
// steps, in u32 arithmetic.
u32 sceneauto_exposure(const SCENEAUTO_EXPOSURE_INFO_S &info);

// What the normal thread keeps between its cycles.
struct SceneautoNormalState {
    SCENEAUTO_EXPOSURE_INFO_S stInfo; // the last exposure read (kept when a read fails)
    u32 u32PrevExp, u32PrevBitrate;   // E', B'
    u32 u32Iso;                       // I of the last cycle that could compute it
    u32 u32StartScene;                // S': the scene at thread start
    u32 u32LastScene;                 // the scene of the previous cycle
    u32 u32DpLevel, u32H264Level, u32H265Level, u32SharpenLevel;
    u32 u32DemosaicBitLevel, u32DemosaicExpLevel, u32FaceBitLevel, u32FaceExpLevel;
    u32 u32AeLevel, u32IrLevel, u32FswdrLevel;
    u32 u32FswdrUp, u32FswdrDown, u32FswdrFlag;
    SCENEAUTO_VENC_ATTR_S stVenc;
    // What the last cycle computed and applied (read by tests and bench).
    u32 u32Exp;
    SCENEAUTO_3DNR_PARAM_S st3dnr;
};

// The state a thread starts with: nothing applied yet.
void sceneauto_normal_reset(SceneautoNormalState &s);
// The thread's start-up (ISP noise reduction, demosaic, saturation, colour
// tone, AE base attributes); -1 when noise reduction can't be set.
s32 sceneauto_normal_startup(SceneautoNormalState &s);
// One cycle: the exposure read, then everything that follows from it.
void sceneauto_normal_cycle(SceneautoNormalState &s);
// The cycle after the exposure read, from s.stInfo.
void sceneauto_normal_retune(SceneautoNormalState &s);

// Highlight compensation's own switching, one poll at a time.
struct SceneautoHlcState {
    bool bOn;
    u8 u8Count;
};
enum SceneautoHlcAction { HLC_KEEP, HLC_SWITCH_ON, HLC_SWITCH_OFF, HLC_SWITCH_OFF_JUMP };
// The decision of one poll: exposure change dE, exposure E, histogram sum S
// (bins 0-3). Updates the state as the switch will leave it.
SceneautoHlcAction sceneauto_hlc_poll(SceneautoHlcState &s, u32 dE, u32 E, u32 S,
                                      const SCENEAUTO_THRESHVALUE_S &t);

// ---- 3D noise reduction between ISO points -------------------------------------------------

s32 MapISO(u32 x);
s32 MapMTFS(const SCENEAUTO_3DNR_PARAM_S *pe);
s32 GetDPsOrDSs(s32 x, s32 y, s32 z);
void Interpolate(SCENEAUTO_3DNR_PARAM_S *out, u32 iso, const SCENEAUTO_3DNR_PARAM_S *lo, u32 isoLo,
                 const SCENEAUTO_3DNR_PARAM_S *hi, u32 isoHi);
s32 InterpolationCalculate(s32 y0, s32 y1, s32 x0, s32 x1, s32 x);
s32 Sceneauto_Set3DNR(s32 grp, const SCENEAUTO_3DNR_PARAM_S *set);

// ---- setters (0, or -1 after the failing call's line) ---------------------------------------

// The normal thread's, each from one level of the image.
s32 Scenauto_SetAERealtedExp(s32 dev, u32 level);
s32 Scenauto_SetIRAERealtedExp(s32 dev, u32 level);
s32 Scenauto_SetAutoFSWDRAERealtedExp(s32 dev, u32 level);
s32 SceneAuto_SetDP(s32 dev, u32 level);
s32 SceneAuto_SetSharpen(s32 dev, u32 level);
s32 SceneAuto_SetDemosaic(s32 dev, u32 expLevel, u32 bitLevel);
s32 SceneAuto_SetH264Trans(s32 chn, u32 level);
s32 SceneAuto_SetH264Debolck(s32 chn, u32 level);
s32 SceneAuto_SetH264RcParam(s32 chn, u32 level);
s32 SceneAuto_SetH265RcParam(s32 chn, u32 level);
s32 SceneAuto_SetH265FaceCfg(s32 chn, u32 expLevel, u32 bitLevel);
// Ramps gamma from curve `from` to curve `to` of the image, 80 ms a step.
s32 SceneAuto_SetGamma(s32 dev, u32 to, u32 from);
// The AE base attributes of the image and the metering preference.
s32 Sceneauto_AEInit(void);

// The special scenes' (and the start's).
s32 SceneAuto_SetBLC(void);
s32 SceneAuto_SetIR(void);
s32 SceneAuto_SetHLC(void);
s32 SceneAuto_SetDynamic(void);
s32 SceneAuto_SetDRC(void);
s32 SceneAuto_SetAERoute(void);
s32 SceneAuto_SetAERoute_NightWDR(void);
s32 SceneAuto_SetAERoute_OutdoorWDR(void);
s32 SceneAuto_SetDefaultGamma(void);
s32 SceneAuto_HLCAutoOn(void);
s32 SceneAuto_HLCAutoOff(void);
// What the start applies.
s32 sceneauto_set_start_dci(void);
void sceneauto_set_drc_by_app(void);
s32 sceneauto_set_image_saturation(void);

// ---- the way back to the normal scene (under the scene lock) -------------------------------

// Keeps the value now of each record special scene `scene` writes, unless
// one from before an earlier special scene is kept already; -1 after the
// failing call's line when one can't be read.
s32 sceneauto_keep_for_scene(u32 scene);
// Writes every kept value back and forgets it; -1 when one couldn't be
// written (that one stays kept, the others are back).
s32 sceneauto_restore_normal(void);
// Forgets what is kept: the engine starts over on a new pipeline.
void sceneauto_forget_kept(void);

// The engine's failure line: the callee's name and " failed". True when
// `ret` is a failure.
bool sceneauto_failed(s32 ret, const char *callee);

// Get, patch and set one adapter record with the engine's failure lines:
// the adapter call's name and " failed", -1 at once; nothing set after a
// failed get.
template <class Rec, class Patch>
s32 sceneauto_patch(s32 dev, s32 (*get)(s32, Rec *), const char *get_name, s32 (*set)(s32, const Rec *),
                    const char *set_name, Patch patch)
{
    Rec rec = {};
    if (sceneauto_failed(get(dev, &rec), get_name))
        return -1;
    patch(rec);
    return sceneauto_failed(set(dev, &rec), set_name) ? -1 : 0;
}
#define SCENEAUTO_PATCH(dev, get, set, patch) sceneauto_patch(dev, get, #get, set, #set, patch)

// The devices of the tuning image.
inline s32 sceneauto_isp_dev() { return (s32)g_stINIPara.stMpInfo.u32IspDev; }
inline s32 sceneauto_vi_dev() { return (s32)g_stINIPara.stMpInfo.u32ViDev; }
