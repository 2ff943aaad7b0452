// The scene auto-tuning image: every value the engine tunes with, in one
// record filled once by the engine's Init from compiled-in tables (the
// linear or the WDR variant of ten blocks, by the sensor's WDR mode). The
// tuning threads and scene setters read it without a lock; nothing writes
// it after Init.
//
// The record is a byte image (little-endian fields at fixed offsets, 9632
// bytes); the offsets below belong to its format and are checked.
#pragma once

#include "isp/3a/ae/mpi_isp_ae.h"
#include "sceneauto/du_sceneauto_adpt.h"

#include <array>
#include <cstddef>

// The platform devices and channels the engine works on.
struct SCENEAUTO_MPINFO_S {
    u32 u32IspDev;
    u32 u32ViDev;
    u32 u32Word2;
    u32 u32VpssGrp;
    u32 u32VpssChn;
    u32 u32Word5;
    u32 u32VencChn;
};

struct SCENEAUTO_THRESHVALUE_S {
    u32 u32IveEnable;     // 1: the block-activity analysis starts with the engine
    u32 u32HLCAutoEnable; // 1: the special thread switches highlight compensation itself
    u32 u32HLCOnHist;     // histogram sum (bins 0-3) above which it switches on
    u32 u32HLCOffHist;    // ... below which it switches off
    u32 u32ExpJump;       // an exposure change at least this large is a jump
    u32 u32HLCExpMax;     // exposure at or above which it never switches on
    u32 u32HoldCount;     // polls a condition must hold (more than this many)
    u32 au32Unused[3];
    u32 u32DRCFloor;      // floor and divisor of the DRC strength in the exposure measure
};

// Two register images per profile, each written as 32 words to the ISP's
// noise-profile registers; profile B while the exposure lies in [low, high].
struct SCENEAUTO_NRPROFILE_S {
    u8 au8ProfileA[2][128];
    u8 au8ProfileB[2][128];
    u32 u32LowBound;
    u32 u32HighBound;
};

struct SCENEAUTO_AE_BASE_S {
    u8 u8Speed;
    u8 u8Tolerance;
    u16 u16BlackDelayFrame;
    u16 u16WhiteDelayFrame;
    u32 u32SysGainMax;
    u32 u32AGainMax;
    u32 u32DGainMax;
    u32 u32ISPDGainMax;
};

struct SCENEAUTO_AE_LEVEL_S {
    u8 u8Compensation;
    u8 u8MaxHistOffset;
    u8 u8StrategyMode;
    u16 u16HistRatioSlope;
    u32 au32Unused[2];
};

#define SCENEAUTO_AE_LEVELS 5
struct SCENEAUTO_INIAE_S {
    u8 u8AERunInterval;
    u32 bWDRQuick;
    u32 u32ThreshCount; // the three thresholds have no reader
    u32 au32Thresh[3];
    SCENEAUTO_AE_BASE_S astBase[3]; // only the first is read
    u32 u32LevelCount;
    u32 au32Down[SCENEAUTO_AE_LEVELS];
    u32 au32Up[SCENEAUTO_AE_LEVELS];
    SCENEAUTO_AE_LEVEL_S astLevel[SCENEAUTO_AE_LEVELS];
};

struct SCENEAUTO_DEMOSAIC_REC_S {
    u8 au8Slope[4]; // to the demosaic record's first four bytes
    u8 au8Unused[16];
};
struct SCENEAUTO_INIDEMOSAIC_S {
    u32 u32BitrateCount;
    u32 au32BitrateThresh[2];
    u32 u32ExpCount;
    u32 au32ExpThresh[8];
    SCENEAUTO_DEMOSAIC_REC_S astRec[16]; // index: exposure count x bit-rate level + exposure level
};

struct SCENEAUTO_INISHARPEN_S {
    u32 u32LevelCount;
    u32 au32BitrateThresh[3];
    SCENEAUTO_SHARPEN_S astLevel[3];
};

struct SCENEAUTO_INIDP_S {
    u32 u32Count;
    u32 au32ExpThresh[12];
    u16 au16Slope[12];
};

struct SCENEAUTO_INIGAMMA_S {
    u32 u32CurveCount; // not read
    u32 u32Word1;      // not read
    u32 u32RampSteps;
    u32 au32Thresh[2][4]; // not read
    SCENEAUTO_GAMMA_S astCurve[4];
};

struct SCENEAUTO_H264_LEVEL_S {
    SCENEAUTO_RC_PARAM_S stRc;
    s32 s32Trans;
    SCENEAUTO_H264_DBLK_S stDblk;
};
struct SCENEAUTO_INIH264VENC_S {
    u32 u32LevelCount;
    u32 au32BitrateThresh[4]; // kbit/s
    SCENEAUTO_H264_LEVEL_S astLevel[4];
};

struct SCENEAUTO_INIH265VENC_S {
    u32 u32LevelCount;
    u32 au32BitrateThresh[2];
    SCENEAUTO_RC_PARAM_S astLevel[2];
    u32 u32FaceBitrateCount;
    u32 au32FaceBitrateThresh[2];
    u32 u32FaceExpCount;
    u32 au32FaceExpThresh[2];
    SCENEAUTO_H265_FACE_S astFace[4]; // index: exposure count x bit-rate level + exposure level
};

#define SCENEAUTO_3DNR_POINTS 13
struct SCENEAUTO_INI3DNR_S {
    u32 u32Count;
    u32 au32Iso[SCENEAUTO_3DNR_POINTS];
    SCENEAUTO_3DNR_PARAM_S astSet[SCENEAUTO_3DNR_POINTS];
};

struct SCENEAUTO_HLC_S {
    u8 u8Compensation;
    u8 au8Sat[16];
    u16 u16BlackDelayFrame;
    u16 u16WhiteDelayFrame;
    u8 u8Speed;
    u16 u16HistRatioSlope;
    u8 u8MaxHistOffset;
    u8 u8Tolerance;
    u32 au32Dci[4];
    u32 au32Drc[3]; // enable, operation mode, strength
    u16 au16Gamma[257];
    u8 au8SharpenUd[16];  // to sharpen bytes 16-31
    u8 au8SharpenRGB[16]; // to sharpen bytes 32-47
    u32 u32NrCount;
    u32 au32NrIso[6];
    SCENEAUTO_3DNR_PARAM_S astNr[6];
};

struct SCENEAUTO_IR_S {
    u32 u32LevelCount;
    u32 au32Up[4];
    u32 au32Down[4];
    u8 au8Compensation[4];
    u8 au8MaxHistOffset[4];
    u16 u16HistRatioSlope;
    u16 u16BlackDelayFrame;
    u16 u16WhiteDelayFrame;
    u8 u8Speed;
    u8 u8Tolerance;
    u32 au32Dci[4];
    u16 u16DpSlope;
    u8 au8Demosaic[16];   // to the demosaic record's 16-byte table
    u8 au8SharpenD[16];   // to sharpen bytes 0-15
    u8 au8SharpenUd[16];  // 16-31
    u8 au8SharpenRGB[16]; // 32-47
    u16 au16Gamma[257];
    u8 au8Weight[15][17]; // copied with the exposure record, where the metering preference wins
    u32 u32NrCount;
    u32 au32NrIso[6];
    SCENEAUTO_3DNR_PARAM_S astNr[6];
};

struct SCENEAUTO_AUTOFSWDR_S {
    u32 u32OnThresh;  // status word A above this (and the second) counts towards on
    u32 u32OffThresh; // below this towards off
    u32 u32OnThresh2;
    u32 u32LevelCount;
    u32 au32Up[3];
    u32 au32Down[3];
    u8 au8Compensation[3];
    u8 au8MaxHistOffset[3];
    u8 au8Unused[6];
    u32 u32NrCount;
    u32 au32NrIso[SCENEAUTO_3DNR_POINTS];
    SCENEAUTO_3DNR_PARAM_S astNr[SCENEAUTO_3DNR_POINTS];
};

struct SCENEAUTO_BLC_S {
    u8 u8StrategyMode;
    u8 u8MaxHistOffset;
    u16 u16HistRatioSlope;
};

// enable, operation mode, strength, slope maximum, slope minimum, variance
// space, variance intensity, white level, black level.
struct SCENEAUTO_INIDRC_S {
    u32 au32Word[9];
};

struct SCENEAUTO_INIPARA_S {
    u8 au8DciStrengthLut[111];
    u16 u16RatioBias;
    SCENEAUTO_MPINFO_S stMpInfo;
    SCENEAUTO_THRESHVALUE_S stThreshValue;
    SCENEAUTO_NRPROFILE_S stIniNRProfile;
    SCENEAUTO_INIAE_S stIniAE;
    SCENEAUTO_INIDEMOSAIC_S stIniDemosaic;
    SCENEAUTO_INISHARPEN_S stIniSharpen;
    SCENEAUTO_INIDP_S stIniDP;
    SCENEAUTO_INIGAMMA_S stIniGamma;
    SCENEAUTO_INIH264VENC_S stIniH264Venc;
    SCENEAUTO_INIH265VENC_S stIniH265Venc;
    SCENEAUTO_INI3DNR_S stIni3dnr;
    SCENEAUTO_HLC_S stHLC;
    SCENEAUTO_IR_S stIR;
    SCENEAUTO_AUTOFSWDR_S stAutoFSWDR;
    SCENEAUTO_BLC_S stBLC;
    SCENEAUTO_AE_ROUTE_S stFastDynamic;
    SCENEAUTO_AE_ROUTE_S stNormalDynamic;
    SCENEAUTO_INIDRC_S stDRC;
    u16 au16IniCcm[62]; // no reader
    SCENEAUTO_SATURATION_S saturation;
};

#define SCENEAUTO_IQ_CHECK(member, at) static_assert(offsetof(SCENEAUTO_INIPARA_S, member) == at, #member)
SCENEAUTO_IQ_CHECK(u16RatioBias, 112);
SCENEAUTO_IQ_CHECK(stMpInfo, 116);
SCENEAUTO_IQ_CHECK(stThreshValue, 144);
SCENEAUTO_IQ_CHECK(stIniNRProfile, 188);
SCENEAUTO_IQ_CHECK(stIniAE, 708);
SCENEAUTO_IQ_CHECK(stIniAE.u32LevelCount, 708 + 96);
SCENEAUTO_IQ_CHECK(stIniAE.astLevel, 708 + 140);
SCENEAUTO_IQ_CHECK(stIniDemosaic, 928);
SCENEAUTO_IQ_CHECK(stIniSharpen, 1296);
SCENEAUTO_IQ_CHECK(stIniDP, 1456);
SCENEAUTO_IQ_CHECK(stIniGamma, 1532);
SCENEAUTO_IQ_CHECK(stIniGamma.astCurve, 1532 + 44);
SCENEAUTO_IQ_CHECK(stIniH264Venc, 3640);
SCENEAUTO_IQ_CHECK(stIniH265Venc, 4140);
SCENEAUTO_IQ_CHECK(stIniH265Venc.astFace, 4140 + 244);
SCENEAUTO_IQ_CHECK(stIni3dnr, 5088);
SCENEAUTO_IQ_CHECK(stIni3dnr.astSet, 5088 + 56);
SCENEAUTO_IQ_CHECK(stHLC, 6004);
SCENEAUTO_IQ_CHECK(stHLC.u16HistRatioSlope, 6004 + 24);
SCENEAUTO_IQ_CHECK(stHLC.au16Gamma, 6004 + 56);
SCENEAUTO_IQ_CHECK(stHLC.au8SharpenUd, 6004 + 570);
SCENEAUTO_IQ_CHECK(stHLC.u32NrCount, 6004 + 604);
SCENEAUTO_IQ_CHECK(stHLC.astNr, 6004 + 632);
SCENEAUTO_IQ_CHECK(stIR, 7032);
SCENEAUTO_IQ_CHECK(stIR.u16DpSlope, 7032 + 68);
SCENEAUTO_IQ_CHECK(stIR.au16Gamma, 7032 + 134);
SCENEAUTO_IQ_CHECK(stIR.au8Weight, 7032 + 648);
SCENEAUTO_IQ_CHECK(stIR.u32NrCount, 7032 + 904);
SCENEAUTO_IQ_CHECK(stIR.astNr, 7032 + 932);
SCENEAUTO_IQ_CHECK(stAutoFSWDR, 8360);
SCENEAUTO_IQ_CHECK(stAutoFSWDR.au8MaxHistOffset, 8360 + 43);
SCENEAUTO_IQ_CHECK(stAutoFSWDR.u32NrCount, 8360 + 52);
SCENEAUTO_IQ_CHECK(stAutoFSWDR.astNr, 8360 + 108);
SCENEAUTO_IQ_CHECK(stBLC, 9328);
SCENEAUTO_IQ_CHECK(stFastDynamic, 9332);
SCENEAUTO_IQ_CHECK(stNormalDynamic, 9392);
SCENEAUTO_IQ_CHECK(stDRC, 9452);
SCENEAUTO_IQ_CHECK(au16IniCcm, 9488);
SCENEAUTO_IQ_CHECK(saturation, 9612);
#undef SCENEAUTO_IQ_CHECK
static_assert(sizeof(SCENEAUTO_INIPARA_S) == 9632, "tuning image size");

extern SCENEAUTO_INIPARA_S g_stINIPara;

// Fills g_stINIPara from the compiled-in tables, the WDR variant when the
// sensor runs a WDR mode (the linear one when the mode can't be read); 0.
s32 Sceneauto_LoadIQPara(void);

// ---- the compiled-in tables ------------------------------------------------------------------

extern const std::array<u8, 111> iq_para_au8DciStrengthLut;
extern const u16 iq_para_u16RatioBias, iq_para_WDR_u16RatioBias;
extern const SCENEAUTO_MPINFO_S iq_para_stMpInfo;
extern const SCENEAUTO_THRESHVALUE_S iq_para_stThreshValue, iq_para_WDR_stThreshValue;
extern const SCENEAUTO_NRPROFILE_S iq_para_stIniNRProfile, iq_para_WDR_stIniNRProfile;
extern const SCENEAUTO_INIAE_S iq_para_stIniAE, iq_para_WDR_stIniAE;
extern const SCENEAUTO_INIDEMOSAIC_S iq_para_stIniDemosaic, iq_para_WDR_stIniDemosaic;
extern const SCENEAUTO_INISHARPEN_S iq_para_stIniSharpen, iq_para_WDR_stIniSharpen;
extern const SCENEAUTO_INIDP_S iq_para_stIniDP;
extern const SCENEAUTO_INIGAMMA_S iq_para_stIniGamma, iq_para_WDR_stIniGamma;
extern const SCENEAUTO_INIH264VENC_S iq_para_stIniH264Venc;
extern const SCENEAUTO_INIH265VENC_S iq_para_stIniH265Venc;
extern const SCENEAUTO_INI3DNR_S iq_para_stIni3dnr, iq_para_WDR_stIni3dnr;
extern const SCENEAUTO_HLC_S iq_para_stHLC;
extern const SCENEAUTO_IR_S iq_para_stIR;
extern const SCENEAUTO_AUTOFSWDR_S stAutoFSWDR;
extern const SCENEAUTO_BLC_S iq_para_stBLC;
extern const SCENEAUTO_AE_ROUTE_S iq_para_stFastDynamic, iq_para_WDR_stFastDynamic;
extern const SCENEAUTO_AE_ROUTE_S iq_para_stNormalDynamic, iq_para_WDR_stNormalDynamic;
extern const SCENEAUTO_INIDRC_S iq_para_stDRC;
extern const u16 iq_para_stIniCcm[62];
extern const SCENEAUTO_SATURATION_S iq_para_saturation;
// Not part of the image: the colour-tone call takes it directly.
extern const u8 iq_para_color_tone[6];
// The fixed route-ex tables of the WDR routes.
extern const AE_ROUTE_EX_TABLE_S gstAERouteExAttr_NightWDR_50hz;
extern const AE_ROUTE_EX_TABLE_S gstAERouteExAttr_OutdoorWDR_50hz;
