// The white-balance library's register page: what a fresh page holds, the
// sensor profile's values over it, the settings the run takes on its full
// frames and what it publishes after each.
#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/awb/awb_records.h"
#include "isp/3a/common/alg_lib.h"

#include <algorithm>
#include <cstring>

namespace {

// The default matrices (sign-magnitude) and the statistics limits per ISO.
const u16 kDefaultCcm[9] = {0x01D0, 0x8150, 0x0080, 0x8050, 0x01A0, 0x8050, 0x8030, 0x80C0, 0x01F0};
const u16 kCrMax[16] = {304, 304, 304, 304, 304, 304, 304, 333, 354, 375, 393, 417, 422, 422, 422, 422};
const u16 kCrMin[16] = {64, 64, 64, 64, 64, 64, 64, 62, 60, 58, 56, 54, 53, 52, 50, 50};
const u16 kCbMax[16] = {288, 288, 288, 292, 296, 300, 304, 318, 329, 340, 349, 361, 364, 364, 364, 364};
const u16 kCbMin[16] = {64, 64, 64, 64, 64, 64, 64, 60, 56, 52, 48, 44, 42, 40, 40, 40};

struct RegDefault {
    u16 offset;
    u8 width;
    u32 value;
};

// What a fresh page holds in its single registers, in the order they are
// written; its tables follow them (AwbExtRegsDefault).
const RegDefault kDefaults[] = {
    {AWB_R_ENABLE, 1, 1},         {AWB_R_OP_TYPE, 1, 0},       {AWB_R_WDR_MODE, 1, 0},
    {AWB_R_ZONE, 1, 32},          {AWB_R_SPEED, 2, 128},       {AWB_R_REF_TEMP, 2, 5000},
    {AWB_R_MIN_COUNT, 2, 4096},   {AWB_R_STRENGTH_R, 1, 128},  {AWB_R_STRENGTH_B, 1, 128},
    {AWB_R_CT_LOW, 2, 2500},      {AWB_R_CT_HIGH, 2, 10000},   {AWB_R_CT_LIMIT_EN, 1, 1},
    {AWB_R_CT_LIMIT_OP, 1, 0},    {AWB_R_HIGH_RG_LIMIT, 2, 384}, {AWB_R_HIGH_BG_LIMIT, 2, 128},
    {AWB_R_LOW_RG_LIMIT, 2, 128}, {AWB_R_LOW_BG_LIMIT, 2, 464}, {AWB_R_SHIFT_LIMIT_EN, 1, 1},
    {AWB_R_SHIFT_LIMIT, 1, 48},   {AWB_R_EXP_WORD, 4, 256},    {AWB_R_EXP_LEVEL, 4, 256},
    {AWB_R_DBG_EN, 2, 0},         {AWB_R_DBG_ADDR, 4, 0},      {AWB_R_DBG_SIZE, 4, 0},
    {AWB_R_DBG_DEPTH, 4, 0},      {AWB_R_SAT_OP, 1, 0},        {AWB_R_SAT_MANUAL, 1, 128},
    {AWB_R_SAT_SCALE, 1, 128},    {AWB_R_SAT_CUR, 1, 128},     {AWB_R_CCM_OP, 1, 0},
    {AWB_R_CUR_TEMP, 2, 5000},    {AWB_R_MID_TEMP, 2, 3200},   {AWB_R_LOW_TEMP, 2, 2600},
    {AWB_R_HIGH_TEMP, 2, 5000},   {AWB_R_ALG_TYPE, 1, 1},      {AWB_R_BAYER_STAT, 1, 1},
    {AWB_R_LUMA_HIST_EN, 1, 1},   {AWB_R_BLEND_WEIGHT, 1, 8},  {AWB_R_BIN_TOLERANCE, 1, 16},
    {AWB_R_CURVE_L, 2, 224},      {AWB_R_CURVE_R, 2, 304},     {AWB_R_AREA_CHECK, 1, 1},
    {AWB_R_AREA_THRESH, 1, 2},    {AWB_R_HOLD_DELAY, 1, 48},   {AWB_R_SKIN_DIST, 1, 32},
    {AWB_R_STABLE_CHECK, 1, 0},   {AWB_R_STABLE_FRAMES, 1, 12}, {AWB_R_INOUT_EN, 1, 1},
    {AWB_R_INOUT_OP, 1, 0},       {AWB_R_INOUT_STATUS, 1, 0},  {AWB_R_GREEN_ENHANCE, 1, 1},
    {AWB_R_INOUT_PARAM, 4, 8192}, {AWB_R_LOW_START, 2, 4500},  {AWB_R_LOW_STOP, 2, 4000},
    {AWB_R_HIGH_START, 2, 6000},  {AWB_R_HIGH_STOP, 2, 7200},  {AWB_R_MULTI_LS_TYPE, 1, 0},
    {AWB_R_SHIFT_CLAMP, 1, 0},    {AWB_R_GAIN_NORM, 1, 1},     {AWB_R_EXTRA_LIGHT, 1, 0},
    {AWB_R_FINE_TUNE, 1, 1},      {AWB_R_PULL_EN, 1, 1},       {AWB_R_RESERVED_0FA, 1, 1},
    {AWB_R_OUTDOOR_TOL, 1, 32},   {AWB_R_BYPASS, 1, 0},        {AWB_R_TRACK_LOCUS, 1, 1},
    {AWB_R_MULTI_LS_EN, 1, 1},    {AWB_R_MULTI_LS_DEGREE, 1, 0}, {AWB_R_ZONE_XFORM_EN, 1, 0},
    {AWB_R_ZONE_XFORM_OFFSET, 2, 6}, {AWB_R_WP_CHANGE, 2, 0},  {AWB_R_SMOOTH_TEMP, 2, 5000},
    {AWB_R_LUMA_HIST_TYPE, 1, 0}, {AWB_R_RESERVED_13E, 1, 0}, {AWB_R_RESERVED_143, 1, 255},
    {AWB_R_ISO_ACT, 1, 1},        {AWB_R_TEMP_ACT, 1, 1},      {AWB_R_CCM_SAT_EN, 1, 1},
    {AWB_R_EXP_RATIO, 4, 512},    {AWB_R_RESERVED_1D8, 1, 2},  {AWB_R_MULTI_LS_SCALER, 2, 192},
    {AWB_R_CONVERGED, 2, 0},
};

// A sign-magnitude matrix into the page as two's complement.
void wr_ccm_complement(const AwbRegs &page, u32 off, const u16 *sm)
{
    for (u32 i = 0; i < 9; i++)
        page.w16(off + 2 * i, (u16)AwbDirectToComplement(sm[i]));
}

void rd_ccm(const AwbRegs &page, u32 off, s16 *m)
{
    for (u32 i = 0; i < 9; i++)
        m[i] = (s16)page.r16(off + 2 * i);
}

// A setting that tells the estimator it changed when it differs from the
// state's copy.
template <class T, class V> void take(T &field, V value, u8 &changed)
{
    if (field != (T)value)
        changed = 1;
    field = (T)value;
}

u8 bit(u32 on, u8 mask) { return on ? mask : 0; }

// Each in-or-outdoor start stays at least this far beyond its stop.
constexpr u16 kInOutMinSpan = 100;
// The run keeps the matrices' temperatures at least kCcmTempMinGap apart,
// moving one that comes closer kCcmTempStep above the one below.
constexpr u16 kCcmTempMinGap = 400, kCcmTempStep = 500;

// The settings of the WB record.
void take_wb(AWB_CTX_S &c, const AWB_WB_SETTINGS_S &r)
{
    const AWB_AUTO_ATTR_S &a = r.stAuto;
    AWB_WB_STATE_S &w = c.stWb;
    u8 &ch = w.bChanged;
    c.bBypass = r.bByPass;
    c.bGainNormEn = a.bGainNormEn;
    c.u8ManualOp = (u8)r.enOpType;
    c.bTrackLocusEn = a.bTrackLocusEn;
    memcpy(c.au16ManualGain, &r.stManual, sizeof c.au16ManualGain);
    if (c.bTrackLocusEn) {
        memcpy(c.au16CrMax, a.au16CrMax, sizeof c.au16CrMax);
        memcpy(c.au16CrMin, a.au16CrMin, sizeof c.au16CrMin);
        memcpy(c.au16CbMax, a.au16CbMax, sizeof c.au16CbMax);
        memcpy(c.au16CbMin, a.au16CbMin, sizeof c.au16CbMin);
    }
    w.bAutoEnable = (u8)a.bEnable;
    w.u8ZoneMode = (u8)a.u16Zone;
    w.u16Speed = a.u16Speed;
    w.u16RefTemp = a.u16RefCT;
    memcpy(w.au16StaticGain, a.au16StaticGain, sizeof w.au16StaticGain);
    memcpy(w.as32Para, a.as32CurvePara, sizeof w.as32Para);
    if (w.as32Para[3] == 0)
        w.as32Para[3] = 1;
    take(w.u8StrengthR, a.u8StrengthR, ch);
    take(w.u8StrengthB, a.u8StrengthB, ch);
    take(w.u32LowCT, std::max<u32>(a.u16CTRangeLow, 1), ch);
    take(w.u32HighCT, std::max<u32>(a.u16CTRangeHigh, 1), ch);
    const AWB_CT_LIMIT_ATTR_S &ct = a.stCTLimit;
    const u16 limits[4] = {ct.u16HighRgLimit, ct.u16HighBgLimit, ct.u16LowRgLimit, ct.u16LowBgLimit};
    for (u32 i = 0; i < 4; i++)
        take(w.au16RgBgLimit[i], limits[i], ch);
    take(w.u16ShiftLimit, a.u8ShiftLimit, ch);
}

// The option bits of the estimator from the records and the page; a change
// of any but the outdoor bit (the run's own) marks the settings changed.
void take_options(const AwbRegs &page, AWB_WB_STATE_S &w, const AWB_WB_SETTINGS_S &wb, const AWB_WB_SETTINGS_EX_S &ex)
{
    const AWB_IN_OUT_ATTR_S &io = ex.stInOrOut;
    u8 optA = bit(wb.stAuto.enAlgType, AWB_OPTA_MULTI_CT) | bit(page.r8(AWB_R_STABLE_CHECK) & 1, AWB_OPTA_STABLE) |
              bit(page.r8(AWB_R_AREA_CHECK) & 1, AWB_OPTA_AREA) | bit(ex.bExtraLightEn, AWB_OPTA_EXTRA_LIGHT) |
              bit(io.bEnable, AWB_OPTA_INOUT) | bit(page.r8(AWB_R_BAYER_STAT) & 1, AWB_OPTA_BAYER) |
              (w.u8OptA & AWB_OPTA_OUTDOOR);
    u8 optB = bit(wb.stAuto.stCTLimit.bEnable, AWB_OPTB_CT_LIMIT) | bit(wb.stAuto.stCTLimit.enOpType, AWB_OPTB_CT_MANUAL) |
              bit(wb.stAuto.bShiftLimitEn, AWB_OPTB_SHIFT_LIMIT) | bit(wb.stAuto.stLumaHist.bEnable, AWB_OPTB_LUMA_HIST) |
              bit(page.r8(AWB_R_SHIFT_CLAMP) & 1, AWB_OPTB_SHIFT_CLAMP) | bit(ex.bGreenEnhanceEn, AWB_OPTB_GREEN) |
              bit(io.enOpType, AWB_OPTB_INOUT_MANUAL);
    if ((optA & ~AWB_OPTA_OUTDOOR) != (w.u8OptA & ~AWB_OPTA_OUTDOOR) || optB != w.u8OptB)
        w.bChanged = 1;
    w.u8OptA = optA;
    w.u8OptB = optB;
}

// The in-or-outdoor decision's settings; each start lies beyond its stop.
void take_in_out(AWB_WB_STATE_S &w, const AWB_IN_OUT_ATTR_S &io)
{
    w.u8InOutUser = (u8)io.enInOutStatus;
    w.u32InOutRef = io.u32InOutParam;
    w.u16LowStop = std::max<u16>(io.u16LowStop, 1);
    w.u16LowStart = std::max<u16>(io.u16LowStart, 1);
    if (w.u16LowStart <= w.u16LowStop)
        w.u16LowStart = (u16)(w.u16LowStop + kInOutMinSpan);
    w.u16HighStart = std::max<u16>(io.u16HighStart, 1);
    w.u16HighStop = std::max<u16>(io.u16HighStop, 1);
    if (w.u16HighStop <= w.u16HighStart)
        w.u16HighStop = (u16)(w.u16HighStart + kInOutMinSpan);
}

// The estimator's tuning beyond the WB record: the extended record and the
// registers of the page no attribute writes.
void take_wb_ex(const AwbRegs &page, AWB_WB_STATE_S &w, const AWB_WB_SETTINGS_S &wb, const AWB_WB_SETTINGS_EX_S &ex)
{
    u8 &ch = w.bChanged;
    const AWB_LUMA_HIST_ATTR_S &lh = wb.stAuto.stLumaHist;
    w.u32MinCount = page.r16(AWB_R_MIN_COUNT);
    w.u16ExpWord = (u16)page.r32(AWB_R_EXP_WORD);
    w.u32Exposure = page.r32(AWB_R_EXP_LEVEL);
    w.u16ExpRatio = (u16)page.r32(AWB_R_EXP_RATIO);
    take_options(page, w, wb, ex);

    take(w.u16BlendWeight, page.r8(AWB_R_BLEND_WEIGHT), ch);
    take(w.u16BinTolerance, ex.u8BinTolerance, ch);
    take(w.u16CurveL, ex.u16CurveLLimit, ch);
    take(w.u16CurveR, ex.u16CurveRLimit, ch);
    w.au16AreaThr[0] = ex.u8AreaThreshold;
    w.au16AreaThr[1] = page.r8(AWB_R_HOLD_DELAY);
    w.au16AreaThr[2] = page.r8(AWB_R_SKIN_DIST);
    w.u16StableNeeded = page.r8(AWB_R_STABLE_FRAMES);
    take_in_out(w, ex.stInOrOut);
    take(w.bSkinEnable, ex.bFineTunEn, ch);
    take(w.bPullEnable, page.r8(AWB_R_PULL_EN), ch);
    take(w.u8OutdoorTol, page.r8(AWB_R_OUTDOOR_TOL), ch);
    take(w.bMultiLSEnable, ex.bMultiLightSourceEn, ch);
    if (w.u8OptA & AWB_OPTA_EXTRA_LIGHT) {
        for (u32 i = 0; i < 4; i++) {
            const AWB_EXTRA_LIGHTSOURCE_S &ls = ex.astLightSource[i];
            take(w.astLight[i].u16GR, ls.u16WhiteRgain, ch);
            take(w.astLight[i].u16GB, ls.u16WhiteBgain, ch);
            take(w.astLight[i].u8Mode, ls.u8LightStatus, ch);
            take(w.astLight[i].u8Radius, ls.u8LightParam, ch);
        }
    }
    take(w.bXformEnable, page.r8(AWB_R_ZONE_XFORM_EN) & 1, ch);
    for (u32 i = 0; i < 9; i++)
        take(w.as16Xform[i], (s16)page.r16(AWB_R_ZONE_XFORM + 2 * i), ch);
    const u16 offset = page.r16(AWB_R_ZONE_XFORM_OFFSET); // one value for both ratios
    take(w.au16XformOffset[0], offset, ch);
    take(w.au16XformOffset[1], offset, ch);
    w.u8LumaHistType = (u8)lh.enType;
    if (w.u8LumaHistType == 1 && (w.u8OptB & AWB_OPTB_LUMA_HIST)) {
        w.au8LumaThresh[0] = 0;
        for (u32 i = 1; i <= 4; i++)
            take(w.au8LumaThresh[i], lh.au8HistThresh[i], ch);
        w.au8LumaThresh[5] = 255;
    }
    for (u32 i = 0; i < 6; i++)
        take(w.au16LumaWeight[i], lh.au16HistWeight[i], ch);
    for (u32 i = 0; i < 8; i++) {
        take(w.au16CtBin[i], ex.au16MultiCTBin[i], ch);
        take(w.au16CtWeight[i], ex.au16MultiCTWt[i], ch);
    }
    w.u16ColorTemp = page.r16(AWB_R_CUR_TEMP);
}

// The colour-matrix and saturation settings.
void take_ccm(const AwbRegs &page, AWB_CTX_S &c, const AWB_CCM_SETTINGS_S &ccm, const AWB_SATURATION_SETTINGS_S &sat,
              const AWB_WB_SETTINGS_EX_S &ex)
{
    AWB_CM_STATE_S &cm = c.stCm;
    cm.u32SatOpType = sat.enOpType;
    cm.u8ManualSat = sat.u8Saturation;
    cm.u8SatScale = page.r8(AWB_R_SAT_SCALE);
    memcpy(cm.au8Sat, sat.au8Sat, sizeof cm.au8Sat);
    cm.bManualCcm = (u8)ccm.enOpType;
    memcpy(cm.au16ManualCcm, ccm.stManual.au16ManualCCM, sizeof cm.au16ManualCcm);
    rd_ccm(page, AWB_R_CCM_CUR, cm.as16Blended);
    const AWB_CCM_AUTO_S &ca = ccm.stAuto;
    cm.u16HighTemp = ca.u16HighColorTemp;
    cm.u16MidTemp = ca.u16MidColorTemp;
    cm.u16LowTemp = ca.u16LowColorTemp;
    for (u32 i = 0; i < 9; i++) {
        cm.as16HighCcm[i] = AwbDirectToComplement(ca.au16HighCCM[i]);
        cm.as16MidCcm[i] = AwbDirectToComplement(ca.au16MidCCM[i]);
        cm.as16LowCcm[i] = AwbDirectToComplement(ca.au16LowCCM[i]);
    }
    // The run keeps the three temperatures apart; the page keeps the user's.
    if (cm.u16MidTemp <= cm.u16LowTemp + kCcmTempMinGap)
        cm.u16MidTemp = (u16)(cm.u16LowTemp + kCcmTempStep);
    if (cm.u16HighTemp <= cm.u16MidTemp + kCcmTempMinGap)
        cm.u16HighTemp = (u16)(cm.u16MidTemp + kCcmTempStep);
    cm.u32MultiLSType = ex.bMultiLightSourceType;
    cm.u8MultiLSDegree = page.r8(AWB_R_MULTI_LS_DEGREE);
    cm.u16MultiLSScaler = ex.u16MultiLSScaler;
    cm.bIsoActEn = ca.bISOActEn;
    cm.bTempActEn = ca.bTempActEn;
    cm.bManualSatEn = ccm.stManual.bSatEn;
    cm.u32Iso = c.stWb.u32Exposure;
}

// The colour management's settings, beside the matrix's.
void take_acm(const AwbRegs &page, AWB_CTX_S &c)
{
    AWB_ACM_STATE_S &acm = c.stAcm;
    acm.bEnable = page.r8(AWB_R_ZONE_XFORM_EN) & 1;
    acm.u32Iso = c.stCm.u32Iso;
    acm.u32MultiLSDegree = c.stCm.u8MultiLSDegree;
    acm.s32WpChange = (s16)page.r16(AWB_R_WP_CHANGE);
    acm.s32ColorTemp = (s16)page.r16(AWB_R_SMOOTH_TEMP);
}

} // namespace

void AwbExtRegsDefault(s32 h)
{
    const AwbRegs page{h};
    for (const auto &d : kDefaults)
        page.write(d.offset, d.width, d.value);
    for (u32 i = 0; i < 4; i++) {
        page.w16(AWB_R_STATIC_GAIN + 2 * i, 256);
        page.w16(AWB_R_MANUAL_GAIN + 2 * i, 256);
        page.w16(AWB_R_LS_VALUE + 2 * i, 0);
        const u32 e = AWB_R_LIGHT_SOURCE + 8 * i;
        page.w16(e, 256), page.w16(e + 2, 256), page.w16(e + 4, 256), page.w8(e + 6, 0), page.w8(e + 7, 8);
    }
    const s32 para[6] = {0, 0, 0, 0, 128, 0};
    for (u32 i = 0; i < 6; i++)
        page.w32(AWB_R_CURVE_PARA + 4 * i, (u32)para[i]);
    for (u32 i = 0; i < 16; i++)
        page.w8(AWB_R_SAT_TABLE + i, 128);
    const u16 identity[9] = {0x100, 0, 0, 0, 0x100, 0, 0, 0, 0x100};
    page.w16s(AWB_R_CCM_MANUAL, identity, 9);
    for (u32 off : {AWB_R_CCM_CUR, AWB_R_CCM_MID, AWB_R_CCM_LOW, AWB_R_CCM_HIGH})
        wr_ccm_complement(page, off, kDefaultCcm);
    const s16 xform[9] = {235, 5, 20, 14, 261, -9, 34, 23, 205};
    for (u32 i = 0; i < 9; i++)
        page.w16(AWB_R_ZONE_XFORM + 2 * i, (u16)xform[i]);
    const u8 thresh[4] = {4, 16, 128, 235};
    for (u32 i = 0; i < 4; i++)
        page.w8(AWB_R_HIST_THRESH + i, thresh[i]);
    const u16 weights[6] = {32, 128, 384, 512, 256, 32};
    page.w16s(AWB_R_HIST_WEIGHT, weights, 6);
    page.w16s(AWB_R_CR_MAX, kCrMax, 16);
    page.w16s(AWB_R_CR_MIN, kCrMin, 16);
    page.w16s(AWB_R_CB_MAX, kCbMax, 16);
    page.w16s(AWB_R_CB_MIN, kCbMin, 16);
    const u16 bins[8] = {2300, 2800, 3500, 4800, 5500, 6300, 7000, 8500};
    page.w16s(AWB_R_MULTI_CT_BIN, bins, 8);
    for (u32 i = 0; i < 8; i++)
        page.w16(AWB_R_MULTI_CT_WT + 2 * i, 256);
}

// The sensor profile's values over the defaults (at init and every WDR switch).
void AwbExtRegsInitialize(s32 h)
{
    const AwbRegs page{h};
    AWB_CTX_S &c = g_astAwbCtx[h];
    const AWB_SENSOR_PROFILE_S &p = c.stProfile;
    page.w8(AWB_R_WDR_MODE, c.u8WDRMode);
    page.w16(AWB_R_HIGH_TEMP, p.u16HighColorTemp);
    wr_ccm_complement(page, AWB_R_CCM_HIGH, p.au16HighCCM);
    wr_ccm_complement(page, AWB_R_CCM_CUR, p.au16HighCCM);
    page.w16(AWB_R_MID_TEMP, p.u16MidColorTemp);
    wr_ccm_complement(page, AWB_R_CCM_MID, p.au16MidCCM);
    page.w16(AWB_R_LOW_TEMP, p.u16LowColorTemp);
    wr_ccm_complement(page, AWB_R_CCM_LOW, p.au16LowCCM);
    if (p.bSatValid)
        for (u32 i = 0; i < 16; i++)
            page.w8(AWB_R_SAT_TABLE + i, p.au8Sat[i]);
    page.w16(AWB_R_REF_TEMP, p.u16WbRefTemp);
    page.w16s(AWB_R_STATIC_GAIN, p.au16GainOffset, 4);
    for (u32 i = 0; i < 6; i++)
        page.w32(AWB_R_CURVE_PARA + 4 * i, (u32)p.as32WbPara[i]);
}

// The page's settings into the run's state: the WDR mode every frame, the
// rest on the frames the estimator runs.
void AwbReadExtRegs(s32 h, bool full)
{
    const AwbRegs page{h};
    AWB_CTX_S &c = g_astAwbCtx[h];
    c.u8WDRMode = page.r8(AWB_R_WDR_MODE);
    if (!full)
        return;
    c.stWb.bChanged = 0;
    AWB_WB_SETTINGS_S wb = {};
    vreg_take(kAwbWbRecord, awb_page(h), wb);
    AWB_WB_SETTINGS_EX_S ex = {};
    vreg_take(kAwbWbExRecord, awb_page(h), ex);
    AWB_CCM_SETTINGS_S ccm = {};
    vreg_take(kAwbCcmRecord, awb_page(h), ccm);
    AWB_SATURATION_SETTINGS_S sat = {};
    vreg_take(kAwbSaturationRecord, awb_page(h), sat);

    take_wb(c, wb);
    take_wb_ex(page, c.stWb, wb, ex);
    take_ccm(page, c, ccm, sat, ex);
    take_acm(page, c);
}

// What the run publishes for the attribute interface and its own next read.
s32 AwbUpdateExtRegs(s32 h)
{
    if (alg_check_handle(h, __FUNCTION__) != 0)
        return -1;
    const AwbRegs page{h};
    AWB_CTX_S &c = g_astAwbCtx[h];
    for (u32 i = 0; i < 9; i++)
        page.w16(AWB_R_CCM_CUR + 2 * i, (u16)c.stCm.as16Blended[i]);
    AWB_WB_STATUS_S st = {};
    st.u16ColorTemp = c.stWb.u16ColorTemp;
    st.u8MultiLSDegree = c.stWb.u8Degree;
    st.u16Saturation = c.stCm.u8CurSat;
    memcpy(st.au16LightSourceValue, c.stWb.au16LightValue, sizeof st.au16LightSourceValue);
    vreg_publish(kAwbStatusRecord, awb_page(h), st);
    page.w8(AWB_R_INOUT_STATUS, (page.r8(AWB_R_INOUT_STATUS) & ~2u) | (c.stWb.bOutdoor ? 2u : 0u));
    page.w16(AWB_R_WP_CHANGE, c.stWb.u16RelChange);
    page.w16(AWB_R_SMOOTH_TEMP, c.stCm.u32SmoothTemp >> 8);
    page.w16(AWB_R_CONVERGED, c.stWb.u16Converged);
    return 0;
}
