// The exposure routes as the library walks them: an ordered list of nodes,
// from the smallest exposure to the largest, kept in a pool of 16.
//
// The route and the route-ex are one list with a different number of
// parameters: the route (integration time, system gain, iris aperture), the
// route-ex (integration time, analog, digital and ISP digital gain, iris
// aperture). A step strategy names the parameter that changes between two
// nodes; the code P (the parameter count) says "same product", P + 1 "not
// set".
#pragma once

#include "isp/isp_3a_comm.h"

constexpr u32 AE_ROUTE_POOL = 16;

template <u32 P> struct AeRouteNode {
    u32 au32Param[P];
    u64 u64Mltply;
    u32 u32UpStgy;
    u32 u32DwStgy;
    AeRouteNode *pstNext;
    AeRouteNode *pstPrev;
};

template <u32 P> struct AeRouteList {
    static constexpr u32 SAME = P;
    static constexpr u32 UNSET = P + 1;
    AeRouteNode<P> astPool[AE_ROUTE_POOL];
    u32 u32BusyNum;
    u32 u32FreeNum;
    AeRouteNode<P> stFree; // circular lists, the head as sentinel
    AeRouteNode<P> stBusy;
};

// Route: IntTime, SysGain, IrisApe. Route-ex: IntTime, AGain, DGain,
// IspDGain, IrisApe.
using AE_ROUTE_LIST_NODE_S = AeRouteNode<3>;
using AE_ROUTE_LIST_S = AeRouteList<3>;
using AE_ROUTE_EX_LIST_NODE_S = AeRouteNode<5>;
using AE_ROUTE_EX_LIST_S = AeRouteList<5>;

// The list primitives.
template <u32 P> void route_list_init(AeRouteList<P> *pstList);
template <u32 P> AeRouteNode<P> *route_list_get_free(AeRouteList<P> *pstList);
template <u32 P> void route_list_put_free(AeRouteList<P> *pstList, AeRouteNode<P> *pstNode);
template <u32 P> void route_list_put_busy(AeRouteList<P> *pstList, AeRouteNode<P> *pstNode);
template <u32 P> void route_list_put_busy_at(AeRouteList<P> *pstList, AeRouteNode<P> *pstNode, AeRouteNode<P> *pstPos);
template <u32 P> AeRouteNode<P> *route_list_first_node(AeRouteList<P> *pstList);
template <u32 P> AeRouteNode<P> *route_list_up_node(AeRouteList<P> *pstList, AeRouteNode<P> *pstNode);
template <u32 P> AeRouteNode<P> *route_list_down_node(AeRouteList<P> *pstList, AeRouteNode<P> *pstNode);
// The first pair of consecutive nodes whose products hold the exposure;
// both null when there is none.
template <u32 P>
s32 route_list_joint(AeRouteList<P> *pstList, u64 u64Exp, AeRouteNode<P> **ppstLow, AeRouteNode<P> **ppstHigh);

// The product of a node's first n parameters: the route multiplies them,
// the route-ex takes the nearest 1024-based product of its three gains.
u64 route_product(const AE_ROUTE_LIST_NODE_S &n, u32 u32ParamNum);
u64 route_product(const AE_ROUTE_EX_LIST_NODE_S &n, u32 u32ParamNum);

// Building a list from a table, and clamping it to the current limits (with
// the nodes that make every step change one parameter, without redundant
// ones). `n` counts the parameters in use (the iris last).
void AeRouteUpdate(const ISP_AE_ROUTE_S *pstTable, AE_ROUTE_LIST_S *pstList, u32 n);
void AeRouteExUpdate(const ISP_AE_ROUTE_EX_S *pstTable, AE_ROUTE_EX_LIST_S *pstList, u32 n);
s32 AeRouteLimit(AE_ROUTE_LIST_S *pstList, u32 n, const u32 *pu32Min, const u32 *pu32Max);
s32 AeRouteExLimit(AE_ROUTE_EX_LIST_S *pstList, u32 n, const u32 *pu32Min, const u32 *pu32Max);
s32 AeRouteExDelRdcy(AE_ROUTE_EX_LIST_S *pstList, u32 n);
void AeRouteExPrint(AE_ROUTE_EX_LIST_S *pstList);

// Bounds and rounded ratios the exposure code is written with.
inline u32 AeBoundaryMinCheck(u32 v, u32 min) { return v < min ? min : v; }
inline u32 AeBoundaryMaxCheck(u32 v, u32 max) { return v > max ? max : v; }
inline u32 AeBoundariesCheck(u32 v, u32 min, u32 max) { return AeBoundaryMinCheck(AeBoundaryMaxCheck(v, max), min); }
inline u64 AeBoundaryMinCheck64(u64 v, u64 min) { return v < min ? min : v; }
inline u64 AeBoundaryMaxCheck64(u64 v, u64 max) { return v > max ? max : v; }
inline u64 AeBoundariesCheck64(u64 v, u64 min, u64 max)
{
    return AeBoundaryMinCheck64(AeBoundaryMaxCheck64(v, max), min);
}
inline u64 AeRatioCalculate(u64 d, u64 x, u64 y) { return d ? (x * y + d / 2) / d : x * y; }
