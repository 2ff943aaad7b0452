// The exposure attribute records, field by field: register, width, bits,
// bound and message. Rows are in the order the fields are checked; a
// refusal prints its message on standard output and answers 0xA01C8003.
#include "isp/3a/ae/ae_records.h"

#include "isp/3a/ae/ae_ctx.h"

namespace {

constexpr u32 kGainUnity = 0x400; // 1x in 1/1024
constexpr u32 kFnoMax = ISP_IRIS_F_NO_1_0;
constexpr u32 kWeightMax = 0xF;    // a zone weight has four bits
constexpr u32 kWeightRegs = ISP_AE_WEIGHT_REG(0); // the ISP's zone weights, one byte each

using Exp = AE_EXPOSURE_SETTINGS_S;
#define E(m) VREG_MEMBER(Exp, m)
#define AE_GAIN_PAIR(name, max_reg, min_reg, max, min)                                                   \
    vreg_reg(max_reg, 4, E(max)).check(refuse_below_member(E(min), name "Max should not be less than " name "Min!\n")), \
        vreg_reg(min_reg, 4, E(min)).check(refuse_below(kGainUnity, name "Max/" name "Min should not be less than 0x400!\n"))

constexpr vreg_field kExposure[] = {
    vreg_flag(AE_REG_BYPASS, 1, E(bByPass), "Invalid AE bByPass input!\n"),
    vreg_flag(AE_REG_HIST_ADJUST, 2, E(bHistStatAdjust), "Invalid AE HistStatAdjust input!\n"),
    vreg_flag(AE_REG_ROUTE_EX_VALID, 1, E(bAERouteExValid), "Invalid bAERouteExValid input!\n"),
    vreg_flag(AE_REG_MANUAL, 2, E(enOpType), "Invalid exposure type!\n").bits(AE_MANUAL_OP),
    vreg_reg(AE_REG_INTERVAL, 1, E(u8AERunInterval)).check(refuse_below(1, "AE run interval must larger than 0!\n")),
    vreg_reg(AE_REG_AE_MODE, 1, E(stAuto.enAEMode)).check(refuse_above(1, "Invalid AE mode!\n")).reads_at_most(2),
    vreg_reg(AE_REG_STRATEGY, 1, E(stAuto.enStrategyMode))
        .bits(0x3)
        .check(refuse_above(1, "Invalid AE strategy mode!\n"))
        .reads_at_most(2),
    vreg_reg(AE_REG_TIME_MAX, 4, E(stAuto.u32ExpTimeMax))
        .check(refuse_below_member(E(stAuto.u32ExpTimeMin), "ExpTimeMax should not be less than ExpTimeMin!\n")),
    vreg_reg(AE_REG_TIME_MIN, 4, E(stAuto.u32ExpTimeMin)),
    AE_GAIN_PAIR("AGain", AE_REG_AGAIN_MAX, AE_REG_AGAIN_MIN, stAuto.u32AGainMax, stAuto.u32AGainMin),
    AE_GAIN_PAIR("DGain", AE_REG_DGAIN_MAX, AE_REG_DGAIN_MIN, stAuto.u32DGainMax, stAuto.u32DGainMin),
    AE_GAIN_PAIR("ISPDGain", AE_REG_ISPDGAIN_MAX, AE_REG_ISPDGAIN_MIN, stAuto.u32ISPDGainMax, stAuto.u32ISPDGainMin),
    AE_GAIN_PAIR("SysGain", AE_REG_SYSGAIN_MAX, AE_REG_SYSGAIN_MIN, stAuto.u32SysGainMax, stAuto.u32SysGainMin),
    vreg_reg(AE_REG_GAIN_THRESH, 4, E(stAuto.u32GainThreshold))
        .check(refuse_below(kGainUnity, "Gain threshold for Slow Shutter Mode should not be less than 0x400!\n")),
    vreg_flag(AE_REG_FLICKER, 1, E(stAuto.stAntiflicker.bEnable), "Invalid anti flicker bEnable input!\n").bits(0x10),
    vreg_reg(AE_REG_FLICKER, 1, E(stAuto.stAntiflicker.enMode))
        .bits(0x3)
        .check(refuse_above(1, "Invalid anti flicker mode input!\n"))
        .reads_at_most(2),
    // Anti-flicker off stores frequency 0, whatever the record says.
    vreg_reg(AE_REG_FLICKER_FREQ, 1, E(stAuto.stAntiflicker.u8Frequency)).zero_unless(E(stAuto.stAntiflicker.bEnable), 1),
    vreg_flag(AE_REG_SUBFLICKER, 1, E(stAuto.stSubflicker.bEnable), "Invalid AE Subflicker Enable input!\n"),
    vreg_reg(AE_REG_LUMA_DIFF, 1, E(stAuto.stSubflicker.u8LumaDiff))
        .check(refuse_above(100, "Subflicker u8LumaDiff should not be larger than 0x64!\n")),
    vreg_flag(AE_REG_SWITCHES, 1, E(stAuto.bManualExpValue), "Invalid AE bManualExpValue input!\n").bits(0x1),
    vreg_reg(AE_REG_EXP_VALUE, 4, E(stAuto.u32ExpValue)).check(refuse_below(1, "u32ExpValue must larger than 0!\n")),
    // The weights go straight to the ISP; the library never takes them.
    vreg_reg(kWeightRegs, 1, E(stAuto.au8Weight))
        .at_address()
        .masked(kWeightMax)
        .check(refuse_above(kWeightMax, "au8Weight[%d][%d] should not be larger than 0xF!\n")
                   .with(VREG_ARGS_ROW_COLUMN, AE_ZONE_COLUMN))
        .not_taken(),
    vreg_reg(AE_REG_FSWDR_MODE, 1, E(stAuto.enFSWDRMode))
        .bits(0x3)
        .check(refuse_above(1, "Invalid FSWDR running mode!\n"))
        .reads_at_most(2),
    vreg_flag(AE_REG_WDR_QUICK, 1, E(stAuto.bWDRQuick), "Invalid AE bWDRQuick input!\n").bits(0x1),
    vreg_flag(AE_REG_MANUAL, 2, E(stManual.bManualExpTimeEn), "Invalid Manual ExpTime Enable input!\n").bits(AE_MANUAL_TIME),
    vreg_flag(AE_REG_MANUAL, 2, E(stManual.bManualAGainEn), "Invalid Manual AGain Enable input!\n").bits(AE_MANUAL_AGAIN),
    vreg_flag(AE_REG_MANUAL, 2, E(stManual.bManualDGainEn), "Invalid Manual DGain Enable input!\n").bits(AE_MANUAL_DGAIN),
    vreg_flag(AE_REG_MANUAL, 2, E(stManual.bManualISPDGainEn), "Invalid Manual ISPDGain Enable input!\n")
        .bits(AE_MANUAL_ISPDGAIN),
    vreg_reg(AE_REG_MANUAL_TIME, 4, E(stManual.u32ExpTime)),
    vreg_reg(AE_REG_MANUAL_AGAIN, 4, E(stManual.u32AGain))
        .check(refuse_below(kGainUnity, "Manual AGain should not be less than 0x400!\n")),
    vreg_reg(AE_REG_MANUAL_DGAIN, 4, E(stManual.u32DGain))
        .check(refuse_below(kGainUnity, "Manual DGain should not be less than 0x400!\n")),
    vreg_reg(AE_REG_MANUAL_ISPDGAIN, 4, E(stManual.u32ISPDGain))
        .check(refuse_below(kGainUnity, "Manual ISPDGain should not be less than 0x400!\n")),
    vreg_reg(AE_REG_SPEED, 1, E(stAuto.u8Speed)),
    vreg_reg(AE_REG_BLACK_SPEED_BIAS, 2, E(stAuto.u16BlackSpeedBias)),
    vreg_reg(AE_REG_TOLERANCE, 1, E(stAuto.u8Tolerance)),
    vreg_reg(AE_REG_COMPENSATION, 1, E(stAuto.u8Compensation)),
    vreg_reg(AE_REG_EV_BIAS, 2, E(stAuto.u16EVBias)),
    vreg_reg(AE_REG_STRATEGY_GAIN, 2, E(stAuto.u16HistRatioSlope)),
    vreg_reg(AE_REG_STRATEGY_LIMIT, 1, E(stAuto.u8MaxHistOffset)),
    vreg_reg(AE_REG_BLACK_DELAY, 2, E(stAuto.u16BlackDelayFrame)),
    vreg_reg(AE_REG_WHITE_DELAY, 2, E(stAuto.u16WhiteDelayFrame)),
};
#undef E
#undef AE_GAIN_PAIR

constexpr u32 kRatioMin = 0x40, kRatioMax = 0xFFF; // 1/64: 1x to 64x

using Wdr = AE_WDR_RATIO_SETTINGS_S;
#define W(m) VREG_MEMBER(Wdr, m)
constexpr vreg_field kWdrRatio[] = {
    vreg_reg(AE_REG_RATIO_MANUAL, 1, W(enExpRatioType))
        .masked(1)
        .check(refuse_above(1, "Invalid enExpRatioType %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AE_REG_RATIO, 2, W(u32ExpRatio))
        .masked(kRatioMax)
        .check(refuse_outside(kRatioMin, kRatioMax, "Invalid u32ExpRatio %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AE_REG_RATIO_MAX, 2, W(u32ExpRatioMax))
        .check(refuse_outside(kRatioMin, kRatioMax, "u32ExpRatioMax's range is [0x40, 0xFFF]!\n")),
    vreg_reg(AE_REG_RATIO_MIN, 2, W(u32ExpRatioMin))
        .check(refuse_outside(kRatioMin, kRatioMax, "u32ExpRatioMin's range is [0x40, 0xFFF]!\n")),
    vreg_rule(W(u32ExpRatioMin),
              refuse_above_member(W(u32ExpRatioMax), "u32ExpRatioMin %u should not larger than u32ExpRatioMax %u!\n")
                  .with(VREG_ARGS_VALUE_OTHER)),
    vreg_reg(AE_REG_RATIO_TOLERANCE, 2, W(u16Tolerance))
        .masked(0xFF)
        .check(refuse_above(255, "Invalid u16Tolerance %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AE_REG_RATIO_SPEED, 2, W(u16Speed)).masked(0xFF).check(refuse_above(255, "Invalid u16Speed %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AE_REG_RATIO_BIAS, 2, W(u16RatioBias)),
};
#undef W

constexpr u32 kHoldMax = 1000; // PWM duty in 1/1000

using Iris = AE_IRIS_SETTINGS_S;
#define I(m) VREG_MEMBER(Iris, m)
constexpr vreg_field kIris[] = {
    vreg_flag(AE_REG_IRIS_EN, 2, I(bEnable), "Invalid AI bEnable input!\n"),
    vreg_flag(AE_REG_IRIS_MANUAL, 2, I(enOpType), "Invalid AI type!\n").bits(0x1),
    vreg_reg(AE_REG_IRIS_TYPE, 2, I(enIrisType)).bits(0x3).check(refuse_above(1, "Invalid IRIS type!\n")).reads_at_most(2),
    vreg_reg(AE_REG_IRIS_STATUS, 1, I(enIrisStatus)).bits(0x3).check(refuse_above(2, "Invalid AI status!\n")),
    vreg_reg(AE_REG_PIRIS_FNO, 1, I(enIrisFNO)).check(refuse_above(kFnoMax, "Invalid F Number!\n")),
    vreg_reg(AE_REG_IRIS_HOLD, 4, I(u32HoldValue)).check(refuse_above(kHoldMax, "HoldValue's range is [0,1000]!\n")),
};
#undef I

constexpr u32 kKpMax = 100000, kKiMax = 1000, kKdMax = 100000, kDutyMax = 1000;

using Dc = AE_DCIRIS_SETTINGS_S;
#define D(m) VREG_MEMBER(Dc, m)
constexpr vreg_field kDciris[] = {
    vreg_reg(AE_REG_DCIRIS_KP, 4, D(s32Kp)).check(refuse_outside(0, kKpMax, "s32Kp's range must be [0, 100000]!\n")),
    vreg_reg(AE_REG_DCIRIS_KI, 4, D(s32Ki)).check(refuse_outside(0, kKiMax, "s32Ki's range must be [0, 1000]!\n")),
    vreg_reg(AE_REG_DCIRIS_KD, 4, D(s32Kd)).check(refuse_outside(0, kKdMax, "s32Kd's range must be [0, 100000]!\n")),
    vreg_reg(AE_REG_DCIRIS_DUTY_MIN, 4, D(u32MinPwmDuty))
        .check(refuse_above(kDutyMax, "u32MinPwmDuty's range must be [0, 1000]!\n")),
    vreg_reg(AE_REG_DCIRIS_DUTY_MAX, 4, D(u32MaxPwmDuty))
        .check(refuse_above(kDutyMax, "u32MaxPwmDuty's range must be [0, 1000]!\n")),
    vreg_rule(D(u32MinPwmDuty),
              refuse_above_member(D(u32MaxPwmDuty), "u32MinPwmDuty should not larger than u32MaxPwmDuty!\n")),
    vreg_reg(AE_REG_DCIRIS_DUTY_OPEN, 4, D(u32OpenPwmDuty))
        .check(refuse_above(kDutyMax, "u32OpenPwmDuty's range must be [0, 1000]!\n")),
    vreg_rule(D(u32OpenPwmDuty),
              refuse_below_member(D(u32MinPwmDuty),
                                  "u32OpenPwmDuty should not less than u32MinPwmDuty or larger than u32MaxPwmDuty!\n")),
    vreg_rule(D(u32OpenPwmDuty),
              refuse_above_member(D(u32MaxPwmDuty),
                                  "u32OpenPwmDuty should not less than u32MinPwmDuty or larger than u32MaxPwmDuty!\n")),
};
#undef D

constexpr u32 kStepsMax = 1024; // P-iris stepper positions, and the table's F-number scale

using Piris = AE_PIRIS_SETTINGS_S;
#define P(m) VREG_MEMBER(Piris, m)
// Each entry of the step table: in order with the one before among those
// in use, then within range (all 1024, whatever the count).
constexpr vreg_field kStepTableEntry[] = {
    vreg_rule(P(au16StepFNOTable[0]),
              refuse_falling("au16StepFNOTable[%d] should not larger than au16StepFNOTable[%d]!\n")
                  .with(VREG_ARGS_PREVIOUS_INDEX)),
    vreg_reg(0, 2, P(au16StepFNOTable[0]))
        .check(refuse_above(kStepsMax, "au16StepFNOTable's range must be [0, 1024]!\n"))
        .zero_unused(),
};

constexpr vreg_field kPiris[] = {
    vreg_reg(AE_REG_FNO_MAX, 1, P(enMaxIrisFNO)).check(refuse_above(kFnoMax, "Invalid Iris FNO input!\n")),
    vreg_reg(AE_REG_FNO_MIN, 1, P(enMinIrisFNO)).check(refuse_above(kFnoMax, "Invalid Iris FNO input!\n")),
    vreg_rule(P(enMaxIrisFNO), refuse_below_member(P(enMinIrisFNO), "enMaxIrisFNO should not be less than enMinIrisFNO!\n")),
    vreg_flag(AE_REG_PIRIS_ZERO_MAX, 1, P(bZeroIsMax), "Invalid bZeroIsMax input!\n").bits(0x1),
    // The Get leaves the flag as the caller had it; the library takes the
    // table while it is set and clears it.
    vreg_flag(AE_REG_PIRIS_TABLE_NEW, 1, P(bStepFNOTableChange), "Invalid bStepFNOTableChange input!\n")
        .bits(0x1)
        .get_keeps(),
    vreg_reg(AE_REG_PIRIS_TOTAL, 2, P(u16TotalStep))
        .check(refuse_outside(1, kStepsMax, "Piris TotalStep's range must be [1, 1024]!\n")),
    vreg_reg(AE_REG_PIRIS_COUNT, 2, P(u16StepCount))
        .check(refuse_outside(1, kStepsMax, "Piris StepCount's range must be [1, 1024]!\n")),
    vreg_rule(P(u16TotalStep), refuse_below_member(P(u16StepCount), "u16TotalStep should not less than u16StepCount!\n")),
    vreg_group(AE_REG_PIRIS_TABLE, 0, kStepsMax, sizeof(u16), sizeof(u16), kStepTableEntry)
        .in_use(P(u16StepCount))
        .taken_while(P(bStepFNOTableChange)),
};
#undef P

constexpr u32 kNodesMax = ISP_AE_ROUTE_MAX_NODES;
constexpr u32 kCountBits = 0xFF; // node counts are eight bits wide

// The routes: a count and the nodes in use; the changed flag goes up last.
s32 route_check(const void *rec) { return ISP_RouteCheck(0, static_cast<const AE_ROUTE_TABLE_S *>(rec)); }
s32 route_ex_check(const void *rec) { return ISP_RouteExCheck(0, static_cast<const AE_ROUTE_EX_TABLE_S *>(rec)); }

#define N(m) VREG_MEMBER(AE_ROUTE_NODE_S, m)
constexpr vreg_field kRouteNode[] = {
    vreg_reg(0, 4, N(u32IntTime)),
    vreg_reg(4, 4, N(u32SysGain)),
    vreg_reg(8, 4, N(enIrisFNO)),
};
#undef N
#define N(m) VREG_MEMBER(AE_ROUTE_EX_NODE_S, m)
constexpr vreg_field kRouteExNode[] = {
    vreg_reg(0, 4, N(u32IntTime)), vreg_reg(4, 4, N(u32Again)),   vreg_reg(8, 4, N(u32Dgain)),
    vreg_reg(12, 4, N(u32IspDgain)), vreg_reg(16, 4, N(enIrisFNO)),
};
#undef N

#define RT(m) VREG_MEMBER(AE_ROUTE_TABLE_S, m)
constexpr vreg_field kRoute[] = {
    vreg_rule(RT(u32TotalNum), refuse_by(route_check)),
    vreg_reg(AE_REG_ROUTE_NUM, 2, RT(u32TotalNum)).masked(kCountBits).reads_at_most(kNodesMax),
    vreg_group(AE_REG_ROUTE_NODES, offsetof(AE_ROUTE_TABLE_S, astRouteNode), kNodesMax, sizeof(AE_ROUTE_NODE_S),
               sizeof(AE_ROUTE_NODE_S), kRouteNode)
        .in_use(RT(u32TotalNum)),
};
#undef RT
#define RT(m) VREG_MEMBER(AE_ROUTE_EX_TABLE_S, m)
constexpr vreg_field kRouteEx[] = {
    vreg_rule(RT(u32TotalNum), refuse_by(route_ex_check)),
    vreg_reg(AE_REG_ROUTE_EX_NUM, 2, RT(u32TotalNum)).masked(kCountBits).reads_at_most(kNodesMax),
    vreg_group(AE_REG_ROUTE_EX_NODES, offsetof(AE_ROUTE_EX_TABLE_S, astRouteExNode), kNodesMax,
               sizeof(AE_ROUTE_EX_NODE_S), sizeof(AE_ROUTE_EX_NODE_S), kRouteExNode)
        .in_use(RT(u32TotalNum)),
};
#undef RT

// The library keeps its routes in its own records of the same layout.
static_assert(offsetof(ISP_AE_ROUTE_S, astRouteNode) == offsetof(AE_ROUTE_TABLE_S, astRouteNode) &&
                  sizeof(ISP_AE_ROUTE_NODE_S) == sizeof(AE_ROUTE_NODE_S),
              "route layouts");
static_assert(offsetof(ISP_AE_ROUTE_EX_S, astRouteExNode) == offsetof(AE_ROUTE_EX_TABLE_S, astRouteExNode) &&
                  sizeof(ISP_AE_ROUTE_EX_NODE_S) == sizeof(AE_ROUTE_EX_NODE_S),
              "route-ex layouts");

// What the library publishes after every calculation, and the ISP's
// histograms beside it (the statistics block writes those).
constexpr u32 kHist256Regs = ISP_AE_HIST256_REG(0); // one word per bin, 16 bits used
constexpr u32 kHist5Regs = ISP_AE_HIST5_REG(0);     // bins 0, 1, 3 and 4, a word apart

using St = AE_EXPOSURE_STATUS_S;
#define S(m) VREG_MEMBER(St, m)
constexpr vreg_field kStatus[] = {
    vreg_reg(AE_REG_STAT_TIME, 4, S(u32ExpTime)),
    vreg_reg(AE_REG_STAT_TIME2, 4, S(u32ExpTime2)),
    vreg_reg(AE_REG_STAT_AGAIN, 4, S(u32AGain)),
    vreg_reg(AE_REG_STAT_DGAIN, 4, S(u32DGain)),
    vreg_reg(AE_REG_STAT_ISPDGAIN, 4, S(u32ISPDGain)),
    vreg_reg(AE_REG_STAT_EXPOSURE, 4, S(u32Exposure)),
    vreg_reg(AE_REG_STAT_AT_MAX, 2, S(bExposureAtMax)).masked(1),
    vreg_reg(AE_REG_ERROR, 2, S(s16LumError)),
    vreg_reg(kHist256Regs, 4, S(au32Hist256Value)).at_address().masked(0xFFFF).read_only(),
    vreg_reg(kHist5Regs, 2, S(au16Hist5Value[0])).at_address().read_only(),
    vreg_reg(kHist5Regs + 4, 2, S(au16Hist5Value[1])).at_address().read_only(),
    vreg_reg(kHist5Regs + 8, 2, S(au16Hist5Value[3])).at_address().read_only(),
    vreg_reg(kHist5Regs + 12, 2, S(au16Hist5Value[4])).at_address().read_only(),
    vreg_reg(AE_REG_STAT_LINES500, 4, S(u32LinesPer500ms)),
    vreg_reg(AE_REG_STAT_PIRIS_GAIN, 4, S(u32PirisGain)),
    vreg_reg(AE_REG_STAT_FPS, 4, S(u32FrameRateX100)),
    vreg_reg(AE_REG_STAT_ISO, 4, S(u32ISO)),
    vreg_reg(AE_REG_STAT_RATIO, 2, S(u32ExpRatio)).masked(0xFFF),
    vreg_reg(AE_REG_STAT_STABLE_TIME, 4, S(u32FirstStableTime)),
    vreg_reg(AE_REG_STAT_ROUTE_NUM, 2, S(u32RouteNum)).masked(kCountBits).reads_at_most(kNodesMax),
    vreg_group(AE_REG_STAT_ROUTE, offsetof(St, astRouteNode), kNodesMax, sizeof(AE_ROUTE_NODE_S),
               sizeof(AE_ROUTE_NODE_S), kRouteNode)
        .in_use(S(u32RouteNum)),
    vreg_reg(AE_REG_STAT_ROUTE_EX_NUM, 1, S(u32RouteExNum)).reads_at_most(kNodesMax),
    vreg_group(AE_REG_STAT_ROUTE_EX, offsetof(St, astRouteExNode), kNodesMax, sizeof(AE_ROUTE_EX_NODE_S),
               sizeof(AE_ROUTE_EX_NODE_S), kRouteExNode)
        .in_use(S(u32RouteExNum)),
};
#undef S

constexpr s32 kIllegal = AE_ERR_ILLEGAL_PARAM;

} // namespace

extern const vreg_table<AE_EXPOSURE_SETTINGS_S> kAeExposureRecord = vreg_table_of<AE_EXPOSURE_SETTINGS_S>(kExposure, kIllegal);
extern const vreg_table<AE_WDR_RATIO_SETTINGS_S> kAeWdrRatioRecord = vreg_table_of<AE_WDR_RATIO_SETTINGS_S>(kWdrRatio, kIllegal);
extern const vreg_table<AE_IRIS_SETTINGS_S> kAeIrisRecord = vreg_table_of<AE_IRIS_SETTINGS_S>(kIris, kIllegal);
extern const vreg_table<AE_DCIRIS_SETTINGS_S> kAeDcirisRecord = vreg_table_of<AE_DCIRIS_SETTINGS_S>(kDciris, kIllegal);
extern const vreg_table<AE_PIRIS_SETTINGS_S> kAePirisRecord = vreg_table_of<AE_PIRIS_SETTINGS_S>(kPiris, kIllegal);
extern const vreg_table<AE_ROUTE_TABLE_S> kAeRouteRecord =
    vreg_table_of<AE_ROUTE_TABLE_S>(kRoute, kIllegal).updating(vreg_const(AE_REG_ROUTE_CHANGED, 2, 1).masked(1));
extern const vreg_table<AE_ROUTE_EX_TABLE_S> kAeRouteExRecord =
    vreg_table_of<AE_ROUTE_EX_TABLE_S>(kRouteEx, kIllegal).updating(vreg_const(AE_REG_ROUTE_EX_CHANGED, 1, 1).masked(1));
extern const vreg_table<ISP_AE_ROUTE_S> kAeLibRouteRecord = vreg_table_as<ISP_AE_ROUTE_S>(kAeRouteRecord);
extern const vreg_table<ISP_AE_ROUTE_EX_S> kAeLibRouteExRecord = vreg_table_as<ISP_AE_ROUTE_EX_S>(kAeRouteExRecord);
extern const vreg_table<AE_EXPOSURE_STATUS_S> kAeStatusRecord = vreg_table_of<AE_EXPOSURE_STATUS_S>(kStatus, kIllegal);
