// Exposure calculation and process: the precision model, gain targets, the
// split of an exposure into integration time, gains and aperture with
// anti-flicker, the time limits of a cycle, the slow frame rate, and the
// walk along the route.
#include "isp/3a/ae/ae_ctx.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

u64 nz(u64 v) { return v ? v : 1; }
u32 ape_of(u32 fno) { return 1u << (fno > 10 ? 10 : fno); }
bool iris_on(const AE_CTX_S &c) { return c.bIrisEnable == 1; }
bool flicker_frame_rate(f32 fps, u32 freq)
{
    auto is = [&](f32 v) { return std::fabs(fps - v) < 1e-3f; };
    return ((is(30) || is(60)) && freq == 0x3C00) || ((is(25) || is(50)) && freq == 0x3200);
}

// A gain stage chosen for exposure `e` over divisor `d`; the exposure left.
u64 calc_sensor_gain(AE_CTX_S &c, AE_GAIN_S &g, const AE_PREC_S &p, void (*table)(u32 *, u32 *), u64 e, u64 d)
{
    switch (p.enType) {
    case 2: {
        u64 a = AeBoundariesCheck64((e << g.u32Shift) / nz(d), g.u32Min, g.u32Max);
        u32 gain = (u32)a, index = g.u32Index;
        if (table)
            table(&gain, &index);
        g.u32Gain = gain;
        g.u32Index = index;
        return (e << g.u32Shift) / nz(gain);
    }
    case 1: {
        g.u32Gain = (u32)AeBoundariesCheck64((e << p.u32Shift) / nz(d), g.u32Min, g.u32Max);
        return (e << p.u32Shift) / nz(g.u32Gain);
    }
    case 0: {
        u32 a = g.u32Min, index = 0;
        u64 result = e;
        u64 step = 1024;
        for (u32 k = 1; k <= g.au32DbSteps[0]; k++) {
            step = (step << p.u32Shift) / nz(p.u32Ratio);
            u64 cand = ((step << g.u32Shift) + 512) >> 10;
            u64 r = (e << g.u32Shift) / nz(cand);
            if (r <= d)
                break;
            a = (u32)AeBoundaryMaxCheck64(cand, 0xFFFFFFFFu);
            index = k;
            result = r;
        }
        g.u32Gain = AeBoundariesCheck(a, g.u32Min, g.u32Max);
        g.u32Index = index;
        return result;
    }
    default:
        return e;
    }
}

// dB steps up to a gain limit, rounded to the nearer step.
u32 db_steps(const AE_PREC_S &p, u32 shift, u32 limit)
{
    u64 g = 1ull << (shift + 10), prev = 1ull << shift, v = prev;
    u32 k = 0;
    for (u32 guard = 0; guard < 4096; guard++) {
        g = (g << p.u32Shift) / nz(p.u32Ratio);
        v = (g + 512) >> 10;
        if (limit <= v)
            break;
        k++;
        prev = v;
    }
    return v - limit < limit - prev ? k + 1 : k;
}

void db_step_counts(AE_GAIN_S &g, const AE_PREC_S &p)
{
    if (p.enType != 0)
        return;
    const u32 limits[2] = {g.u32Max, g.u32Min};
    for (u32 i = 0; i < 2; i++) {
        if (limits[i] == g.au32DbStepOf[i])
            continue;
        g.au32DbSteps[i] = db_steps(p, g.u32Shift, limits[i]);
        g.au32DbStepOf[i] = limits[i];
    }
}

void clamp_user_gain(AE_GAIN_S &g)
{
    g.u32Max = AeBoundariesCheck(g.u32Max, g.u32SnsMin, g.u32SnsMax);
    g.u32Min = AeBoundariesCheck(g.u32Min, g.u32SnsMin, g.u32SnsMax);
    if (g.u32Max == 0)
        g.u32Max = 1;
    if (g.u32Min == 0)
        g.u32Min = 1;
}

u32 sys_gain_of(const AE_CTX_S &c, u32 a, u32 d, u32 i)
{
    return AeCalcSysGain(c.u32SysGainShift, a, c.stAgain.u32Shift, d, c.stDgain.u32Shift, i, c.stIspDgain.u32Shift);
}

u32 min_sys_gain(const AE_CTX_S &c) { return sys_gain_of(c, c.stAgain.u32Min, c.stDgain.u32Min, c.stIspDgain.u32Min); }

void update_sys_gain(AE_CTX_S &c)
{
    c.u32SysGain = sys_gain_of(c, c.stAgain.u32Gain, c.stDgain.u32Gain, c.stIspDgain.u32Gain);
}

// The working limits from the sensor's profile; the long-frame WDR variant
// also clears the slots and takes the profile's compensation.
void sns_init(AE_CTX_S &c, bool long_frame)
{
    const AE_SENSOR_PROFILE_S &p = c.stSnsDft;
    AeAccu2Prec(p.stIntTimeAccu.enAccuType, p.stIntTimeAccu.f32Accuracy, &c.stTimePrec);
    AeAccu2Prec(p.stAgainAccu.enAccuType, p.stAgainAccu.f32Accuracy, &c.stAgainPrec);
    AeAccu2Prec(p.stDgainAccu.enAccuType, p.stDgainAccu.f32Accuracy, &c.stDgainPrec);
    c.u32TimeShift = c.stTimePrec.enType == 1 ? c.stTimePrec.u32Shift : 1;
    c.stAgain.u32Shift = c.stAgainPrec.enType == 0 ? 10 : c.stAgainPrec.u32Shift;
    c.stDgain.u32Shift = c.stDgainPrec.enType == 0 ? 10 : c.stDgainPrec.u32Shift;
    AE_GAIN_S &isp = c.stIspDgain;
    isp.u32Shift = p.u32ISPDgainShift;
    isp.u32Max = p.u32MaxISPDgainTarget;
    isp.u32Min = p.u32MinISPDgainTarget;
    isp.u32SnsMin = 1u << isp.u32Shift;
    isp.u32SnsMax = ((c.u8WDRMode >= 1 && c.u8WDRMode <= 10 ? 256u : 16u) << isp.u32Shift) - 1;
    c.u32SysGainShift = 10;

    c.u32SnsMaxTime = AePrec2Linear(p.u32MaxIntTime, &c.stTimePrec, c.u32TimeShift);
    c.u32SnsMinTime = AePrec2Linear(p.u32MinIntTime, &c.stTimePrec, c.u32TimeShift);
    c.u32MaxTime = AePrec2Linear(p.u32MaxIntTimeTarget, &c.stTimePrec, c.u32TimeShift);
    c.u32MinTime = AePrec2Linear(p.u32MinIntTimeTarget, &c.stTimePrec, c.u32TimeShift);
    c.u32PreSnsMaxTime = c.u32SnsMaxTime;
    c.f32TimeStep = p.stIntTimeAccu.f32Accuracy;
    struct {
        AE_GAIN_S &g;
        const AE_PREC_S &prec;
        u32 smax, smin, umax, umin;
    } gains[] = {{c.stAgain, c.stAgainPrec, p.u32MaxAgain, p.u32MinAgain, p.u32MaxAgainTarget, p.u32MinAgainTarget},
                 {c.stDgain, c.stDgainPrec, p.u32MaxDgain, p.u32MinDgain, p.u32MaxDgainTarget, p.u32MinDgainTarget}};
    for (auto &g : gains) {
        g.g.u32SnsMax = AePrec2Linear(g.smax, &g.prec, g.g.u32Shift);
        g.g.u32SnsMin = AePrec2Linear(g.smin, &g.prec, g.g.u32Shift);
        g.g.u32Max = AePrec2Linear(g.umax, &g.prec, g.g.u32Shift);
        g.g.u32Min = AePrec2Linear(g.umin, &g.prec, g.g.u32Shift);
        g.g.au32DbStepOf[0] = g.g.au32DbStepOf[1] = 0;
    }
    c.u32SysGainMax = sys_gain_of(c, c.stAgain.u32Max, c.stDgain.u32Max, isp.u32Max);
    c.u32SysGainMin = min_sys_gain(c);
    AeCalcGainTarget((s32)(&c - g_astAeCtx));

    c.u32SnsMaxFno = std::min<u32>(p.enMaxIrisFNO, 10);
    c.u32SnsMinFno = std::min<u32>(p.enMinIrisFNO, 10);
    c.u32OpenFno = c.u32SnsMaxFno;
    c.u32CloseFno = c.u32SnsMinFno;
    c.bRouteExValid = c.bRouteExMode = p.bAERouteExValid;
    c.f32LastFps = c.f32LastFpsSet = 0;
    if (long_frame) {
        memset(c.au64SlotTime, 0, sizeof c.au64SlotTime);
        memset(c.au32SlotLines, 0, sizeof c.au32SlotLines);
        c.u8Compensation = p.u8AeCompensation;
    }
}

// ---- the walk along a route ------------------------------------------------------------------

// The segment of the list that holds `e` this cycle and the node whose
// strategy applies; false when the default allocation has to serve.
template <u32 P>
bool route_segment(AE_CTX_S &c, AeRouteList<P> *list, AeRouteNode<P> *&low, AeRouteNode<P> *&high, u64 &e,
                   AeRouteNode<P> *&ref, u32 &strategy)
{
    const u32 SAME = AeRouteList<P>::SAME;
    if (!low || !high) {
        route_list_joint(list, e, &low, &high);
        if (!low || !high)
            return false;
    }
    if ((e > high->u64Mltply && !route_list_up_node(list, high)) ||
        (e < low->u64Mltply && !route_list_down_node(list, low)))
        return false;
    const bool rising = c.u32Exposure > c.u32PreExposure;
    const bool falling = c.u32Exposure < c.u32PreExposure;
    if (rising && e > high->u64Mltply) {
        const bool big = c.u32Exposure - c.u32PreExposure > 6;
        AeRouteNode<P> *next = route_list_up_node(list, high);
        if (high->u32UpStgy == SAME) {
            if (big) {
                low = next;
                high = next ? route_list_up_node(list, next) : nullptr;
            } else {
                e = high->u64Mltply;
            }
        } else {
            low = high;
            high = next;
        }
    } else if (falling && e < low->u64Mltply) {
        const bool big = c.u32PreExposure - c.u32Exposure > 6;
        AeRouteNode<P> *prev = route_list_down_node(list, low);
        if (low->u32DwStgy == SAME) {
            if (big) {
                high = prev;
                low = prev ? route_list_down_node(list, prev) : nullptr;
            } else {
                e = low->u64Mltply;
            }
        } else {
            high = low;
            low = prev;
        }
    }
    if (!low || !high) {
        low = high = nullptr;
        return false;
    }
    ref = rising ? low : high;
    strategy = rising ? low->u32UpStgy : high->u32DwStgy;
    return true;
}

// The route's distribution: time, system gain or iris moves.
void route_distribute(AE_CTX_S &c, AE_ROUTE_LIST_NODE_S *n, AE_ROUTE_LIST_NODE_S *high, u64 e, u32 strategy)
{
    const bool iris = iris_on(c);
    if (strategy >= (iris ? 3u : 2u))
        return;
    const u32 gain = n->au32Param[1], ape = n->au32Param[2];
    if (strategy == 0) {
        c.u32IntTime = (u32)AeBoundaryMaxCheck64(e / nz(iris ? (u64)gain * ape : gain), 0xFFFFFFFFu);
        if (iris)
            c.u32IrisApe = ape;
        AeCalcIntTime(c);
        if (iris)
            e = AeCalcIrisApe(c, e, 0, false, high->au32Param[2]);
    } else if (strategy == 1) {
        c.u32IntTime = n->au32Param[0];
        if (iris)
            c.u32IrisApe = ape;
        AeCalcIntTime(c);
        if (iris)
            e = AeCalcIrisApe(c, e, 0, false, high->au32Param[2]);
    } else {
        c.u32IntTime = n->au32Param[0];
        AeCalcIntTime(c);
        u64 off = (u64)((f32)gain * c.f32TimeOffset);
        u64 d = (u64)gain * c.u32IntTime;
        e = AeCalcIrisApe(c, e, d > off ? d - off : 0, true, high->au32Param[2]);
    }
    AeDealGain(c, e, ae_time_base(c, c.u32IntTime));
}

// The route-ex's distribution: time, one of the three gains or the iris.
void route_ex_distribute(AE_CTX_S &c, AE_ROUTE_EX_LIST_NODE_S *n, AE_ROUTE_EX_LIST_NODE_S *high, u64 e,
                         u32 strategy)
{
    const bool iris = iris_on(c);
    if (strategy >= (iris ? 5u : 4u))
        return;
    const u64 A = n->au32Param[1], D = n->au32Param[2], I = n->au32Param[3], P = n->au32Param[4];
    const u64 G = (A * D * I) >> 20;
    c.u32IntTime = strategy == 0 ? (u32)AeBoundaryMaxCheck64(e / nz(iris ? G * P : G), 0xFFFFFFFFu) : n->au32Param[0];
    if (iris)
        c.u32IrisApe = (u32)P;
    AeCalcIntTime(c);
    u64 r = e;
    if (iris) {
        u64 off = (u64)((f32)G * c.f32TimeOffset), d = (u64)c.u32IntTime * G;
        r = AeCalcIrisApe(c, e, strategy == 4 ? (d > off ? d - off : 0) : 0, strategy == 4, high->au32Param[4]);
    }
    const u64 B = ae_time_base(c, c.u32IntTime);
    r = std::min(r, (B * c.u32GainTargetMax) >> c.u32SysGainShift);
    if (strategy == 1)
        AeCalcAgain(c, r, (B * ((D * I) >> 10)) >> 10);
    else
        AeCalcAgain(c, std::min(r, strategy == 2 ? (B * (A + 1)) >> 10
                                               : std::min((B * c.u32GainTargetMax) >> c.u32SysGainShift,
                                                          (B * (A + 1)) >> 10)),
                    B);
    if (strategy == 2)
        AeCalcDgain(c, r, (B * ((A * I) >> 10)) >> 10);
    else
        AeCalcDgain(c, std::min(r, (B * (D + 1)) >> 10), B);
    u64 sensor = (((B * c.stAgain.u32Gain) >> c.stAgain.u32Shift) * c.stDgain.u32Gain) >> c.stDgain.u32Shift;
    AeCalcIspDgain(c, r, sensor);
    update_sys_gain(c);
}

void manual_process(AE_CTX_S &c, u64 e)
{
    const bool iris = iris_on(c);
    if (iris) {
        u32 ape;
        if (c.u32IrisStatus == 1)
            ape = 1024;
        else if (c.u32IrisStatus == 2)
            ape = 0;
        else
            ape = c.bIrisManual ? ape_of(c.u32ManualFno) : c.u32IrisApe;
        c.u32IrisApe = AeBoundariesCheck(ape, ape_of(c.u32CloseFno), ape_of(c.u32OpenFno));
        if (c.enAlgIrisType == 1)
            AePirisStepCalc(c);
        e /= nz(c.u32IrisApe);
    }
    const u32 bits = c.u32ManualBits;
    struct Stage {
        AE_GAIN_S &g;
        bool manual;
        u64 (*calc)(AE_CTX_S &, u64, u64);
    } stages[] = {{c.stAgain, (bits & AE_MANUAL_AGAIN) != 0, AeCalcAgain},
                  {c.stDgain, (bits & AE_MANUAL_DGAIN) != 0, AeCalcDgain},
                  {c.stIspDgain, (bits & AE_MANUAL_ISPDGAIN) != 0, AeCalcIspDgain}};
    const u64 e_start = e;
    for (auto &s : stages) {
        if (!s.manual)
            continue;
        u32 v = AeBoundariesCheck(s.g.u32Manual, s.g.u32Min, s.g.u32Max);
        v = v ? v : 1;
        e = s.calc(c, e, (e << s.g.u32Shift) / v);
    }
    const bool manual_time = bits & AE_MANUAL_TIME;
    u32 t;
    if (manual_time) {
        t = c.u32ManualTime >> c.u32TimeShift;
        if (bits & AE_MANUAL_TIME_LIMIT)
            t = AeBoundariesCheck(t, c.u32MinTime, c.u32MaxTime);
        if (c.f32TimeStep > 1.0f) {
            u32 n = (u32)c.f32TimeStep;
            t = n * (t / n);
        }
    } else {
        t = c.u32MaxTimeTarget;
    }
    for (auto &s : stages)
        if (!s.manual)
            e = s.calc(c, e, (u64)t << c.u32SysGainShift);
    if (manual_time) {
        c.u32IntTime = t;
    } else {
        c.u32IntTime = (u32)AeBoundaryMaxCheck64((e << c.u32TimeShift) >> c.u32SysGainShift, 0xFFFFFFFFu);
        AeCalcIntTime(c);
    }
    // From the final time the automatic gains take what is left.
    e = e_start;
    for (auto &s : stages)
        if (s.manual)
            e = (e << s.g.u32Shift) / nz(s.g.u32Gain);
    const u64 base = (u64)c.u32IntTime << c.u32SysGainShift;
    if (!stages[0].manual)
        e = AeCalcAgain(c, e, base);
    if (!stages[1].manual)
        e = AeCalcDgain(c, e, stages[2].manual ? base : (base * c.stIspDgain.u32Min) >> c.stIspDgain.u32Shift);
    if (!stages[2].manual)
        AeCalcIspDgain(c, e, base);
    update_sys_gain(c);
}

// The aperture a default allocation opens or closes to.
u32 default_ape(const AE_CTX_S &c, u32 fno)
{
    u32 clamped = AeBoundariesCheck(1024, ape_of(c.u32CloseFno), ape_of(c.u32OpenFno));
    if (c.u32IrisStatus == 1)
        return clamped;
    if (c.u32IrisStatus == 2)
        return 0;
    return c.enAlgIrisType == 1 ? ape_of(fno) : clamped;
}

s32 alloc_default(AE_CTX_S &c, u64 e, u32 time, u64 gain_base, u64 product)
{
    if (iris_on(c)) {
        if (e >= product) {
            c.u32IrisApe = default_ape(c, c.u32OpenFno);
            if (c.enAlgIrisType == 1)
                AePirisStepCalc(c);
            e /= nz(c.u32IrisApe);
        } else {
            c.u32IrisApe = default_ape(c, c.u32CloseFno);
            if (c.enAlgIrisType == 1)
                AePirisStepCalc(c);
            e = (ae_time_base(c, time) * gain_base) >> c.u32SysGainShift;
        }
    }
    c.u32IntTime = (u32)AeBoundaryMaxCheck64(e / nz(std::max(min_sys_gain(c), c.u32GainTargetMin)), 0xFFFFFFFFu);
    AeCalcIntTime(c);
    AeDealGain(c, e, ae_time_base(c, c.u32IntTime));
    return 0;
}

// A list is rebuilt when a limit it was made for moved.
template <size_t N> bool rebuild_due(u32 (&rec)[N], const u32 (&now)[N])
{
    if (memcmp(rec, now, sizeof rec) == 0)
        return false;
    memcpy(rec, now, sizeof rec);
    return true;
}

} // namespace

// ---- precision ----------------------------------------------------------------------------------

s32 AeAccu2Prec(u32 type, f32 accuracy, AE_PREC_S *prec)
{
    switch (type) {
    case 1: {
        u32 shift = 0;
        for (double a = accuracy; a > 0 && a < 1.0 && shift < 31; a *= 2)
            shift++;
        *prec = {1, 1, shift};
        break;
    }
    case 0: {
        u32 shift = accuracy < 0.1f ? 12 : 10;
        u32 ratio = (u32)std::floor((double)(1u << shift) / std::pow(10.0, accuracy / 20.0) + 0.5);
        *prec = {0, ratio, shift};
        break;
    }
    case 2:
        *prec = {2, 1, 10};
        break;
    default:
        prec->enType = type;
        break;
    }
    return 0;
}

u32 AePrec2Linear(u32 v, const AE_PREC_S *p, u32 shift)
{
    switch (p->enType) {
    case 1:
        if (shift == p->u32Shift)
            return v;
        return shift > p->u32Shift ? v << (shift - p->u32Shift) : v >> (p->u32Shift - shift);
    case 0: {
        u64 g = 1024;
        for (u32 k = 0; k < v && k < 4096; k++)
            g = (g << p->u32Shift) / nz(p->u32Ratio);
        return (u32)AeBoundaryMaxCheck64(((g + 512) >> 10) << shift, 0xFFFFFFFFu);
    }
    case 2:
        return v;
    default:
        return 0;
    }
}

u32 AeCalcSysGain(u32 sys_shift, u32 a, u32 as, u32 d, u32 ds, u32 i, u32 is)
{
    const u32 s = as + ds + is;
    unsigned __int128 v = (unsigned __int128)a * d * i << sys_shift;
    v = s ? (v + ((unsigned __int128)1 << (s - 1))) >> s : v;
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : (u32)v;
}

// ---- gains --------------------------------------------------------------------------------------------

s32 AeCalcGainTarget(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    clamp_user_gain(c.stAgain);
    clamp_user_gain(c.stDgain);
    clamp_user_gain(c.stIspDgain);
    c.u32GainTargetMax = AeBoundariesCheck(sys_gain_of(c, c.stAgain.u32Max, c.stDgain.u32Max, c.stIspDgain.u32Max),
                                           c.u32SysGainMin, c.u32SysGainMax);
    c.u32GainTargetMin = AeBoundariesCheck(min_sys_gain(c), c.u32SysGainMin, c.u32SysGainMax);
    db_step_counts(c.stAgain, c.stAgainPrec);
    db_step_counts(c.stDgain, c.stDgainPrec);
    return 0;
}

u64 AeCalcAgain(AE_CTX_S &c, u64 e, u64 d)
{
    return calc_sensor_gain(c, c.stAgain, c.stAgainPrec, c.stSnsCb.pfn_cmos_again_calc_table, e, d);
}

u64 AeCalcDgain(AE_CTX_S &c, u64 e, u64 d)
{
    return calc_sensor_gain(c, c.stDgain, c.stDgainPrec, c.stSnsCb.pfn_cmos_dgain_calc_table, e, d);
}

u64 AeCalcIspDgain(AE_CTX_S &c, u64 e, u64 d)
{
    AE_GAIN_S &g = c.stIspDgain;
    g.u32Gain = (u32)AeBoundariesCheck64(((e << g.u32Shift) + d / 2) / nz(d), g.u32Min, g.u32Max);
    return (e << g.u32Shift) / nz(g.u32Gain);
}

// The analog gain takes what it can with the digital gains at their
// minimum, then the digital gain, then the ISP gain the rest.
s32 AeDealGain(AE_CTX_S &c, u64 e, u64 b)
{
    const AE_GAIN_S &d = c.stDgain, &i = c.stIspDgain;
    u64 t = std::min(e, (b * ((u64)c.u32GainTargetMax + 1)) >> c.u32SysGainShift);
    u64 r1 = AeCalcAgain(c, t, (b * d.u32Min * i.u32Min) >> (d.u32Shift + i.u32Shift));
    u64 r2 = AeCalcDgain(c, r1, (b * i.u32Min) >> i.u32Shift);
    AeCalcIspDgain(c, r2, b);
    update_sys_gain(c);
    return 0;
}

// ---- integration time ---------------------------------------------------------------------------------

u32 AeCalcAntiflicker(u32 t, u32 freq, u32 line_rate)
{
    if (!freq)
        return t;
    u64 p = (u64)line_rate << 8;
    u64 n = std::max<u64>((u64)t * freq / nz(p), 1);
    return (u32)AeBoundaryMaxCheck64(p * n / freq, 0xFFFFFFFFu);
}

u32 AeCalcAntiflicker2(u32 t, u32 freq, u32 line_rate, u32 mode, u32 enable)
{
    if (!enable || !freq)
        return t;
    if (mode != 0 && t < (4864ull * line_rate) / ((u64)freq * 20))
        return t;
    return AeCalcAntiflicker(t, freq, line_rate);
}

s32 AeCalcIntTime(AE_CTX_S &c)
{
    auto clamp = [&](u32 v) { return AeBoundariesCheck(v, c.u32MinTime, c.u32MaxTime); };
    auto af = [&](u32 v) {
        return AeCalcAntiflicker2(v, c.u32FlickerFreq, c.u32LinesPer500ms, c.enAntiFlickerMode, c.bAntiFlicker);
    };
    u32 t = clamp(c.u32IntTime);
    const u32 first = t;
    const bool two_frame = c.u8WDRMode >= 2 && c.u8WDRMode <= 4 && !(c.u8WDRMode == 2 && c.enFSWDRMode == 1);
    if (two_frame) {
        const u64 ratio = nz(c.u32Ratio);
        if (c.enStrategy == 0) {
            if (t != c.u32MaxTimeTarget)
                t = (u32)(((u64)af((u32)((ratio * t) >> 6)) << 6) / ratio);
            t = clamp(t);
        } else if (c.enStrategy == 1) {
            if (t != c.u32MaxTimeTarget)
                t = af(t);
            t = clamp(t);
        }
    } else {
        if (t != c.u32MaxTimeTarget)
            t = af(t);
        // A full frame at a rate that is a multiple of the flicker needs no rounding.
        if (c.bAntiFlicker && flicker_frame_rate(c.f32Fps, c.u32FlickerFreq) && first == c.u32SnsMaxTime)
            t = first;
        t = clamp(t);
    }
    if (c.f32TimeStep > 1.0f) {
        u32 n = (u32)c.f32TimeStep;
        t = n * (t / n);
    }
    c.u32IntTime = t;
    return 0;
}

// ---- iris ----------------------------------------------------------------------------------------------

u64 AeCalcIrisApe(AE_CTX_S &c, u64 e, u64 d, bool iris_step, u32 limit)
{
    if (c.u32IrisStatus == 1)
        c.u32IrisApe = 1024;
    else if (c.u32IrisStatus == 2)
        c.u32IrisApe = 0;
    else if (c.enAlgIrisType == 0)
        c.u32IrisApe = 1024;
    else if (iris_step)
        c.u32IrisApe = (u32)std::min<u64>(e / nz(d), limit);
    if (c.u32IrisStatus != 2)
        c.u32IrisApe = AeBoundariesCheck(c.u32IrisApe, ape_of(c.u32CloseFno), ape_of(c.u32OpenFno));
    if (c.enAlgIrisType == 1)
        AePirisStepCalc(c);
    return e / nz(c.u32IrisApe);
}

void AePirisStepCalc(AE_CTX_S &c)
{
    const u32 n = std::min<u32>(c.u16StepCount, 1024), total = c.u16TotalStep;
    if (n == 0)
        return;
    const u16 *t = c.au16StepFNOTable;
    u32 a = c.u32IrisApe;
    if (a >= t[n - 1]) {
        c.u32IrisApe = t[n - 1];
        c.u32PirisPos = c.bZeroIsMax ? 0 : total - 1;
    } else if (a == 0) {
        c.u32PirisPos = c.bZeroIsMax ? total - 1 : 0;
    } else if (n >= 2) {
        u32 k = 1;
        if (a >= t[1]) {
            for (k = 2; k < n && t[k] <= a; k++) {
            }
            if (k >= n)
                return;
        }
        c.u32IrisApe = t[k - 1];
        c.u32PirisPos = c.bZeroIsMax ? n - k : k + (total - n);
    }
}

// ---- the default allocation -------------------------------------------------------------------------

s32 AeExposureAllocDefault(u64 e, s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    u32 time, gain;
    u64 product;
    if (auto *n = route_list_first_node(&c.stRouteList)) {
        time = n->au32Param[0];
        gain = n->au32Param[1];
        product = n->u64Mltply;
    } else {
        time = c.u32MinTime;
        gain = c.u32GainTargetMin;
        product = (u64)time * gain * (iris_on(c) ? ape_of(c.u32CloseFno) : 1);
    }
    return alloc_default(c, e, time, gain, product);
}

s32 AeExposureAllocDefaultEx(u64 e, s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    u32 time;
    u64 a, d, i, product;
    if (auto *n = route_list_first_node(&c.stRouteExList)) {
        time = n->au32Param[0];
        a = n->au32Param[1], d = n->au32Param[2], i = n->au32Param[3];
        product = n->u64Mltply;
    } else {
        time = c.u32MinTime;
        a = ae_gain_out(c.stAgain.u32Min, c.stAgain.u32Shift);
        d = ae_gain_out(c.stDgain.u32Min, c.stDgain.u32Shift);
        i = ae_gain_out(c.stIspDgain.u32Min, c.stIspDgain.u32Shift);
        product = (u64)time * min_sys_gain(c) * (iris_on(c) ? ape_of(c.u32CloseFno) : 1);
    }
    return alloc_default(c, e, time, (a * d * i) >> 20, product);
}

// ---- a cycle's limits -------------------------------------------------------------------------------------

s32 AeExposureInitialize(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const AE_SENSOR_PROFILE_S &p = c.stSnsDft;
    c.u64Exposure = c.u64ReqExposure = c.u64ExpMax = c.u64ExpMin = 0;
    memset(c.au32RouteRec, 0, sizeof c.au32RouteRec);
    memset(c.au32RouteExRec, 0, sizeof c.au32RouteExRec);
    c.pstJointLow = c.pstJointHigh = nullptr;
    c.pstJointExLow = c.pstJointExHigh = nullptr;
    c.u32MaxTimeTarget = c.u32MinTimeTarget = 0;
    c.u32ManualBits = 0;
    c.stAgain.u32Manual = c.stDgain.u32Manual = c.stIspDgain.u32Manual = 0;
    c.u32ManualTime = c.u32ManualTimeUs = 0;
    c.bManualExpValue = c.u32ExpValue = c.u32PreExpValue = 0;
    c.enAntiFlickerMode = c.bAntiFlicker = 0;
    c.bSubFlicker = c.bSubFlickerActive = 0;
    c.u8LumaDiff = 0;
    c.enOpType = c.enPreOpType = 0;
    c.enAeMode = c.enPreAeMode = 1;
    c.u16SlowFactor = 256;
    c.bExpUpdate = c.bSettingChanged = 1;
    c.u32GainThreshold = 0xFFFF;
    c.f32TimeOffset = p.stIntTimeAccu.f32Offset;
    c.u32Offset = (u32)(p.stIntTimeAccu.f32Offset * 1024);
    c.u32LinesPer500ms = p.u32LinesPer500ms;
    c.u32FlickerFreq = p.u32FlickerFreq << 8;
    c.bQsWaiting = 1;
    c.bQsPending = 0;
    c.u32QsFrame = 0;
    c.u32FirstStableTime = 0;
    sns_init(c, false);
    c.u32FullLinesStd = c.u32FullLines = AePrec2Linear(p.u32FullLinesStd, &c.stTimePrec, c.u32TimeShift);
    c.u32FullLinesMax = p.u32FullLinesMax ? AePrec2Linear(p.u32FullLinesMax, &c.stTimePrec, c.u32TimeShift) : 0xFFFFFFFF;
    c.u32FpsX100 = (u32)(c.f32Fps * 100);
    c.bZeroIsMax = p.stPirisAttr.bZeroIsMax;
    c.bStepTableChanged = p.stPirisAttr.bStepFNOTableChange;
    c.u16TotalStep = (u16)AeBoundariesCheck(p.stPirisAttr.u16TotalStep, 1, 1024);
    c.u16StepCount = (u16)AeBoundariesCheck(p.stPirisAttr.u16StepCount, 1, 1024);
    memcpy(c.au16StepFNOTable, p.stPirisAttr.au16StepFNOTable, sizeof c.au16StepFNOTable);
    c.u32IrisApe = ape_of(c.u32OpenFno);
    c.u32IntTime = c.u32SnsMinTime;
    c.stAgain.u32Gain = c.stAgain.u32Min;
    c.stDgain.u32Gain = c.stDgain.u32Min;
    c.stIspDgain.u32Gain = c.stIspDgain.u32Min;
    update_sys_gain(c);
    return 0;
}

void AeIrisGetSnsInit(s32 handle) { sns_init(g_astAeCtx[handle], false); }
void AeLFModeGetSnsInit(s32 handle) { sns_init(g_astAeCtx[handle], true); }

s32 AeCalcTimeTarget(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.u32MinTime = AeBoundariesCheck(c.u32MinTime, c.u32SnsMinTime, c.u32SnsMaxTime);
    c.u32MaxTime = AeBoundariesCheck(c.u32MaxTime, c.u32SnsMinTime, c.u32SnsMaxTime);
    const bool on = c.u32FlickerFreq && c.bAntiFlicker;
    auto af = [&](u32 v) { return on ? AeCalcAntiflicker(v, c.u32FlickerFreq, c.u32LinesPer500ms) : v; };
    auto af_ratio = [&](u32 v) {
        const u64 ratio = nz(c.u32Ratio);
        return on ? (u32)(((u64)af((u32)((ratio * v) >> 6)) << 6) / ratio) : v;
    };
    const bool wdr = ae_is_wdr(c.u8WDRMode) && !(ae_wdr_line_mode(c.u8WDRMode) && c.enFSWDRMode == 1);
    const u32 shortest = on && c.enAntiFlickerMode != 1 ? af(c.u32MinTime) : c.u32MinTime;
    if (wdr && c.enStrategy == 0) {
        c.u32MaxTimeTarget = af_ratio(c.u32MaxTime);
        c.u32MinTimeTarget = c.enAntiFlickerMode != 1 ? af_ratio(c.u32MinTime) : c.u32MinTime;
    } else if (wdr && c.enStrategy == 1) {
        c.u32MaxTimeTarget = af(c.u32MaxTime);
        c.u32MinTimeTarget = shortest;
    } else if (!wdr) {
        c.u32MaxTimeTarget = af(c.u32MaxTime);
        if (on && flicker_frame_rate(c.f32Fps, c.u32FlickerFreq) && c.u32MaxTime == c.u32SnsMaxTime)
            c.u32MaxTimeTarget = c.u32MaxTime;
        c.u32MinTimeTarget = shortest;
    }
    c.u32MaxTimeTarget = AeBoundariesCheck(c.u32MaxTimeTarget, c.u32MinTime, c.u32MaxTime);
    c.u32MinTimeTarget = AeBoundariesCheck(c.u32MinTimeTarget, c.u32MinTime, c.u32MaxTime);
    return 0;
}

u32 AeCalcSlowFrameRate(AE_CTX_S &c, u32 exposure, u32 pre_exposure, u16 factor)
{
    u32 lines;
    const u32 full = c.u32FullLinesStd;
    if (c.enAeMode == 0) {
        if (full - 2 < c.u32MaxTime) {
            u64 thresh = AeBoundariesCheck(c.u32GainThreshold, c.u32GainTargetMin, c.u32GainTargetMax);
            u64 predicted = c.bManualExpValue ? (u64)c.u32ExpValue * 16
                                              : (c.u64Exposure * exposure + pre_exposure / 2) / nz(pre_exposure);
            u64 t = predicted / nz(thresh * (iris_on(c) ? ape_of(c.u32OpenFno) : 1));
            t = AeBoundariesCheck64(t, c.u32MinTime, c.u32MaxTime);
            lines = t < full - 2 ? full : (u32)t + 2;
        } else {
            lines = full;
        }
    } else if (c.enAeMode == 1 && c.enPreAeMode != 1) {
        lines = full;
    } else {
        lines = (u32)(((u64)full * factor) >> 8);
    }
    c.enPreAeMode = c.enAeMode;
    return std::min(lines, c.u32FullLinesMax);
}

// ---- the process -------------------------------------------------------------------------------------------

s32 AeExposureProcess(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const bool iris = iris_on(c);
    c.u32OpenFno = AeBoundariesCheck(c.u32OpenFno, c.u32SnsMinFno, c.u32SnsMaxFno);
    c.u32CloseFno = AeBoundariesCheck(c.u32CloseFno, c.u32SnsMinFno, c.u32SnsMaxFno);
    const u64 open = iris ? ape_of(c.u32OpenFno) : 1, close = iris ? ape_of(c.u32CloseFno) : 1;
    const u64 gmax = c.u32GainTargetMax == 0xFFFFFFFF ? c.u32GainTargetMax : (u64)c.u32GainTargetMax + 1;
    c.u64ExpMax = (u64)c.u32MaxTimeTarget * gmax * open;
    const u64 off = (u64)((double)close * c.f32TimeOffset * c.u32GainTargetMin);
    const u64 low = (u64)c.u32MinTimeTarget * c.u32GainTargetMin * close + 1;
    c.u64ExpMin = std::min(low > off ? low - off : 0, c.u64ExpMax);

    if (c.bManualExpValue) {
        c.u64ReqExposure = (u64)c.u32ExpValue * 16;
        if (c.u32ExpValue != c.u32PreExpValue) {
            c.pstJointLow = c.pstJointHigh = nullptr;
            c.pstJointExLow = c.pstJointExHigh = nullptr;
        }
        c.u32PreExpValue = c.u32ExpValue;
    } else {
        c.u64ReqExposure = (c.u64Exposure * c.u32Exposure + c.u32PreExposure / 2) / nz(c.u32PreExposure);
    }
    c.u64Exposure = AeBoundariesCheck64(c.u64ReqExposure, c.u64ExpMin, c.u64ExpMax);
    u64 e = c.u64Exposure;

    const u32 g1024[6] = {ae_gain_out(c.stAgain.u32Min, c.stAgain.u32Shift), ae_gain_out(c.stAgain.u32Max, c.stAgain.u32Shift),
                          ae_gain_out(c.stDgain.u32Min, c.stDgain.u32Shift), ae_gain_out(c.stDgain.u32Max, c.stDgain.u32Shift),
                          ae_gain_out(c.stIspDgain.u32Min, c.stIspDgain.u32Shift),
                          ae_gain_out(c.stIspDgain.u32Max, c.stIspDgain.u32Shift)};
    u32 rec_ex[12] = {c.u32MinTime, c.u32MaxTime, g1024[0], g1024[1], g1024[2], g1024[3],
                      g1024[4], g1024[5], c.u32CloseFno, c.u32OpenFno, c.bIrisEnable, 1};
    if (rebuild_due(c.au32RouteExRec, rec_ex) || c.bRouteExChanged) {
        const u32 n = iris ? 5 : 4;
        const u32 mins[5] = {c.u32MinTime, g1024[0], g1024[2], g1024[4], ape_of(c.u32CloseFno)};
        const u32 maxs[5] = {c.u32MaxTime, g1024[1], g1024[3], g1024[5], ape_of(c.u32OpenFno)};
        AeRouteExUpdate(&c.stRouteEx, &c.stRouteExList, n);
        AeRouteExDelRdcy(&c.stRouteExList, n);
        AeRouteExLimit(&c.stRouteExList, n, mins, maxs);
        c.pstJointExLow = c.pstJointExHigh = nullptr;
        c.bRouteExChanged = 0;
    }
    u32 rec[8] = {c.u32MinTime, c.u32MaxTime, c.u32GainTargetMax, c.u32GainTargetMin,
                  c.u32CloseFno, c.u32OpenFno, c.bIrisEnable, 1};
    if (rebuild_due(c.au32RouteRec, rec) || c.bRouteChanged) {
        const u32 n = iris ? 3 : 2;
        const u32 mins[3] = {c.u32MinTime, c.u32GainTargetMin, ape_of(c.u32CloseFno)};
        const u32 maxs[3] = {c.u32MaxTime, c.u32GainTargetMax, ape_of(c.u32OpenFno)};
        AeRouteUpdate(&c.stRoute, &c.stRouteList, n);
        AeRouteLimit(&c.stRouteList, n, mins, maxs);
        c.pstJointLow = c.pstJointHigh = nullptr;
        c.bRouteChanged = 0;
    }

    if (c.enOpType == 1 && (c.u32ManualBits & (AE_MANUAL_TIME | AE_MANUAL_AGAIN | AE_MANUAL_DGAIN |
                                               AE_MANUAL_ISPDGAIN) || c.bIrisManual)) {
        manual_process(c, e);
        return 0;
    }
    if (c.bRouteExMode == 1) {
        AE_ROUTE_EX_LIST_NODE_S *ref = nullptr;
        u32 strategy = 0;
        if (!route_segment(c, &c.stRouteExList, c.pstJointExLow, c.pstJointExHigh, e, ref, strategy))
            return AeExposureAllocDefaultEx(e, handle);
        route_ex_distribute(c, ref, c.pstJointExHigh, e, strategy);
        return 0;
    }
    AE_ROUTE_LIST_NODE_S *ref = nullptr;
    u32 strategy = 0;
    if (!route_segment(c, &c.stRouteList, c.pstJointLow, c.pstJointHigh, e, ref, strategy))
        return AeExposureAllocDefault(e, handle);
    route_distribute(c, ref, c.pstJointHigh, e, strategy);
    return 0;
}
