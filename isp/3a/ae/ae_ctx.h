// The exposure library's own state and the calls its parts make of each
// other: the instance context, the extension register page and the steps
// of the per-frame run.
#pragma once

#include "isp/3a/ae/ae_route_list.h"
#include "isp/3a/ae/mpi_ae.h"
#include "isp/3a/common/alg_lib.h"
#include "isp/isp_vreg.h"

constexpr s32 AE_ERR_ILLEGAL_PARAM = (s32)0xA01C8003;
constexpr s32 AE_ERR_NULL_PTR = (s32)0xA01C8006;

// ---- the extension register page (offsets from 0x20000 + 0x1000 x handle) ----
enum AE_EXT_REG_E : u32 {
    AE_REG_SWITCHES = 0x00,        // u8: bit 0 manual exposure value, bits 1, 2 algorithm switches
    AE_REG_BYPASS = 0x01,          // u8 bit 0
    AE_REG_AE_MODE = 0x02,         // u8
    AE_REG_RATIO_MANUAL = 0x03,    // u8 bit 0
    AE_REG_RATIO = 0x04,           // u16, 12 bits, 1/64
    AE_REG_SLOW_FACTOR = 0x06,     // u16, 256 = 1x
    AE_REG_FLICKER_FREQ = 0x08,    // u8 Hz
    AE_REG_FLICKER = 0x09,         // u8: bit 4 enable, bits 0-1 mode
    AE_REG_WDR_MODE = 0x0A,        // u8
    AE_REG_SPEED = 0x0B,           // u8
    AE_REG_TOLERANCE = 0x0C,       // u8
    AE_REG_COMPENSATION = 0x0D,    // u8
    AE_REG_ERROR = 0x0E,           // u16 status
    AE_REG_TIME_MAX = 0x10,        // u32 us
    AE_REG_TIME_MIN = 0x14,
    AE_REG_AGAIN_MAX = 0x18,       // u32 1/1024
    AE_REG_AGAIN_MIN = 0x1C,
    AE_REG_DGAIN_MAX = 0x20,
    AE_REG_DGAIN_MIN = 0x24,
    AE_REG_ISPDGAIN_MAX = 0x28,
    AE_REG_ISPDGAIN_MIN = 0x2C,
    AE_REG_SYSGAIN_MAX = 0x30,
    AE_REG_SYSGAIN_MIN = 0x34,
    AE_REG_GAIN_THRESH = 0x38,
    AE_REG_BLACK_DELAY = 0x3C,     // u16
    AE_REG_WHITE_DELAY = 0x3E,     // u16
    AE_REG_STAT_TIME = 0x40,       // u32 status, us
    AE_REG_STAT_AGAIN = 0x44,
    AE_REG_STAT_DGAIN = 0x48,
    AE_REG_STAT_ISPDGAIN = 0x4C,
    AE_REG_STAT_EXPOSURE = 0x50,   // 1/64
    AE_REG_STAT_AT_MAX = 0x54,     // u16
    AE_REG_MANUAL = 0x56,          // u16 bits 0, 3, 9, 10, 11, 12
    AE_REG_RESERVED58 = 0x58,
    AE_REG_MANUAL_TIME = 0x5C,     // u32 us
    AE_REG_MANUAL_AGAIN = 0x60,
    AE_REG_MANUAL_DGAIN = 0x64,
    AE_REG_MANUAL_ISPDGAIN = 0x68,
    AE_REG_SHIFT_TIME = 0x6C,      // u8 x 4
    AE_REG_SHIFT_AGAIN = 0x6D,
    AE_REG_SHIFT_DGAIN = 0x6E,
    AE_REG_SHIFT_ISPDGAIN = 0x6F,
    AE_REG_SHIFT_SYSGAIN = 0x70,   // u16
    AE_REG_DBG_EN = 0x72,          // u16 bit 0
    AE_REG_DBG_ADDR = 0x74,
    AE_REG_DBG_SIZE = 0x78,
    AE_REG_DBG_DEPTH = 0x7C,
    AE_REG_ROUTE_CHANGED = 0x80,   // u16 bit 0
    AE_REG_ROUTE_NUM = 0x82,       // u16 bits 0-7
    AE_REG_ROUTE_NODES = 0x84,     // 16 x {time us, sys gain, F-number}
    AE_REG_HIST_THRESH = 0x144,    // 4 x u16
    AE_REG_HIST_SLOPE = 0x14C,     // 4 x u16 sign-magnitude
    AE_REG_HIST_OFFSET = 0x154,    // u16
    AE_REG_HIST_ADJUST = 0x156,    // u16 bit 0
    AE_REG_EV_BIAS = 0x158,        // u16
    AE_REG_STRATEGY = 0x15A,       // u8
    AE_REG_STRATEGY_LIMIT = 0x15B, // u8, u8MaxHistOffset
    AE_REG_STRATEGY_GAIN = 0x15C,  // u16, u16HistRatioSlope
    AE_REG_IRIS_EN = 0x16C,        // u16 bit 0
    AE_REG_IRIS_MANUAL = 0x16E,    // u16 bit 0
    AE_REG_IRIS_HOLD = 0x170,      // u32
    AE_REG_IRIS_TYPE = 0x176,      // u16 bits 0-1
    AE_REG_IRIS_STATUS = 0x17C,    // u8 bits 0-1
    AE_REG_RESERVED17E = 0x17E,    // u16
    AE_REG_FPS = 0x180,            // f32 bits
    AE_REG_ALG_SWITCH = 0x184,     // u8 bit 0
    AE_REG_ZONE_CHECK = 0x185,     // u8 bit 0
    AE_REG_RESERVED186 = 0x186,
    AE_REG_RESERVED187 = 0x187,
    AE_REG_WEIGHT_R = 0x188,       // u16, 1/256
    AE_REG_WEIGHT_B = 0x18A,
    AE_REG_RESERVED18C = 0x18C,
    AE_REG_ZONE_HIGH = 0x190,      // u8
    AE_REG_ZONE_LOW = 0x191,
    AE_REG_ZONE_THRESH = 0x192,    // u16, 1/256
    AE_REG_INTERVAL = 0x198,       // u8
    AE_REG_PIRIS_FNO = 0x199,      // u8
    AE_REG_FNO_MAX = 0x19A,        // u8
    AE_REG_FNO_MIN = 0x19B,
    AE_REG_SUBFLICKER = 0x19C,     // u8 bit 0
    AE_REG_LUMA_DIFF = 0x19D,      // u8
    AE_REG_RATIO_MAX = 0x19E,      // u16
    AE_REG_DCIRIS_KP = 0x1A0,      // u32 x 3
    AE_REG_DCIRIS_KI = 0x1A4,
    AE_REG_DCIRIS_KD = 0x1A8,
    AE_REG_DCIRIS_DUTY_MIN = 0x1AC,
    AE_REG_DCIRIS_DUTY_MAX = 0x1B0,
    AE_REG_DCIRIS_DUTY_OPEN = 0x1B4,
    AE_REG_PIRIS_ZERO_MAX = 0x1B8, // u8 bit 0
    AE_REG_PIRIS_TABLE_NEW = 0x1B9,
    AE_REG_PIRIS_TOTAL = 0x1BA,    // u16
    AE_REG_PIRIS_COUNT = 0x1BC,
    AE_REG_STAT_LINES500 = 0x1C0,
    AE_REG_STAT_PIRIS_GAIN = 0x1C4,
    AE_REG_EXP_VALUE = 0x1C8,
    AE_REG_STAT_ROUTE = 0x1CC,     // 16 x {time us, gain, F-number}
    AE_REG_STAT_ROUTE_NUM = 0x28C, // u16
    AE_REG_ROUTE_EX_NUM = 0x28E,   // u16 bits 0-7
    AE_REG_STAT_FPS = 0x290,       // fps x 100
    AE_REG_ROUTE_EX_NODES = 0x294, // 16 x {time us, again, dgain, ISP dgain, F-number}
    AE_REG_ROUTE_EX_VALID = 0x3D4, // u8 bit 0
    AE_REG_ROUTE_EX_CHANGED = 0x3D5,
    AE_REG_STAT_ROUTE_EX_NUM = 0x3D6,
    AE_REG_STAT_ROUTE_EX_USED = 0x3D7,
    AE_REG_STAT_ROUTE_EX = 0x3D8,
    AE_REG_RATIO_MIN = 0x51E,      // u16
    AE_REG_RATIO_TOLERANCE = 0x520,
    AE_REG_RATIO_SPEED = 0x522,
    AE_REG_RATIO_BIAS = 0x524,
    AE_REG_FSWDR_MODE = 0x526,     // u8 bits 0-1
    AE_REG_WDR_QUICK = 0x527,      // u8 bit 0
    AE_REG_STAT_TIME2 = 0x528,
    AE_REG_STAT_RATIO = 0x52C,     // u16 bits 0-11
    AE_REG_BLACK_SPEED_BIAS = 0x52E,
    AE_REG_STAT_ISO = 0x530,
    AE_REG_STAT_STABLE_TIME = 0x534,
    AE_REG_PIRIS_TABLE = 0x800,    // 1024 x u16
};

constexpr u32 AE_MANUAL_OP = 1u << 0;
constexpr u32 AE_MANUAL_TIME = 1u << 3;
constexpr u32 AE_MANUAL_AGAIN = 1u << 9;
constexpr u32 AE_MANUAL_DGAIN = 1u << 10;
constexpr u32 AE_MANUAL_ISPDGAIN = 1u << 11;
constexpr u32 AE_MANUAL_TIME_LIMIT = 1u << 12;

inline u32 ae_reg(s32 handle, u32 offset) { return AE_LIB_VREG_BASE((u32)handle) + offset; }

// One instance's page, by offset. The narrow writes change only their
// bits of the containing word, so neither side reverts the other's.
struct AeRegs {
    s32 h;
    u32 r8(u32 off) const { return IO_READ8(ae_reg(h, off)); }
    u32 r16(u32 off) const { return IO_READ16(ae_reg(h, off)); }
    u32 r32(u32 off) const { return IO_READ32(ae_reg(h, off)); }
    void w8(u32 off, u32 v) const { IO_WRITE8(ae_reg(h, off), v); }
    void w16(u32 off, u32 v) const { IO_WRITE16(ae_reg(h, off), v); }
    void w32(u32 off, u32 v) const { IO_WRITE32(ae_reg(h, off), v); }
    void bits8(u32 off, u32 mask, u32 v) const { w8(off, (r8(off) & ~mask) | (v & mask)); }
    void bits16(u32 off, u32 mask, u32 v) const { w16(off, (r16(off) & ~mask) | (v & mask)); }
};

// The words of a route node and of a route-ex node, by unit: time in us,
// gains in 1/1024, the F-number as it is.
enum AE_ROUTE_WORD_E { AE_WORD_TIME, AE_WORD_GAIN, AE_WORD_FNO };
struct AeRouteShape {
    u32 words;
    const AE_ROUTE_WORD_E *kinds;
};
extern const AeRouteShape kAeRouteShape, kAeRouteExShape;
inline u32 *ae_route_words(ISP_AE_ROUTE_S &t) { return &t.astRouteNode[0].u32IntTime; }
inline u32 *ae_route_words(ISP_AE_ROUTE_EX_S &t) { return &t.astRouteExNode[0].u32IntTime; }

// ---- the instance context ------------------------------------------------------
struct AE_PREC_S {
    u32 enType; // 0 dB, 1 linear, 2 table
    u32 u32Ratio;
    u32 u32Shift;
};

// One gain stage (analog, digital, ISP digital) at its own precision.
struct AE_GAIN_S {
    u32 u32Shift;
    u32 u32SnsMax, u32SnsMin; // what the sensor (or the ISP stage) can do
    u32 u32Max, u32Min;       // the user's range, clamped into the sensor's
    u32 u32Gain;              // in force
    u32 u32Index;             // the sensor's code for a table or dB gain
    u32 au32DbSteps[2];       // dB type: steps of the user maximum and minimum
    u32 au32DbStepOf[2];      // the values those counts were made for
    u32 u32Manual;            // manual value
};

struct AE_DCIRIS_S {
    s32 s32Enable, s32PreEnable;
    s32 s32Kp, s32Ki, s32Kd;
    s32 s32Err, s32Integral, s32ErrDiff, s32PreErr, s32PrePreErr;
    s32 as32GainTable[18];
    u32 u32MaxDuty, u32MinDuty, u32OpenDuty;
    s32 bInControl;
    s32 s32State; // 0 waiting for the band, 1 controlling
    f32 f32CalcPeriod;
    u32 u32Result; // duty in force
    u32 u32BandInCnt;
    u32 u32StableCnt;
};

struct AE_DBG_STATE_S {
    u32 bEnable;
    u32 u32PhyAddr;
    u32 u32Depth;
    u32 u32Size;
};

struct AE_CTX_S {
    s32 bInit;
    u32 bByPass;
    u32 u32Reg17E;
    f32 f32Fps;

    // metering channel
    u32 bHistStatAdjust, bHistAdjustActive;
    u32 enWantedChn, enConfirmedChn;
    u32 u32RCount, u32BCount, u32GCount;
    u32 bZoneCheck;
    u8 au8ZoneLuma[AE_ZONE_ROW][AE_ZONE_COLUMN];
    u8 au8PreZoneLuma[AE_ZONE_ROW][AE_ZONE_COLUMN];
    u8 u8ZoneHigh, u8ZoneLow;
    u16 u16ZoneThresh;
    u16 u16WeightR, u16WeightB;

    // WDR
    u8 u8WDRMode, u8PreWDRMode;
    u32 enFSWDRMode, enPreFSWDRMode;
    u32 bManualRatio, u32ManualRatio;
    u16 u16RatioStep;
    u32 u32Ratio;       // R, 1/64
    u64 u64RatioAcc;    // R x 4096
    u32 u32RatioThresh;
    u32 u32TargetRatio; // wanted by the metering, for AeRatioCalc
    u32 u32IspRatio;    // published at 0x52C
    u32 u32PreExpRatio;
    u32 u32ExpRatioMax, u32ExpRatioMin;
    u16 u16WdrTolerance, u16WdrSpeed, u16WdrBias;
    u32 bWDRQuick;
    u16 u16RampFrames, bRampActive, u16RampCount;

    // metering and increment
    u8 u8RunInterval;
    f32 f32CalcPeriod;
    u32 u32HistMean;      // raw mean luma
    s32 s32Correction;    // luma offset
    u32 u32WeightedMean;
    u32 u32Measured;      // mean luma
    u8 u8Speed;
    u16 u16Tolerance;
    u8 u8Compensation;
    u8 u8Target;
    u16 u16EVBias;
    u16 u16BlackSpeedBias;
    u16 u16BlackDelay, u16WhiteDelay;
    u32 enStrategy, enWeightStrategy;
    u16 au16HistThresh[4];
    s16 as16HistSlope[4];
    s16 s16HistOffset;
    u16 u16StrategyGain;  // u16HistRatioSlope
    u16 u16StrategyLimit; // u8MaxHistOffset
    s16 s16LumError;
    s32 s32Increment;
    u32 u32Exposure, u32PreExposure; // the cycle's relative exposure, base 256
    u32 u32StableFrameCount;
    u16 u16CurErrDirect, u16PreErrDirect;
    u16 u16BlackFrameCount, u16WhiteFrameCount;
    u32 bAlgSwitch, bSwitch1, bSwitch2;

    // anti-flicker
    u32 u32FlickerFreq; // Hz x 256
    u32 bAntiFlicker, enAntiFlickerMode;
    u32 bSubFlicker, bSubFlickerActive;
    u8 u8LumaDiff;

    // quick start
    u32 bQsWaiting, bQsPending, u32QsFrame, u32QsStartFrames, u32FirstStableTime;
    u32 u32QsSpeed, u32QsInitExp, u32QsTolerance;

    // exposure
    u64 u64Exposure, u64ReqExposure, u64ExpMax, u64ExpMin;
    u32 bExpUpdate, bSettingChanged;
    u32 u32LinesPer500ms;
    f32 f32TimeOffset;
    u32 u32Offset; // the offset x 1024
    f32 f32LastFps, f32LastFpsSet;
    u32 u32FpsX100;
    u32 u32FullLines, u32FullLinesStd, u32FullLinesMax;
    u32 u32SnsMaxTime, u32SnsMinTime, u32PreSnsMaxTime;
    u32 u32MaxTime, u32MinTime;             // user range, lines at the time precision
    u32 u32MaxTimeTarget, u32MinTimeTarget; // flicker-rounded range of the cycle
    f32 f32TimeStep;
    u32 u32IntTime;
    u32 u32TimeShift;
    u64 au64SlotTime[4];
    u32 au32SlotLines[4];
    AE_GAIN_S stAgain, stDgain, stIspDgain;
    u32 u32SysGain, u32SysGainShift;
    u32 u32SysGainMax, u32SysGainMin; // 0x30 / 0x34
    u32 u32GainTargetMax, u32GainTargetMin;
    AE_PREC_S stTimePrec, stAgainPrec, stDgainPrec;
    u32 enAeMode, enPreAeMode;
    u16 u16SlowFactor;
    u32 u32GainThreshold;
    u32 bManualExpValue, u32ExpValue, u32PreExpValue;

    // manual operation
    u32 enOpType, enPreOpType;
    u32 u32ManualBits; // 0x56
    u32 u32ManualTime; // lines at the time precision
    u32 u32ManualTimeUs;
    u64 u64ManualStartExp;

    // routes
    ISP_AE_ROUTE_S stRoute;
    AE_ROUTE_LIST_S stRouteList;
    u32 bRouteChanged, bRouteTaken;
    AE_ROUTE_LIST_NODE_S *pstJointLow, *pstJointHigh;
    u32 au32RouteRec[8];
    u32 bRouteExValid, bRouteExMode;
    ISP_AE_ROUTE_EX_S stRouteEx;
    AE_ROUTE_EX_LIST_S stRouteExList;
    u32 bRouteExChanged, bRouteExTaken;
    AE_ROUTE_EX_LIST_NODE_S *pstJointExLow, *pstJointExHigh;
    u32 au32RouteExRec[12];

    // iris
    u32 enIrisType, enPreIrisType, enAlgIrisType;
    u32 bIrisEnable, bIrisManual, u32IrisStatus, u32HoldValue, u32ManualFno;
    u32 u32SnsMaxFno, u32SnsMinFno; // the sensor's F-number range
    u32 u32OpenFno, u32CloseFno;    // 0x19A / 0x19B in that range
    u32 u32IrisApe;                 // P-iris aperture gain, 1024 = enumerant 10
    u32 u32PirisPos;
    u32 u32PirisPosSent; // last position sent to the stepper, AE_PIRIS_POS_NONE after an origin run
    u32 bZeroIsMax, bStepTableChanged, bStepTableTaken;
    u16 u16TotalStep, u16StepCount;
    u16 au16StepFNOTable[1024];
    AE_IRIS_CALLBACKS_S stIrisCb;
    AE_DCIRIS_S stDcIris;

    AE_INIT_PARAM_S stInitParam;
    u32 u32FrameCnt;
    AE_FRAME_RESULT_S stResult;

    s32 bSnsRegistered;
    s32 s32SensorId;
    AE_SENSOR_PROFILE_S stSnsDft;
    AE_SENSOR_CALLBACKS_S stSnsCb;

    // debug capture
    AE_DBG_STATE_S stDbg, stPreDbg;
    u8 *pu8DbgVirt;
    u32 u32DbgMappedSize;
    u32 *pu32DbgRecords;

    // what the user wrote last, for change detection
    u32 au32UserTime[2];  // max, min in lines
    u32 au32UserGain[8];  // again, dgain, ISP dgain, sys gain: max, min
    u32 au32UserManual[4]; // time in lines, again, dgain, ISP dgain
};

extern AE_CTX_S g_astAeCtx[ALG_LIB_INSTANCES];

// ---- units ---------------------------------------------------------------------
u32 ae_us_to_lines(const AE_CTX_S &c, u32 us);    // at the time precision
u32 ae_lines_to_us(const AE_CTX_S &c, u32 lines); // lines at the time precision
inline u32 ae_gain_in(u32 g1024, u32 shift) { return (u32)AeBoundaryMaxCheck64(((u64)g1024 << shift) >> 10, 0xFFFFFFFFu); }
inline u32 ae_gain_out(u32 g, u32 shift) { return (u32)AeBoundaryMaxCheck64(((u64)g << 10) >> shift, 0xFFFFFFFFu); }
// The exposure of `time` at unit gain: time at system precision less the
// sensor's fractional offset.
u64 ae_time_base(const AE_CTX_S &c, u32 time);
bool ae_wdr_line_mode(u8 mode); // 2, 5, 8: the modes with a long-frame variant
inline bool ae_is_wdr(u8 mode) { return mode >= 2 && mode <= 10; }

// ---- extension registers (du_ae_regs.cpp) --------------------------------------
s32 AeExtRegsDefault(s32 handle);
s32 AeExtRegsIntialize(s32 handle);
s32 AeRouteExtRegsInit(s32 handle);
s32 AiExtRegsInit(s32 handle);
s32 AeLFModeExtRegsInit(s32 handle);
s32 AeExtRegsUpdate(s32 handle);
void AeSetWDRMode(s32 handle);
void AeSwitchIrisType(s32 handle);
s32 AeHistWeightUpdate(s32 handle);
void ae_read_ext_regs(s32 handle);
u16 AeComplementToDirect(s16 v);
s16 AeDirectToComplement(u16 v);
u32 AePirisLinToFNO(u32 v);

// ---- metering channel and zone weights (du_ae_metering.cpp) ----------------------
s32 AeHistStatUpdate(s32 handle, const AE_FRAME_INPUT_S *in);
s32 AeUpdateIspRegs(s32 handle);
void ae_weight_handshake(s32 handle, const AE_FRAME_INPUT_S *in);

// ---- increment (du_ae_increment.cpp) -----------------------------------------------
s32 AeIncrementInitialize(s32 handle);
s32 AeHistWeightDef(s32 handle);
s32 AeIncrementProcess(const AE_FRAME_INPUT_S *in, s32 handle);
u16 AeZoneErrorCalc(s32 handle);

// ---- exposure calculation and process (du_auto_exposure.cpp) --------------------------
s32 AeAccu2Prec(u32 type, f32 accuracy, AE_PREC_S *prec);
u32 AePrec2Linear(u32 v, const AE_PREC_S *prec, u32 shift);
s32 AeCalcGainTarget(s32 handle);
u32 AeCalcSysGain(u32 sys_shift, u32 a, u32 as, u32 d, u32 ds, u32 i, u32 is);
u64 AeCalcAgain(AE_CTX_S &c, u64 e, u64 d);
u64 AeCalcDgain(AE_CTX_S &c, u64 e, u64 d);
u64 AeCalcIspDgain(AE_CTX_S &c, u64 e, u64 d);
s32 AeDealGain(AE_CTX_S &c, u64 e, u64 b);
s32 AeCalcIntTime(AE_CTX_S &c);
u32 AeCalcAntiflicker(u32 t, u32 freq, u32 line_rate);
u32 AeCalcAntiflicker2(u32 t, u32 freq, u32 line_rate, u32 mode, u32 enable);
// `iris_step`: the route step that changes the iris (route strategy 2,
// route-ex strategy 4) sets the aperture from the exposure.
u64 AeCalcIrisApe(AE_CTX_S &c, u64 e, u64 d, bool iris_step, u32 limit);
void AePirisStepCalc(AE_CTX_S &c);
s32 AeExposureAllocDefault(u64 e, s32 handle);
s32 AeExposureAllocDefaultEx(u64 e, s32 handle);
s32 AeExposureInitialize(s32 handle);
s32 AeCalcTimeTarget(s32 handle);
u32 AeCalcSlowFrameRate(AE_CTX_S &c, u32 exposure, u32 pre_exposure, u16 factor);
s32 AeExposureProcess(s32 handle);
void AeIrisGetSnsInit(s32 handle);
void AeLFModeGetSnsInit(s32 handle);

// ---- routes (du_ae_route.cpp) ------------------------------------------------------
s32 AeRouteDefault(s32 handle);
s32 AeRouteExDefault(s32 handle);
s32 AeRouteInitialize(s32 handle);
s32 AeRouteExInitialize(s32 handle);
s32 AeRouteUpdateMaxIntTime(s32 handle);
s32 AeRouteExUpdateMaxIntTime(s32 handle);

// ---- iris (isp/3a/iris) ---------------------------------------------------------------
s32 AeDcIrisCtrlInit(s32 handle);
s32 AePIrisCtrlInit(s32 handle);
s32 AeDcIrisRun(s32 handle);
s32 AeDcIrisExit(void);
enum { DCIRIS_CMD_GET = 1, DCIRIS_CMD_START = 2 };
s32 dcIrisCtrlerDoCmd(u32 cmd, u32 *out, AE_DCIRIS_S *d);
s32 dcIrisCtrlerProcess(const s32 *err, u32 *out, AE_DCIRIS_S *d);
s32 dciris_register_callback(void);
s32 piris_register_callback(void);
// The driver record has no entry for the stepper's position: the library
// sends it to its P-iris driver itself.
constexpr u32 AE_PIRIS_POS_NONE = 0xFFFFFFFF;
s32 ae_piris_pos_set(u32 zero_is_max, u32 total, u32 pos);

// ---- proc text, debug capture and DCF (du_ae_proc.cpp) ------------------------------------
s32 AeProcWrite(s32 handle, ISP_CTRL_PROC_WRITE_S *proc);
s32 AeDbgSet(s32 handle, const AE_DBG_ATTR_S *dbg);
s32 AeDbgGet(s32 handle, AE_DBG_ATTR_S *dbg);
s32 AeDbgRunBgn(s32 handle, const AE_FRAME_INPUT_S *in);
s32 AeDbgRunEnd(s32 handle);
s32 ae_dbg_exit(s32 handle);
s32 AeGetDcfInfo(s32 handle, void *dcf);
