// The ISP firmware core's own state and the calls its parts make of each
// other: the context of device 0, the module slots, the shared descriptor,
// the ext registers of the core and the internal steps of each service.
#pragma once

#include <cstdio>
#include <pthread.h>

#include "isp/isp_regcfg.h"
#include "isp/isp_vreg.h"
#include "isp/mpi_isp.h"

// Messages of the ISP behind the platform's prefix, on standard error.
#define ISP_TRACE(fmt, ...)                                                                                \
    fprintf(stderr, "[Func]:%s [Line]:%d [Info]:" fmt, __FUNCTION__, __LINE__, ##__VA_ARGS__)
#define ISP_TRACE_AT(func, fmt, ...) fprintf(stderr, "[Func]:%s [Line]:%d [Info]:" fmt, func, __LINE__, ##__VA_ARGS__)

// ---- ext registers of the core ---------------------------------------------------------
#define ISP_EXT_WDR_CFG 0x10001u          // u8 bit 0: WDR mode configured
#define ISP_EXT_PUB_CFG 0x10002u          // u8 bit 0: public attributes configured
#define ISP_EXT_WDR_SWITCH 0x10006u       // u8 bit 0: WDR switch finished
#define ISP_EXT_RES_SWITCH 0x10007u       // u8 bit 0: resolution switch finished
#define ISP_EXT_FREEZE 0x10300u           // u8 bit 0: firmware frozen
#define ISP_EXT_MODE_BITS 0x10304u        // u8
#define ISP_EXT_FPS 0x11400u              // f32 bits
#define ISP_EXT_WDR_MODE 0x12114u         // u16 bits 4-9: requested WDR mode
#define ISP_EXT_DBG_EN 0x1218Cu           // u16 bit 0
#define ISP_EXT_DBG_ADDR_L 0x12190u       // u16
#define ISP_EXT_DBG_ADDR_H 0x12192u
#define ISP_EXT_DBG_SIZE_L 0x12194u
#define ISP_EXT_DBG_SIZE_H 0x12196u
#define ISP_EXT_DBG_DEPTH 0x12198u
#define ISP_EXT_MAX_WIDTH 0x12396u        // u16
#define ISP_EXT_MAX_HEIGHT 0x12398u       // u16
#define ISP_EXT_STAT_KEY 0x1239Cu         // u32


u8 isp_ext_wdr_mode(void);
f32 isp_ext_fps(void);

// ---- module slots -----------------------------------------------------------------------
#define ISP_MAX_ALGS_NUM 32

enum ISP_ALG_ID_E : u32 {
    ISP_ALG_AE = 0,
    ISP_ALG_AF,
    ISP_ALG_AWB,
    ISP_ALG_BLC,
    ISP_ALG_DP,
    ISP_ALG_DRC,
    ISP_ALG_DEMOSAIC,
    ISP_ALG_GAMMA,
    ISP_ALG_GAMMAFE,
    ISP_ALG_GE,
    ISP_ALG_NR,
    ISP_ALG_SHARPEN,
    ISP_ALG_SHADING,
    ISP_ALG_FRAMEWDR,
    ISP_ALG_FPN,
    ISP_ALG_DEHAZE,
    ISP_ALG_ACM,
    ISP_ALG_BUTT,
};

struct ISP_ALG_FUNC_S {
    s32 (*pfn_alg_init)(ISP_DEV IspDev);
    s32 (*pfn_alg_run)(ISP_DEV IspDev, const void *pStatInfo, void *pRegCfg, s32 s32Rsv);
    s32 (*pfn_alg_ctrl)(ISP_DEV IspDev, u32 u32Cmd, void *pValue);
    s32 (*pfn_alg_exit)(ISP_DEV IspDev);
};

struct ISP_ALG_NODE_S {
    u32 bUsed;
    u32 enAlgType;
    ISP_ALG_FUNC_S stAlgFunc;
};

// Fills the first free slot; "Null Pointer!" under `func` when all are used.
s32 isp_alg_register(const char *func, ISP_ALG_ID_E id, const ISP_ALG_FUNC_S &ops);

// Sends a command to every used module with a ctrl operation, in slot order.
void isp_alg_ctrl_all(ISP_DEV IspDev, u32 u32Cmd, void *pValue);

// ---- 3A library tables --------------------------------------------------------------------
#define ISP_MAX_LIB_NUM 2

struct ISP_LIB_NODE_S {
    u32 bUsed;
    ALG_LIB_HANDLE_S stAlgLib;
    union {
        AE_LIB_CALLBACKS_S stAeRegister;
        AWB_LIB_CALLBACKS_S stAwbRegister;
        AF_LIB_CALLBACKS_S stAfRegister;
    };
};

struct ISP_LIB_INFO_S {
    u32 u32ActiveLib;
    ISP_LIB_NODE_S astLibs[ISP_MAX_LIB_NUM];
};

// ---- debug ring ------------------------------------------------------------------------------
struct ISP_DBG_CTRL_S {
    u32 bDebugEn;
    u32 u32PhyAddr;
    u32 u32Depth;
    u32 u32Size;
    void *pDbgVirtAddr;   // the mapping (header word first)
    u32 *pu32DbgEntries;  // the first entry, mapping + 4
    u32 u32MappedPhyAddr; // what is mapped now
    u32 u32MappedSize;
};

struct ISP_DCF_CTRL_S {
    u32 bSupport;
    u32 u32PhyAddr;
    void *pVirtAddr;
};

// ---- the context ---------------------------------------------------------------------------------
struct ISP_CTX_S {
    u32 bMemInit;
    u32 bSnsReg;
    u32 bWDRCfg;
    u32 bPubCfg;
    u32 bIspInit;
    u32 bRun;
    pthread_mutex_t mutex;
    u32 bFreeze;
    u8 u8PreWDRMode;
    u8 u8WDRMode;
    u32 u32FrameCnt;
    u8 bImageModeInit;
    u16 u16PreWidth;
    u16 u16PreHeight;
    f32 f32PreFps;
    u16 u16Width;
    u16 u16Height;
    f32 f32Fps;
    ISP_ALG_NODE_S astAlgs[ISP_MAX_ALGS_NUM];
    u32 bSyncSkip;
    // exposure summary, written by the exposure bridge every frame
    u32 u32IspDgain;      // the ISP digital gain
    u32 u32IspDgainShift; // its precision (8)
    u32 u32Iso;           // ISO of the whole chain
    u32 u32SensorIso;     // ISO without the ISP gain, at least 100
    u32 u32ExpRatio;      // second exposure over the first, 64 = 1x
    u32 u32IntTime;       // integration time of the first exposure
    u32 u32PirisGain;     // iris gain, 0 without a P-iris
    u8 u8SyncInterval;
    u32 u32FSWDRMode;
    ISP_LIB_BIND_S stBindAttr;
    ISP_LIB_INFO_S stAeLibInfo;
    ISP_LIB_INFO_S stAwbLibInfo;
    ISP_LIB_INFO_S stAfLibInfo;
    ISP_DBG_CTRL_S stIspDbg;
    ISP_DCF_CTRL_S stDcfInfo;
};

extern ISP_CTX_S g_astIspCtx[ISP_MAX_DEV_NUM];
extern s32 g_as32IspFd[ISP_MAX_DEV_NUM];

// One frame of the run loop (called by DU_DUZ_ISP_Run only).
s32 ISP_Run(ISP_DEV IspDev);

// "Err isp dev %d!" under `func` and DU_ERR_ISP_ILLEGAL_PARAM unless dev is 0.
s32 isp_check_dev(ISP_DEV IspDev, const char *func);
// Opens and binds the shared descriptor when it is not open yet.
s32 isp_check_open(ISP_DEV IspDev);
// The device, then the descriptor.
s32 isp_check_dev_open(ISP_DEV IspDev, const char *func);
// The device, the record ("Null Pointer!"), then the descriptor.
s32 isp_check_rec(ISP_DEV IspDev, const void *rec, const char *func);
// Memory must be initialised (asking the kernel when the context says not).
s32 isp_check_mem_init(ISP_DEV IspDev, const char *func);
// The device, the record, the descriptor, then initialised memory: what an
// attribute call that lives in registers needs before it touches them.
s32 isp_check_rec_mem(ISP_DEV IspDev, const void *rec, const char *func);
// The same checks under the calling function's name, leaving it with the
// status of the first that fails.
#define ISP_CHECK_DEV_OPEN(dev) ISP_RETURN_IF_FAILED(isp_check_dev_open(dev, __FUNCTION__))
#define ISP_CHECK_REC(dev, rec) ISP_RETURN_IF_FAILED(isp_check_rec(dev, rec, __FUNCTION__))
#define ISP_CHECK_REC_MEM(dev, rec) ISP_RETURN_IF_FAILED(isp_check_rec_mem(dev, rec, __FUNCTION__))
// Sends one request on the shared descriptor; the kernel's result.
s32 isp_ioctl(unsigned long request, void *arg);
// Maps a buffer the kernel lent; on failure says so under `func`, gives the
// buffer back with `free_request` and returns null.
void *isp_map_kernel_buf(u32 u32PhyAddr, u32 u32Size, unsigned long free_request, const char *func,
                         const char *fail_msg);

// ---- register configuration and sensor sync -----------------------------------------------------
s32 ISP_RegCfgInit(ISP_DEV IspDev, void **ppCfg);
void ISP_RegConfigInit(ISP_REG_CFG_S *pstRegCfg);
void ISP_RegConfig(const ISP_REG_CFG_S *pstRegCfg);
s32 ISP_RegCfgSet(ISP_DEV IspDev);
s32 ISP_SyncCfgSet(ISP_DEV IspDev);
s32 ISP_SnsRegsInfoCheck(ISP_DEV IspDev, const ISP_SENSOR_SYNC_REGS_S *pstSnsRegs);
ISP_REG_CFG_S *isp_regcfg(void);

// ---- statistics -------------------------------------------------------------------------------------
s32 ISP_StatisticsInit(ISP_DEV IspDev);
s32 ISP_StatisticsExit(ISP_DEV IspDev);
s32 ISP_StatisticsGetBuf(ISP_DEV IspDev, void **ppStat);
s32 ISP_StatisticsPutBuf(ISP_DEV IspDev);

// ---- DCF buffer ---------------------------------------------------------------------------------------
s32 isp_dcf_info_init(ISP_DEV IspDev);
s32 isp_dcf_info_exit(ISP_DEV IspDev);

// ---- sensor dispatch ------------------------------------------------------------------------------------
s32 ISP_SensorInit(ISP_DEV IspDev);
s32 ISP_SensorExit(ISP_DEV IspDev);
s32 ISP_SensorSetImageMode(ISP_DEV IspDev, ISP_CMOS_SENSOR_IMAGE_MODE_S *pstMode);
s32 ISP_SensorSetWDRMode(ISP_DEV IspDev, u8 u8Mode);
s32 ISP_SensorUpdateDefault(ISP_DEV IspDev);
s32 ISP_SensorUpdateBlc(ISP_DEV IspDev);
s32 ISP_SensorUpdateAll(ISP_DEV IspDev);
s32 ISP_SensorUpdateSnsReg(ISP_DEV IspDev);
s32 ISP_SensorSetPixelDetect(ISP_DEV IspDev, u32 bEnable);
s32 ISP_SensorGetId(ISP_DEV IspDev);
ISP_SENSOR_DEFAULT_S *ISP_SensorGetDefault(ISP_DEV IspDev);
ISP_SENSOR_BLC_S *ISP_SensorGetBlc(ISP_DEV IspDev);
ISP_SENSOR_SYNC_REGS_S *ISP_SensorGetSnsReg(ISP_DEV IspDev);
u32 *ISP_SensorGetMaxResolution(ISP_DEV IspDev);
bool isp_sensor_has_sync(ISP_DEV IspDev);

// ---- defaults, proc, debug -----------------------------------------------------------------------------
void ISP_RegsDefault(void);
void ISP_RegsInitialize(ISP_DEV IspDev);
void ISP_ExtRegsDefault(void);
void ISP_ExtRegsInitialize(ISP_DEV IspDev);
s32 ISP_ProcInit(ISP_DEV IspDev);
s32 ISP_ProcExit(ISP_DEV IspDev);
s32 ISP_UpdateProcParam(ISP_DEV IspDev);
s32 ISP_ProcWrite(const ISP_ALG_NODE_S *astAlgs, ISP_DEV IspDev);
s32 ISP_DbgSet(const ISP_DEBUG_INFO_S *pstDbgInfo);
s32 ISP_DbgGet(ISP_DEBUG_INFO_S *pstDbgInfo);
s32 ISP_DbgRunBgn(ISP_DBG_CTRL_S *pstDbg, u32 u32FrameCnt);
s32 ISP_DbgRunEnd(ISP_DBG_CTRL_S *pstDbg, u32 u32FrameCnt);
void isp_dbg_unmap(ISP_DBG_CTRL_S *pstDbg);

// ---- the 3A bridges -------------------------------------------------------------------------------------
s32 ISP_AlgRegisterAe(ISP_DEV IspDev);
s32 ISP_AlgRegisterAwb(ISP_DEV IspDev);
s32 ISP_AlgRegisterAf(ISP_DEV IspDev);
void AwbCfgReg(const AWB_FRAME_RESULT_S *pstResult, u8 u8WDRMode, ISP_REG_CFG_S *pstRegCfg);

// ---- the image-quality modules ----------------------------------------------------------------------------
s32 ISP_AlgRegisterDp(ISP_DEV IspDev);
s32 ISP_AlgRegisterBlc(ISP_DEV IspDev);
s32 ISP_AlgRegisterDrc(ISP_DEV IspDev);
s32 ISP_AlgRegisterDemosaic(ISP_DEV IspDev);
s32 ISP_AlgRegisterGamma(ISP_DEV IspDev);
s32 ISP_AlgRegisterGammaFe(ISP_DEV IspDev);
s32 ISP_AlgRegisterGe(ISP_DEV IspDev);
s32 ISP_AlgRegisterNr(ISP_DEV IspDev);
s32 ISP_AlgRegisterSharpen(ISP_DEV IspDev);
s32 ISP_AlgRegisterFrameWDR(ISP_DEV IspDev);
s32 ISP_AlgRegisterFPN(ISP_DEV IspDev);
s32 ISP_AlgRegisterDehaze(ISP_DEV IspDev);
s32 ISP_AlgRegisterAcm(ISP_DEV IspDev);
s32 ISP_AlgRegisterShading(ISP_DEV IspDev);

// Appends to a module's proc text (8001), never past the space the record
// gives; the text stays zero-terminated and its length counts the zero.
void isp_proc_printf(ISP_CTRL_PROC_WRITE_S *pstProc, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

