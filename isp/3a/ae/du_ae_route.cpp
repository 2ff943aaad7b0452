// The instance's route and route-ex tables: the defaults from the current
// limits, the sensor's defaults, and following the longest integration time.
#include "isp/3a/ae/ae_ctx.h"

#include <algorithm>

namespace {

struct DefaultLimits {
    u32 tmin, tmax, c, o;
};

DefaultLimits default_limits(s32 handle)
{
    AeCalcGainTarget(handle);
    const AE_CTX_S &c = g_astAeCtx[handle];
    return {AeBoundariesCheck(c.u32MinTime, c.u32SnsMinTime, c.u32SnsMaxTime),
            AeBoundariesCheck(c.u32MaxTime, c.u32SnsMinTime, c.u32SnsMaxTime),
            AeBoundariesCheck(c.u32CloseFno, c.u32SnsMinFno, c.u32SnsMaxFno),
            AeBoundariesCheck(c.u32OpenFno, c.u32SnsMinFno, c.u32SnsMaxFno)};
}

u32 route_n(const AE_CTX_S &c) { return c.bIrisEnable == 1 ? 3 : 2; }
u32 route_ex_n(const AE_CTX_S &c) { return c.bIrisEnable == 1 ? 5 : 4; }

} // namespace

// Time first, then gain; with the iris, the aperture opens before either.
s32 AeRouteDefault(s32 handle)
{
    const DefaultLimits l = default_limits(handle);
    AE_CTX_S &c = g_astAeCtx[handle];
    const u32 gmin = c.u32GainTargetMin, gmax = c.u32GainTargetMax;
    ISP_AE_ROUTE_S &t = c.stRoute;
    t = {};
    if (route_n(c) == 3) {
        t.u32TotalNum = 4;
        t.astRouteNode[0] = {l.tmin, gmin, l.c};
        t.astRouteNode[1] = {l.tmin, gmin, l.o};
        t.astRouteNode[2] = {l.tmax, gmin, l.o};
        t.astRouteNode[3] = {l.tmax, gmax, l.o};
    } else {
        t.u32TotalNum = 3;
        t.astRouteNode[0] = {l.tmin, gmin, 0};
        t.astRouteNode[1] = {l.tmax, gmin, 0};
        t.astRouteNode[2] = {l.tmax, gmax, 0};
    }
    AeRouteUpdate(&t, &c.stRouteList, route_n(c));
    c.bRouteChanged = 1; // the next process limits it and looks up its segment again
    return 0;
}

// Time, then analog, digital and ISP digital gain in turn.
s32 AeRouteExDefault(s32 handle)
{
    const DefaultLimits l = default_limits(handle);
    AE_CTX_S &c = g_astAeCtx[handle];
    const u32 amin = ae_gain_out(c.stAgain.u32Min, c.stAgain.u32Shift);
    const u32 amax = ae_gain_out(c.stAgain.u32Max, c.stAgain.u32Shift);
    const u32 dmin = ae_gain_out(c.stDgain.u32Min, c.stDgain.u32Shift);
    const u32 dmax = ae_gain_out(c.stDgain.u32Max, c.stDgain.u32Shift);
    const u32 imin = ae_gain_out(c.stIspDgain.u32Min, c.stIspDgain.u32Shift);
    const u32 imax = ae_gain_out(c.stIspDgain.u32Max, c.stIspDgain.u32Shift);
    const bool iris = route_ex_n(c) == 5;
    const u32 o = iris ? l.o : 0;
    ISP_AE_ROUTE_EX_S &t = c.stRouteEx;
    t = {};
    u32 k = 0;
    if (iris)
        t.astRouteExNode[k++] = {l.tmin, amin, dmin, imin, l.c};
    t.astRouteExNode[k++] = {l.tmin, amin, dmin, imin, o};
    t.astRouteExNode[k++] = {l.tmax, amin, dmin, imin, o};
    t.astRouteExNode[k++] = {l.tmax, amax, dmin, imin, o};
    t.astRouteExNode[k++] = {l.tmax, amax, dmax, imin, o};
    t.astRouteExNode[k++] = {l.tmax, amax, dmax, imax, o};
    t.u32TotalNum = k;
    AeRouteExUpdate(&t, &c.stRouteExList, route_ex_n(c));
    c.bRouteExChanged = 1;
    return 0;
}

s32 AeRouteInitialize(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const ISP_AE_ROUTE_S &p = c.stSnsDft.stAERouteAttr;
    if (p.u32TotalNum == 0)
        return 0;
    c.stRoute = p;
    c.stRoute.u32TotalNum = std::min<u32>(p.u32TotalNum, ISP_AE_ROUTE_MAX_NODES);
    for (auto &n : c.stRoute.astRouteNode)
        n.u32SysGain = ae_gain_in(n.u32SysGain, c.u32SysGainShift);
    AeRouteUpdate(&c.stRoute, &c.stRouteList, route_n(c));
    c.bRouteChanged = 1;
    return 0;
}

s32 AeRouteExInitialize(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const ISP_AE_ROUTE_EX_S &p = c.stSnsDft.stAERouteExAttr;
    if (p.u32TotalNum == 0)
        return 0;
    c.stRouteEx = p;
    c.stRouteEx.u32TotalNum = std::min<u32>(p.u32TotalNum, ISP_AE_ROUTE_MAX_NODES);
    AeRouteExUpdate(&c.stRouteEx, &c.stRouteExList, route_ex_n(c));
    c.bRouteExChanged = 1;
    return 0;
}

namespace {

// Nodes at the old longest time follow it to the new one.
template <class Node> void follow_longest(const AE_CTX_S &c, Node (&nodes)[ISP_AE_ROUTE_MAX_NODES])
{
    for (auto &n : nodes)
        if (n.u32IntTime == c.u32PreSnsMaxTime)
            n.u32IntTime = c.u32SnsMaxTime;
}

} // namespace

s32 AeRouteUpdateMaxIntTime(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    follow_longest(c, c.stRoute.astRouteNode);
    c.bRouteChanged = 1;
    AeRouteUpdate(&c.stRoute, &c.stRouteList, route_n(c));
    return 0;
}

s32 AeRouteExUpdateMaxIntTime(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    follow_longest(c, c.stRouteEx.astRouteExNode);
    c.bRouteExChanged = 1;
    AeRouteExUpdate(&c.stRouteEx, &c.stRouteExList, route_ex_n(c));
    return 0;
}
