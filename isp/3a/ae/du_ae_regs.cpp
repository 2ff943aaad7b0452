// The exposure library's extension register page: the defaults, the
// initial state it publishes, the settings it takes over every frame and
// the status it writes after every calculation.
#include "isp/3a/ae/ae_ctx.h"
#include "isp/3a/ae/ae_records.h"

#include <algorithm>
#include <cstring>

namespace {

struct RegDefault {
    u16 offset;
    u8 width;
    u32 value;
};

// What a fresh page holds, in the order the groups are written.
const RegDefault kDefaults[] = {
    {AE_REG_RATIO_MANUAL, 1, 0},      {AE_REG_RATIO, 2, 64},           {AE_REG_RATIO_MAX, 2, 1024},
    {AE_REG_RATIO_MIN, 2, 64},        {AE_REG_RATIO_TOLERANCE, 2, 12}, {AE_REG_RATIO_SPEED, 2, 32},
    {AE_REG_RATIO_BIAS, 2, 1024},     {AE_REG_FSWDR_MODE, 1, 0},       {AE_REG_WDR_QUICK, 1, 0},
    {AE_REG_WDR_MODE, 1, 0},          {AE_REG_AE_MODE, 1, 1},          {AE_REG_SLOW_FACTOR, 2, 256},
    {AE_REG_GAIN_THRESH, 4, 0xFFFFFFFF}, {AE_REG_FLICKER_FREQ, 1, 0},  {AE_REG_FLICKER, 1, 0},
    {AE_REG_BYPASS, 1, 0},            {AE_REG_COMPENSATION, 1, 64},    {AE_REG_EV_BIAS, 2, 1024},
    {AE_REG_SPEED, 1, 64},            {AE_REG_TOLERANCE, 1, 2},        {AE_REG_INTERVAL, 1, 1},
    {AE_REG_BLACK_SPEED_BIAS, 2, 144}, {AE_REG_HIST_THRESH, 2, 110},   {AE_REG_HIST_THRESH + 2, 2, 174},
    {AE_REG_HIST_THRESH + 4, 2, 220}, {AE_REG_HIST_THRESH + 6, 2, 255}, {AE_REG_HIST_SLOPE, 2, 0},
    {AE_REG_HIST_SLOPE + 2, 2, 8},    {AE_REG_HIST_SLOPE + 4, 2, 16},  {AE_REG_HIST_SLOPE + 6, 2, 32},
    {AE_REG_HIST_OFFSET, 2, 0},       {AE_REG_HIST_ADJUST, 2, 1},      {AE_REG_STRATEGY, 1, 0},
    {AE_REG_STRATEGY_LIMIT, 1, 16},   {AE_REG_STRATEGY_GAIN, 2, 128},  {AE_REG_BLACK_DELAY, 2, 8},
    {AE_REG_WHITE_DELAY, 2, 0},       {AE_REG_SUBFLICKER, 1, 0},       {AE_REG_LUMA_DIFF, 1, 50},
    {AE_REG_TIME_MAX, 4, 0xFFFFFFFF}, {AE_REG_TIME_MIN, 4, 2},         {AE_REG_AGAIN_MAX, 4, 0xFFFFFFFF},
    {AE_REG_AGAIN_MIN, 4, 0x400},     {AE_REG_DGAIN_MAX, 4, 0xFFFFFFFF}, {AE_REG_DGAIN_MIN, 4, 0x400},
    {AE_REG_ISPDGAIN_MAX, 4, 0xFFFFFFFF}, {AE_REG_ISPDGAIN_MIN, 4, 0x400}, {AE_REG_SYSGAIN_MAX, 4, 0xFFFFFFFF},
    {AE_REG_SYSGAIN_MIN, 4, 0x400},   {AE_REG_MANUAL, 2, AE_MANUAL_TIME_LIMIT}, {AE_REG_RESERVED58, 4, 0x40000},
    {AE_REG_MANUAL_TIME, 4, 16384},   {AE_REG_MANUAL_AGAIN, 4, 0x400}, {AE_REG_MANUAL_DGAIN, 4, 0x400},
    {AE_REG_MANUAL_ISPDGAIN, 4, 0x400}, {AE_REG_STAT_TIME, 4, 0},      {AE_REG_STAT_AGAIN, 4, 0},
    {AE_REG_STAT_DGAIN, 4, 0},        {AE_REG_STAT_ISPDGAIN, 4, 0},    {AE_REG_STAT_EXPOSURE, 4, 0},
    {AE_REG_STAT_AT_MAX, 2, 0},       {AE_REG_SHIFT_TIME, 4, 0},       {AE_REG_SHIFT_SYSGAIN, 2, 0},
    {AE_REG_STAT_LINES500, 4, 0},     {AE_REG_STAT_PIRIS_GAIN, 4, 0},  {AE_REG_STAT_FPS, 4, 2500},
    {AE_REG_STAT_STABLE_TIME, 4, 0},  {AE_REG_DBG_EN, 2, 0},           {AE_REG_DBG_ADDR, 4, 0},
    {AE_REG_DBG_SIZE, 4, 0},          {AE_REG_DBG_DEPTH, 4, 0},        {AE_REG_ROUTE_CHANGED, 2, 0},
    {AE_REG_ROUTE_NUM, 2, 0},         {AE_REG_ROUTE_EX_NUM, 2, 0},     {AE_REG_ROUTE_EX_VALID, 1, 0},
    {AE_REG_ROUTE_EX_CHANGED, 1, 0},  {AE_REG_STAT_ROUTE_NUM, 2, 0},   {AE_REG_STAT_ROUTE_EX_NUM, 1, 0},
    {AE_REG_STAT_ROUTE_EX_USED, 1, 0}, {AE_REG_IRIS_EN, 2, 1},         {AE_REG_IRIS_MANUAL, 2, 0},
    {AE_REG_IRIS_HOLD, 4, 610},       {AE_REG_IRIS_TYPE, 2, 0},        {AE_REG_IRIS_STATUS, 1, 0},
    {AE_REG_PIRIS_FNO, 1, 10},        {AE_REG_FNO_MAX, 1, 10},         {AE_REG_FNO_MIN, 1, 0},
    {AE_REG_PIRIS_ZERO_MAX, 1, 1},    {AE_REG_PIRIS_TOTAL, 2, 1024},   {AE_REG_PIRIS_COUNT, 2, 1024},
    {AE_REG_DCIRIS_KP, 4, 7000},      {AE_REG_DCIRIS_KI, 4, 100},      {AE_REG_DCIRIS_KD, 4, 3000},
    {AE_REG_DCIRIS_DUTY_MIN, 4, 250}, {AE_REG_DCIRIS_DUTY_MAX, 4, 950}, {AE_REG_DCIRIS_DUTY_OPEN, 4, 800},
    {AE_REG_ALG_SWITCH, 1, 0},        {AE_REG_ZONE_CHECK, 1, 0},       {AE_REG_RESERVED186, 1, 64},
    {AE_REG_RESERVED187, 1, 64},      {AE_REG_WEIGHT_R, 2, 150},       {AE_REG_WEIGHT_B, 2, 192},
    {AE_REG_RESERVED18C, 4, 2},       {AE_REG_ZONE_HIGH, 1, 224},      {AE_REG_ZONE_LOW, 1, 5},
    {AE_REG_ZONE_THRESH, 2, 128},     {AE_REG_SWITCHES, 1, 0},         {AE_REG_EXP_VALUE, 4, 65535},
};

u32 gain_reg(const AE_GAIN_S &g, u32 v) { return ae_gain_out(v, g.u32Shift); }

void publish_limits(const AeRegs &r, const AE_CTX_S &c)
{
    r.w32(AE_REG_TIME_MAX, ae_lines_to_us(c, c.u32MaxTime));
    r.w32(AE_REG_TIME_MIN, ae_lines_to_us(c, c.u32MinTime));
    r.w32(AE_REG_AGAIN_MAX, gain_reg(c.stAgain, c.stAgain.u32Max));
    r.w32(AE_REG_AGAIN_MIN, gain_reg(c.stAgain, c.stAgain.u32Min));
    r.w32(AE_REG_DGAIN_MAX, gain_reg(c.stDgain, c.stDgain.u32Max));
    r.w32(AE_REG_DGAIN_MIN, gain_reg(c.stDgain, c.stDgain.u32Min));
    r.w32(AE_REG_ISPDGAIN_MAX, gain_reg(c.stIspDgain, c.stIspDgain.u32Max));
    r.w32(AE_REG_ISPDGAIN_MIN, gain_reg(c.stIspDgain, c.stIspDgain.u32Min));
    r.w32(AE_REG_SYSGAIN_MAX, ae_gain_out(c.u32SysGainMax, c.u32SysGainShift));
    r.w32(AE_REG_SYSGAIN_MIN, ae_gain_out(c.u32SysGainMin, c.u32SysGainShift));
}

// A route's node words between the library's units (lines, gains at the
// system precision) and the page's (us, 1/1024).
template <class Table> void convert_route(const AE_CTX_S &c, const AeRouteShape &s, Table &t, bool to_page)
{
    u32 *w = ae_route_words(t);
    for (u32 i = 0; i < t.u32TotalNum * s.words; i++) {
        AE_ROUTE_WORD_E kind = s.kinds[i % s.words];
        if (kind == AE_WORD_TIME)
            w[i] = to_page ? ae_lines_to_us(c, w[i]) : ae_us_to_lines(c, w[i]);
        else if (kind == AE_WORD_GAIN)
            w[i] = to_page ? ae_gain_out(w[i], c.u32SysGainShift) : ae_gain_in(w[i], c.u32SysGainShift);
    }
}

// The library's table into the page (at most 16 nodes).
template <class Table> void publish_table(const vreg_table<Table> &rec, s32 h, const AE_CTX_S &c,
                                          const AeRouteShape &s, Table t)
{
    t.u32TotalNum = std::min<u32>(t.u32TotalNum, ISP_AE_ROUTE_MAX_NODES);
    convert_route(c, s, t, true);
    vreg_publish(rec, ae_page(h), t);
}

// The user's table while its changed flag is up.
template <class Table> void read_table(const vreg_table<Table> &rec, s32 h, const AE_CTX_S &c,
                                       const AeRouteShape &s, Table &t)
{
    vreg_take(rec, ae_page(h), t);
    convert_route(c, s, t, false);
}

// Sets the setting-changed flag when a changed-type register moved.
template <class T> void take(AE_CTX_S &c, T &field, u32 value)
{
    if (field != (T)value) {
        field = (T)value;
        c.bSettingChanged = 1;
    }
}

// The user's limits, in lines and at each gain's precision.
void take_limits(AE_CTX_S &c, const AE_AUTO_SETTINGS_S &a)
{
    u32 tmin = ae_us_to_lines(c, a.u32ExpTimeMin);
    u32 tmax = ae_us_to_lines(c, a.u32ExpTimeMax);
    take(c, c.au32UserTime[1], tmin);
    take(c, c.au32UserTime[0], tmax);
    c.u32MinTime = tmin;
    c.u32MaxTime = tmax;
    struct {
        AE_GAIN_S *g;
        u32 min, max;
    } gains[] = {{&c.stAgain, a.u32AGainMin, a.u32AGainMax},
                 {&c.stDgain, a.u32DGainMin, a.u32DGainMax},
                 {&c.stIspDgain, a.u32ISPDGainMin, a.u32ISPDGainMax}};
    u32 k = 0;
    for (auto &g : gains) {
        u32 min = ae_gain_in(g.min, g.g->u32Shift), max = ae_gain_in(g.max, g.g->u32Shift);
        take(c, c.au32UserGain[k++], min);
        take(c, c.au32UserGain[k++], max);
        g.g->u32Min = min;
        g.g->u32Max = max;
    }
    c.u32SysGainMin = ae_gain_in(a.u32SysGainMin, c.u32SysGainShift);
    c.u32SysGainMax = ae_gain_in(a.u32SysGainMax, c.u32SysGainShift);
    take(c, c.au32UserGain[6], c.u32SysGainMin);
    take(c, c.au32UserGain[7], c.u32SysGainMax);
}

// The operation type and the manual exposure; bit 12 of the manual word
// (the manual time kept to the user's range) is the library's own.
void take_manual(const AeRegs &r, AE_CTX_S &c, const AE_EXPOSURE_SETTINGS_S &e)
{
    const AE_MANUAL_SETTINGS_S &m = e.stManual;
    const u32 op = e.enOpType ? AE_MANUAL_OP : 0;
    if (op == 1 && c.enOpType == 0)
        c.u64ManualStartExp = c.u64Exposure;
    c.enPreOpType = c.enOpType;
    take(c, c.enOpType, op);
    const u32 bits = op | (m.bManualExpTimeEn ? AE_MANUAL_TIME : 0) | (m.bManualAGainEn ? AE_MANUAL_AGAIN : 0) |
                     (m.bManualDGainEn ? AE_MANUAL_DGAIN : 0) | (m.bManualISPDGainEn ? AE_MANUAL_ISPDGAIN : 0) |
                     (r.r16(AE_REG_MANUAL) & AE_MANUAL_TIME_LIMIT);
    take(c, c.u32ManualBits, bits);
    c.stAgain.u32Manual = ae_gain_in(m.u32AGain, c.stAgain.u32Shift);
    c.stDgain.u32Manual = ae_gain_in(m.u32DGain, c.stDgain.u32Shift);
    c.stIspDgain.u32Manual = ae_gain_in(m.u32ISPDGain, c.stIspDgain.u32Shift);
    c.u32ManualTimeUs = m.u32ExpTime;
    c.u32ManualTime = ae_us_to_lines(c, c.u32ManualTimeUs);
    take(c, c.au32UserManual[0], c.u32ManualTime);
    take(c, c.au32UserManual[1], c.stAgain.u32Manual);
    take(c, c.au32UserManual[2], c.stDgain.u32Manual);
    take(c, c.au32UserManual[3], c.stIspDgain.u32Manual);
}

// What the exposure record sets.
void take_exposure(const AeRegs &r, AE_CTX_S &c, s32 h)
{
    AE_EXPOSURE_SETTINGS_S e = {};
    vreg_take(kAeExposureRecord, ae_page(h), e);
    const AE_AUTO_SETTINGS_S &a = e.stAuto;
    take_limits(c, a);
    take(c, c.bByPass, e.bByPass);
    take(c, c.u8RunInterval, e.u8AERunInterval ? e.u8AERunInterval : 1);
    take(c, c.u8Compensation, a.u8Compensation);
    take(c, c.u16EVBias, a.u16EVBias);
    take(c, c.u8Speed, a.u8Speed);
    take(c, c.u16BlackSpeedBias, a.u16BlackSpeedBias);
    take(c, c.u16Tolerance, a.u8Tolerance);
    take(c, c.u16BlackDelay, a.u16BlackDelayFrame);
    take(c, c.u16WhiteDelay, a.u16WhiteDelayFrame);
    take(c, c.bAntiFlicker, a.stAntiflicker.bEnable);
    take(c, c.u32FlickerFreq, (u32)a.stAntiflicker.u8Frequency << 8);
    take(c, c.enAntiFlickerMode, a.stAntiflicker.enMode);
    take(c, c.bSubFlicker, a.stSubflicker.bEnable);
    take(c, c.u8LumaDiff, a.stSubflicker.u8LumaDiff);
    take(c, c.enAeMode, a.enAEMode);
    take(c, c.u32GainThreshold, ae_gain_in(a.u32GainThreshold, c.u32SysGainShift));
    take(c, c.enStrategy, a.enStrategyMode);
    take(c, c.u16StrategyGain, a.u16HistRatioSlope);
    take(c, c.u16StrategyLimit, a.u8MaxHistOffset);
    take_manual(r, c, e);
    take(c, c.enFSWDRMode, a.enFSWDRMode);
    take(c, c.bHistStatAdjust, e.bHistStatAdjust);
    take(c, c.bManualExpValue, a.bManualExpValue);
    take(c, c.u32ExpValue, a.u32ExpValue);
    take(c, c.bWDRQuick, a.bWDRQuick);
    take(c, c.bRouteExValid, e.bAERouteExValid);
    c.bRouteExMode = c.bRouteExValid;
}

void take_wdr_ratio(AE_CTX_S &c, s32 h)
{
    AE_WDR_RATIO_SETTINGS_S w = {};
    vreg_take(kAeWdrRatioRecord, ae_page(h), w);
    c.bManualRatio = w.enExpRatioType;
    c.u32ManualRatio = w.u32ExpRatio;
    c.u16WdrTolerance = w.u16Tolerance;
    c.u16WdrSpeed = w.u16Speed;
    c.u16WdrBias = w.u16RatioBias;
    c.u32ExpRatioMax = w.u32ExpRatioMax;
    c.u32ExpRatioMin = w.u32ExpRatioMin;
}

void read_routes(AE_CTX_S &c, s32 h)
{
    c.bRouteTaken = vreg_pending(kAeLibRouteRecord, ae_page(h));
    if (c.bRouteTaken) {
        read_table(kAeLibRouteRecord, h, c, kAeRouteShape, c.stRoute);
        c.bRouteChanged = 1;
    }
    c.bRouteExTaken = vreg_pending(kAeLibRouteExRecord, ae_page(h));
    if (c.bRouteExTaken) {
        read_table(kAeLibRouteExRecord, h, c, kAeRouteExShape, c.stRouteEx);
        c.bRouteExChanged = 1;
    }
}

void take_iris(AE_CTX_S &c, s32 h)
{
    AE_IRIS_SETTINGS_S i = {};
    vreg_take(kAeIrisRecord, ae_page(h), i);
    c.enIrisType = i.enIrisType;
    c.bIrisEnable = i.bEnable;
    c.stDcIris.s32Enable = (s32)c.bIrisEnable;
    c.bIrisManual = i.enOpType;
    c.u32IrisStatus = i.enIrisStatus;
    c.u32HoldValue = i.u32HoldValue;
    c.u32ManualFno = i.enIrisFNO;

    // The step table comes in only while its changed flag is up.
    AE_PIRIS_SETTINGS_S p = {};
    vreg_take(kAePirisRecord, ae_page(h), p);
    c.bStepTableChanged = p.bStepFNOTableChange;
    c.bZeroIsMax = p.bZeroIsMax;
    c.u16TotalStep = (u16)AeBoundariesCheck(p.u16TotalStep, 1, 1024);
    c.u16StepCount = (u16)AeBoundariesCheck(p.u16StepCount, 1, 1024);
    c.bStepTableTaken = c.bStepTableChanged;
    if (c.bStepTableChanged) {
        memcpy(c.au16StepFNOTable, p.au16StepFNOTable, c.u16StepCount * sizeof(u16));
        c.bStepTableChanged = 0;
    }
    c.u32OpenFno = p.enMaxIrisFNO;
    c.u32CloseFno = p.enMinIrisFNO;

    AE_DCIRIS_SETTINGS_S d = {};
    vreg_take(kAeDcirisRecord, ae_page(h), d);
    AE_DCIRIS_S &dc = c.stDcIris;
    dc.s32Kp = d.s32Kp;
    dc.s32Ki = d.s32Ki;
    dc.s32Kd = d.s32Kd;
    dc.u32MinDuty = d.u32MinPwmDuty;
    dc.u32MaxDuty = d.u32MaxPwmDuty;
    dc.u32OpenDuty = d.u32OpenPwmDuty;
    if (c.enIrisType != c.enPreIrisType && c.bIrisEnable)
        AeSwitchIrisType(h);
}

} // namespace

const AE_ROUTE_WORD_E kRouteWords[3] = {AE_WORD_TIME, AE_WORD_GAIN, AE_WORD_FNO};
const AE_ROUTE_WORD_E kRouteExWords[5] = {AE_WORD_TIME, AE_WORD_GAIN, AE_WORD_GAIN, AE_WORD_GAIN, AE_WORD_FNO};
const AeRouteShape kAeRouteShape = {3, kRouteWords};
const AeRouteShape kAeRouteExShape = {5, kRouteExWords};

u16 AeComplementToDirect(s16 v) { return v < 0 ? (u16)(0x8000 | (u16)(-(s32)v & 0x7FFF)) : (u16)v; }
s16 AeDirectToComplement(u16 v) { return (v & 0x8000) ? (s16)-(s32)(v & 0x7FFF) : (s16)(v & 0x7FFF); }

u32 AePirisLinToFNO(u32 v)
{
    u32 k = 0;
    while (v >= 2) {
        v >>= 1;
        k++;
    }
    return k;
}

s32 AeExtRegsDefault(s32 handle)
{
    AeRegs r{handle};
    for (const auto &d : kDefaults) {
        if (d.width == 1)
            r.w8(d.offset, d.value);
        else if (d.width == 2)
            r.w16(d.offset, d.value);
        else
            r.w32(d.offset, d.value);
    }
    return 0;
}

s32 AeHistWeightUpdate(s32 handle)
{
    AeRegs r{handle};
    const AE_CTX_S &c = g_astAeCtx[handle];
    for (u32 i = 0; i < 4; i++) {
        r.w16(AE_REG_HIST_THRESH + 2 * i, c.au16HistThresh[i]);
        r.w16(AE_REG_HIST_SLOPE + 2 * i, AeComplementToDirect(c.as16HistSlope[i]));
    }
    r.w16(AE_REG_HIST_OFFSET, (u16)c.s16HistOffset);
    return 0;
}

s32 AeRouteExtRegsInit(s32 handle)
{
    AeRegs r{handle};
    const AE_CTX_S &c = g_astAeCtx[handle];
    r.w8(AE_REG_ROUTE_EX_VALID, c.bRouteExValid);
    publish_table(kAeLibRouteExRecord, handle, c, kAeRouteExShape, c.stRouteEx);
    publish_table(kAeLibRouteRecord, handle, c, kAeRouteShape, c.stRoute);
    return 0;
}

s32 AeExtRegsIntialize(s32 handle)
{
    AeRegs r{handle};
    AE_CTX_S &c = g_astAeCtx[handle];
    r.w8(AE_REG_COMPENSATION, c.u8Compensation);
    r.w16(AE_REG_EV_BIAS, c.u16EVBias);
    r.w8(AE_REG_WDR_MODE, c.u8WDRMode);
    r.w8(AE_REG_FSWDR_MODE, c.enFSWDRMode);
    r.w8(AE_REG_RATIO_MANUAL, c.bManualRatio);
    if (c.bManualRatio)
        r.w16(AE_REG_RATIO, c.u32ManualRatio & 0xFFF);
    AeHistWeightUpdate(handle);
    r.w8(AE_REG_STRATEGY, c.enStrategy);
    r.w8(AE_REG_STRATEGY_LIMIT, c.u16StrategyLimit);
    r.w16(AE_REG_STRATEGY_GAIN, c.u16StrategyGain);
    publish_limits(r, c);
    r.w8(AE_REG_SHIFT_TIME, c.u32TimeShift);
    r.w8(AE_REG_SHIFT_AGAIN, c.stAgain.u32Shift);
    r.w8(AE_REG_SHIFT_DGAIN, c.stDgain.u32Shift);
    r.w8(AE_REG_SHIFT_ISPDGAIN, c.stIspDgain.u32Shift);
    r.w16(AE_REG_SHIFT_SYSGAIN, c.u32SysGainShift);
    r.w8(AE_REG_FLICKER_FREQ, c.u32FlickerFreq >> 8);
    u32 fps;
    memcpy(&fps, &c.f32Fps, sizeof fps);
    r.w32(AE_REG_FPS, fps);
    c.u32GainThreshold = AeCalcSysGain(c.u32SysGainShift, c.stAgain.u32Max, c.stAgain.u32Shift, c.stDgain.u32Max,
                                       c.stDgain.u32Shift, c.stIspDgain.u32Max, c.stIspDgain.u32Shift);
    r.w32(AE_REG_GAIN_THRESH, ae_gain_out(c.u32GainThreshold, c.u32SysGainShift));
    AeRouteExtRegsInit(handle);
    r.w8(AE_REG_INTERVAL, 1);
    return 0;
}

s32 AiExtRegsInit(s32 handle)
{
    AeRegs r{handle};
    const AE_CTX_S &c = g_astAeCtx[handle];
    r.w16(AE_REG_IRIS_TYPE, c.enIrisType & 3);
    r.w8(AE_REG_PIRIS_TABLE_NEW, c.bStepTableChanged);
    r.w8(AE_REG_PIRIS_ZERO_MAX, c.bZeroIsMax);
    r.w16(AE_REG_PIRIS_TOTAL, c.u16TotalStep);
    r.w16(AE_REG_PIRIS_COUNT, c.u16StepCount);
    r.w8(AE_REG_FNO_MAX, c.u32SnsMaxFno);
    r.w8(AE_REG_FNO_MIN, c.u32SnsMinFno);
    for (u32 i = 0; i < c.u16StepCount && i < 1024; i++)
        r.w16(AE_REG_PIRIS_TABLE + 2 * i, c.au16StepFNOTable[i]);
    return 0;
}

s32 AeLFModeExtRegsInit(s32 handle)
{
    AeRegs r{handle};
    const AE_CTX_S &c = g_astAeCtx[handle];
    r.w8(AE_REG_COMPENSATION, c.u8Compensation);
    publish_limits(r, c);
    AeRouteExtRegsInit(handle);
    return 0;
}

void ae_read_ext_regs(s32 handle)
{
    AeRegs r{handle};
    AE_CTX_S &c = g_astAeCtx[handle];
    take_exposure(r, c, handle);
    u32 fps = r.r32(AE_REG_FPS);
    memcpy(&c.f32Fps, &fps, sizeof fps);
    for (u32 i = 0; i < 4; i++) {
        c.au16HistThresh[i] = (u16)r.r16(AE_REG_HIST_THRESH + 2 * i);
        c.as16HistSlope[i] = AeDirectToComplement((u16)r.r16(AE_REG_HIST_SLOPE + 2 * i));
    }
    c.s16HistOffset = (s16)r.r16(AE_REG_HIST_OFFSET);
    take_wdr_ratio(c, handle);
    c.u8WDRMode = (u8)r.r8(AE_REG_WDR_MODE);

    c.u32Reg17E = r.r16(AE_REG_RESERVED17E);
    c.stDbg = {r.r16(AE_REG_DBG_EN) & 1, r.r32(AE_REG_DBG_ADDR), r.r32(AE_REG_DBG_DEPTH) & 0xFFFF,
               r.r32(AE_REG_DBG_SIZE)};
    read_routes(c, handle);
    take_iris(c, handle);

    c.bAlgSwitch = r.r8(AE_REG_ALG_SWITCH) & 1;
    c.u16WeightR = (u16)r.r16(AE_REG_WEIGHT_R);
    c.u16WeightB = (u16)r.r16(AE_REG_WEIGHT_B);
    c.u8ZoneHigh = (u8)r.r8(AE_REG_ZONE_HIGH);
    c.u8ZoneLow = (u8)r.r8(AE_REG_ZONE_LOW);
    c.bZoneCheck = r.r8(AE_REG_ZONE_CHECK) & 1;
    c.u16ZoneThresh = (u16)r.r16(AE_REG_ZONE_THRESH);
    const u32 sw = r.r8(AE_REG_SWITCHES);
    c.bSwitch1 = (sw >> 1) & 1;
    c.bSwitch2 = (sw >> 2) & 1;
}

s32 AeExtRegsUpdate(s32 handle)
{
    AeRegs r{handle};
    AE_CTX_S &c = g_astAeCtx[handle];
    AE_EXPOSURE_STATUS_S s = {};
    s.s16LumError = c.s16LumError;
    s.u32ExpTime = c.stResult.au32IntTime[0];
    s.u32ExpTime2 = c.stResult.au32IntTime[1];
    s.u32AGain = gain_reg(c.stAgain, c.stAgain.u32Gain);
    s.u32DGain = gain_reg(c.stDgain, c.stDgain.u32Gain);
    s.u32ISPDGain = gain_reg(c.stIspDgain, c.stIspDgain.u32Gain);
    u32 shifts = c.stAgain.u32Shift + c.stDgain.u32Shift + c.stIspDgain.u32Shift;
    unsigned __int128 e = (unsigned __int128)(c.u32IntTime >> c.u32TimeShift) * c.stAgain.u32Gain *
                          c.stDgain.u32Gain * c.stIspDgain.u32Gain;
    e = shifts >= 6 ? e >> (shifts - 6) : e << (6 - shifts);
    s.u32Exposure = e > 0xFFFFFFFFu ? 0xFFFFFFFFu : (u32)e;
    s.bExposureAtMax = c.u64Exposure >= c.u64ExpMax;
    s.u32LinesPer500ms = c.u32LinesPer500ms;
    s.u32PirisGain = c.u32IrisApe;
    s.u32FrameRateX100 = c.u32FpsX100;
    s.u32ExpRatio = c.u32IspRatio;
    s.u32ISO = c.stResult.u32Iso;
    s.u32FirstStableTime = c.u32FirstStableTime;
    u32 k = 0;
    for (auto *n = route_list_first_node(&c.stRouteList); n && k < ISP_AE_ROUTE_MAX_NODES;
         n = route_list_up_node(&c.stRouteList, n), k++)
        s.astRouteNode[k] = {ae_lines_to_us(c, n->au32Param[0]), ae_gain_out(n->au32Param[1], c.u32SysGainShift),
                             AePirisLinToFNO(n->au32Param[2])};
    s.u32RouteNum = k;
    k = 0;
    for (auto *n = route_list_first_node(&c.stRouteExList); n && k < ISP_AE_ROUTE_MAX_NODES;
         n = route_list_up_node(&c.stRouteExList, n), k++)
        s.astRouteExNode[k] = {ae_lines_to_us(c, n->au32Param[0]), n->au32Param[1], n->au32Param[2],
                               n->au32Param[3], AePirisLinToFNO(n->au32Param[4])};
    s.u32RouteExNum = k;
    vreg_publish(kAeStatusRecord, ae_page(handle), s);

    r.w8(AE_REG_SHIFT_TIME, c.u32TimeShift);
    r.w8(AE_REG_SHIFT_AGAIN, c.stAgain.u32Shift);
    r.w8(AE_REG_SHIFT_DGAIN, c.stDgain.u32Shift);
    r.w8(AE_REG_SHIFT_ISPDGAIN, c.stIspDgain.u32Shift);
    r.w16(AE_REG_SHIFT_SYSGAIN, c.u32SysGainShift);
    // A changed flag is put down only once its route was taken, so a Set
    // that came since is not lost.
    if (c.bRouteTaken && !c.bRouteChanged)
        vreg_done(kAeLibRouteRecord, ae_page(handle));
    if (c.bRouteExTaken && !c.bRouteExChanged)
        vreg_done(kAeLibRouteExRecord, ae_page(handle));
    if (c.bStepTableTaken)
        r.w8(AE_REG_PIRIS_TABLE_NEW, 0);
    c.bRouteTaken = c.bRouteExTaken = c.bStepTableTaken = 0;
    r.w8(AE_REG_STAT_ROUTE_EX_USED, c.bRouteExMode);
    return 0;
}
