// The white-balance attribute records, field by field: register, width,
// bits, bound and message. Rows are in the order the fields are checked; a
// refusal prints its message on standard output and answers 0xA01C8003.
#include "isp/3a/awb/awb_records.h"

#include "isp/3a/awb/awb_ctx.h"

namespace {

constexpr u32 kGainMax = 0xFFF; // gains and colour ratios are 12-bit registers

using WB = AWB_WB_SETTINGS_S;
#define W(m) VREG_MEMBER(WB, m)
// The four colour-ratio limit tables side by side, one ISO level at a time.
constexpr vreg_field kCrCbLimits[] = {
    vreg_reg(AWB_R_CR_MAX, 2, W(stAuto.au16CrMax[0]))
        .check(refuse_below_member(W(stAuto.au16CrMin[0]),
                                   "Invalid input of parameter au16CrMax[%d], should be larger than au16CrMin[%d]!\n")
                   .with(VREG_ARGS_INDEX_INDEX)),
    vreg_reg(AWB_R_CR_MIN, 2, W(stAuto.au16CrMin[0])),
    vreg_reg(AWB_R_CB_MAX, 2, W(stAuto.au16CbMax[0]))
        .check(refuse_below_member(W(stAuto.au16CbMin[0]),
                                   "Invalid input of parameter au16CbMax[%d], should be larger than au16CbMin[%d]!\n")
                   .with(VREG_ARGS_INDEX_INDEX)),
    vreg_reg(AWB_R_CB_MIN, 2, W(stAuto.au16CbMin[0])),
};

constexpr vreg_field kWb[] = {
    vreg_flag(AWB_R_BYPASS, 1, W(bByPass), "Invalid input of parameter bByPass!"),
    vreg_flag(AWB_R_OP_TYPE, 1, W(enOpType), "Invalid input of parameter enOpType!"),
    vreg_reg(AWB_R_MANUAL_GAIN, 2, W(stManual.u16ManualGainR)).check(refuse_above(kGainMax, "Invalid input of Manual WB R Gain!")),
    vreg_reg(AWB_R_MANUAL_GAIN + 2, 2, W(stManual.u16ManualGainGr))
        .check(refuse_above(kGainMax, "Invalid input of Manual WB Gr Gain!")),
    vreg_reg(AWB_R_MANUAL_GAIN + 4, 2, W(stManual.u16ManualGainGb))
        .check(refuse_above(kGainMax, "Invalid input of Manual WB Gb Gain!")),
    vreg_reg(AWB_R_MANUAL_GAIN + 6, 2, W(stManual.u16ManualGainB)).check(refuse_above(kGainMax, "Invalid input of Manual WB B Gain!")),
    vreg_flag(AWB_R_ENABLE, 1, W(stAuto.bEnable), "Invalid input of parameter bEnable!"),
    vreg_reg(AWB_R_REF_TEMP, 2, W(stAuto.u16RefCT)),
    vreg_reg(AWB_R_STATIC_GAIN, 2, W(stAuto.au16StaticGain[0]))
        .check(refuse_above(kGainMax, "Invalid input of AWB Static WB R Gain!")),
    vreg_reg(AWB_R_STATIC_GAIN + 2, 2, W(stAuto.au16StaticGain[1]))
        .check(refuse_above(kGainMax, "Invalid input of AWB Static WB Gr Gain!")),
    vreg_reg(AWB_R_STATIC_GAIN + 4, 2, W(stAuto.au16StaticGain[2]))
        .check(refuse_above(kGainMax, "Invalid input of AWB Static WB Gb Gain!")),
    vreg_reg(AWB_R_STATIC_GAIN + 6, 2, W(stAuto.au16StaticGain[3]))
        .check(refuse_above(kGainMax, "Invalid input of AWB Static WB B Gain!")),
    vreg_reg(AWB_R_CURVE_PARA, 4, W(stAuto.as32CurvePara)),
    vreg_rule(W(stAuto.as32CurvePara[3]), refuse_equal(0, "Invalid input of AWB Curve Para[3]! Should not be Zero!")),
    vreg_rule(W(stAuto.as32CurvePara[4]), refuse_unless(128, "Invalid input of AWB Curve Para[4]!")),
    vreg_flag(AWB_R_GAIN_NORM, 1, W(stAuto.bGainNormEn), "Invalid input of parameter bGainNormEn!"),
    vreg_flag(AWB_R_TRACK_LOCUS, 1, W(stAuto.bTrackLocusEn), "Invalid input of parameter bTrackLocusEn!"),
    vreg_flag(AWB_R_SHIFT_LIMIT_EN, 1, W(stAuto.bShiftLimitEn), "Invalid input of parameter bShiftLimitEn!"),
    vreg_reg(AWB_R_SHIFT_LIMIT, 1, W(stAuto.u8ShiftLimit)),
    vreg_reg(AWB_R_STRENGTH_R, 1, W(stAuto.u8StrengthR)),
    vreg_reg(AWB_R_STRENGTH_B, 1, W(stAuto.u8StrengthB)),
    vreg_reg(AWB_R_SPEED, 2, W(stAuto.u16Speed)).masked(0xFFF).check(refuse_above(0xFFF, "Invalid input of AWB Speed!")),
    vreg_reg(AWB_R_ZONE, 1, W(stAuto.u16Zone)).check(refuse_above(255, "Invalid input of AWB Zone!")),
    vreg_reg(AWB_R_CT_HIGH, 2, W(stAuto.u16CTRangeHigh))
        .check(refuse_not_above_member(W(stAuto.u16CTRangeLow), "Invalid input of AWB Color Temperature Range!")),
    vreg_reg(AWB_R_CT_LOW, 2, W(stAuto.u16CTRangeLow)),
    vreg_flag(AWB_R_CT_LIMIT_EN, 1, W(stAuto.stCTLimit.bEnable), "Invalid input of parameter CT enable!"),
    vreg_flag(AWB_R_CT_LIMIT_OP, 1, W(stAuto.stCTLimit.enOpType), "Invalid input of parameter CT enOpType!"),
    vreg_reg(AWB_R_RGBG_LIMIT, 2, W(stAuto.stCTLimit.u16HighRgLimit))
        .masked(kGainMax)
        .check(refuse_above(kGainMax, "Invalid input of parameter CT u16HighRgLimit!Should in range of [0x0, 0xFFF]")),
    vreg_reg(AWB_R_RGBG_LIMIT + 2, 2, W(stAuto.stCTLimit.u16HighBgLimit))
        .masked(kGainMax)
        .check(refuse_above(kGainMax, "Invalid input of parameter CT u16HighBgLimit!Should in range of [0x0, 0xFFF]")),
    vreg_reg(AWB_R_RGBG_LIMIT + 4, 2, W(stAuto.stCTLimit.u16LowRgLimit))
        .masked(kGainMax)
        .check(refuse_above(kGainMax, "Invalid input of parameter CT u16LowRgLimit!Should in range of [0x0, 0xFFF]")),
    vreg_reg(AWB_R_RGBG_LIMIT + 6, 2, W(stAuto.stCTLimit.u16LowBgLimit))
        .masked(kGainMax)
        .check(refuse_above(kGainMax, "Invalid input of parameter CT u16LowBgLimit!Should in range of [0x0, 0xFFF]")),
    vreg_rule(W(stAuto.stCTLimit.u16HighRgLimit),
              refuse_not_above_member(W(stAuto.stCTLimit.u16LowRgLimit), "Invalid input of parameter CT RgLimit!")),
    vreg_rule(W(stAuto.stCTLimit.u16HighBgLimit),
              refuse_not_below_member(W(stAuto.stCTLimit.u16LowBgLimit), "Invalid input of parameter CT BgLimit!")),
    vreg_flag(AWB_R_ALG_TYPE, 1, W(stAuto.enAlgType), "Invalid input of parameter enAlgType!"),
    vreg_flag(AWB_R_LUMA_HIST_EN, 1, W(stAuto.stLumaHist.bEnable), "Invalid input of parameter  Luma Hist Enable!"),
    vreg_flag(AWB_R_LUMA_HIST_TYPE, 1, W(stAuto.stLumaHist.enType), "Invalid input of parameter  Luma Hist Type!"),
    // Thresholds 1 to 4 are stored (0 and 5 are fixed at 0 and 255).
    vreg_reg(AWB_R_HIST_THRESH, 1, W(stAuto.stLumaHist.au8HistThresh))
        .elements(1, 4)
        .check(refuse_falling("Invalid input of parameter  au8HistThresh[%d]!\n").with(VREG_ARGS_INDEX)),
    vreg_reg(AWB_R_HIST_WEIGHT, 2, W(stAuto.stLumaHist.au16HistWeight)),
    // The run reads the tables only while it tracks the locus.
    vreg_group(0, 0, 16, sizeof(u16), sizeof(u16), kCrCbLimits).taken_while(W(stAuto.bTrackLocusEn)),
};
#undef W

using EX = AWB_WB_SETTINGS_EX_S;
#define X(m) VREG_MEMBER(EX, m)
#define L(m) VREG_MEMBER(AWB_EXTRA_LIGHTSOURCE_S, m)
constexpr vreg_field kLightSource[] = {
    vreg_reg(6, 1, L(u8LightStatus)).masked(0x3).check(refuse_above(2, "Invalid input of parameter u8LightStatus!")),
    vreg_reg(0, 2, L(u16WhiteRgain)).check(refuse_above(kGainMax, "Invalid input of parameter u16WhiteRgain!")),
    vreg_reg(2, 2, L(u16WhiteBgain)).check(refuse_above(kGainMax, "Invalid input of parameter u16WhiteBgain!")),
    vreg_reg(4, 2, L(u16LightParam)),
    vreg_reg(7, 1, L(u8LightParam)),
};
#undef L

constexpr u32 kCurveLMax = 256, kCurveRMin = 256, kCurveRMax = 0xFFF;
constexpr u32 kScalerMax = 0x100, kCtWeightMax = 0x400; // 1x in 1/256 and 1/1024

constexpr vreg_field kWbEx[] = {
    vreg_reg(AWB_R_AREA_THRESH, 1, X(u8AreaThreshold)),
    vreg_reg(AWB_R_BIN_TOLERANCE, 1, X(u8BinTolerance)),
    vreg_reg(AWB_R_CURVE_L, 2, X(u16CurveLLimit)).check(refuse_above(kCurveLMax, "Invalid input of parameter u16CurveLLimit!")),
    vreg_reg(AWB_R_CURVE_R, 2, X(u16CurveRLimit))
        .check(refuse_outside(kCurveRMin, kCurveRMax, "Invalid input of parameter u16CurveRLimit!")),
    vreg_flag(AWB_R_EXTRA_LIGHT, 1, X(bExtraLightEn), "Invalid input of parameter bExtraLightEn!"),
    vreg_group(AWB_R_LIGHT_SOURCE, offsetof(EX, astLightSource), 4, sizeof(AWB_EXTRA_LIGHTSOURCE_S), 8, kLightSource),
    vreg_flag(AWB_R_INOUT_EN, 1, X(stInOrOut.bEnable), "Invalid input of parameter InOrOut enable!"),
    vreg_flag(AWB_R_GREEN_ENHANCE, 1, X(bGreenEnhanceEn), "Invalid input of parameter bGreenEnhanceEn enable!"),
    vreg_flag(AWB_R_INOUT_OP, 1, X(stInOrOut.enOpType), "Invalid input of parameter InOrOut enOpType!"),
    // The user's status (bit 0) goes in only with the manual op type; the
    // Get answers the status the run found (bit 1).
    vreg_flag(AWB_R_INOUT_STATUS, 1, X(stInOrOut.enInOutStatus), "Invalid input of parameter InOrOut Status!")
        .bits(0x1)
        .only_when(X(stInOrOut.enOpType), 1)
        .get_from(AWB_R_INOUT_STATUS, 0x2),
    vreg_reg(AWB_R_INOUT_PARAM, 4, X(stInOrOut.u32InOutParam)),
    vreg_reg(AWB_R_LOW_START, 2, X(stInOrOut.u16LowStart))
        .check(refuse_not_above_member(
            X(stInOrOut.u16LowStop),
            "Invalid input of parameter InOrOut Temp Range!u16LowStart should be larger than u16LowStop")),
    vreg_reg(AWB_R_LOW_STOP, 2, X(stInOrOut.u16LowStop)),
    vreg_reg(AWB_R_HIGH_START, 2, X(stInOrOut.u16HighStart))
        .check(refuse_not_above_member(
            X(stInOrOut.u16LowStart),
            "Invalid input of parameter InOrOut Temp Range!u16HighStart should be larger than u16LowStart")),
    vreg_reg(AWB_R_HIGH_STOP, 2, X(stInOrOut.u16HighStop))
        .check(refuse_not_above_member(
            X(stInOrOut.u16HighStart),
            "Invalid input of parameter InOrOut Temp Range!u16HighStop should be larget than u16HighStart")),
    vreg_flag(AWB_R_MULTI_LS_EN, 1, X(bMultiLightSourceEn), "Invalid input of parameter bMultiLightSourceEn !"),
    vreg_flag(AWB_R_MULTI_LS_TYPE, 1, X(bMultiLightSourceType), "Invalid input of parameter bMultiLightSourceType !"),
    vreg_reg(AWB_R_MULTI_LS_SCALER, 2, X(u16MultiLSScaler))
        .check(refuse_above(kScalerMax, "Invalid input of parameter u16MultiLSScaler!Should be <= 0x100")),
    vreg_reg(AWB_R_MULTI_CT_BIN, 2, X(au16MultiCTBin))
        .check(refuse_not_rising("Invalid input of parameter au16MultiCTBin[%d]!Should be larger than au16MultiCTBin[%d]!\n")
                   .with(VREG_ARGS_INDEX_PREVIOUS)),
    vreg_reg(AWB_R_MULTI_CT_WT, 2, X(au16MultiCTWt))
        .check(refuse_above(kCtWeightMax, "Invalid input of parameter au16MultiCTWt[%d]!Should <= 0x400!\n")
                   .with(VREG_ARGS_INDEX)),
    vreg_flag(AWB_R_FINE_TUNE, 1, X(bFineTunEn), "Invalid input of parameter bFineTunEn !"),
};
#undef X

constexpr u32 kHighTempMin = 2800, kHighTempMax = 10000, kMidTempMin = 2400, kLowTempMin = 2000;
constexpr u32 kTempGap = 400; // K between the three matrices' temperatures

using CCM = AWB_CCM_SETTINGS_S;
#define C(m) VREG_MEMBER(CCM, m)
// The automatic matrices are two's complement in the page, the manual one
// as the user wrote it.
constexpr vreg_field kCcm[] = {
    vreg_flag(AWB_R_CCM_OP, 1, C(enOpType), "Invalid input of parameter enOpType!"),
    vreg_reg(AWB_R_HIGH_TEMP, 2, C(stAuto.u16HighColorTemp))
        .check(refuse_outside(kHighTempMin, kHighTempMax, "Invalid HighColorTemp %d\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AWB_R_MID_TEMP, 2, C(stAuto.u16MidColorTemp))
        .check(refuse_below(kMidTempMin, "Invalid u16MidColorTemp %d\n").with(VREG_ARGS_VALUE)),
    vreg_reg(AWB_R_LOW_TEMP, 2, C(stAuto.u16LowColorTemp))
        .check(refuse_below(kLowTempMin, "Invalid u16LowColorTemp %d\n").with(VREG_ARGS_VALUE)),
    vreg_rule(C(stAuto.u16HighColorTemp), refuse_below_member(C(stAuto.u16MidColorTemp),
                                                              "HighColorTemp should be at least 400 bigger than MidColorTemp\r",
                                                              kTempGap)),
    vreg_rule(C(stAuto.u16MidColorTemp), refuse_below_member(C(stAuto.u16LowColorTemp),
                                                             "MidColorTemp should be at least 400 bigger than LowColorTemp\r",
                                                             kTempGap)),
    vreg_flag(AWB_R_CCM_SAT_EN, 1, C(stManual.bSatEn), "Invalid input of parameter stManual.bSatEn !"),
    vreg_flag(AWB_R_ISO_ACT, 1, C(stAuto.bISOActEn), "Invalid input of parameter bISOActEn !"),
    vreg_flag(AWB_R_TEMP_ACT, 1, C(stAuto.bTempActEn), "Invalid input of parameter bTempActEn !"),
    vreg_reg(AWB_R_CCM_MANUAL, 2, C(stManual.au16ManualCCM)),
    vreg_reg(AWB_R_CCM_HIGH, 2, C(stAuto.au16HighCCM)).sign_magnitude(),
    vreg_reg(AWB_R_CCM_MID, 2, C(stAuto.au16MidCCM)).sign_magnitude(),
    vreg_reg(AWB_R_CCM_LOW, 2, C(stAuto.au16LowCCM)).sign_magnitude(),
};
#undef C

using SAT = AWB_SATURATION_SETTINGS_S;
#define S(m) VREG_MEMBER(SAT, m)
constexpr vreg_field kSaturation[] = {
    vreg_reg(AWB_R_SAT_OP, 1, S(enOpType)).check(refuse_above(1, "Invalid input of parameter enOpType!")),
    vreg_reg(AWB_R_SAT_MANUAL, 1, S(u8Saturation)),
    vreg_reg(AWB_R_SAT_TABLE, 1, S(au8Sat)),
};
#undef S

constexpr u32 kGainRegs = ISP_WB_GAIN_REG(0);   // R, Gr, Gb, B, a word apart
constexpr u32 kMatrixRegs = ISP_CCM_REG(0);     // nine coefficients, a word apart

using ST = AWB_WB_STATUS_S;
#define Q(m) VREG_MEMBER(ST, m)
constexpr vreg_field kStatus[] = {
    vreg_reg(kGainRegs, 2, Q(u16GainR)).at_address().masked(kGainMax).read_only(),
    vreg_reg(kGainRegs + 4, 2, Q(u16GainGr)).at_address().masked(kGainMax).read_only(),
    vreg_reg(kGainRegs + 8, 2, Q(u16GainGb)).at_address().masked(kGainMax).read_only(),
    vreg_reg(kGainRegs + 12, 2, Q(u16GainB)).at_address().masked(kGainMax).read_only(),
    vreg_reg(AWB_R_SAT_CUR, 1, Q(u16Saturation)),
    vreg_reg(AWB_R_CUR_TEMP, 2, Q(u16ColorTemp)),
    vreg_reg(kMatrixRegs, 2, Q(au16Matrix), 4).at_address().read_only(),
    vreg_reg(AWB_R_LS_VALUE, 2, Q(au16LightSourceValue)),
    vreg_reg(AWB_R_MULTI_LS_DEGREE, 1, Q(u8MultiLSDegree)),
};
#undef Q

constexpr s32 kIllegal = (s32)0xA01C8003;

} // namespace

extern const vreg_table<AWB_WB_SETTINGS_S> kAwbWbRecord = vreg_table_of<AWB_WB_SETTINGS_S>(kWb, kIllegal);
extern const vreg_table<AWB_WB_SETTINGS_EX_S> kAwbWbExRecord = vreg_table_of<AWB_WB_SETTINGS_EX_S>(kWbEx, kIllegal);
extern const vreg_table<AWB_CCM_SETTINGS_S> kAwbCcmRecord = vreg_table_of<AWB_CCM_SETTINGS_S>(kCcm, kIllegal);
extern const vreg_table<AWB_SATURATION_SETTINGS_S> kAwbSaturationRecord =
    vreg_table_of<AWB_SATURATION_SETTINGS_S>(kSaturation, kIllegal);
extern const vreg_table<AWB_WB_STATUS_S> kAwbStatusRecord = vreg_table_of<AWB_WB_STATUS_S>(kStatus, kIllegal);
