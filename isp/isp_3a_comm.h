// What the ISP firmware, the sensor driver and the exposure, white-balance and
// focus libraries share: library identities and callbacks, the per-frame
// inputs and results, the statistics blocks and the sensor profiles.
#pragma once

#include "isp/isp_requests.h"

typedef float f32;

// Leaves the calling entry with a check's status when it is not 0.
#define ISP_RETURN_IF_FAILED(check)                                                                       \
    do {                                                                                                  \
        s32 ret_ = (check);                                                                               \
        if (ret_ != 0)                                                                                    \
            return ret_;                                                                                  \
    } while (0)

#define ALG_LIB_NAME_SIZE_MAX 20

// A library's identity: handle 0 or 1 and its name.
struct ALG_LIB_HANDLE_S {
    s32 s32Id;
    char acLibName[ALG_LIB_NAME_SIZE_MAX];
};
static_assert(sizeof(ALG_LIB_HANDLE_S) == 24, "library handle layout");

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
