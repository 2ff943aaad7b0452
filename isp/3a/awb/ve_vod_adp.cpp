// The white-balance library's lifecycle: registration with the ISP and the
// sensor, init, the per-frame run, control commands and exit, and the
// register page through which the attribute interface meets the run.
#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/awb/awb_records.h"
#include "isp/3a/common/alg_lib.h"

#include <algorithm>
#include <cstring>

#include "isp/isp_math.h"
#include "isp/mpi_isp.h"

AWB_CTX_S g_astAwbCtx[AWB_LIB_MAX];

namespace {

constexpr s32 AWB_ERR_ILLEGAL_PARAM = (s32)0xA01C8003;
constexpr s32 AWB_ERR_NULL_PTR = (s32)0xA01C8006;

// Entry checks, in the order every entry runs them: device, pointers,
// handle, name. 0 or the entry's result.
s32 check_dev(s32 dev, const char *func) { return awb_check_dev(dev, func); }

s32 check_ptr(const void *p, const char *func) { return alg_check_null(p, AWB_ERR_NULL_PTR, func); }
s32 check_handle(s32 id, const char *func) { return alg_check_handle(id, func); }
s32 check_lib(const ALG_LIB_HANDLE_S *lib, const char *func)
{
    return alg_check_lib(lib, AWB_LIB_NAME, AWB_ERR_NULL_PTR, func);
}

// ---- the page -----------------------------------------------------------------------------------

const u16 kDefaultCcm[9] = {0x01D0, 0x8150, 0x0080, 0x8050, 0x01A0, 0x8050, 0x8030, 0x80C0, 0x01F0};
const u16 kCrMax[16] = {304, 304, 304, 304, 304, 304, 304, 333, 354, 375, 393, 417, 422, 422, 422, 422};
const u16 kCrMin[16] = {64, 64, 64, 64, 64, 64, 64, 62, 60, 58, 56, 54, 53, 52, 50, 50};
const u16 kCbMax[16] = {288, 288, 288, 292, 296, 300, 304, 318, 329, 340, 349, 361, 364, 364, 364, 364};
const u16 kCbMin[16] = {64, 64, 64, 64, 64, 64, 64, 60, 56, 52, 48, 44, 42, 40, 40, 40};

void wr8(s32 h, u32 off, u32 v) { IO_WRITE8(awb_reg(h, off), v & 0xFF); }
void wr16(s32 h, u32 off, u32 v) { IO_WRITE16(awb_reg(h, off), v & 0xFFFF); }
void wr32(s32 h, u32 off, u32 v) { IO_WRITE32(awb_reg(h, off), v); }
u8 rd8(s32 h, u32 off) { return (u8)IO_READ8(awb_reg(h, off)); }
u16 rd16(s32 h, u32 off) { return (u16)IO_READ16(awb_reg(h, off)); }
u32 rd32(s32 h, u32 off) { return IO_READ32(awb_reg(h, off)); }

void wr16s(s32 h, u32 off, const u16 *v, u32 n)
{
    for (u32 i = 0; i < n; i++)
        wr16(h, off + 2 * i, v[i]);
}

// A sign-magnitude matrix into the page as two's complement.
void wr_ccm_complement(s32 h, u32 off, const u16 *sm)
{
    for (u32 i = 0; i < 9; i++)
        wr16(h, off + 2 * i, (u16)AwbDirectToComplement(sm[i]));
}

void rd_ccm(s32 h, u32 off, s16 *m)
{
    for (u32 i = 0; i < 9; i++)
        m[i] = (s16)rd16(h, off + 2 * i);
}

void AwbExtRegsDefault(s32 h)
{
    const struct {
        u16 off;
        u8 width;
        u32 value;
    } scalars[] = {
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
        {AWB_R_ZONE_XFORM_OFFSET, 2, 6},                {AWB_R_WP_CHANGE, 2, 0},     {AWB_R_SMOOTH_TEMP, 2, 5000},
        {AWB_R_LUMA_HIST_TYPE, 1, 0}, {AWB_R_RESERVED_13E, 1, 0}, {AWB_R_RESERVED_143, 1, 255},
        {AWB_R_ISO_ACT, 1, 1},        {AWB_R_TEMP_ACT, 1, 1},      {AWB_R_CCM_SAT_EN, 1, 1},
        {AWB_R_EXP_RATIO, 4, 512},    {AWB_R_RESERVED_1D8, 1, 2},               {AWB_R_MULTI_LS_SCALER, 2, 192},
        {AWB_R_CONVERGED, 2, 0},
    };
    for (const auto &s : scalars) {
        if (s.width == 1)
            wr8(h, s.off, s.value);
        else if (s.width == 2)
            wr16(h, s.off, s.value);
        else
            wr32(h, s.off, s.value);
    }
    for (u32 i = 0; i < 4; i++) {
        wr16(h, AWB_R_STATIC_GAIN + 2 * i, 256);
        wr16(h, AWB_R_MANUAL_GAIN + 2 * i, 256);
        wr16(h, AWB_R_LS_VALUE + 2 * i, 0);
        const u32 e = AWB_R_LIGHT_SOURCE + 8 * i;
        wr16(h, e, 256), wr16(h, e + 2, 256), wr16(h, e + 4, 256), wr8(h, e + 6, 0), wr8(h, e + 7, 8);
    }
    const s32 para[6] = {0, 0, 0, 0, 128, 0};
    for (u32 i = 0; i < 6; i++)
        wr32(h, AWB_R_CURVE_PARA + 4 * i, (u32)para[i]);
    for (u32 i = 0; i < 16; i++)
        wr8(h, AWB_R_SAT_TABLE + i, 128);
    const u16 identity[9] = {0x100, 0, 0, 0, 0x100, 0, 0, 0, 0x100};
    wr16s(h, AWB_R_CCM_MANUAL, identity, 9);
    for (u32 off : {AWB_R_CCM_CUR, AWB_R_CCM_MID, AWB_R_CCM_LOW, AWB_R_CCM_HIGH})
        wr_ccm_complement(h, off, kDefaultCcm);
    const s16 xform[9] = {235, 5, 20, 14, 261, -9, 34, 23, 205};
    for (u32 i = 0; i < 9; i++)
        wr16(h, AWB_R_ZONE_XFORM + 2 * i, (u16)xform[i]);
    const u8 thresh[4] = {4, 16, 128, 235};
    for (u32 i = 0; i < 4; i++)
        wr8(h, AWB_R_HIST_THRESH + i, thresh[i]);
    const u16 weights[6] = {32, 128, 384, 512, 256, 32};
    wr16s(h, AWB_R_HIST_WEIGHT, weights, 6);
    wr16s(h, AWB_R_CR_MAX, kCrMax, 16);
    wr16s(h, AWB_R_CR_MIN, kCrMin, 16);
    wr16s(h, AWB_R_CB_MAX, kCbMax, 16);
    wr16s(h, AWB_R_CB_MIN, kCbMin, 16);
    const u16 bins[8] = {2300, 2800, 3500, 4800, 5500, 6300, 7000, 8500};
    wr16s(h, AWB_R_MULTI_CT_BIN, bins, 8);
    for (u32 i = 0; i < 8; i++)
        wr16(h, AWB_R_MULTI_CT_WT + 2 * i, 256);
}

// The sensor profile's values over the defaults (at init and every WDR switch).
void AwbExtRegsInitialize(s32 h)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    const AWB_SENSOR_PROFILE_S &p = c.stProfile;
    wr8(h, AWB_R_WDR_MODE, c.u8WDRMode);
    wr16(h, AWB_R_HIGH_TEMP, p.u16HighColorTemp);
    wr_ccm_complement(h, AWB_R_CCM_HIGH, p.au16HighCCM);
    wr_ccm_complement(h, AWB_R_CCM_CUR, p.au16HighCCM);
    wr16(h, AWB_R_MID_TEMP, p.u16MidColorTemp);
    wr_ccm_complement(h, AWB_R_CCM_MID, p.au16MidCCM);
    wr16(h, AWB_R_LOW_TEMP, p.u16LowColorTemp);
    wr_ccm_complement(h, AWB_R_CCM_LOW, p.au16LowCCM);
    if (p.bSatValid)
        for (u32 i = 0; i < 16; i++)
            wr8(h, AWB_R_SAT_TABLE + i, p.au8Sat[i]);
    wr16(h, AWB_R_REF_TEMP, p.u16WbRefTemp);
    wr16s(h, AWB_R_STATIC_GAIN, p.au16GainOffset, 4);
    for (u32 i = 0; i < 6; i++)
        wr32(h, AWB_R_CURVE_PARA + 4 * i, (u32)p.as32WbPara[i]);
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
void take_options(s32 h, AWB_WB_STATE_S &w, const AWB_WB_SETTINGS_S &wb, const AWB_WB_SETTINGS_EX_S &ex)
{
    const AWB_IN_OUT_ATTR_S &io = ex.stInOrOut;
    u8 optA = bit(wb.stAuto.enAlgType, AWB_OPTA_MULTI_CT) | bit(rd8(h, AWB_R_STABLE_CHECK) & 1, AWB_OPTA_STABLE) |
              bit(rd8(h, AWB_R_AREA_CHECK) & 1, AWB_OPTA_AREA) | bit(ex.bExtraLightEn, AWB_OPTA_EXTRA_LIGHT) |
              bit(io.bEnable, AWB_OPTA_INOUT) | bit(rd8(h, AWB_R_BAYER_STAT) & 1, AWB_OPTA_BAYER) |
              (w.u8OptA & AWB_OPTA_OUTDOOR);
    u8 optB = bit(wb.stAuto.stCTLimit.bEnable, AWB_OPTB_CT_LIMIT) | bit(wb.stAuto.stCTLimit.enOpType, AWB_OPTB_CT_MANUAL) |
              bit(wb.stAuto.bShiftLimitEn, AWB_OPTB_SHIFT_LIMIT) | bit(wb.stAuto.stLumaHist.bEnable, AWB_OPTB_LUMA_HIST) |
              bit(rd8(h, AWB_R_SHIFT_CLAMP) & 1, AWB_OPTB_SHIFT_CLAMP) | bit(ex.bGreenEnhanceEn, AWB_OPTB_GREEN) |
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
void take_wb_ex(s32 h, AWB_WB_STATE_S &w, const AWB_WB_SETTINGS_S &wb, const AWB_WB_SETTINGS_EX_S &ex)
{
    u8 &ch = w.bChanged;
    const AWB_LUMA_HIST_ATTR_S &lh = wb.stAuto.stLumaHist;
    w.u32MinCount = rd16(h, AWB_R_MIN_COUNT);
    w.u16ExpWord = (u16)rd32(h, AWB_R_EXP_WORD);
    w.u32Exposure = rd32(h, AWB_R_EXP_LEVEL);
    w.u16ExpRatio = (u16)rd32(h, AWB_R_EXP_RATIO);
    take_options(h, w, wb, ex);

    take(w.u16BlendWeight, rd8(h, AWB_R_BLEND_WEIGHT), ch);
    take(w.u16BinTolerance, ex.u8BinTolerance, ch);
    take(w.u16CurveL, ex.u16CurveLLimit, ch);
    take(w.u16CurveR, ex.u16CurveRLimit, ch);
    w.au16AreaThr[0] = ex.u8AreaThreshold;
    w.au16AreaThr[1] = rd8(h, AWB_R_HOLD_DELAY);
    w.au16AreaThr[2] = rd8(h, AWB_R_SKIN_DIST);
    w.u16StableNeeded = rd8(h, AWB_R_STABLE_FRAMES);
    take_in_out(w, ex.stInOrOut);
    take(w.bSkinEnable, ex.bFineTunEn, ch);
    take(w.bPullEnable, rd8(h, AWB_R_PULL_EN), ch);
    take(w.u8OutdoorTol, rd8(h, AWB_R_OUTDOOR_TOL), ch);
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
    take(w.bXformEnable, rd8(h, AWB_R_ZONE_XFORM_EN) & 1, ch);
    for (u32 i = 0; i < 9; i++)
        take(w.as16Xform[i], (s16)rd16(h, AWB_R_ZONE_XFORM + 2 * i), ch);
    const u16 offset = rd16(h, AWB_R_ZONE_XFORM_OFFSET); // one value for both ratios
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
    w.u16ColorTemp = rd16(h, AWB_R_CUR_TEMP);
}

// The colour-matrix and saturation settings.
void take_ccm(s32 h, AWB_CTX_S &c, const AWB_CCM_SETTINGS_S &ccm, const AWB_SATURATION_SETTINGS_S &sat,
              const AWB_WB_SETTINGS_EX_S &ex)
{
    AWB_CM_STATE_S &cm = c.stCm;
    cm.u32SatOpType = sat.enOpType;
    cm.u8ManualSat = sat.u8Saturation;
    cm.u8SatScale = rd8(h, AWB_R_SAT_SCALE);
    memcpy(cm.au8Sat, sat.au8Sat, sizeof cm.au8Sat);
    cm.bManualCcm = (u8)ccm.enOpType;
    memcpy(cm.au16ManualCcm, ccm.stManual.au16ManualCCM, sizeof cm.au16ManualCcm);
    rd_ccm(h, AWB_R_CCM_CUR, cm.as16Blended);
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
    cm.u8MultiLSDegree = rd8(h, AWB_R_MULTI_LS_DEGREE);
    cm.u16MultiLSScaler = ex.u16MultiLSScaler;
    cm.bIsoActEn = ca.bISOActEn;
    cm.bTempActEn = ca.bTempActEn;
    cm.bManualSatEn = ccm.stManual.bSatEn;
    cm.u32Iso = c.stWb.u32Exposure;
}

// The colour management's settings, beside the matrix's.
void take_acm(s32 h, AWB_CTX_S &c)
{
    AWB_ACM_STATE_S &acm = c.stAcm;
    acm.bEnable = rd8(h, AWB_R_ZONE_XFORM_EN) & 1;
    acm.u32Iso = c.stCm.u32Iso;
    acm.u32MultiLSDegree = c.stCm.u8MultiLSDegree;
    acm.s32WpChange = (s16)rd16(h, AWB_R_WP_CHANGE);
    acm.s32ColorTemp = (s16)rd16(h, AWB_R_SMOOTH_TEMP);
}

// The page's settings into the run's state: the WDR mode every frame, the
// rest on the frames the estimator runs.
void AwbReadExtRegs(s32 h, bool full)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    c.u8WDRMode = rd8(h, AWB_R_WDR_MODE);
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
    take_wb_ex(h, c.stWb, wb, ex);
    take_ccm(h, c, ccm, sat, ex);
    take_acm(h, c);
}

// What the run publishes for the attribute interface and its own next read.
s32 AwbUpdateExtRegs(s32 h)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    AWB_CTX_S &c = g_astAwbCtx[h];
    for (u32 i = 0; i < 9; i++)
        wr16(h, AWB_R_CCM_CUR + 2 * i, (u16)c.stCm.as16Blended[i]);
    AWB_WB_STATUS_S st = {};
    st.u16ColorTemp = c.stWb.u16ColorTemp;
    st.u8MultiLSDegree = c.stWb.u8Degree;
    st.u16Saturation = c.stCm.u8CurSat;
    memcpy(st.au16LightSourceValue, c.stWb.au16LightValue, sizeof st.au16LightSourceValue);
    vreg_publish(kAwbStatusRecord, awb_page(h), st);
    wr8(h, AWB_R_INOUT_STATUS, (rd8(h, AWB_R_INOUT_STATUS) & ~2u) | (c.stWb.bOutdoor ? 2u : 0u));
    wr16(h, AWB_R_WP_CHANGE, c.stWb.u16RelChange);
    wr16(h, AWB_R_SMOOTH_TEMP, c.stCm.u32SmoothTemp >> 8);
    wr16(h, AWB_R_CONVERGED, c.stWb.u16Converged);
    return 0;
}

// The result the ISP programs before the first full run.
void AwbIspRegsInit(s32 h)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    AWB_FRAME_RESULT_S &r = c.stResult;
    memset(&r, 0, sizeof r);
    for (u32 i = 0; i < 4; i++)
        r.au32WhiteBalanceGain[i] = (u32)c.stProfile.au16GainOffset[i] << 8;
    memcpy(r.as16ColorMatrix, c.stCm.au16OutCcm, sizeof r.as16ColorMatrix);
    const u16 block1[10] = {940, 16, 512, 512, 128, 128, 512, 128, 512, 128};
    memcpy(r.au16StatThresh, block1, sizeof block1);
    r.bStatCfgUpdate = 1;
    r.bBayerStatUpdate = 1;
    r.au32BayerSwitch[0] = r.au32BayerSwitch[1] = 1;
    r.au16BayerLimit[0] = 4095;
    r.au16BayerLimit[1] = 0;
    const u16 ratio[8] = {304, 288, 64, 64, 304, 64, 288, 64};
    memcpy(&r.au16BayerLimit[2], ratio, sizeof ratio);
}

void refresh_profile(AWB_CTX_S &c)
{
    if (c.stSnsCb.pfn_cmos_get_awb_default)
        c.stSnsCb.pfn_cmos_get_awb_default(&c.stProfile);
}

// A WDR mode change: the profile may differ per mode.
void AwbSetWDRMode(s32 h)
{
    AWB_CTX_S &c = g_astAwbCtx[h];
    refresh_profile(c);
    AwbExtRegsInitialize(h);
    AwbWbInit(&c.stWb, &c.stProfile, 1);
    AwbReadExtRegs(h, false);
    c.u8PreWDRMode = c.u8WDRMode;
}

// ---- gains ------------------------------------------------------------------------------------------

// The largest 16.16 gain the ISP's 12-bit registers can take in the mode.
u32 gain_limit(u8 wdr) { return awb_is_wdr(wdr) ? 0xFFE000u : 0xFFF00u; }

// The black-level offset the normalisation and the Bayer limits look at.
u32 black_offset() { return IO_READ32(ISP_STAT_BLACK_REG(1)) & 0xFFF; }

void compute_gains(AWB_CTX_S &c, u32 black)
{
    u32 *g = c.stResult.au32WhiteBalanceGain;
    const bool wdr = awb_is_wdr(c.u8WDRMode);
    if (c.u8ManualOp) {
        for (u32 i = 0; i < 4; i++) {
            u32 m = c.au16ManualGain[i];
            g[i] = wdr ? m * m : m << 8;
        }
    } else {
        const u16 *st = c.stWb.au16StaticGain;
        g[0] = (u32)st[0] * c.stWb.u16RelR;
        g[1] = (u32)st[1] * c.stWb.u16RelG;
        g[2] = (u32)st[2] * c.stWb.u16RelG;
        g[3] = (u32)st[3] * c.stWb.u16RelB;
        if (c.bGainNormEn) {
            u64 k = black >= 4095 ? 0x10000 : std::min<u64>(0xFFF0000u / (4095 - black), 0x20000);
            if (wdr)
                k = (k * k) >> 16;
            u64 m = std::max<u32>(*std::min_element(g, g + 4), 1);
            u64 s = ((m >> 1) + (k << 8)) / m;
            for (u32 i = 0; i < 4; i++)
                g[i] = (u32)std::min<u64>((s * g[i] + 128) >> 8, 0xFFFFFFFFu);
        }
    }
    for (u32 i = 0; i < 4; i++)
        g[i] = std::min(g[i], gain_limit(c.u8WDRMode));
}

// A colour-ratio limit table at an ISO: linear between the grid points.
s32 table_at(const u16 *t, u32 v)
{
    u32 i = 0;
    while (i < 16 && (100u << i) <= v)
        i++;
    if (i == 16)
        return t[15];
    if (i == 0)
        return t[0];
    u32 lo = 100u << (i - 1), hi = 100u << i;
    s32 w = (s32)(((u64)(v - lo) << 8) / (hi - lo));
    return t[i - 1] + ((w * (t[i] - t[i - 1])) >> 8);
}

// Statistics limits that widen with the ISO as the tables say, more so for
// warm light.
void track_locus(AWB_CTX_S &c, u32 black)
{
    AWB_FRAME_RESULT_S &r = c.stResult;
    const u32 v = c.stWb.u32Exposure;
    const s32 e = (s32)(c.stWb.u32FilteredMired256 >> 8);
    s32 f = e > 284 ? 512 : e > 200 ? (s16)(((3 * e - 515) << 7) / 85) : 128;
    s32 crMax0 = c.au16CrMax[0], cbMax0 = c.au16CbMax[0], crMin0 = c.au16CrMin[0], cbMin0 = c.au16CbMin[0];
    s32 dCrMax = ((table_at(c.au16CrMax, v) - crMax0) * f) >> 8;
    s32 dCbMax = ((table_at(c.au16CbMax, v) - cbMax0) * f) >> 8;
    s32 dCrMin = ((crMin0 - table_at(c.au16CrMin, v)) * f) >> 8;
    s32 dCbMin = ((cbMin0 - table_at(c.au16CbMin, v)) * f) >> 8;
    u16 crMax = (u16)std::max(crMax0 + dCrMax, 0), cbMax = (u16)std::max(cbMax0 + dCbMax, 0);
    u16 crMin = (u16)std::max(crMin0 - dCrMin, 0), cbMin = (u16)std::max(cbMin0 - dCbMin, 0);
    const u16 out[8] = {crMax, cbMax, crMin, cbMin, crMax, crMin, cbMax, cbMin};
    memcpy(&r.au16BayerLimit[2], out, sizeof out);
    u32 upper = IO_READ32(ISP_AWB_BAYER_WHITE_REG) & 0xFFF;
    if (awb_is_wdr(c.u8WDRMode))
        upper = (upper * upper + 2048) >> 12;
    u32 lower = IO_READ32(ISP_AWB_BAYER_BLACK_REG) & 0xFFF;
    r.au16BayerLimit[0] = (u16)upper;
    r.au16BayerLimit[1] = (u16)(lower > black ? lower - black : 0);
    r.bBayerStatUpdate = 1;
}

s32 finish(s32 h, AWB_FRAME_RESULT_S *out)
{
    AwbUpdateExtRegs(h);
    AwbDbgRunEnd(h);
    *out = g_astAwbCtx[h].stResult;
    return 0;
}

// ---- callbacks ---------------------------------------------------------------------------------------

s32 AwbInit(s32 h, const AWB_INIT_PARAM_S *param)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    s32 ret = check_ptr(param, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bSnsRegistered) {
        printf("Sensor doesn't register to vudi awb(%d)!\n", h);
        return -1;
    }
    if (c.s32SensorId != param->s32SensorId) {
        printf("Awblib's sensor %d and isp's sensor %d doesn't match!\n", c.s32SensorId, param->s32SensorId);
        return -1;
    }
    ret = VReg_Init(AWB_LIB_VREG_BASE((u32)h), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Awb lib(%d) vreg init failed!\n", h);
        return ret;
    }
    c.u8WDRMode = c.u8PreWDRMode = param->u8WDRMode;
    c.u8RunInterval = 2;
    c.u32FullRateFrames = 64;
    refresh_profile(c);
    AwbExtRegsDefault(h);
    AwbExtRegsInitialize(h);
    memset(&c.stWb, 0, sizeof c.stWb);
    AwbWbInit(&c.stWb, &c.stProfile, 0);
    AwbCmInit(&c.stCm, &c.stProfile);
    AWBAcmInit(&c.stAcm);
    AwbIspRegsInit(h);
    memset(&c.stDbg, 0, sizeof c.stDbg);
    c.u32FrameCnt = 0;
    c.bInit = 1;
    return 0;
}

s32 AwbRun(s32 h, const AWB_FRAME_INPUT_S *in, AWB_FRAME_RESULT_S *out, s32 rsv)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    s32 ret = check_ptr(in, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(out, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(in->pstAwbStat1, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(in->pstAwbStat2, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bInit)
        return -1;
    c.u32FrameCnt = in->u32FrameCnt;
    if (c.u32FrameCnt == 1) {
        *out = c.stResult;
        return 0;
    }
    c.u8RunInterval = c.u32FrameCnt > c.u32FullRateFrames ? 2 : 1;
    const bool full = c.u32FrameCnt % c.u8RunInterval == 0;
    AwbReadExtRegs(h, full);
    AWB_FRAME_RESULT_S &r = c.stResult;
    if (c.u8WDRMode != c.u8PreWDRMode) {
        AwbSetWDRMode(h);
        r.au16BayerLimit[1] = 0;
        r.au16BayerLimit[0] = 4095;
        r.bStatCfgUpdate = r.bBayerStatUpdate = 1;
        *out = r;
        return 0;
    }
    r.bStatCfgUpdate = r.bBayerStatUpdate = 0;
    ret = AwbDbgRunBgn(h);
    if (ret != 0) {
        printf("Awb lib(%d) dbg run failed!\n", h);
        return ret;
    }
    if (!full)
        return finish(h, out);

    if (c.bBypass) {
        for (u32 &g : r.au32WhiteBalanceGain)
            g = 0x10000;
    } else {
        AwbWbMatrixCalculate(h, in, &c.stWb);
    }
    AwbColorMatrixCalculate(h, in, &c.stCm);
    AwbAcmCalculate(h, &c.stAcm);
    memcpy(r.as16ColorMatrix, c.stCm.au16OutCcm, sizeof r.as16ColorMatrix);
    if (c.bBypass) {
        *out = r;
        return 0;
    }
    const u32 black = black_offset();
    compute_gains(c, black);
    if (c.bTrackLocusEn)
        track_locus(c, black);
    return finish(h, out);
}

// The gain registers from the latest result, for the new WDR mode.
void program_gains(const AWB_CTX_S &c, u8 mode)
{
    for (u32 i = 0; i < 4; i++) {
        u32 g = c.stResult.au32WhiteBalanceGain[i];
        u32 v = mode == 0 ? std::min<u32>((g + 128) >> 8, 4095) : awb_is_wdr(mode) ? Sqrt32(std::min<u32>(g, 0xFFE000)) & 0xFFF : 0;
        IO_WRITE16(ISP_WB_GAIN_REG(i), v);
    }
}

s32 AwbCtrlCmd(s32 h, u32 cmd, void *value)
{
    switch (cmd) {
    case AWB_SATURATION_SET:
    case AWB_SATURATION_GET:
    case AWB_DEBUG_ATTR_SET:
    case AWB_DEBUG_ATTR_GET:
    case ISP_WDR_MODE_SET:
    case ISP_PROC_WRITE:
    case ISP_AWB_ISO_SET:
    case ISP_DCFINFO_SET:
    case ISP_AWB_INTTIME_SET:
    case ISP_AWB_PIRIS_SET:
        break;
    default:
        return 0;
    }
    if (cmd != ISP_DCFINFO_SET && check_ptr(value, __FUNCTION__) != 0)
        return AWB_ERR_NULL_PTR;
    switch (cmd) {
    case AWB_SATURATION_SET:
        wr8(h, AWB_R_SAT_CUR, *static_cast<u8 *>(value));
        return 0;
    case AWB_SATURATION_GET:
        *static_cast<u8 *>(value) = rd8(h, AWB_R_SAT_CUR);
        return 0;
    case AWB_DEBUG_ATTR_SET:
        return AwbDbgSet(h, static_cast<AWB_DBG_ATTR_S *>(value));
    case AWB_DEBUG_ATTR_GET:
        return AwbDbgGet(h, static_cast<AWB_DBG_ATTR_S *>(value));
    case ISP_WDR_MODE_SET: {
        u8 mode = *static_cast<u8 *>(value);
        wr8(h, AWB_R_WDR_MODE, mode);
        program_gains(g_astAwbCtx[h], mode);
        return 0;
    }
    case ISP_PROC_WRITE:
        return AwbProcWrite(h, static_cast<ISP_CTRL_PROC_WRITE_S *>(value));
    case ISP_DCFINFO_SET:
        return AwbGetDcfInfo(h, value);
    case ISP_AWB_ISO_SET:
        wr32(h, AWB_R_EXP_LEVEL, *static_cast<u32 *>(value));
        return 0;
    case ISP_AWB_INTTIME_SET:
        wr32(h, AWB_R_EXP_WORD, *static_cast<u32 *>(value));
        return 0;
    default: // ISP_AWB_PIRIS_SET
        wr32(h, AWB_R_EXP_RATIO, *static_cast<u32 *>(value));
        return 0;
    }
}

s32 AwbCtrl(s32 h, u32 cmd, void *value)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    if (!g_astAwbCtx[h].bInit)
        return -1;
    return AwbCtrlCmd(h, cmd, value);
}

s32 AwbExit(s32 h)
{
    if (check_handle(h, __FUNCTION__) != 0)
        return -1;
    AWB_CTX_S &c = g_astAwbCtx[h];
    if (!c.bInit)
        return 0;
    awb_dbg_release(h);
    s32 ret = VReg_Exit(AWB_LIB_VREG_BASE((u32)h), ALG_LIB_VREG_SIZE);
    if (ret != 0) {
        printf("Awb lib(%d) vreg exit failed!\n", h);
        return ret;
    }
    c.bInit = 0;
    return 0;
}

} // namespace

bool awb_is_wdr(u8 u8Mode) { return u8Mode >= 1 && u8Mode <= 10; }

s32 awb_check_dev(s32 s32Dev, const char *func)
{
    if (s32Dev != 0) {
        ALG_TRACE(func, "Err AWB dev %d in %s!\n", s32Dev, func);
        return AWB_ERR_ILLEGAL_PARAM;
    }
    return 0;
}

s16 AwbDirectToComplement(u16 v)
{
    s32 m = v & 0x7FFF;
    return (s16)((v & 0x8000) ? -m : m);
}

u16 AwbComplementToDirect(s16 v) { return v < 0 ? (u16)(0x8000 | (u16)(-(s32)v)) : (u16)v; }

u32 AwbSqrt32(u32 v) { return Sqrt32(v); }

// ---- registration -------------------------------------------------------------------------------------

s32 DU_DUZ_AWB_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_LIB_CALLBACKS_S cb = {AwbInit, AwbRun, AwbCtrl, AwbExit};
    ret = DU_DUZ_ISP_AWBLibRegCallBack(0, pstAwbLib, &cb);
    if (ret != 0)
        puts("Ve_vod register failed!");
    return ret;
}

s32 DU_DUZ_AWB_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    ret = DU_DUZ_ISP_AWBLibUnRegCallBack(0, pstAwbLib);
    if (ret != 0)
        puts("Ve_vod unregister failed!");
    return ret;
}

s32 DU_DUZ_AWB_SensorRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId,
                                 const AWB_SENSOR_CALLBACKS_S *pstRegister)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(pstAwbLib, __FUNCTION__);
    if (ret == 0)
        ret = check_ptr(pstRegister, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[pstAwbLib->s32Id];
    if (pstRegister->pfn_cmos_get_awb_default)
        pstRegister->pfn_cmos_get_awb_default(&c.stProfile);
    c.stSnsCb = *pstRegister;
    c.s32SensorId = s32SensorId;
    c.bSnsRegistered = 1;
    return 0;
}

s32 DU_DUZ_AWB_SensorUnRegCallBack(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib, s32 s32SensorId)
{
    s32 ret = check_dev(s32Dev, __FUNCTION__);
    if (ret == 0)
        ret = check_lib(pstAwbLib, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CTX_S &c = g_astAwbCtx[pstAwbLib->s32Id];
    memset(&c.stProfile, 0, sizeof c.stProfile);
    memset(&c.stSnsCb, 0, sizeof c.stSnsCb);
    c.s32SensorId = 0;
    c.bSnsRegistered = 0;
    return 0;
}

s32 DU_DUZ_AWB_Ctrl(const ALG_LIB_HANDLE_S *pstAwbLib, u32 u32Cmd, void *pValue)
{
    s32 ret = check_lib(pstAwbLib, __FUNCTION__);
    return ret != 0 ? ret : AwbCtrlCmd(pstAwbLib->s32Id, u32Cmd, pValue);
}
