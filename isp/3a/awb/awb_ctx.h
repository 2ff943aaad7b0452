// Inside the white-balance library: its register page, the per-instance
// context and the states of the white-point estimator, the colour matrix and
// the ACM policy, and the calls between its files.
#pragma once

#include "isp/3a/awb/mpi_awb.h"
#include "isp/isp_vreg.h"

// ---- the white-balance page (0x30000 + 0x1000 x handle) ----------------------------------------
enum AWB_REG_E : u32 {
    AWB_R_ENABLE = 0x000,
    AWB_R_OP_TYPE = 0x001,
    AWB_R_WDR_MODE = 0x002,
    AWB_R_ZONE = 0x003,
    AWB_R_SPEED = 0x004,
    AWB_R_REF_TEMP = 0x006,
    AWB_R_STATIC_GAIN = 0x008, // u16 x4
    AWB_R_CURVE_PARA = 0x010,  // s32 x6
    AWB_R_MANUAL_GAIN = 0x028, // u16 x4
    AWB_R_MIN_COUNT = 0x030,
    AWB_R_STRENGTH_R = 0x032,
    AWB_R_STRENGTH_B = 0x033,
    AWB_R_CT_LOW = 0x034,
    AWB_R_CT_HIGH = 0x036,
    AWB_R_CT_LIMIT_EN = 0x038,
    AWB_R_CT_LIMIT_OP = 0x039,
    AWB_R_RGBG_LIMIT = 0x03A, // u16 x4: HighRg, HighBg, LowRg, LowBg
    AWB_R_HIGH_RG_LIMIT = 0x03A,
    AWB_R_HIGH_BG_LIMIT = 0x03C,
    AWB_R_LOW_RG_LIMIT = 0x03E,
    AWB_R_LOW_BG_LIMIT = 0x040,
    AWB_R_SHIFT_LIMIT_EN = 0x042,
    AWB_R_SHIFT_LIMIT = 0x043,
    AWB_R_EXP_WORD = 0x044,  // command 8006
    AWB_R_EXP_LEVEL = 0x048, // command 8003 (ISO)
    AWB_R_DBG_EN = 0x04C,
    AWB_R_DBG_ADDR = 0x050,
    AWB_R_DBG_SIZE = 0x054,
    AWB_R_DBG_DEPTH = 0x058,
    AWB_R_SAT_OP = 0x05C,
    AWB_R_SAT_MANUAL = 0x05D,
    AWB_R_SAT_SCALE = 0x05E,
    AWB_R_SAT_CUR = 0x05F,
    AWB_R_SAT_TABLE = 0x060, // u8 x16
    AWB_R_CCM_OP = 0x070,
    AWB_R_CCM_MANUAL = 0x072, // u16 x9, sign-magnitude
    AWB_R_CUR_TEMP = 0x084,
    AWB_R_CCM_CUR = 0x086,   // u16 x9, two's complement
    AWB_R_MID_TEMP = 0x098,
    AWB_R_CCM_MID = 0x09A,
    AWB_R_LOW_TEMP = 0x0AC,
    AWB_R_CCM_LOW = 0x0AE,
    AWB_R_HIGH_TEMP = 0x0C0,
    AWB_R_CCM_HIGH = 0x0C2,
    AWB_R_ALG_TYPE = 0x0D4,
    AWB_R_BAYER_STAT = 0x0D5,
    AWB_R_LUMA_HIST_EN = 0x0D6,
    AWB_R_BLEND_WEIGHT = 0x0D8,
    AWB_R_BIN_TOLERANCE = 0x0D9,
    AWB_R_CURVE_L = 0x0DA,
    AWB_R_CURVE_R = 0x0DC,
    AWB_R_AREA_CHECK = 0x0DE,
    AWB_R_AREA_THRESH = 0x0DF,
    AWB_R_HOLD_DELAY = 0x0E0,
    AWB_R_SKIN_DIST = 0x0E1,
    AWB_R_STABLE_CHECK = 0x0E2,
    AWB_R_STABLE_FRAMES = 0x0E3,
    AWB_R_INOUT_EN = 0x0E4,
    AWB_R_INOUT_OP = 0x0E5,
    AWB_R_INOUT_STATUS = 0x0E6,
    AWB_R_GREEN_ENHANCE = 0x0E7,
    AWB_R_INOUT_PARAM = 0x0E8,
    AWB_R_LOW_START = 0x0EC,
    AWB_R_LOW_STOP = 0x0EE,
    AWB_R_HIGH_START = 0x0F0,
    AWB_R_HIGH_STOP = 0x0F2,
    AWB_R_MULTI_LS_TYPE = 0x0F4,
    AWB_R_SHIFT_CLAMP = 0x0F5,
    AWB_R_GAIN_NORM = 0x0F6,
    AWB_R_EXTRA_LIGHT = 0x0F7,
    AWB_R_FINE_TUNE = 0x0F8,
    AWB_R_PULL_EN = 0x0F9,
    AWB_R_RESERVED_0FA = 0x0FA, // reserved: set at init, never read
    AWB_R_OUTDOOR_TOL = 0x0FB,
    AWB_R_BYPASS = 0x0FC,
    AWB_R_TRACK_LOCUS = 0x0FD,
    AWB_R_MULTI_LS_EN = 0x0FE,
    AWB_R_MULTI_LS_DEGREE = 0x0FF,
    AWB_R_LIGHT_SOURCE = 0x100, // 4 x 8 bytes
    AWB_R_ZONE_XFORM_EN = 0x120,
    AWB_R_ZONE_XFORM = 0x122,        // s16 x9
    AWB_R_ZONE_XFORM_OFFSET = 0x134, // u16: the offset of both transformed ratios
    AWB_R_WP_CHANGE = 0x138,
    AWB_R_SMOOTH_TEMP = 0x13A,
    AWB_R_LUMA_HIST_TYPE = 0x13C,
    AWB_R_RESERVED_13E = 0x13E,
    AWB_R_HIST_THRESH = 0x13F, // u8 x4: [1]..[4]
    AWB_R_RESERVED_143 = 0x143,
    AWB_R_HIST_WEIGHT = 0x144, // u16 x6
    AWB_R_CR_MAX = 0x150,
    AWB_R_CR_MIN = 0x170,
    AWB_R_CB_MAX = 0x190,
    AWB_R_CB_MIN = 0x1B0,
    AWB_R_ISO_ACT = 0x1D0,
    AWB_R_TEMP_ACT = 0x1D1,
    AWB_R_CCM_SAT_EN = 0x1D2,
    AWB_R_EXP_RATIO = 0x1D4, // command 8007
    AWB_R_RESERVED_1D8 = 0x1D8,
    AWB_R_LS_VALUE = 0x1DC,  // u16 x4
    AWB_R_MULTI_CT_BIN = 0x1E4,
    AWB_R_MULTI_CT_WT = 0x1F4,
    AWB_R_MULTI_LS_SCALER = 0x210,
    AWB_R_CONVERGED = 0x214,
};

inline u32 awb_reg(s32 handle, u32 off) { return AWB_LIB_VREG_BASE((u32)handle) + off; }

// One instance's page, by offset. The narrow writes change only their
// bytes of the containing word, so neither side reverts the other's.
struct AwbRegs {
    s32 h;
    u8 r8(u32 off) const { return (u8)IO_READ8(awb_reg(h, off)); }
    u16 r16(u32 off) const { return (u16)IO_READ16(awb_reg(h, off)); }
    u32 r32(u32 off) const { return IO_READ32(awb_reg(h, off)); }
    void w8(u32 off, u32 v) const { IO_WRITE8(awb_reg(h, off), v & 0xFF); }
    void w16(u32 off, u32 v) const { IO_WRITE16(awb_reg(h, off), v & 0xFFFF); }
    void w32(u32 off, u32 v) const { IO_WRITE32(awb_reg(h, off), v); }
    // A register of `width` bytes.
    void write(u32 off, u8 width, u32 v) const
    {
        if (width == 1)
            w8(off, v);
        else if (width == 2)
            w16(off, v);
        else
            w32(off, v);
    }
    void w16s(u32 off, const u16 *v, u32 n) const
    {
        for (u32 i = 0; i < n; i++)
            w16(off + 2 * i, v[i]);
    }
};

// Bit 15 sign, bits 0-14 magnitude <-> ordinary s16, 0x100 = 1.0.
s16 AwbDirectToComplement(u16 u16Value);
u16 AwbComplementToDirect(s16 s16Value);

// The rounded integer square root shared with the ISP.
u32 AwbSqrt32(u32 u32Value);

// ---- the white-point estimator's state --------------------------------------------------------
#define AWB_SAMPLE_ZONES 20
#define AWB_CT_BINS 4

// One zone as the estimator sees it.
struct AWB_ZONE_S {
    u16 u16GR;
    u16 u16GB;
    u16 u16Count;
    u16 u16Weight;
    u16 u16Mired;
    s16 s16Shift;
    u16 u16Luma;
    u8 u8Bin; // 0xFF: in no bin
    u8 u8Spare;
};
static_assert(sizeof(AWB_ZONE_S) == 16, "zone record");

struct AWB_CT_BIN_S {
    u16 u16Count;
    u16 u16GR;
    u16 u16GB;
    s16 s16Shift;
    u32 u32Temp;
    u32 u32Weight; // sort key
    u32 u32Luma;
    u32 u32MiredSum;
    u32 u32Mired;
    s32 s32ShiftSum;
    u32 u32GRSum;
    u32 u32GBSum;
    u32 u32LumaSum;
    u32 u32CSum; // sum of the zones' count weights
    u8 u8Class;
    u8 u8LumaMax;
    u8 u8LumaMin;
    u8 u8Spare;
    u32 u32Score;
    u32 u32LumaWeight;
    u32 u32SkinExcess;
};

struct AWB_LIGHT_ENTRY_S {
    u16 u16GR;
    u16 u16GB;
    u8 u8Mode;
    u8 u8Radius;
};

// Option bits (A, B) of the estimator, set from the page.
enum : u8 {
    AWB_OPTA_MULTI_CT = 1 << 0,
    AWB_OPTA_STABLE = 1 << 2,
    AWB_OPTA_AREA = 1 << 3,
    AWB_OPTA_EXTRA_LIGHT = 1 << 4,
    AWB_OPTA_INOUT = 1 << 5,
    AWB_OPTA_OUTDOOR = 1 << 6,
    AWB_OPTA_BAYER = 1 << 7,
    AWB_OPTB_CT_LIMIT = 1 << 0,
    AWB_OPTB_CT_MANUAL = 1 << 1,
    AWB_OPTB_SHIFT_LIMIT = 1 << 2,
    AWB_OPTB_LUMA_HIST = 1 << 4,
    AWB_OPTB_SHIFT_CLAMP = 1 << 5,
    AWB_OPTB_GREEN = 1 << 6,
    AWB_OPTB_INOUT_MANUAL = 1 << 7,
};

struct AWB_WB_STATE_S {
    // settings (the register reader fills them)
    u8 bAutoEnable;
    u8 bChanged;
    u8 u8StrengthR, u8StrengthB;
    u8 u8ZoneMode;
    u16 u16RefTemp;
    u32 u32MinCount;
    u32 u32HighCT, u32LowCT;
    u16 au16StaticGain[4];
    s32 as32Para[6];
    u8 u8OptA, u8OptB;
    u16 au16RgBgLimit[4]; // HighRg, HighBg, LowRg, LowBg
    u16 u16ShiftLimit;
    u16 u16BinTolerance;
    u16 u16BlendWeight;
    u16 u16CurveL, u16CurveR;
    u16 au16AreaThr[3]; // area threshold, hold delay, skin distance
    u16 u16StableNeeded;
    u16 u16ExpWord;
    u32 u32Exposure;
    u32 u32InOutRef;
    u8 u8InOutUser;
    u16 u16ExpRatio;
    u16 u16LowStart, u16LowStop, u16HighStart, u16HighStop;
    u8 bSkinEnable;
    u8 bPullEnable;
    u8 u8OutdoorTol;
    u8 bMultiLSEnable;
    u8 bXformEnable;
    AWB_LIGHT_ENTRY_S astLight[4];
    s16 as16Xform[9];
    u16 au16XformOffset[2];
    u16 u16Speed;
    u16 au16CtBin[8], au16CtWeight[8];
    u8 au8LumaThresh[6];
    u16 au16LumaWeight[6];
    s32 as32LumaSlope[5];
    u8 u8LumaHistType;

    // working state
    u32 u32FramesSinceReset;
    u32 u32GlobalCount;
    u16 u16GR, u16GB;
    u16 u16Luma;
    u16 u16ColorTemp;
    u32 u32Mired256;
    u32 u32FilteredMired256;
    s16 s16Shift;
    u16 u16HeldGR, u16HeldGB;
    u16 u16ZoneGR, u16ZoneGB;
    u16 u16OutGR, u16OutGB;
    u16 u16PreGR, u16PreGB; // pre-clip white point
    u16 u16RelR, u16RelG, u16RelB;
    u32 u32FR, u32FB;
    u16 au16SampleZone[AWB_SAMPLE_ZONES];
    u8 au8SampleArea[AWB_SAMPLE_ZONES];
    AWB_ZONE_S astSample[AWB_SAMPLE_ZONES];
    u16 u16PrevGR, u16PrevGB, u16PrevLuma;
    u16 u16StableCount;
    u32 u32FilteredExp; // x 16
    u32 u32InOutCounter;
    u8 bOutdoor;
    s32 s32LowSlope, s32HighSlope;
    u32 u32OutdoorWeight; // 16.16
    u8 u8Score, u8GreenFraction;
    u32 u32FilteredScore; // x 256
    u16 u16TopBinCount;
    u32 u32BinnedZones;
    u16 u16FilteredDegree; // x 256
    u16 u16SkinGR, u16SkinGB;
    u32 au32AreaValue[2];
    u8 u8Degree;
    u16 u16ShiftTol;
    u16 u16RelChange;
    u16 u16Converged;
    u16 au16LightValue[4];
    u16 au16HistGR[4], au16HistGB[4];
    u8 u8HistCount;
    u8 u8SettleCount, bFirstSettle;
};

// ---- the colour matrix's state ------------------------------------------------------------------
struct AWB_CM_STATE_S {
    u32 u32SatOpType;
    u8 u8ManualSat;
    u8 u8SatScale;
    u8 u8CurSat;
    u8 u8MultiLSDegree;
    u16 u16MultiLSScaler;
    u8 bManualCcm;
    u32 u32MultiLSType;
    u32 bIsoActEn;
    u32 bTempActEn;
    u32 bManualSatEn;
    u16 au16ManualCcm[9];
    u32 u32PrevBand;
    u32 u32Band;
    u16 u16NewTemp;
    u32 u32SmoothTemp; // K x 256
    u8 au8Sat[16];
    u32 u32Iso;
    u16 u16HighTemp;
    s16 as16HighCcm[9];
    u16 u16MidTemp;
    s16 as16MidCcm[9];
    u16 u16LowTemp;
    s16 as16LowCcm[9];
    u16 au16OutCcm[9]; // sign-magnitude
    s16 as16Blended[9];
    s16 as16SatCcm[9];
};

// ---- the ACM policy's state ---------------------------------------------------------------------
struct AWB_ACM_STATE_S {
    u32 bEnable;
    u8 u8OpType;
    u16 au16ManualGain[3];
    u16 au16CurGain[3]; // luma, hue, saturation
    u16 au16LumaTab[16];
    u16 au16HueTab[16];
    u16 au16SatTab[16];
    u32 u32Iso;
    u32 u32MultiLSDegree;
    s32 s32WpChange;
    s32 s32ColorTemp;
};

// ---- debug capture -----------------------------------------------------------------------------
struct AWB_DBG_STATE_S {
    u32 bPrevEn, u32PrevAddr, u32PrevDepth, u32PrevSize;
    u32 bEn, u32Addr, u32Depth, u32Size;
    void *pMapped;
    u32 u32MappedSize;
    u8 *pu8Records;
};

constexpr u32 AWB_DBG_HEADER_SIZE = 84;
constexpr u32 AWB_DBG_RECORD_SIZE = 7200;

// ---- the instance --------------------------------------------------------------------------------
struct AWB_CTX_S {
    u32 bInit;
    u32 bBypass;
    u32 bGainNormEn;
    u8 u8ManualOp;
    u8 u8PreWDRMode;
    u8 u8WDRMode;
    u8 u8RunInterval;
    u32 u32FullRateFrames;
    u32 bTrackLocusEn;
    u16 au16CrMax[16], au16CrMin[16], au16CbMax[16], au16CbMin[16];
    AWB_WB_STATE_S stWb;
    AWB_CM_STATE_S stCm;
    AWB_ACM_STATE_S stAcm;
    u32 u32FrameCnt;
    AWB_FRAME_RESULT_S stResult;
    u32 bSnsRegistered;
    s32 s32SensorId;
    AWB_SENSOR_PROFILE_S stProfile;
    AWB_SENSOR_CALLBACKS_S stSnsCb;
    AWB_DBG_STATE_S stDbg;
    u16 au16ManualGain[4];
};

extern AWB_CTX_S g_astAwbCtx[AWB_LIB_MAX];

bool awb_is_wdr(u8 u8Mode);
// "Err AWB dev" and 0xA01C8003 for a device other than 0.
s32 awb_check_dev(s32 s32Dev, const char *func);

// The register page (du_awb_regs.cpp): the defaults, the sensor profile's
// values over them (init and every WDR switch), the settings the run takes
// (the WDR mode every frame, the rest when `full`) and what it publishes;
// the last refuses a handle id above 1 with -1.
void AwbExtRegsDefault(s32 s32Handle);
void AwbExtRegsInitialize(s32 s32Handle);
void AwbReadExtRegs(s32 s32Handle, bool full);
s32 AwbUpdateExtRegs(s32 s32Handle);

// Auto white balance (du_auto_wb.cpp, du_auto_wb_est.cpp).
void AwbWbInit(AWB_WB_STATE_S *pstWb, const AWB_SENSOR_PROFILE_S *pstProfile, u32 bKeep);
void AwbWbMatrixInit(AWB_WB_STATE_S *pstWb);
void AwbWbGainSet(AWB_WB_STATE_S *pstWb, const u16 au16Gain[4]);
void AwbWbParaSet(AWB_WB_STATE_S *pstWb, const s32 as32Para[6]);
AWB_WB_STATE_S *AwbWbMatrixCalculate(s32 s32Handle, const AWB_FRAME_INPUT_S *pstInput, AWB_WB_STATE_S *pstWb);
void AwbWbMatrixNormalize(AWB_WB_STATE_S *pstWb, u16 u16GR, u16 u16GB, const AWB_CTX_S *pstCtx);
s16 AwbToMired(AWB_WB_STATE_S *pstWb, u32 u32RG, u32 u32BG, u32 *pu32Mired256, s16 *ps16Shift);
void AwbToRgBg(const AWB_WB_STATE_S *pstWb, u32 u32Mired256, s32 s32Shift, u16 *pu16RG, u16 *pu16BG);
u32 AwbGlobalRelateCoef(u32 x0, u32 y0, s32 x1, u32 y1, u16 n, u16 d);
u32 AwbYWeightEva(const AWB_WB_STATE_S *pstWb, s32 s32Luma);
void awb_luma_slopes(AWB_WB_STATE_S *pstWb);
s32 AwbCompareWeight(const void *a, const void *b);
extern const u8 au8ShiftWt[128];
extern const u8 BT709_Gamma[256];

// Colour matrix and saturation (du_color_management.cpp).
void AwbCmInit(AWB_CM_STATE_S *pstCm, const AWB_SENSOR_PROFILE_S *pstProfile);
s32 AwbColorMatrixCalculate(s32 s32Handle, const AWB_FRAME_INPUT_S *pstInput, AWB_CM_STATE_S *pstCm);
s32 AwbSaturationCalculate(const AWB_CM_STATE_S *pstCm, u32 u32Iso, u8 *pu8Out);
s32 AwbCcMatrixCalculate(const AWB_FRAME_INPUT_S *pstInput, AWB_CM_STATE_S *pstCm);
void AwbMatrixMultiply(const s16 *A, const s16 *B, s16 *out, s32 m, s32 n, s32 p);
void AwbMatrixIdentity(u16 *M, s32 n);
void AwbMatrixCopy(const u16 *src, u16 *dst, u32 rows, u32 cols);

// ACM gains (du_acm.cpp).
s32 AWBAcmInit(AWB_ACM_STATE_S *pstAcm);
u16 AcmGainCalculate(u32 gainLo, u32 gainHi, u32 isoLo, u32 isoHi, s32 iso);
s32 AwbAcmCalculate(s32 s32Handle, AWB_ACM_STATE_S *pstAcm);

// Reports (ve_vod_report.cpp).
s32 AwbDbgSet(s32 s32Handle, const AWB_DBG_ATTR_S *pstDbg);
s32 AwbDbgGet(s32 s32Handle, AWB_DBG_ATTR_S *pstDbg);
s32 AwbDbgRunBgn(s32 s32Handle);
void AwbDbgRunEnd(s32 s32Handle);
void awb_dbg_release(s32 s32Handle);
s32 AwbProcWrite(s32 s32Handle, ISP_CTRL_PROC_WRITE_S *pstProc);
s32 AwbGetDcfInfo(s32 s32Handle, void *pstDcf);
