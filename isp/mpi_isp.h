// The ISP control interface: bring-up, the run loop, public attributes,
// library registration, statistics and the other queries of the core.
// Call helpers: ISP_CHECK_REC (isp/isp_ctx.h), isp_iq_regs (isp/modules/isp_iq.h).
#pragma once

#include "isp/isp_3a_comm.h"
#include "isp/isp_sensor.h"

typedef s32 ISP_DEV;

#define ISP_MAX_DEV_NUM 1

enum ISP_WDR_TYPE_E : u32 {
    WDR_MODE_NONE = 0,
    WDR_MODE_BUILT_IN = 1,
    WDR_MODE_2To1_LINE = 2,
    WDR_MODE_2To1_FRAME = 3,
    WDR_MODE_2To1_FRAME_FULL_RATE = 4,
    WDR_MODE_3To1_LINE = 5,
    WDR_MODE_3To1_FRAME = 6,
    WDR_MODE_3To1_FRAME_FULL_RATE = 7,
    WDR_MODE_4To1_LINE = 8,
    WDR_MODE_4To1_FRAME = 9,
    WDR_MODE_4To1_FRAME_FULL_RATE = 10,
    WDR_MODE_BUTT = 11,
};

enum ISP_BAYER_FORMAT_E : u32 { BAYER_RGGB = 0, BAYER_GRBG = 1, BAYER_GBRG = 2, BAYER_BGGR = 3, BAYER_BUTT };

// Public attributes: the working window, frame rate and Bayer order.
struct ISP_FRAME_FORMAT_S {
    s32 s32OffsetX;
    s32 s32OffsetY;
    u32 u32Width;
    u32 u32Height;
    f32 f32FrameRate;
    u32 enBayerPattern;
};
static_assert(sizeof(ISP_FRAME_FORMAT_S) == 24, "public attributes layout");

struct ISP_WDR_SEL_S {
    u32 enWDRMode;
};

struct ISP_INNER_STATE_S {
    u32 u32DRCStrengthActual;
    u32 u32NRStrengthActual;
    u32 u32SharpenStrengthDActual;
    u32 u32SharpenStrengthUdActual;
    u32 u32SharpenStrengthRGBActual;
    u32 u32DefogStrengthActual;
    u32 u32WDRExpRatioActual;
    u32 au32BlackLevel[4];
    u32 bWDRSwitchFinish;
    u32 bResSwitchFinish;
};
static_assert(sizeof(ISP_INNER_STATE_S) == 52, "inner state layout");

// The sensor and the 3A libraries an ISP works with.
struct ISP_LIB_BIND_S {
    s32 SensorId;
    ALG_LIB_HANDLE_S stAeLib;
    ALG_LIB_HANDLE_S stAfLib;
    ALG_LIB_HANDLE_S stAwbLib;
};
static_assert(sizeof(ISP_LIB_BIND_S) == 76, "library binding layout");

// Where the register spaces are mapped in this process.
struct ISP_REG_ATTR_S {
    void *pIspRegAddr;
    u32 u32IspRegSize;
    void *pIspExtRegAddr;
    u32 u32IspExtRegSize;
    void *pAeExtRegAddr;
    u32 u32AeExtRegSize;
    void *pAwbExtRegAddr;
    u32 u32AwbExtRegSize;
};

struct ISP_DEBUG_INFO_S {
    u32 bDebugEn;
    u32 u32PhyAddr;
    u32 u32Depth;
};

// ---- statistics configuration ----------------------------------------------------
struct ISP_AE_STATISTICS_CFG_S {
    u8 au8AEThresh[4];
    u32 enAESwitch;      // 0..7
    u32 enHistSwitch;    // 256-bin histogram switch, 0..7
    u32 enAESumSwitch;   // 0..7
};

struct ISP_WB_STATISTICS_CFG_PARA_S {
    u16 u16WhiteLevel;
    u16 u16BlackLevel;
    u16 u16CbMax;
    u16 u16CbMin;
    u16 u16CrMax;
    u16 u16CrMin;
    u16 au16Limit[4]; // four further 12-bit limits
};

struct ISP_WB_STATISTICS_CFG_S {
    ISP_WB_STATISTICS_CFG_PARA_S stBayerCfg;
    ISP_WB_STATISTICS_CFG_PARA_S stRGBCfg;
};

struct ISP_AF_CFG_S {
    u16 u16Hwnd;
    u16 u16Vwnd;
    u16 u16Hsize;
    u16 u16Vsize;
    u32 enPeakMode;
    u32 enSquMode;
};

struct ISP_AF_H_PARAM_S {
    u32 abIIREn[3];
    s16 as16IIRGain[7];
    u16 au16IIRShift[4];
    u16 u16IIRThd;
};

struct ISP_AF_V_PARAM_S {
    s16 as16FIRH[5];
    u16 u16FIRThd;
};

struct ISP_AF_FV_PARAM_S {
    u16 u16AccShiftY;
    u16 au16AccShiftH[2];
    u16 au16AccShiftV[2];
};

struct ISP_FOCUS_STATISTICS_CFG_S {
    u32 bEnable;
    ISP_AF_CFG_S stConfig;
    ISP_AF_H_PARAM_S stHParam_IIR0;
    ISP_AF_H_PARAM_S stHParam_IIR1;
    ISP_AF_V_PARAM_S stVParam_FIR0;
    ISP_AF_V_PARAM_S stVParam_FIR1;
    ISP_AF_FV_PARAM_S stFVParam;
};

struct ISP_STATISTICS_CFG_S {
    u32 unKey;
    ISP_AE_STATISTICS_CFG_S stAECfg;
    ISP_WB_STATISTICS_CFG_S stWBCfg;
    ISP_FOCUS_STATISTICS_CFG_S stFocusCfg;
};

// ---- statistics read from the hardware --------------------------------------------
struct ISP_AE_STATISTICS_S {
    u16 au16Hist5Value[5];
    u16 au16ZoneHist5Value[AE_ZONE_ROW][AE_ZONE_COLUMN][5];
    u32 au32Hist256Value[256];
};

struct ISP_WB_ZONE_STA_S {
    u16 u16Rg;
    u16 u16Bg;
    u16 u16CountAll;
    u16 u16Reserved;
};

struct ISP_WB_STATISTICS_S {
    // white-balance ratios
    u16 u16GlobalRg;
    u16 u16GlobalBg;
    u16 u16GlobalCountLow;
    u16 u16GlobalCountHigh;
    ISP_WB_ZONE_STA_S stZoneSta[AWB_ZONE_NUM];
    // RGB means, pixel count, darkest and brightest value
    u16 u16GlobalR;
    u16 u16GlobalG;
    u16 u16GlobalB;
    u16 u16GlobalCount;
    u16 u16GlobalMin;
    u16 u16GlobalMax;
    u16 au16ZoneAvgR[AWB_ZONE_NUM];
    u16 au16ZoneAvgG[AWB_ZONE_NUM];
    u16 au16ZoneAvgB[AWB_ZONE_NUM];
    u16 au16ZoneCount[AWB_ZONE_NUM];
    u16 au16ZoneMin[AWB_ZONE_NUM];
    u16 au16ZoneMax[AWB_ZONE_NUM];
    // Bayer ratios and sums
    u16 u16BayerGlobalRg;
    u16 u16BayerGlobalBg;
    u32 u32BayerGlobalSum;
    u16 au16BayerZoneRg[AWB_ZONE_NUM];
    u16 au16BayerZoneBg[AWB_ZONE_NUM];
    u32 au32BayerZoneSum[AWB_ZONE_NUM];
};

struct ISP_FOCUS_STATISTICS_S {
    ISP_FOCUS_ZONE_S stZoneMetrics[AE_ZONE_ROW][AE_ZONE_COLUMN];
};

struct ISP_STATISTICS_S {
    ISP_AE_STATISTICS_S stAEStat;
    ISP_WB_STATISTICS_S stWBStat;
    ISP_FOCUS_STATISTICS_S stFocusStat;
};

// ---- lifecycle (recording engine) ----------------------------------------------------
s32 DU_DUZ_ISP_MemInit(ISP_DEV IspDev);
s32 DU_DUZ_ISP_Init(ISP_DEV IspDev);
s32 DU_DUZ_ISP_Run(ISP_DEV IspDev);
s32 DU_DUZ_ISP_Exit(ISP_DEV IspDev);

// ---- 3A library registration ----------------------------------------------------
s32 DU_DUZ_ISP_AELibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAeLib, const AE_LIB_CALLBACKS_S *pstRegister);
s32 DU_DUZ_ISP_AWBLibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAwbLib,
                                 const AWB_LIB_CALLBACKS_S *pstRegister);
s32 DU_DUZ_ISP_AFLibRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAfLib, const AF_LIB_CALLBACKS_S *pstRegister);
s32 DU_DUZ_ISP_AELibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAeLib);
s32 DU_DUZ_ISP_AWBLibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAwbLib);
s32 DU_DUZ_ISP_AFLibUnRegCallBack(ISP_DEV IspDev, const ALG_LIB_HANDLE_S *pstAfLib);

// ---- control interface ----------------------------------------------------------------
s32 DU_DUZ_ISP_SetPubAttr(ISP_DEV IspDev, const ISP_FRAME_FORMAT_S *pstPubAttr);
s32 DU_DUZ_ISP_GetPubAttr(ISP_DEV IspDev, ISP_FRAME_FORMAT_S *pstPubAttr);
s32 DU_DUZ_ISP_SetFMWState(ISP_DEV IspDev, u32 enState);
s32 DU_DUZ_ISP_GetFMWState(ISP_DEV IspDev, u32 *penState);
s32 DU_DUZ_ISP_SetWDRMode(ISP_DEV IspDev, const ISP_WDR_SEL_S *pstWDRMode);
s32 DU_DUZ_ISP_GetWDRMode(ISP_DEV IspDev, ISP_WDR_SEL_S *pstWDRMode);
s32 DU_DUZ_ISP_SetModuleControl(ISP_DEV IspDev, const u32 *pu32ModFlag);
s32 DU_DUZ_ISP_GetModuleControl(ISP_DEV IspDev, u32 *pu32ModFlag);
s32 DU_DUZ_ISP_SetRegister(ISP_DEV IspDev, u32 u32Addr, u32 u32Value);
s32 DU_DUZ_ISP_GetRegister(ISP_DEV IspDev, u32 u32Addr, u32 *pu32Value);
s32 DU_DUZ_ISP_SetBindAttr(ISP_DEV IspDev, const ISP_LIB_BIND_S *pstBindAttr);
s32 DU_DUZ_ISP_GetBindAttr(ISP_DEV IspDev, ISP_LIB_BIND_S *pstBindAttr);
s32 DU_DUZ_ISP_GetVDTimeOut(ISP_DEV IspDev, u32 *pu32VdInfo, u32 u32MilliSec);
s32 DU_DUZ_ISP_SetDCFInfo(const ISP_DCF_INFO_S *pstIspDCF);
s32 DU_DUZ_ISP_GetDCFInfo(ISP_DCF_INFO_S *pstIspDCF);
s32 DU_DUZ_ISP_SetDebug(ISP_DEV IspDev, const ISP_DEBUG_INFO_S *pstIspDebug);
s32 DU_DUZ_ISP_GetDebug(ISP_DEV IspDev, ISP_DEBUG_INFO_S *pstIspDebug);
s32 DU_DUZ_ISP_SetModParam(const u32 *pu32Param);
s32 DU_DUZ_ISP_GetModParam(u32 *pu32Param);
s32 DU_DUZ_ISP_QueryInnerStateInfo(ISP_DEV IspDev, ISP_INNER_STATE_S *pstInnerStateInfo);
s32 DU_DUZ_ISP_GetISPRegAttr(ISP_DEV IspDev, ISP_REG_ATTR_S *pstIspRegAttr);

// ---- statistics -------------------------------------------------------------------------
s32 DU_DUZ_ISP_SetStatisticsConfig(ISP_DEV IspDev, const ISP_STATISTICS_CFG_S *pstStatCfg);
s32 DU_DUZ_ISP_GetStatisticsConfig(ISP_DEV IspDev, ISP_STATISTICS_CFG_S *pstStatCfg);
s32 DU_DUZ_ISP_GetStatistics(ISP_DEV IspDev, ISP_STATISTICS_S *pstStat);

// The image-quality attribute calls.
#include "isp/mpi_isp_iq.h"
// Lens shading, fixed-pattern noise, stabilisation and defog.
#include "isp/mpi_isp_correction.h"
