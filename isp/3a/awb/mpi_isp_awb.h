// The white-balance attribute interface: white-balance mode and gains, the
// auto algorithm's settings, colour matrices, saturation and the current
// state. It meets the library only in the white-balance page of handle 0;
// the library picks settings up on its next full run.
#pragma once

#include "mpi/common/mpi_common.h"

struct AWB_MANUAL_GAIN_S {
    u16 u16ManualGainR;
    u16 u16ManualGainGr;
    u16 u16ManualGainGb;
    u16 u16ManualGainB;
};

struct AWB_CT_LIMIT_ATTR_S {
    u32 bEnable;
    u32 enOpType;
    u16 u16HighRgLimit;
    u16 u16HighBgLimit;
    u16 u16LowRgLimit;
    u16 u16LowBgLimit;
};

struct AWB_LUMA_HIST_ATTR_S {
    u32 bEnable;
    u32 enType;
    u8 au8HistThresh[6];
    u16 au16HistWeight[6];
};

struct AWB_AUTO_ATTR_S {
    u32 bEnable;
    u16 u16RefCT;
    u16 au16StaticGain[4];
    s32 as32CurvePara[6];
    u32 enAlgType;
    u8 u8StrengthR;
    u8 u8StrengthB;
    u16 u16Speed;
    u16 u16Zone;
    u16 u16CTRangeHigh;
    u16 u16CTRangeLow;
    AWB_CT_LIMIT_ATTR_S stCTLimit;
    u32 bShiftLimitEn;
    u8 u8ShiftLimit;
    u32 bGainNormEn;
    u32 bTrackLocusEn;
    u16 au16CrMax[16];
    u16 au16CrMin[16];
    u16 au16CbMax[16];
    u16 au16CbMin[16];
    AWB_LUMA_HIST_ATTR_S stLumaHist;
};

struct AWB_WB_SETTINGS_S {
    u32 bByPass;
    u32 enOpType; // 0 auto, 1 manual
    AWB_MANUAL_GAIN_S stManual;
    AWB_AUTO_ATTR_S stAuto;
};

struct AWB_EXTRA_LIGHTSOURCE_S {
    u16 u16WhiteRgain;
    u16 u16WhiteBgain;
    u16 u16LightParam;
    u8 u8LightStatus;
    u8 u8LightParam;
};
static_assert(sizeof(AWB_EXTRA_LIGHTSOURCE_S) == 8, "light source entry");

struct AWB_IN_OUT_ATTR_S {
    u32 bEnable;
    u32 enOpType; // 1 manual
    u32 enInOutStatus;
    u32 u32InOutParam;
    u16 u16LowStart;
    u16 u16LowStop;
    u16 u16HighStart;
    u16 u16HighStop;
};

struct AWB_WB_SETTINGS_EX_S {
    u8 u8AreaThreshold;
    u8 u8BinTolerance;
    u16 u16CurveLLimit;
    u16 u16CurveRLimit;
    u32 bExtraLightEn;
    AWB_EXTRA_LIGHTSOURCE_S astLightSource[4];
    AWB_IN_OUT_ATTR_S stInOrOut;
    u32 bGreenEnhanceEn;
    u32 bMultiLightSourceEn;
    u32 bMultiLightSourceType;
    u16 u16MultiLSScaler;
    u16 au16MultiCTBin[8];
    u16 au16MultiCTWt[8];
    u32 bFineTunEn;
};
static_assert(sizeof(AWB_WB_SETTINGS_EX_S) == 120, "extended white-balance settings");

struct AWB_CCM_MANUAL_S {
    u32 bSatEn;
    u16 au16ManualCCM[9]; // sign-magnitude
};

struct AWB_CCM_AUTO_S {
    u32 bISOActEn;
    u32 bTempActEn;
    u16 u16HighColorTemp;
    u16 au16HighCCM[9];
    u16 u16MidColorTemp;
    u16 au16MidCCM[9];
    u16 u16LowColorTemp;
    u16 au16LowCCM[9];
};

struct AWB_CCM_SETTINGS_S {
    u32 enOpType;
    AWB_CCM_MANUAL_S stManual;
    AWB_CCM_AUTO_S stAuto;
};
static_assert(sizeof(AWB_CCM_SETTINGS_S) == 96, "colour matrix settings");

struct AWB_SATURATION_SETTINGS_S {
    u32 enOpType;
    u8 u8Saturation;
    u8 au8Sat[16];
};

struct AWB_WB_STATUS_S {
    u16 u16GainR;
    u16 u16GainGr;
    u16 u16GainGb;
    u16 u16GainB;
    u16 u16Saturation;
    u16 u16ColorTemp;
    u16 au16Matrix[9];
    u16 au16LightSourceValue[4];
    u8 u8MultiLSDegree;
};

s32 DU_DUZ_ISP_SetWBAttr(s32 s32Dev, const AWB_WB_SETTINGS_S *pstWBAttr);
s32 DU_DUZ_ISP_GetWBAttr(s32 s32Dev, AWB_WB_SETTINGS_S *pstWBAttr);
s32 DU_DUZ_ISP_SetAWBAttrEx(s32 s32Dev, const AWB_WB_SETTINGS_EX_S *pstAWBAttrEx);
s32 DU_DUZ_ISP_GetAWBAttrEx(s32 s32Dev, AWB_WB_SETTINGS_EX_S *pstAWBAttrEx);
s32 DU_DUZ_ISP_SetCCMAttr(s32 s32Dev, const AWB_CCM_SETTINGS_S *pstCCMAttr);
s32 DU_DUZ_ISP_GetCCMAttr(s32 s32Dev, AWB_CCM_SETTINGS_S *pstCCMAttr);
s32 DU_DUZ_ISP_SetSaturationAttr(s32 s32Dev, const AWB_SATURATION_SETTINGS_S *pstSatAttr);
s32 DU_DUZ_ISP_GetSaturationAttr(s32 s32Dev, AWB_SATURATION_SETTINGS_S *pstSatAttr);
s32 DU_DUZ_ISP_QueryWBInfo(s32 s32Dev, AWB_WB_STATUS_S *pstWBInfo);
// Gains R, Gr, Gb, B (8.8) for a colour temperature on the record's curve.
s32 DU_DUZ_ISP_CalGainByTemp(const AWB_WB_SETTINGS_S *pstWBAttr, u16 u16ColorTemp, s16 s16Shift, u16 *pu16AWBGain);
