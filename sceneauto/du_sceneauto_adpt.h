// The scene auto-tuning adapter: the only way the engine reaches the
// platform. Each operation reads one platform attribute record, replaces
// the few fields the engine tunes (from the engine's small records below,
// or from the user's preferences) and writes it back. Every operation
// returns 0, or -1 after printing "<failing call> failed".
//
// The adapter takes no lock: a get-patch-set is not atomic against another
// thread's on the same record, so callers that need it serialise with the
// engine's scene lock.
#pragma once

#include "mpi/common/mpi_common.h"

#include <cstddef>

// ---- the engine's records ----------------------------------------------------------------

struct SCENEAUTO_AE_ATTR_S {
    u8 u8Speed;
    u8 u8Tolerance;
    u8 u8Compensation;
    u16 u16BlackDelayFrame;
    u16 u16WhiteDelayFrame;
    u8 u8AEStrategyMode; // filled by the get only: the set takes the user's preference
    u8 u8MaxHistOffset;
    u16 u16HistRatioSlope;
    u32 u32SysGainMax;
    u32 u32AGainMax;
    u32 u32DGainMax;
    u32 u32ISPDGainMax;
    u32 au32Reserved[2]; // not moved either way
    u8 u8AERunInterval;
    u8 u8FSWDRMode; // 1 on, else 0
    u32 bWDRQuick;
    u8 au8Weight[15][17]; // filled by the get only: the set takes the metering preference's table
};

struct SCENEAUTO_EXPOSURE_INFO_S {
    u32 u32Exposure; // the status's combined exposure word
    u32 u32AGain;    // 1024 = 1x
    u32 u32DGain;
    u32 u32ISPDGain;
    u32 u32ExpTime;  // us
    u8 u8AveLum;
    u32 u32ISO;      // status word A
    u32 u32ExpRatio; // status word B (12 bits)
    u32 au32Hist256Value[256];
};

struct SCENEAUTO_DRC_ATTR_S {
    u32 bEnable;
    u32 bManual; // 1: manual operation, else automatic
    u32 u32Strength;
    u32 u32Reserved; // the engine's own; not passed on
    u32 u32SlopeMax;
    u32 u32SlopeMin;
    u32 u32VarianceSpace;
    u32 u32VarianceIntensity;
    u32 u32WhiteLevel;
    u32 u32BlackLevel;
};

struct SCENEAUTO_SATURATION_S {
    u8 u8OpType;     // 0 automatic, 1 manual; other values keep the platform's
    u8 u8Saturation; // manual; filled by the get only
    u8 au8Sat[16];   // automatic, per ISO step
};

// The sharpen record's three automatic tables, in its order.
struct SCENEAUTO_SHARPEN_S {
    u8 au8SharpenD[16];
    u8 au8SharpenUd[16];
    u8 au8SharpenRGB[16];
};

struct SCENEAUTO_DEMOSAIC_S {
    u8 au8Slope[4];       // the demosaic record's four slopes
    u8 au8LumThresh[16];  // its first 16-entry table
};

struct SCENEAUTO_GAMMA_S {
    u8 u8CurveType; // 0 default, 1 sRGB, 2 user; the set ignores other values
    u16 au16Table[257];
};

struct SCENEAUTO_DCI_S {
    u32 au32Word[4]; // enable, then three strengths, as the video input keeps them
};

struct SCENEAUTO_CCM_ENTRY_S {
    u16 u16ColorTemp;
    u16 au16CCM[9]; // sign-magnitude, 0x100 = 1.0
};
// High, middle and low colour temperature.
struct SCENEAUTO_CCM_S {
    SCENEAUTO_CCM_ENTRY_S astCCM[3];
};

// The ACM record's enable and its CbCr threshold, luma, hue and saturation gains.
struct SCENEAUTO_ACM_S {
    u32 au32Word[5];
};

#define SCENEAUTO_AE_ROUTE_NODES 7
struct SCENEAUTO_AE_ROUTE_NODE_S {
    u32 u32IntTime; // us
    u32 u32SysGain; // 1024 = 1x
};
struct SCENEAUTO_AE_ROUTE_S {
    u32 u32TotalNum;
    SCENEAUTO_AE_ROUTE_NODE_S astRouteNode[SCENEAUTO_AE_ROUTE_NODES];
};
static_assert(sizeof(SCENEAUTO_AE_ROUTE_S) == 60, "route record");

struct SCENEAUTO_INNER_STATE_S {
    u32 u32DRCStrength;
    u32 u32DefogStrength;
};

// One point of the 3D noise-reduction tuning: what the adapter packs into
// the processing unit's noise-reduction block and its group parameters.
// Three groups of filters; element g of each per-group array is group g's.
struct SCENEAUTO_3DNR_PARAM_S {
    u8 au8Strength[4][3];  // 0: four strengths per group
    u8 u8Global0;          // 12
    u8 au8GroupSel[3];     // 13: 13 and 14 decide whether groups 0 and 1 blend; 15 at most 64 when blended
    u8 u8Global1;          // 16
    u8 u8Reserved0;        // 17
    u16 u16Global;         // 18
    u16 u16BlendKey;       // 20: two points blend only when theirs are equal
    u16 au16Thresh[4][3];  // 22, 28, 34, 40: four thresholds per group; [2] (34-39) never blended
    u8 au8Tail[7];         // 46-52; 51 is the strength the engine derives
    u8 au8GrpByte[2];      // 53: the group parameters' first two bytes
    u8 u8Reserved1;        // 55
    u16 au16GrpWord[3];    // 56: its three halfwords
    u8 au8GrpTail[4];      // 62: its last four bytes
};
static_assert(sizeof(SCENEAUTO_3DNR_PARAM_S) == 66, "3DNR point");
static_assert(offsetof(SCENEAUTO_3DNR_PARAM_S, u16Global) == 18 &&
                  offsetof(SCENEAUTO_3DNR_PARAM_S, au16Thresh) == 22 &&
                  offsetof(SCENEAUTO_3DNR_PARAM_S, au8Tail) == 46 &&
                  offsetof(SCENEAUTO_3DNR_PARAM_S, au16GrpWord) == 56 &&
                  offsetof(SCENEAUTO_3DNR_PARAM_S, au8GrpTail) == 62,
              "3DNR point layout");

struct SCENEAUTO_RC_PARAM_S {
    u32 au32ThreshI[12]; // rate-control words 0-11
    u32 au32ThreshP[12]; // words 12-23
    u32 u32Common;       // word 24
    u32 u32ModeWord;     // word 29 at a constant bit rate, 25 at a variable one
};

struct SCENEAUTO_H264_DBLK_S {
    u32 au32Word[3]; // disable idc, alpha offset, beta offset
};

struct SCENEAUTO_VENC_ATTR_S {
    u32 u32Codec;   // 0 H.264, 1 H.265
    u32 u32BitRate; // kbit/s
};

// Part of the encoder's face configuration (its bytes 1120-1379), in the
// order the engine's tables keep it.
struct SCENEAUTO_H265_FACE_S {
    u8 au8Byte[48];      // 0
    u32 u32Word48;
    u32 u32Word52;
    u8 au8Byte56[4];
    u32 u32Word60;
    u32 u32Word64;
    u32 u32Word68;
    u8 au8Byte72[4];
    u32 u32Word76;
    u8 au8Byte80[2];
    u8 au8Pad82[2];      // not mapped
    u32 u32Word84;
    u32 u32Word88;
    u8 au8Byte92[2];
    u8 au8Pad94[2];      // not mapped
    u32 u32Word96;
    u32 u32Word100;
    u32 au32Word104[18];
};
static_assert(sizeof(SCENEAUTO_H265_FACE_S) == 176 && offsetof(SCENEAUTO_H265_FACE_S, u32Word100) == 100,
              "face record layout");

// ---- ISP image attributes and registers --------------------------------------------------------

s32 CommSceneautoSetRegister(s32 dev, u32 u32Addr, u32 u32Value);
s32 CommSceneautoGetAcmAttr(s32 dev, SCENEAUTO_ACM_S *pstAcm);
s32 CommSceneautoSetAcmAttr(s32 dev, const SCENEAUTO_ACM_S *pstAcm);
s32 CommSceneautoGetCcmAttr(s32 dev, SCENEAUTO_CCM_S *pstCcm);
s32 CommSceneautoSetCcmAttr(s32 dev, const SCENEAUTO_CCM_S *pstCcm); // also automatic operation
s32 CommSceneautoGetDemosaic(s32 dev, SCENEAUTO_DEMOSAIC_S *pstDemosaic);
s32 CommSceneautoSetDemosaic(s32 dev, const SCENEAUTO_DEMOSAIC_S *pstDemosaic);
// The set applies the user's Sharpness too: 0 automatic, else manual.
s32 CommSceneautoGetSharpen(s32 dev, SCENEAUTO_SHARPEN_S *pstSharpen);
s32 CommSceneautoSetSharpen(s32 dev, const SCENEAUTO_SHARPEN_S *pstSharpen);
// The dynamic defect-pixel slope; the set also switches dynamic correction on.
s32 CommSceneautoGetDP(s32 dev, u16 *pu16Slope);
s32 CommSceneautoSetDP(s32 dev, u16 u16Slope);
s32 CommSceneautoGetPubAttr(s32 dev, u32 *pu32FrameRate); // truncated to whole frames
s32 CommSceneautoGetGamma(s32 dev, SCENEAUTO_GAMMA_S *pstGamma);
s32 CommSceneautoSetGamma(s32 dev, const SCENEAUTO_GAMMA_S *pstGamma);
s32 CommSceneautoGetDRCAttr(s32 dev, SCENEAUTO_DRC_ATTR_S *pstDrc);
s32 CommSceneautoSetDRCAttr(s32 dev, const SCENEAUTO_DRC_ATTR_S *pstDrc);
s32 CommSceneautoDisableDRCAttr(s32 dev);
// The set applies the user's Saturation and ColorEffect too.
s32 CommSceneautoGetSaturation(s32 dev, SCENEAUTO_SATURATION_S *pstSat);
s32 CommSceneautoSetSaturation(s32 dev, const SCENEAUTO_SATURATION_S *pstSat);
// Stabilisation; a video input without it counts as switched off.
s32 CommSceneautoGetDISAttr(s32 dev, u32 *pu32Enable);
s32 CommSceneautoSetDISAttr(s32 dev, u32 u32Enable);
s32 CommSceneautoGetWDRAttr(s32 dev, u8 *pu8WdrMode);
s32 CommSceneautoGetQueryInnerStateInfo(s32 dev, SCENEAUTO_INNER_STATE_S *pstState);
s32 CommSceneautoGetDefogAttr(s32 dev, u32 *pu32Enable);
s32 CommSceneautoSetDefogAttr(s32 dev, u32 u32Enable); // 16 x 15 blocks, automatic
// Red, green and blue gains (256 = 1x). The set takes them from the user's
// ColorEffect, not from `pu16Gain`.
s32 CommSceneautoGetColorToneAttr(s32 dev, u16 pu16Gain[3]);
s32 CommSceneautoSetColorToneAttr(s32 dev, const u16 pu16Gain[3]);
s32 CommSceneautoSetFPNAttr(s32 dev, u32 u32Enable);

// ---- video input ------------------------------------------------------------------------------

s32 CommSceneautoGetDCIParam(s32 viDev, SCENEAUTO_DCI_S *pstDci);
s32 CommSceneautoSetDCIParam(s32 viDev, const SCENEAUTO_DCI_S *pstDci);
// The user's Contrast into the colour conversion of video input `dev`;
// 0 after a successful set, -1 otherwise (callers ignore it).
s32 CommSceneManualSetVICSC(s32 dev);

// ---- exposure and white balance --------------------------------------------------------------

// The set applies the user's ExposureValue, ExposureStrategyMode,
// ExposureMetering and Lightfrequency too; the get reports the compensation
// before the ExposureValue, so that a record read and set again keeps it.
s32 CommSceneautoGetAEAttr(s32 dev, SCENEAUTO_AE_ATTR_S *pstAe);
s32 CommSceneautoSetAEAttr(s32 dev, const SCENEAUTO_AE_ATTR_S *pstAe);
s32 CommSceneautoGetExposureInfo(s32 dev, SCENEAUTO_EXPOSURE_INFO_S *pstInfo);
// The exposure-ratio bias of WDR exposure.
s32 CommSceneautoGetWdrExposureAttr(s32 dev, u16 *pu16RatioBias);
s32 CommSceneautoSetWdrExposureAttr(s32 dev, u16 u16RatioBias);
// At most the record's seven nodes are read.
s32 CommSceneautoGetAERoute(s32 dev, SCENEAUTO_AE_ROUTE_S *pstRoute);
// Sets the route given (at most its record's seven nodes), or without one
// the fixed route of the current application and frame rate with its fixed
// route-ex; prints both as read back.
s32 CommSceneautoSetAERoute(s32 dev, const SCENEAUTO_AE_ROUTE_S *pstRoute);
// The user's white balance: a preset, a customised one or the automatic
// balance with its fixed tuning.
s32 CommSceneautoInitAwbAttr(s32 dev);

// Exposure and white balance frozen at what they are now (lock 1) or back
// to automatic (lock 0), on the tuning's ISP device.
s32 CommSceneautoLockAE(u32 lock);
s32 CommSceneautoLockAwb(u32 lock);
// What the last lock froze; an unlock leaves them.
extern u32 u32AELockExpTime, u32AELockAGain, u32AELockDGain, u32AELockISPDGain;
extern u32 AWBLockRGain, AWBLockGGain, AWBLockBGain;

// The zone weights of an ExposureMetering preference: 0 centre weighted,
// 1 centre spot, 2 multi-spot, 3 upper, 4 down; multi-spot for any other.
using sceneauto_weights = u8[15][17];
const sceneauto_weights &sceneauto_metering_weights(s32 metering);

// A weight list as text ("1,2|0x0f,...": hexadecimal where a piece holds an
// "x") into MAEWeight; how many were stored, at most 128.
#define SCENEAUTO_MAE_WEIGHT_NUM 128
extern u32 MAEWeight[SCENEAUTO_MAE_WEIGHT_NUM];
s32 Weight(const char *pcText);

// ---- noise reduction and encoder --------------------------------------------------------------

// Packs the point into VPSS group `grp`'s 3D noise-reduction block and
// sets its group parameters. Each of the three records is set only after a
// successful read; -1 when any step failed, all steps tried.
s32 CommSceneautoSet3DNR(s32 grp, const SCENEAUTO_3DNR_PARAM_S *pst3dnr);
// The transform record's last word.
s32 CommSceneautoGetH264Trans(s32 chn, u32 *pu32Word);
s32 CommSceneautoSetH264Trans(s32 chn, u32 u32Word);
s32 CommSceneautoGetH24Deblock(s32 chn, SCENEAUTO_H264_DBLK_S *pstDblk);
// Leaves the encoder's deblocking as the pipeline set it; always 0.
s32 CommSceneautoSetH24Deblock(s32 chn, const SCENEAUTO_H264_DBLK_S *pstDblk);
// Rate control of an H.264 channel (modes 1 and 2) or an H.265 one (13 and
// 14); a channel in another mode is left alone and the call returns 0.
s32 CommSceneautoGetH264RcParam(s32 chn, SCENEAUTO_RC_PARAM_S *pstRc);
s32 CommSceneautoSetH264RcParam(s32 chn, const SCENEAUTO_RC_PARAM_S *pstRc);
s32 CommSceneautoGetH265RcParam(s32 chn, SCENEAUTO_RC_PARAM_S *pstRc);
s32 CommSceneautoSetH265RcParam(s32 chn, const SCENEAUTO_RC_PARAM_S *pstRc);
// Codec and bit rate of a video channel; other channels leave the record.
s32 CommSceneautoGetVencAttr(s32 chn, SCENEAUTO_VENC_ATTR_S *pstAttr);
// False only when encoder channel `chn` was never created (a photo mode has
// no movie channel); says nothing either way.
bool sceneauto_venc_chn_exists(s32 chn);
s32 CommSceneautoGetBitrate(s32 chn, u32 *pu32BitRate);
s32 CommSceneautoGetH265FaceCfg(s32 chn, SCENEAUTO_H265_FACE_S *pstFace);
s32 CommSceneautoSetH265FaceCfg(s32 chn, const SCENEAUTO_H265_FACE_S *pstFace);

// ---- block-activity analysis ------------------------------------------------------------------

// Starts the analysis of processing channel (grp, chn): its buffers for the
// channel's picture size and the "ImageAnaly" thread; -1, with nothing
// started, when the channel's mode, the buffers or the thread can't be had.
s32 CommSceneautoIVEStart(u32 u32VpssGrp, u32 u32VpssChn);
// Ends the thread (at once, or after the pass it is in) and frees the
// buffers; 0. Nothing to do when no analysis runs.
s32 CommSceneautoIVEStop(void);
