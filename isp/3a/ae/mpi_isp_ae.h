// The exposure attribute interface: the calls applications and scene
// auto-tuning set and query the exposure with. They meet the exposure
// library only in its register page (handle 0); the library takes the
// values up on its next frames.
//
// The recording engine's anti-flicker setting reads the record with
// DU_DUZ_ISP_GetExposureAttr, changes stAuto.stAntiflicker and writes it
// back with DU_DUZ_ISP_SetExposureAttr.
#pragma once

#include "isp/isp_3a_comm.h"

enum AE_IRIS_FNO_E : u32 {
    ISP_IRIS_F_NO_32_0 = 0,
    ISP_IRIS_F_NO_22_0,
    ISP_IRIS_F_NO_16_0,
    ISP_IRIS_F_NO_11_0,
    ISP_IRIS_F_NO_8_0,
    ISP_IRIS_F_NO_5_6,
    ISP_IRIS_F_NO_4_0,
    ISP_IRIS_F_NO_2_8,
    ISP_IRIS_F_NO_2_0,
    ISP_IRIS_F_NO_1_4,
    ISP_IRIS_F_NO_1_0,
};

struct AE_MANUAL_SETTINGS_S {
    u32 bManualExpTimeEn;
    u32 bManualAGainEn;
    u32 bManualDGainEn;
    u32 bManualISPDGainEn;
    u32 u32ExpTime; // us
    u32 u32AGain;   // 0x400 = 1x
    u32 u32DGain;
    u32 u32ISPDGain;
};

struct AE_ANTIFLICKER_S {
    u32 bEnable;
    u8 u8Frequency; // Hz
    u32 enMode;
};

struct AE_SUBFLICKER_S {
    u32 bEnable;
    u8 u8LumaDiff;
};

struct AE_AUTO_SETTINGS_S {
    u32 u32ExpTimeMax, u32ExpTimeMin; // us
    u32 u32AGainMax, u32AGainMin;
    u32 u32DGainMax, u32DGainMin;
    u32 u32ISPDGainMax, u32ISPDGainMin;
    u32 u32SysGainMax, u32SysGainMin;
    u32 u32GainThreshold; // slow-shutter gain threshold
    u8 u8Speed;
    u16 u16BlackSpeedBias;
    u8 u8Tolerance;
    u8 u8Compensation;
    u16 u16EVBias;
    u32 enStrategyMode;
    u16 u16HistRatioSlope;
    u8 u8MaxHistOffset;
    u32 enAEMode;
    AE_ANTIFLICKER_S stAntiflicker;
    AE_SUBFLICKER_S stSubflicker;
    u16 u16BlackDelayFrame;
    u16 u16WhiteDelayFrame;
    u32 bManualExpValue;
    u32 u32ExpValue;
    u32 enFSWDRMode;
    u32 bWDRQuick;
    u8 au8Weight[AE_ZONE_ROW][AE_ZONE_COLUMN];
};

struct AE_EXPOSURE_SETTINGS_S {
    u32 bByPass;
    u32 enOpType; // 0 auto, 1 manual
    u8 u8AERunInterval;
    u32 bHistStatAdjust;
    u32 bAERouteExValid;
    AE_MANUAL_SETTINGS_S stManual;
    AE_AUTO_SETTINGS_S stAuto;
};
static_assert(offsetof(AE_EXPOSURE_SETTINGS_S, stAuto.stAntiflicker.bEnable) == 29 * 4, "anti-flicker enable word");
static_assert(offsetof(AE_EXPOSURE_SETTINGS_S, stAuto.stAntiflicker.u8Frequency) == 30 * 4, "frequency word");
static_assert(offsetof(AE_EXPOSURE_SETTINGS_S, stAuto.stAntiflicker.enMode) == 31 * 4, "anti-flicker mode word");

struct AE_WDR_RATIO_SETTINGS_S {
    u32 enExpRatioType; // 0 auto, 1 manual
    u32 u32ExpRatio;    // 1/64
    u32 u32ExpRatioMax;
    u32 u32ExpRatioMin;
    u16 u16Tolerance;
    u16 u16Speed;
    u16 u16RatioBias;
};

struct AE_ROUTE_NODE_S {
    u32 u32IntTime; // us
    u32 u32SysGain; // 0x400 = 1x
    u32 enIrisFNO;
};
struct AE_ROUTE_TABLE_S {
    u32 u32TotalNum;
    AE_ROUTE_NODE_S astRouteNode[ISP_AE_ROUTE_MAX_NODES];
};
static_assert(sizeof(AE_ROUTE_TABLE_S) == 196, "route table layout");

struct AE_ROUTE_EX_NODE_S {
    u32 u32IntTime;
    u32 u32Again;
    u32 u32Dgain;
    u32 u32IspDgain;
    u32 enIrisFNO;
};
struct AE_ROUTE_EX_TABLE_S {
    u32 u32TotalNum;
    AE_ROUTE_EX_NODE_S astRouteExNode[ISP_AE_ROUTE_MAX_NODES];
};
static_assert(sizeof(AE_ROUTE_EX_TABLE_S) == 324, "route-ex table layout");

struct AE_IRIS_SETTINGS_S {
    u32 bEnable;
    u32 enOpType;
    u32 enIrisType; // 0 DC iris, 1 P-iris
    u32 enIrisStatus;
    u32 u32HoldValue;
    u32 enIrisFNO;
};

struct AE_DCIRIS_SETTINGS_S {
    s32 s32Kp;
    s32 s32Ki;
    s32 s32Kd;
    u32 u32MinPwmDuty;
    u32 u32MaxPwmDuty;
    u32 u32OpenPwmDuty;
};

struct AE_PIRIS_SETTINGS_S {
    u32 bStepFNOTableChange;
    u32 bZeroIsMax;
    u16 u16TotalStep;
    u16 u16StepCount;
    u16 au16StepFNOTable[1024];
    u32 enMaxIrisFNO;
    u32 enMinIrisFNO;
};
static_assert(sizeof(AE_PIRIS_SETTINGS_S) == 2068, "P-iris settings layout");

struct AE_EXPOSURE_STATUS_S {
    u32 u32ExpTime;
    u32 u32ExpTime2;
    u32 u32AGain;
    u32 u32DGain;
    u32 u32ISPDGain;
    u32 u32Exposure;
    u32 bExposureAtMax;
    s16 s16LumError;
    u32 au32Hist256Value[256];
    u16 au16Hist5Value[5];
    u8 u8AveLum;
    u32 u32LinesPer500ms;
    u32 u32PirisGain;
    u32 u32FrameRateX100;
    u32 u32ISO;
    u32 u32ExpRatio;
    u32 u32FirstStableTime;
    u32 u32RouteNum;
    AE_ROUTE_NODE_S astRouteNode[ISP_AE_ROUTE_MAX_NODES];
    u32 u32RouteExNum;
    AE_ROUTE_EX_NODE_S astRouteExNode[ISP_AE_ROUTE_MAX_NODES];
};
static_assert(sizeof(AE_EXPOSURE_STATUS_S) == 1612, "exposure status layout");

s32 DU_DUZ_ISP_SetExposureAttr(s32 s32Dev, const AE_EXPOSURE_SETTINGS_S *pstExpAttr);
s32 DU_DUZ_ISP_GetExposureAttr(s32 s32Dev, AE_EXPOSURE_SETTINGS_S *pstExpAttr);
s32 DU_DUZ_ISP_SetWDRExposureAttr(s32 s32Dev, const AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr);
s32 DU_DUZ_ISP_GetWDRExposureAttr(s32 s32Dev, AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr);
s32 DU_DUZ_ISP_SetAERouteAttr(s32 s32Dev, const AE_ROUTE_TABLE_S *pstAERouteAttr);
s32 DU_DUZ_ISP_GetAERouteAttr(s32 s32Dev, AE_ROUTE_TABLE_S *pstAERouteAttr);
s32 DU_DUZ_ISP_SetAERouteAttrEx(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx);
s32 DU_DUZ_ISP_GetAERouteAttrEx(s32 s32Dev, AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx);
s32 DU_DUZ_ISP_QueryExposureInfo(s32 s32Dev, AE_EXPOSURE_STATUS_S *pstExpStatus);
s32 DU_DUZ_ISP_SetIrisAttr(s32 s32Dev, const AE_IRIS_SETTINGS_S *pstIrisAttr);
s32 DU_DUZ_ISP_GetIrisAttr(s32 s32Dev, AE_IRIS_SETTINGS_S *pstIrisAttr);
s32 DU_DUZ_ISP_SetDcirisAttr(s32 s32Dev, const AE_DCIRIS_SETTINGS_S *pstDcirisAttr);
s32 DU_DUZ_ISP_GetDcirisAttr(s32 s32Dev, AE_DCIRIS_SETTINGS_S *pstDcirisAttr);
s32 DU_DUZ_ISP_SetPirisAttr(s32 s32Dev, const AE_PIRIS_SETTINGS_S *pstPirisAttr);
s32 DU_DUZ_ISP_GetPirisAttr(s32 s32Dev, AE_PIRIS_SETTINGS_S *pstPirisAttr);

// The route checks of the Set calls: 0 or 0xA01C8003.
s32 ISP_RouteCheck(s32 s32Dev, const AE_ROUTE_TABLE_S *pstRoute);
s32 ISP_RouteExCheck(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstRouteEx);
u32 ae_hist_word_decode(u32 word); // the 256-bin hardware histogram word
