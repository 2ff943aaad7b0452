// Requests of "/dev/isp_dev" and their records, shared by the ISP firmware
// and the simulated ISP driver: the kernel's interface. Beside the requests,
// the records the driver and the firmware exchange through memory: the
// statistics buffer it fills every frame, the kernel part of the register
// configuration, the sensor-sync record and the DCF record.
#pragma once

#include "mpi/common/common_requests.h"

#include <cstddef>

// ISP status codes (module 28); the driver answers DU_ERR_ISP_NOT_SUPPORT
// when it keeps no DCF buffer.
constexpr s32 DU_ERR_ISP_ILLEGAL_PARAM = mpi_status(DU_ID_ISP, 0x03);
constexpr s32 DU_ERR_ISP_NULL_PTR = mpi_status(DU_ID_ISP, 0x06);
constexpr s32 DU_ERR_ISP_NOT_SUPPORT = mpi_status(DU_ID_ISP, 0x08);
constexpr s32 DU_ERR_ISP_NOT_INIT = mpi_status(DU_ID_ISP, 0x40);
constexpr s32 DU_ERR_ISP_MEM_NOT_INIT = mpi_status(DU_ID_ISP, 0x41);
constexpr s32 DU_ERR_ISP_ATTR_NOT_CFG = mpi_status(DU_ID_ISP, 0x42);
constexpr s32 DU_ERR_ISP_SNS_UNREGISTER = mpi_status(DU_ID_ISP, 0x43);
constexpr s32 DU_ERR_ISP_NOMEM = mpi_status(DU_ID_ISP, 0x45);

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
static_assert(sizeof(ISP_STAT_S) == ISP_STAT_BUF_SIZE, "statistics buffer size");

// ---- register configuration: the kernel part and the sensor sync --------------------------------
#define GAMMA_NODE_NUMBER 257

#define ISP_MAX_SNS_REGS 16

// One sensor register the kernel writes in step with the frames.
struct ISP_I2C_DATA_S {
    u32 bUpdate;
    u8 u8DelayFrmNum; // 0: at the next frame, 1: a frame later
    u8 u8DevAddr;
    u32 u32RegAddr;
    u32 u32AddrByteNum;
    u32 u32Data;
    u32 u32DataByteNum;
};
static_assert(sizeof(ISP_I2C_DATA_S) == 24, "sync entry layout");

enum ISP_SNS_TYPE_E : u32 { ISP_SNS_I2C_TYPE = 0, ISP_SNS_SSP_TYPE = 1 };

struct ISP_SENSOR_SYNC_REGS_S {
    u32 enSnsType;
    u32 u32RegNum;
    u32 u32RegsDelayFrm;
    ISP_I2C_DATA_S astI2cData[ISP_MAX_SNS_REGS];
    u8 au8SspData[128]; // not used by an I2C sensor
};
static_assert(sizeof(ISP_SENSOR_SYNC_REGS_S) == 524, "sync list layout");

// The exposure as the exposure bridge hands it to the kernel.
struct ISP_EXP_REG_CFG_S {
    u32 u32ExposureLow;  // exposure = time x ISO (x iris gain), 64 bit
    u32 u32ExposureHigh;
    u32 au32IntTime[4];
    u32 u32IspDgain;
    u32 bPirisValid;
    u32 u32Reserved;
    u32 enFSWDRMode;
};
static_assert(sizeof(ISP_EXP_REG_CFG_S) == 40, "exposure words");

// Bit 0 of u32Flags: a new gamma table.
struct ISP_KERNEL_REG_CFG_S {
    u32 u32Flags;
    u16 au16Gamma[GAMMA_NODE_NUMBER];
    u16 u16Reserved;
};
static_assert(sizeof(ISP_KERNEL_REG_CFG_S) == ISP_KERNEL_CFG_SIZE, "kernel part");

struct ISP_SYNC_CFG_S {
    u32 bValid;
    ISP_SENSOR_SYNC_REGS_S stSnsRegsInfo;
    ISP_EXP_REG_CFG_S stExpCfg;
    u32 u32DrcStrength;
    u32 u32Reserved;
};
static_assert(sizeof(ISP_SYNC_CFG_S) == ISP_SYNC_CFG_SIZE, "sensor sync record layout");

// ---- picture metadata ------------------------------------------------------------------------------
// Picture metadata. The first 168 bytes also live in the DCF buffer the
// modules read every frame; the fields are the kernel's.
#define ISP_DCF_SHARED_SIZE 168
struct ISP_DCF_INFO_S {
    u8 au8ImageDescription[32];
    u8 au8Make[32];
    u8 au8Model[32];
    u8 au8Software[32];
    u16 u16ISOSpeedRatings;   // +128
    u8 au8Reserved0[10];
    u32 u32ExposureTime;      // +140: lines << 16 | lines per second
    u32 u32ExposureBiasValue; // +144
    u8 u8ExposureProgram;     // +148
    u8 u8MeteringMode;        // +149
    u8 au8Reserved1[8];
    u8 u8ExposureMode;        // +158
    u8 u8WhiteBalance;        // +159
    u8 au8Reserved2[8];
    u8 au8KernelInfo[356];    // +168, the kernel's own part
};
static_assert(offsetof(ISP_DCF_INFO_S, u16ISOSpeedRatings) == 128, "DCF ISO");
static_assert(offsetof(ISP_DCF_INFO_S, u32ExposureTime) == 140, "DCF exposure time");
static_assert(offsetof(ISP_DCF_INFO_S, u8ExposureMode) == 158, "DCF exposure mode");
static_assert(offsetof(ISP_DCF_INFO_S, au8KernelInfo) == ISP_DCF_SHARED_SIZE, "DCF shared part");
static_assert(sizeof(ISP_DCF_INFO_S) == 524, "DCF record layout");
