// What a sensor driver registers with the ISP and the records it fills.
#pragma once

#include "isp/isp_3a_comm.h"

// The image mode the ISP asks the sensor for.
struct ISP_CMOS_SENSOR_IMAGE_MODE_S {
    u16 u16Width;
    u16 u16Height;
    f32 f32Fps;
};

#define ISP_AUTO_ISO_STRENGTH_NUM 16
#define GAMMAFE_NODE_NUMBER 33
#define NP_NODE_NUM 128
#define SHADING_NODE_NUM 129

// Dynamic range compression defaults.
struct ISP_CMOS_DRC_S {
    u32 bEnable;
    u32 u32BlackLevel;
    u32 u32WhiteLevel;
    u32 u32SlopeMax;
    u32 u32SlopeMin;
    u32 u32VarianceSpace;
    u32 u32VarianceIntensity;
    u32 u32Asymmetry;
    u32 u32BrightEnhance;
};

// Gain-dependent tuning: one row of 16 values per ISO point.
struct ISP_CMOS_AGC_TABLE_S {
    u32 bValid;
    u8 au8SharpenAltD[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8SharpenAltUd[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8SharpenRGB[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8LumThresh[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8GeStrength[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8SnrThresh[ISP_AUTO_ISO_STRENGTH_NUM];
    u8 au8SnrOffset[ISP_AUTO_ISO_STRENGTH_NUM];
};

// The noise profile: two 128-byte register images.
struct ISP_CMOS_NOISE_TABLE_S {
    u32 bValid;
    u8 au8NoiseProfileWeightLut[NP_NODE_NUM];
    u8 au8DemosaicWeightLut[NP_NODE_NUM];
};

struct ISP_CMOS_DEMOSAIC_S {
    u32 bValid;
    u8 u8VhSlope;
    u8 u8AaSlope;
    u8 u8VaSlope;
    u8 u8UuSlope;
    u8 u8SatSlope;
    u8 u8AcSlope;
    u8 u8FcSlope;
    u16 u16VhThresh;
    u16 u16AaThresh;
    u16 u16VaThresh;
    u16 u16UuThresh;
    u16 u16SatThresh;
    u16 u16AcThresh;
};

// Front-end gamma of the WDR modes: a 33-point curve, then a 257-point one.
struct ISP_CMOS_GAMMAFE_S {
    u32 bValid;
    u16 au16Gammafe0[GAMMAFE_NODE_NUMBER];
    u16 au16Gammafe1[GAMMA_NODE_NUMBER];
};

struct ISP_CMOS_GAMMA_S {
    u32 bValid;
    u16 au16Gamma[GAMMA_NODE_NUMBER];
};

struct ISP_CMOS_SHADING_S {
    u32 bValid;
    u16 u16RCenterX, u16RCenterY;
    u16 u16GCenterX, u16GCenterY;
    u16 u16BCenterX, u16BCenterY;
    u16 au16RShadingTbl[SHADING_NODE_NUM];
    u16 au16GShadingTbl[SHADING_NODE_NUM];
    u16 au16BShadingTbl[SHADING_NODE_NUM];
    u16 u16ROffCenter, u16GOffCenter, u16BOffCenter;
    u16 u16TblNodeNum;
};

struct ISP_CMOS_RGBSHARPEN_S {
    u32 bValid;
    u8 u8LutCore;
    u8 u8LutStrength;
    u8 u8LutMagnitude;
};

// The sensor's ISP defaults.
struct ISP_SENSOR_DEFAULT_S {
    ISP_CMOS_DRC_S stDrc;
    ISP_CMOS_AGC_TABLE_S stAgcTbl;
    ISP_CMOS_NOISE_TABLE_S stNoiseTbl;
    ISP_CMOS_DEMOSAIC_S stDemosaic;
    ISP_CMOS_GAMMAFE_S stGammafe;
    ISP_CMOS_GAMMA_S stGamma;
    ISP_CMOS_SHADING_S stShading;
    ISP_CMOS_RGBSHARPEN_S stRgbSharpen;
    u32 u32MaxWidth;
    u32 u32MaxHeight;
};
static_assert(sizeof(ISP_CMOS_AGC_TABLE_S) == 116, "AGC table");
static_assert(sizeof(ISP_CMOS_NOISE_TABLE_S) == 260, "noise table");
static_assert(sizeof(ISP_CMOS_DEMOSAIC_S) == 24, "demosaic section");
static_assert(sizeof(ISP_CMOS_GAMMAFE_S) == 584, "front-end gamma section");
static_assert(sizeof(ISP_CMOS_GAMMA_S) == 520, "gamma section");
static_assert(sizeof(ISP_CMOS_SHADING_S) == 800, "shading section");
static_assert(offsetof(ISP_SENSOR_DEFAULT_S, stGamma) == 1020, "gamma at +1020");
static_assert(offsetof(ISP_SENSOR_DEFAULT_S, stRgbSharpen) == 2340, "RGB sharpen at +2340");
static_assert(sizeof(ISP_SENSOR_DEFAULT_S) == 2356, "sensor defaults layout");

struct ISP_SENSOR_BLC_S {
    u32 bUpdate;
    u16 au16BlackLevel[4];
};
static_assert(sizeof(ISP_SENSOR_BLC_S) == 12, "black level layout");

// The sensor driver's operations, in the order the ISP calls them by.
struct ISP_SENSOR_OPS_S {
    s32 (*pfn_cmos_sensor_init)(void);
    s32 (*pfn_cmos_sensor_exit)(void);
    s32 (*pfn_cmos_sensor_global_init)(void);
    s32 (*pfn_cmos_set_image_mode)(ISP_CMOS_SENSOR_IMAGE_MODE_S *pstSensorImageMode);
    s32 (*pfn_cmos_set_wdr_mode)(u8 u8Mode);
    s32 (*pfn_cmos_get_isp_default)(ISP_SENSOR_DEFAULT_S *pstDef);
    s32 (*pfn_cmos_get_isp_black_level)(ISP_SENSOR_BLC_S *pstBlackLevel);
    s32 (*pfn_cmos_get_sns_reg_info)(ISP_SENSOR_SYNC_REGS_S *pstSnsRegsInfo);
    s32 (*pfn_cmos_set_pixel_detect)(u32 bEnable);
};

s32 DU_DUZ_ISP_SensorRegCallBack(s32 IspDev, s32 SensorId, const ISP_SENSOR_OPS_S *pstRegister);
s32 DU_DUZ_ISP_SensorUnRegCallBack(s32 IspDev, s32 SensorId);
