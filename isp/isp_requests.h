// Requests of "/dev/isp_dev" and their records, shared by the ISP firmware
// and the simulated ISP driver.
#pragma once

#include "mpi/common/mpi_common.h"

// ---- core ------------------------------------------------------------------------------
constexpr unsigned long ISP_DEV_SET_FD = 0x40044900;         // u32 device
constexpr unsigned long ISP_GET_FRAME_EDGE = 0x80044901;     // u32 status out, bit 0 = frame ready
constexpr unsigned long ISP_GET_VD_TIMEOUT = 0xC00C4902;     // ISP_VD_TIMEOUT_S
constexpr unsigned long ISP_SET_INT_ENABLE = 0x40044903;     // u32 1 or 0
constexpr unsigned long ISP_LIB_INFO_SET = 0xC0304904;       // ISP_VERSION_S
constexpr unsigned long ISP_STAT_BUF_INIT = 0x80044905;      // u32 physical base out
constexpr unsigned long ISP_STAT_BUF_EXIT = 0x4906;
constexpr unsigned long ISP_STAT_BUF_GET = 0x800C4907;       // ISP_STAT_INFO_S out
constexpr unsigned long ISP_STAT_BUF_PUT = 0x400C4908;       // ISP_STAT_INFO_S in
constexpr unsigned long ISP_REG_CFG_SET = 0x4208490A;        // 520-byte kernel part
constexpr unsigned long ISP_PROC_INIT = 0x800C490B;          // ISP_PROC_MEM_S out
constexpr unsigned long ISP_PROC_WRITE_ING = 0x490C;         // frame counter
constexpr unsigned long ISP_PROC_WRITE_OK = 0x490D;
constexpr unsigned long ISP_PROC_EXIT = 0x490E;
constexpr unsigned long ISP_PROC_PARAM_GET = 0x8004490F;     // u32 proc interval out
constexpr unsigned long ISP_DCF_INFO_SET = 0x420C4910;       // ISP_DCF_INFO_S
constexpr unsigned long ISP_DCF_INFO_GET = 0x820C4911;       // ISP_DCF_INFO_S out
constexpr unsigned long ISP_SYNC_CFG_SET = 0x42404912;       // ISP_SYNC_CFG_S
constexpr unsigned long ISP_WDR_CFG_SET = 0x40014913;        // u8 WDR mode
constexpr unsigned long ISP_DCF_BUF_INIT = 0x80044914;       // u32 physical address out
constexpr unsigned long ISP_DCF_BUF_EXIT = 0x4915;
constexpr unsigned long ISP_MEM_INFO_SET = 0x4004491A;       // u32 memory-init state
constexpr unsigned long ISP_MEM_INFO_GET = 0x8004491B;       // u32 out
constexpr unsigned long ISP_RES_SWITCH_SET = 0x4008491D;     // ISP_RES_SWITCH_S
constexpr unsigned long ISP_MOD_PARAM_SET = 0x4004491E;      // u32
constexpr unsigned long ISP_MOD_PARAM_GET = 0x8004491F;      // u32 out

// ---- virtual register pages ----------------------------------------------------------------
constexpr unsigned long VREG_DRV_INIT = 0x400C4914;          // VREG_ARGS_S: size, base
constexpr unsigned long VREG_DRV_EXIT = 0x400C4915;          // VREG_ARGS_S: base
constexpr unsigned long VREG_DRV_RELEASE_ALL = 0x400C4916;
constexpr unsigned long VREG_DRV_GETADDR = 0xC00C4917;       // VREG_ARGS_S: base in, physical out

struct VREG_ARGS_S {
    u32 u32Size;
    u32 u32BaseAddr;
    u32 u32PhyAddr;
};
static_assert(sizeof(VREG_ARGS_S) == 12, "virtual register request layout");

struct ISP_VD_TIMEOUT_S {
    u32 u32VdInfo;     // out
    u32 u32MilliSec;   // in
    u32 u32IntStatus;  // out, bit 0 = a frame came
};
static_assert(sizeof(ISP_VD_TIMEOUT_S) == 12, "VD wait layout");

// The library version handed over at memory init.
struct ISP_VERSION_S {
    u32 u32Size;
    char acBuildDate[20];
    char acBuildTime[20];
    u32 u32Reserved;
};
static_assert(sizeof(ISP_VERSION_S) == 48, "library version layout");

// The newest statistics buffer, and how it is given back (key first). The
// driver leaves the user address alone: the firmware maps the area itself.
struct ISP_STAT_INFO_S {
    u32 u32Key;
    u32 u32PhyAddr;
    void *pVirtAddr;
};

// The proc buffer the driver lends for a report.
struct ISP_PROC_MEM_S {
    u32 u32ProcSize;
    u32 u32ProcPhyAddr;
    void *pProcVirtAddr;
};

struct ISP_RES_SWITCH_S {
    u16 u16Width;
    u16 u16Height;
    float f32Fps;
};
static_assert(sizeof(ISP_RES_SWITCH_S) == 8, "resolution switch layout");

// The statistics area: a ring of two buffers of 13052 bytes.
constexpr u32 ISP_STAT_BUF_SIZE = 13052;
constexpr u32 ISP_STAT_BUF_NUM = 2;
constexpr u32 ISP_STAT_AREA_SIZE = ISP_STAT_BUF_SIZE * ISP_STAT_BUF_NUM;

// The kernel part of the register configuration (gamma) and the sync record.
constexpr u32 ISP_KERNEL_CFG_SIZE = 520;
constexpr u32 ISP_SYNC_CFG_SIZE = 576;

// ---- colour management (ACM) ---------------------------------------------------------------------
constexpr unsigned long ISP_ACM_ATTR_GET = 0x80284916;  // ISP_ACM_CFG_S out
constexpr unsigned long ISP_ACM_ATTR_SET = 0x40284917;  // ISP_ACM_CFG_S in
constexpr unsigned long ISP_ACM_COEF_GET = 0xD7D04918;  // ISP_ACM_COEF_S: mode in, table out
constexpr unsigned long ISP_ACM_COEF_SET = 0x57D04919;  // ISP_ACM_COEF_S in

struct ISP_ACM_CFG_S {
    u32 bEnable;
    u32 bDemoEnable;
    u32 enMode;
    u32 u32Stretch;
    u32 u32ClipRange;
    u32 u32AcmClipOrWrap;
    u32 u32CbcrThr;
    u32 u32GainLuma;
    u32 u32GainHue;
    u32 u32GainSat;
};
static_assert(sizeof(ISP_ACM_CFG_S) == 40, "ACM attribute layout");

// Three planes of 5 x 7 x 29 coefficients: luma, hue, saturation.
#define ACM_Y_NUM 5
#define ACM_H_NUM 29
#define ACM_S_NUM 7
struct ISP_ACM_LUT_S {
    s16 as16Y[ACM_Y_NUM][ACM_S_NUM][ACM_H_NUM];
    s16 as16H[ACM_Y_NUM][ACM_S_NUM][ACM_H_NUM];
    s16 as16S[ACM_Y_NUM][ACM_S_NUM][ACM_H_NUM];
};
static_assert(sizeof(ISP_ACM_LUT_S) == 6090, "ACM table layout");

// The kernel's coefficient record: the table, two bytes of padding, the mode.
struct ISP_ACM_COEF_S {
    ISP_ACM_LUT_S stLut;
    u8 au8Pad[2];
    u32 u32Mode;
};
static_assert(sizeof(ISP_ACM_COEF_S) == 6096, "ACM coefficient record layout");
static_assert(offsetof(ISP_ACM_COEF_S, u32Mode) == 6092, "ACM mode at +6092");
