// What the ISP firmware, the sensor driver and the exposure, white-balance and
// focus libraries share: library identities and callbacks, the per-frame
// inputs and results, the statistics blocks and the sensor profiles.
#pragma once

#include "mpi/common/mpi_common.h"

typedef float f32;

#define ALG_LIB_NAME_SIZE_MAX 20

// A library's identity: handle 0 or 1 and its name.
struct ALG_LIB_HANDLE_S {
    s32 s32Id;
    char acLibName[ALG_LIB_NAME_SIZE_MAX];
};
static_assert(sizeof(ALG_LIB_HANDLE_S) == 24, "library handle layout");

// ---- the statistics blocks of one frame (ISP_STAT_S) ----------------------------
#define AE_ZONE_ROW 15
#define AE_ZONE_COLUMN 17
#define AWB_ZONE_NUM (AE_ZONE_ROW * AE_ZONE_COLUMN)
#define DEHAZE_BLOCK_MAX 240

// +0: the metering thresholds in force (the first byte is how the exposure
// library sees its thresholds applied) and the global 5-bin histogram's bins
// 0, 1, 3 and 4; bin 2 is what the others leave of 65535.
struct ISP_AE_STAT_1_S {
    u8 au8MeteringThresh[4];
    u16 au16Hist5Value[4];
};
// +12: the 5-bin histogram of every zone (each bin a share of 65535).
struct ISP_AE_STAT_2_S {
    u16 au16ZoneHist5Value[AE_ZONE_ROW][AE_ZONE_COLUMN][5];
    u8 au8Reserved[6];
};
// +2568: the 256-bin luma histogram, pixel counts.
struct ISP_AE_STAT_3_S {
    u32 au32Hist256Value[256];
};
// +3592: the global channel means R, Gr, Gb, B (16 bit).
struct ISP_AE_STAT_4_S {
    u16 au16GlobalAvg[4];
};
// +3600: the channel means of every zone, R, Gr, Gb, B.
struct ISP_AE_STAT_5_S {
    u16 au16ZoneAvg[AE_ZONE_ROW][AE_ZONE_COLUMN][4];
};
// +5640: the global colour ratios after the white-balance gains in force (8.8).
struct ISP_AWB_STAT_1_S {
    u16 u16MeteringAwbAvgGR;
    u16 u16MeteringAwbAvgGB;
    u32 u32MeteringAwbCount;
};
// +5648: the colour ratios and white pixel counts of every zone.
struct ISP_AWB_STAT_2_S {
    u16 au16MeteringMemArrayAvgGR[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayAvgGB[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayCount[AWB_ZONE_NUM];
};
// +7178: the global Bayer means before the white-balance gains (16 bit).
struct ISP_AWB_STAT_3_S {
    u16 u16MeteringAwbAvgR;
    u16 u16MeteringAwbAvgG;
    u16 u16MeteringAwbAvgB;
    u16 u16MeteringAwbCountAll;
    u8 au8Reserved[4];
};
// +7190: the Bayer means of every zone, their counts and two more arrays
// (the darkest and brightest channel of the zone).
struct ISP_AWB_STAT_4_S {
    u16 au16MeteringMemArrayAvgR[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayAvgG[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayAvgB[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayCountAll[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayMin[AWB_ZONE_NUM];
    u16 au16MeteringMemArrayMax[AWB_ZONE_NUM];
};
// One focus zone: vertical and horizontal sharpness of both filters, luma.
struct ISP_FOCUS_ZONE_S {
    u16 u16v1;
    u16 u16h1;
    u16 u16v2;
    u16 u16h2;
    u16 u16y;
};
// +10250: the focus statistics.
struct ISP_AF_STAT_S {
    ISP_FOCUS_ZONE_S stZoneMetrics[AE_ZONE_ROW][AE_ZONE_COLUMN];
    u8 au8Reserved[12];
};
// +12812: the dark-channel minimum of each dehaze block, four to a word,
// the first block in bits 24-31.
struct ISP_DEHAZE_STAT_S {
    u32 au32DehazeMinDout[DEHAZE_BLOCK_MAX / 4];
};

static_assert(sizeof(ISP_AE_STAT_1_S) == 12, "AE block 1");
static_assert(sizeof(ISP_AE_STAT_2_S) == 2556, "AE block 2");
static_assert(sizeof(ISP_AWB_STAT_1_S) == 8, "AWB block 1");
static_assert(sizeof(ISP_AWB_STAT_3_S) == 12, "AWB block 3");
static_assert(sizeof(ISP_AWB_STAT_4_S) == 3060, "AWB block 4");
static_assert(sizeof(ISP_AF_STAT_S) == 2562, "AF block");

// ---- library callbacks --------------------------------------------------------
struct AE_INIT_PARAM_S {
    s32 s32SensorId;
    u8 u8WDRMode;
    f32 f32Fps;
    u32 u32Reserved;
};

struct AE_FRAME_INPUT_S {
    u32 u32FrameCnt;
    const ISP_AE_STAT_1_S *pstAeStat1;
    const ISP_AE_STAT_2_S *pstAeStat2;
    const ISP_AE_STAT_3_S *pstAeStat3;
    const ISP_AE_STAT_4_S *pstAeStat4;
    const ISP_AE_STAT_5_S *pstAeStat5;
};

struct AE_FRAME_RESULT_S {
    u32 au32IntTime[4];                               // r0..r12, microseconds
    u32 u32IspDgain;                                  // r16
    u32 u32Iso;                                       // r20
    u8 u8AERunInterval;                               // r24: sensor sync interval
    u32 bPirisValid;                                  // r28: the iris gain applies
    u32 u32Reserved;                                  // r32
    u32 u32PirisGain;                                 // r36
    u32 enFSWDRMode;                                  // r40
    u32 bChange;                                      // r44: weights changed
    u8 au8MeteringHistThresh[4];                      // r48
    u8 au8WeightTable[AE_ZONE_ROW][AE_ZONE_COLUMN];   // r52
};
static_assert(sizeof(AE_FRAME_RESULT_S) == 308, "exposure result layout");

struct AWB_INIT_PARAM_S {
    s32 s32SensorId;
    u8 u8WDRMode;
};

struct AWB_FRAME_INPUT_S {
    u32 u32FrameCnt;
    const ISP_AWB_STAT_1_S *pstAwbStat1;
    const ISP_AWB_STAT_2_S *pstAwbStat2;
    ISP_AWB_STAT_3_S *pstAwbStat3;
    ISP_AWB_STAT_4_S *pstAwbStat4;
};

struct AWB_FRAME_RESULT_S {
    u32 au32WhiteBalanceGain[4]; // R, Gr, Gb, B, 16.16
    s16 as16ColorMatrix[9];
    u32 bStatCfgUpdate;
    u16 au16StatThresh[10];      // u16 positions 20-29
    u32 bBayerStatUpdate;
    u32 au32BayerSwitch[2];
    u16 au16BayerLimit[10];      // u16 positions 36-45
};
static_assert(sizeof(AWB_FRAME_RESULT_S) == 92, "white-balance result layout");

struct AF_INIT_PARAM_S {
    s32 s32SensorId;
};

struct AF_FRAME_INPUT_S {
    u32 u32FrameCnt;
    const ISP_AF_STAT_S *pstAfStat;
};

struct AF_FRAME_RESULT_S {
    u32 u32Reserved;
};

struct AE_LIB_CALLBACKS_S {
    s32 (*pfn_ae_init)(s32 s32Handle, const AE_INIT_PARAM_S *pstAeParam);
    s32 (*pfn_ae_run)(s32 s32Handle, const AE_FRAME_INPUT_S *pstAeInfo, AE_FRAME_RESULT_S *pstAeResult, s32 s32Rsv);
    s32 (*pfn_ae_ctrl)(s32 s32Handle, u32 u32Cmd, void *pValue);
    s32 (*pfn_ae_exit)(s32 s32Handle);
};

struct AWB_LIB_CALLBACKS_S {
    s32 (*pfn_awb_init)(s32 s32Handle, const AWB_INIT_PARAM_S *pstAwbParam);
    s32 (*pfn_awb_run)(s32 s32Handle, const AWB_FRAME_INPUT_S *pstAwbInfo, AWB_FRAME_RESULT_S *pstAwbResult,
                       s32 s32Rsv);
    s32 (*pfn_awb_ctrl)(s32 s32Handle, u32 u32Cmd, void *pValue);
    s32 (*pfn_awb_exit)(s32 s32Handle);
};

struct AF_LIB_CALLBACKS_S {
    s32 (*pfn_af_init)(s32 s32Handle, const AF_INIT_PARAM_S *pstAfParam);
    s32 (*pfn_af_run)(s32 s32Handle, const AF_FRAME_INPUT_S *pstAfInfo, AF_FRAME_RESULT_S *pstAfResult, s32 s32Rsv);
    s32 (*pfn_af_ctrl)(s32 s32Handle, u32 u32Cmd, void *pValue);
    s32 (*pfn_af_exit)(s32 s32Handle);
};

// Control commands the ISP sends to its modules and, through the 3A bridges,
// to the libraries.
enum ISP_CTRL_CMD_E : u32 {
    ISP_WDR_MODE_SET = 8000,
    ISP_PROC_WRITE = 8001,
    ISP_AE_FPS_BASE_SET = 8002,
    ISP_AWB_ISO_SET = 8003,
    ISP_CHANGE_IMAGE_MODE_SET = 8004,
    ISP_DCFINFO_SET = 8005,
    ISP_AWB_INTTIME_SET = 8006,
    ISP_AWB_PIRIS_SET = 8007,
};

// The proc request handed with 8001: where to write, the space left, and
// the length the module wrote.
struct ISP_CTRL_PROC_WRITE_S {
    char *pcProcBuff;
    u32 u32BuffLen;
    u32 u32WriteLen;
};

// ---- the sensor's side of the exposure and white-balance libraries -------------
#define ISP_AE_ROUTE_MAX_NODES 16

struct AE_ACCURACY_S {
    u32 enAccuType; // 0 dB, 1 linear, 2 table
    f32 f32Accuracy;
};

struct AE_INTTIME_ACCURACY_S {
    u32 enAccuType;
    f32 f32Accuracy;
    f32 f32Offset; // fractional lines
};

struct ISP_AE_ROUTE_NODE_S {
    u32 u32IntTime;
    u32 u32SysGain;
    u32 enIrisFNO;
};
struct ISP_AE_ROUTE_S {
    u32 u32TotalNum;
    ISP_AE_ROUTE_NODE_S astRouteNode[ISP_AE_ROUTE_MAX_NODES];
};

struct ISP_AE_ROUTE_EX_NODE_S {
    u32 u32IntTime;
    u32 u32Again;
    u32 u32Dgain;
    u32 u32IspDgain;
    u32 enIrisFNO;
};
struct ISP_AE_ROUTE_EX_S {
    u32 u32TotalNum;
    ISP_AE_ROUTE_EX_NODE_S astRouteExNode[ISP_AE_ROUTE_MAX_NODES];
};

struct ISP_PIRIS_ATTR_S {
    u32 bStepFNOTableChange;
    u32 bZeroIsMax;
    u16 u16TotalStep;
    u16 u16StepCount;
    u16 au16StepFNOTable[1024];
    u32 enMaxIrisFNOTarget;
    u32 enMinIrisFNOTarget;
};

struct AE_SENSOR_PROFILE_S {
    u8 au8HistThresh[4];
    u8 u8AeCompensation;
    u32 u32LinesPer500ms;
    u32 u32FlickerFreq;
    f32 f32Fps;
    u32 u32InitExposure;
    u32 u32QuickStartSpeed;
    u32 u32QuickStartTolerance;
    u32 u32FullLinesStd;
    u32 u32FullLinesMax;
    u32 u32FullLines;
    u32 u32MaxIntTime;
    u32 u32MinIntTime;
    u32 u32MaxIntTimeTarget;
    u32 u32MinIntTimeTarget;
    AE_INTTIME_ACCURACY_S stIntTimeAccu;
    u32 u32MaxAgain;
    u32 u32MinAgain;
    u32 u32MaxAgainTarget;
    u32 u32MinAgainTarget;
    AE_ACCURACY_S stAgainAccu;
    u32 u32AgainReserved;
    u32 u32MaxDgain;
    u32 u32MinDgain;
    u32 u32MaxDgainTarget;
    u32 u32MinDgainTarget;
    AE_ACCURACY_S stDgainAccu;
    u32 u32DgainReserved;
    u32 u32MaxISPDgainTarget;
    u32 u32MinISPDgainTarget;
    u32 u32ISPDgainShift;
    ISP_AE_ROUTE_S stAERouteAttr;
    u32 bAERouteExValid;
    ISP_AE_ROUTE_EX_S stAERouteExAttr;
    u32 au32Reserved[2];
    u32 enIrisType; // 1 = P-iris
    ISP_PIRIS_ATTR_S stPirisAttr;
    u32 enMaxIrisFNO;
    u32 enMinIrisFNO;
};
static_assert(sizeof(ISP_AE_ROUTE_S) == 196, "route table");
static_assert(sizeof(ISP_AE_ROUTE_EX_S) == 324, "route-ex table");
static_assert(sizeof(ISP_PIRIS_ATTR_S) == 2068, "P-iris settings");

#define CCM_MATRIX_SIZE 9

struct AWB_SENSOR_PROFILE_S {
    u16 u16WbRefTemp;
    u16 au16GainOffset[4];
    u8 au8Reserved[2];
    s32 as32WbPara[6];
    u32 bSatValid;
    u8 au8Sat[16];
    u16 u16HighColorTemp;
    u16 au16HighCCM[CCM_MATRIX_SIZE];
    u16 u16MidColorTemp;
    u16 au16MidCCM[CCM_MATRIX_SIZE];
    u16 u16LowColorTemp;
    u16 au16LowCCM[CCM_MATRIX_SIZE];
};
static_assert(sizeof(AWB_SENSOR_PROFILE_S) == 116, "white-balance profile layout");

struct AE_SENSOR_CALLBACKS_S {
    s32 (*pfn_cmos_get_ae_default)(AE_SENSOR_PROFILE_S *pstAeSnsDft);
    void (*pfn_cmos_fps_set)(f32 f32Fps, AE_SENSOR_PROFILE_S *pstAeSnsDft);
    void (*pfn_cmos_slow_framerate_set)(u32 u32FullLines, AE_SENSOR_PROFILE_S *pstAeSnsDft);
    void (*pfn_cmos_inttime_update)(u32 u32IntTime);
    void (*pfn_cmos_gains_update)(u32 u32Again, u32 u32Dgain);
    void (*pfn_cmos_again_calc_table)(u32 *pu32AgainLin, u32 *pu32AgainDb);
    void (*pfn_cmos_dgain_calc_table)(u32 *pu32DgainLin, u32 *pu32DgainDb);
    void (*pfn_cmos_get_inttime_max)(u32 u32Ratio, u32 *pu32IntTimeMax);
    void (*pfn_cmos_ae_fswdr_attr_set)(u32 *penFSWDRMode);
};

struct AWB_SENSOR_CALLBACKS_S {
    s32 (*pfn_cmos_get_awb_default)(AWB_SENSOR_PROFILE_S *pstAwbSnsDft);
};

// The exposure and white-balance libraries take the sensor's callbacks with
// these (provided by the libraries themselves).
s32 DU_DUZ_AE_SensorRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib, s32 s32SensorId,
                                const AE_SENSOR_CALLBACKS_S *pstRegister);
s32 DU_DUZ_AE_SensorUnRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib, s32 s32SensorId);
s32 DU_DUZ_AWB_SensorRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId,
                                 const AWB_SENSOR_CALLBACKS_S *pstRegister);
s32 DU_DUZ_AWB_SensorUnRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId);

// One frame's statistics buffer, as the driver writes it and every module
// reads it.
struct ISP_STAT_S {
    ISP_AE_STAT_1_S stAeStat1;
    ISP_AE_STAT_2_S stAeStat2;
    ISP_AE_STAT_3_S stAeStat3;
    ISP_AE_STAT_4_S stAeStat4;
    ISP_AE_STAT_5_S stAeStat5;
    ISP_AWB_STAT_1_S stAwbStat1;
    ISP_AWB_STAT_2_S stAwbStat2;
    ISP_AWB_STAT_3_S stAwbStat3;
    ISP_AWB_STAT_4_S stAwbStat4;
    ISP_AF_STAT_S stAfStat;
    ISP_DEHAZE_STAT_S stDehazeStat;
};
static_assert(offsetof(ISP_STAT_S, stAeStat2) == 12, "AE zone histograms at +12");
static_assert(offsetof(ISP_STAT_S, stAeStat3) == 2568, "256-bin histogram at +2568");
static_assert(offsetof(ISP_STAT_S, stAeStat4) == 3592, "global means at +3592");
static_assert(offsetof(ISP_STAT_S, stAeStat5) == 3600, "zone means at +3600");
static_assert(offsetof(ISP_STAT_S, stAwbStat1) == 5640, "AWB global at +5640");
static_assert(offsetof(ISP_STAT_S, stAwbStat2) == 5648, "AWB zones at +5648");
static_assert(offsetof(ISP_STAT_S, stAwbStat3) == 7178, "Bayer global at +7178");
static_assert(offsetof(ISP_STAT_S, stAwbStat4) == 7190, "Bayer zones at +7190");
static_assert(offsetof(ISP_STAT_S, stAfStat) == 10250, "focus at +10250");
static_assert(offsetof(ISP_STAT_S, stDehazeStat) == 12812, "dehaze minima at +12812");
static_assert(sizeof(ISP_STAT_S) == 13052, "statistics buffer size");
