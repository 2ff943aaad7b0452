// The ISP's image-quality attribute calls: black level, defect pixels,
// dynamic range compression, noise reduction and its noise profile, sharpen,
// gamma and front-end gamma, demosaic, anti false colour, colour tone,
// crosstalk and frame-switch WDR. Each call checks the device (0 only) and
// its record, refuses a bad field with nothing written, and leaves its
// settings in ISP or ext registers, where the module of its kind takes
// them on the ISP's thread.
#pragma once

#include "isp/isp_sensor.h"

typedef s32 ISP_DEV;

// ---- black level --------------------------------------------------------------------------
struct ISP_BLACK_LEVEL_S {
    u16 au16BlackLevel[4]; // per Bayer channel, 0..4095
};

s32 DU_DUZ_ISP_SetBlackLevelAttr(ISP_DEV IspDev, const ISP_BLACK_LEVEL_S *pstBlackLevel);
s32 DU_DUZ_ISP_GetBlackLevelAttr(ISP_DEV IspDev, ISP_BLACK_LEVEL_S *pstBlackLevel);

// ---- defect pixels ------------------------------------------------------------------------
#define STATIC_DP_COUNT_MAX 4096

enum ISP_STATIC_DP_TYPE_E : u32 { ISP_STATIC_DP_BRIGHT = 0, ISP_STATIC_DP_DARK = 1 };
enum ISP_STATUS_E : u32 { ISP_STATUS_INIT = 0, ISP_STATUS_SUCCESS = 1, ISP_STATUS_TIMEOUT = 2 };

// A static calibration: the request and its limits in, the pixels found out.
struct ISP_DP_STATIC_CALIBRATE_S {
    u32 bEnable;       // static correction on
    u32 bEnableDetect; // 1 starts a calibration at the next frame
    u32 enStaticDPType;
    u8 u8StartThresh;
    u16 u16CountMax;
    u16 u16CountMin;
    u16 u16TimeLimit; // frames x 8 (1600: 200 trials)
    u32 au32Table[STATIC_DP_COUNT_MAX]; // out: the pixels found
    u8 u8FinishThresh;                  // out: the threshold the last trial used
    u16 u16Count;                       // out: how many were found
    u32 enStatus;                       // ISP_STATUS_E
};

struct ISP_DP_DYNAMIC_ATTR_S {
    u32 bEnable;
    u16 u16Slope;
    u16 u16Thresh;
    u16 u16LineThresh;
    u16 u16HpThresh;
    u8 u8BlendRatio;
};

// The static table: bright and dark pixels, each list ascending, merged into
// the one table the hardware corrects.
struct ISP_DP_STATIC_ATTR_S {
    u32 bEnable;
    u16 u16BrightCount;
    u16 u16DarkCount;
    u32 au32BrightTable[STATIC_DP_COUNT_MAX];
    u32 au32DarkTable[STATIC_DP_COUNT_MAX];
    u32 bDetectMode;
};

struct ISP_DP_ATTR_S {
    ISP_DP_DYNAMIC_ATTR_S stDynamicAttr;
    ISP_DP_STATIC_ATTR_S stStaticAttr;
};

s32 DU_DUZ_ISP_SetDPCalibrate(ISP_DEV IspDev, const ISP_DP_STATIC_CALIBRATE_S *pstDPCalibrate);
s32 DU_DUZ_ISP_GetDPCalibrate(ISP_DEV IspDev, ISP_DP_STATIC_CALIBRATE_S *pstDPCalibrate);
s32 DU_DUZ_ISP_SetDPAttr(ISP_DEV IspDev, const ISP_DP_ATTR_S *pstDPAttr);
s32 DU_DUZ_ISP_GetDPAttr(ISP_DEV IspDev, ISP_DP_ATTR_S *pstDPAttr);

// ---- dynamic range compression --------------------------------------------------------------
enum ISP_OP_TYPE_E : u32 { OP_TYPE_AUTO = 0, OP_TYPE_MANUAL = 1 };

struct ISP_DRC_CFG_S {
    u32 bEnable;
    u32 u32SlopeMax;          // 0..255
    u32 u32SlopeMin;          // 0..255
    u32 u32WhiteLevel;        // 0..4095
    u32 u32BlackLevel;        // 0..4095
    u32 u32VarianceSpace;     // 0..15
    u32 u32VarianceIntensity; // 0..15
    u32 u32Asymmetry;         // 0..255
    u32 u32BrightEnhance;     // 0..255
    u32 enOpType;             // ISP_OP_TYPE_E
    u32 u32Strength;          // manual strength, 0..255
    u32 u32StrengthTarget;    // automatic target, 0..255
};

s32 DU_DUZ_ISP_SetDRCAttr(ISP_DEV IspDev, const ISP_DRC_CFG_S *pstDRC);
s32 DU_DUZ_ISP_GetDRCAttr(ISP_DEV IspDev, ISP_DRC_CFG_S *pstDRC);

// ---- noise reduction ------------------------------------------------------------------------
struct ISP_NR_ATTR_S {
    u32 bEnable;
    u32 enOpType; // ISP_OP_TYPE_E
    u8 u8ThreshS; // manual short-exposure threshold
    u8 u8ThreshL; // manual long-exposure threshold
    u8 au8Thresh[ISP_AUTO_ISO_STRENGTH_NUM]; // automatic, at ISO 100 x 2^i
};

struct ISP_NP_TABLE_S {
    u8 au8NPTable[NP_NODE_NUM];
};

s32 DU_DUZ_ISP_SetNRAttr(ISP_DEV IspDev, const ISP_NR_ATTR_S *pstNRAttr);
s32 DU_DUZ_ISP_GetNRAttr(ISP_DEV IspDev, ISP_NR_ATTR_S *pstNRAttr);
s32 DU_DUZ_ISP_SetNPTable(ISP_DEV IspDev, const ISP_NP_TABLE_S *pstNPTable);
s32 DU_DUZ_ISP_GetNPTable(ISP_DEV IspDev, ISP_NP_TABLE_S *pstNPTable);

// ---- sharpen --------------------------------------------------------------------------------
struct ISP_SHARPEN_ATTR_S {
    u32 bEnable;
    u32 enOpType; // ISP_OP_TYPE_E
    u8 u8SharpenD;   // manual strengths
    u8 u8SharpenUd;
    u8 u8SharpenRGB;
    u8 au8SharpenD[ISP_AUTO_ISO_STRENGTH_NUM];   // automatic, at ISO 100 x 2^i
    u8 au8SharpenUd[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8SharpenRGB[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 u8RGBSharpenCurve;     // shape of the RGB sharpening curve
    u8 u8RGBSharpenStrength;  // 0..127
    u8 u8RGBSharpenMagnitude; // 0..31
};

s32 DU_DUZ_ISP_SetSharpenAttr(ISP_DEV IspDev, const ISP_SHARPEN_ATTR_S *pstSharpenAttr);
s32 DU_DUZ_ISP_GetSharpenAttr(ISP_DEV IspDev, ISP_SHARPEN_ATTR_S *pstSharpenAttr);

// ---- gamma ----------------------------------------------------------------------------------
enum ISP_GAMMA_CURVE_TYPE_E : u32 { ISP_GAMMA_CURVE_DEFAULT = 0, ISP_GAMMA_CURVE_SRGB = 1, ISP_GAMMA_CURVE_USER_DEFINE = 2 };

struct ISP_GAMMA_ATTR_S {
    u32 bEnable;
    u32 enCurveType;                   // ISP_GAMMA_CURVE_TYPE_E
    u16 au16Table[GAMMA_NODE_NUMBER];  // the user's curve, each 0..4095
};

// The WDR compression curve: 33 nodes, then 257 points.
struct ISP_GAMMAFE_ATTR_S {
    u32 bEnable;
    u16 au16Node[GAMMAFE_NODE_NUMBER];
    u16 au16Table[GAMMA_NODE_NUMBER];
};

s32 DU_DUZ_ISP_SetGammaAttr(ISP_DEV IspDev, const ISP_GAMMA_ATTR_S *pstGammaAttr);
s32 DU_DUZ_ISP_GetGammaAttr(ISP_DEV IspDev, ISP_GAMMA_ATTR_S *pstGammaAttr);
s32 DU_DUZ_ISP_SetGammaFEAttr(ISP_DEV IspDev, const ISP_GAMMAFE_ATTR_S *pstGammaFEAttr);
s32 DU_DUZ_ISP_GetGammaFEAttr(ISP_DEV IspDev, ISP_GAMMAFE_ATTR_S *pstGammaFEAttr);

// ---- demosaic, anti false colour, colour tone, crosstalk ---------------------------------------
struct ISP_DEMOSAIC_ATTR_S {
    u8 u8VhSlope;
    u8 u8AaSlope;
    u8 u8VaSlope;
    u8 u8UuSlope;
    u16 u16VhThresh; // 0..4095 each
    u16 u16AaThresh;
    u16 u16VaThresh;
    u16 u16UuThresh;
    u32 enCfgType; // 0..4
    u8 au8LumThresh[ISP_AUTO_ISO_STRENGTH_NUM]; // sharpen's luminance threshold per ISO
    u8 au8NpOffset[ISP_AUTO_ISO_STRENGTH_NUM];  // noise reduction's offset per ISO
};

struct ISP_ANTI_FALSECOLOR_S {
    u8 u8Strength;
};

struct ISP_COLORTONE_S {
    u16 u16RedCastGain; // 8.8: 256 = 1x
    u16 u16GreenCastGain;
    u16 u16BlueCastGain;
};

struct ISP_CR_ATTR_S {
    u32 bEnable;
    u8 au8Strength[ISP_AUTO_ISO_STRENGTH_NUM]; // green-equalisation strength per ISO
    u8 u8Weight;
    u16 u16Threshold; // 0..4095
    u16 u16Slope;     // 0..4095
};

s32 DU_DUZ_ISP_SetDemosaicAttr(ISP_DEV IspDev, const ISP_DEMOSAIC_ATTR_S *pstDemosaicAttr);
s32 DU_DUZ_ISP_GetDemosaicAttr(ISP_DEV IspDev, ISP_DEMOSAIC_ATTR_S *pstDemosaicAttr);
s32 DU_DUZ_ISP_SetAntiFalseColorAttr(ISP_DEV IspDev, const ISP_ANTI_FALSECOLOR_S *pstAntiFC);
s32 DU_DUZ_ISP_GetAntiFalseColorAttr(ISP_DEV IspDev, ISP_ANTI_FALSECOLOR_S *pstAntiFC);
s32 DU_DUZ_ISP_SetColorToneAttr(ISP_DEV IspDev, const ISP_COLORTONE_S *pstCTAttr);
s32 DU_DUZ_ISP_GetColorToneAttr(ISP_DEV IspDev, ISP_COLORTONE_S *pstCTAttr);
s32 DU_DUZ_ISP_SetCrosstalkAttr(ISP_DEV IspDev, const ISP_CR_ATTR_S *pstCRAttr);
s32 DU_DUZ_ISP_GetCrosstalkAttr(ISP_DEV IspDev, ISP_CR_ATTR_S *pstCRAttr);

// ---- frame-switch WDR -----------------------------------------------------------------------
struct ISP_FSWDR_ATTR_S {
    u32 bEnable;
    u16 u16ShortThresh; // 0..4095
    u16 u16LongThresh;  // 0..4095, not above the short threshold
    u32 enFSWDRComMode; // 0..1
};

s32 DU_DUZ_ISP_SetFSWDRAttr(ISP_DEV IspDev, const ISP_FSWDR_ATTR_S *pstFSWDRAttr);
s32 DU_DUZ_ISP_GetFSWDRAttr(ISP_DEV IspDev, ISP_FSWDR_ATTR_S *pstFSWDRAttr);
