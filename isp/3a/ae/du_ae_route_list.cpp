// The route lists: node pool, ordering, step strategies, intermediate
// nodes, clamping and the removal of redundant nodes.
#include "isp/3a/ae/ae_route_list.h"

#include <cstdio>

static_assert(sizeof(ISP_AE_ROUTE_NODE_S) == 3 * 4 && sizeof(ISP_AE_ROUTE_EX_NODE_S) == 5 * 4,
              "route nodes are plain words");

namespace {

template <u32 P> void unlink(AeRouteNode<P> *n)
{
    n->pstPrev->pstNext = n->pstNext;
    n->pstNext->pstPrev = n->pstPrev;
    n->pstNext = n->pstPrev = nullptr;
}

template <u32 P> void insert_after(AeRouteNode<P> *pos, AeRouteNode<P> *n)
{
    n->pstPrev = pos;
    n->pstNext = pos->pstNext;
    pos->pstNext->pstPrev = n;
    pos->pstNext = n;
}

template <u32 P> bool same_params(const AeRouteNode<P> &a, const AeRouteNode<P> &b, u32 n)
{
    for (u32 i = 0; i < n && i < P; i++)
        if (a.au32Param[i] != b.au32Param[i])
            return false;
    return true;
}

// The first parameter below n where a and b differ, or P when none does.
template <u32 P> u32 first_diff(const u32 *a, const u32 *b, u32 n)
{
    for (u32 i = 0; i < n && i < P; i++)
        if (a[i] != b[i])
            return i;
    return P;
}

// Which parameter changes from a to b: the same-product code when the
// products are equal, the first differing parameter when b is larger.
template <u32 P> void node_stgy(AeRouteNode<P> *a, AeRouteNode<P> *b, u32 n)
{
    if (a->u64Mltply == b->u64Mltply) {
        a->u32UpStgy = b->u32DwStgy = AeRouteList<P>::SAME;
    } else if (a->u64Mltply < b->u64Mltply && n > 0) {
        u32 i = first_diff<P>(a->au32Param, b->au32Param, n);
        if (i < P)
            a->u32UpStgy = b->u32DwStgy = i;
    }
}

// Clamping changed a's product from `old` to `now`. Next to an
// equal-product step the product is kept where one parameter can make up
// for the change.
template <u32 P>
void node_multi_check(AeRouteNode<P> *a, AeRouteNode<P> *b, u32 n, const u32 *min, const u32 *max, u64 now, u64 old)
{
    const u32 SAME = AeRouteList<P>::SAME;
    if ((a->u32UpStgy != SAME && b->u32DwStgy != SAME) || n == 0) {
        a->u64Mltply = now;
        return;
    }
    const u32 *ref = now > old ? min : max;
    u32 i = first_diff<P>(a->au32Param, ref, n);
    if (i >= P) {
        a->u64Mltply = now;
        return;
    }
    u32 before = a->au32Param[i];
    u64 v = ((u64)before * old + now / 2) / (now ? now : 1);
    a->au32Param[i] = AeBoundariesCheck((u32)AeBoundaryMaxCheck64(v, 0xFFFFFFFFu), min[i], max[i]);
    a->u64Mltply = a->au32Param[i] == before ? old : route_product(*a, n);
}

// Inserts the nodes between a and b that make each step change a single
// parameter; -1 when the pool runs out.
template <u32 P> s32 node_recruit(AeRouteNode<P> *a, AeRouteNode<P> *b, AeRouteList<P> *list, u32 n)
{
    if (a->u64Mltply == b->u64Mltply || n == 0)
        return 0;
    u32 k = 0;
    for (u32 i = 0; i < n && i < P; i++)
        k += a->au32Param[i] < b->au32Param[i];
    if (k <= 1)
        return 0;
    u32 i = 0;
    while (i < n && i < P) {
        if (a->au32Param[i] == b->au32Param[i] || i != a->u32UpStgy) {
            i++;
            continue;
        }
        AeRouteNode<P> *m = route_list_get_free(list);
        if (!m)
            return -1;
        for (u32 j = 0; j < P; j++)
            m->au32Param[j] = j == i ? b->au32Param[i] : a->au32Param[j];
        u32 last = AeRouteList<P>::SAME;
        for (u32 j = 0; j < n && j < P; j++)
            if (m->au32Param[j] != b->au32Param[j])
                last = j;
        m->u32UpStgy = b->u32DwStgy = last;
        m->u32DwStgy = a->u32UpStgy;
        m->u64Mltply = route_product(*m, n);
        route_list_put_busy_at(list, m, a);
        if (--k == 1 || n < 2)
            break;
        a = m;
        i = 1;
    }
    return 0;
}

// b is redundant when nothing changes from a to it, or when the same
// parameter changes on both of its sides.
template <u32 P> void del_redundant(AeRouteList<P> *list, u32 n)
{
    AeRouteNode<P> *a = route_list_first_node(list);
    while (a) {
        AeRouteNode<P> *b = route_list_up_node(list, a);
        if (!b)
            break;
        u32 s = a->u32UpStgy;
        bool redundant = (s == AeRouteList<P>::SAME && same_params(*a, *b, n)) ||
                         (s < P && a->au32Param[s] == b->au32Param[s]) || s == b->u32UpStgy;
        if (!redundant) {
            a = b;
            continue;
        }
        a->u32UpStgy = b->u32UpStgy;
        unlink(b);
        insert_after(&list->stFree, b);
        list->u32BusyNum--;
        list->u32FreeNum++;
        if (AeRouteNode<P> *pred = route_list_down_node(list, a))
            a = pred;
    }
}

template <u32 P> s32 route_limit(AeRouteList<P> *list, u32 n, const u32 *min, const u32 *max)
{
    for (AeRouteNode<P> *a = route_list_first_node(list); a; a = route_list_up_node(list, a)) {
        AeRouteNode<P> *b = route_list_up_node(list, a);
        for (u32 i = 0; i < n && i < P; i++)
            a->au32Param[i] = AeBoundariesCheck(a->au32Param[i], min[i], max[i]);
        u64 product = route_product(*a, n);
        if (product != a->u64Mltply)
            node_multi_check(a, b ? b : a, n, min, max, product, a->u64Mltply);
    }
    for (AeRouteNode<P> *a = route_list_first_node(list), *b; a && (b = route_list_up_node(list, a)); a = b)
        node_recruit(a, b, list, n); // a full pool leaves the pair as it is
    for (AeRouteNode<P> *a = route_list_first_node(list), *b; a && (b = route_list_up_node(list, a)); a = b)
        node_stgy(a, b, n);
    del_redundant(list, n);
    return 0;
}

template <u32 P> void link_busy_stgy(AeRouteList<P> *list, u32 n)
{
    for (AeRouteNode<P> *a = route_list_first_node(list), *b; a && (b = route_list_up_node(list, a)); a = b)
        node_stgy(a, b, n);
}

u32 iris_ape(u32 fno) { return 1u << (fno > 10 ? 10 : fno); }

} // namespace

template <u32 P> void route_list_init(AeRouteList<P> *l)
{
    l->u32BusyNum = l->u32FreeNum = 0;
    l->stFree.pstNext = l->stFree.pstPrev = &l->stFree;
    l->stBusy.pstNext = l->stBusy.pstPrev = &l->stBusy;
    for (auto &n : l->astPool) {
        n.u32UpStgy = n.u32DwStgy = AeRouteList<P>::UNSET;
        route_list_put_free(l, &n);
    }
}

template <u32 P> AeRouteNode<P> *route_list_get_free(AeRouteList<P> *l)
{
    if (l->stFree.pstNext == &l->stFree) {
        puts("free list empty");
        return nullptr;
    }
    AeRouteNode<P> *n = l->stFree.pstNext;
    unlink(n);
    l->u32FreeNum--;
    return n;
}

template <u32 P> void route_list_put_free(AeRouteList<P> *l, AeRouteNode<P> *n)
{
    insert_after(l->stFree.pstPrev, n);
    l->u32FreeNum++;
}

template <u32 P> void route_list_put_busy(AeRouteList<P> *l, AeRouteNode<P> *n)
{
    insert_after(l->stBusy.pstPrev, n);
    l->u32BusyNum++;
}

template <u32 P> void route_list_put_busy_at(AeRouteList<P> *l, AeRouteNode<P> *n, AeRouteNode<P> *pos)
{
    insert_after(pos, n);
    l->u32BusyNum++;
}

template <u32 P> AeRouteNode<P> *route_list_first_node(AeRouteList<P> *l)
{
    return l->stBusy.pstNext != &l->stBusy ? l->stBusy.pstNext : nullptr;
}

template <u32 P> AeRouteNode<P> *route_list_up_node(AeRouteList<P> *l, AeRouteNode<P> *n)
{
    return n->pstNext != &l->stBusy ? n->pstNext : nullptr;
}

template <u32 P> AeRouteNode<P> *route_list_down_node(AeRouteList<P> *l, AeRouteNode<P> *n)
{
    return n->pstPrev != &l->stBusy ? n->pstPrev : nullptr;
}

template <u32 P> s32 route_list_joint(AeRouteList<P> *l, u64 e, AeRouteNode<P> **low, AeRouteNode<P> **high)
{
    *low = *high = nullptr;
    for (AeRouteNode<P> *a = route_list_first_node(l), *b; a && (b = route_list_up_node(l, a)); a = b) {
        if (a->u64Mltply <= e && e <= b->u64Mltply) {
            *low = a;
            *high = b;
            break;
        }
    }
    return 0;
}

#define AE_ROUTE_LIST_INSTANCE(P)                                                                           \
    template void route_list_init<P>(AeRouteList<P> *);                                                     \
    template AeRouteNode<P> *route_list_get_free<P>(AeRouteList<P> *);                                       \
    template void route_list_put_free<P>(AeRouteList<P> *, AeRouteNode<P> *);                                \
    template void route_list_put_busy<P>(AeRouteList<P> *, AeRouteNode<P> *);                                \
    template void route_list_put_busy_at<P>(AeRouteList<P> *, AeRouteNode<P> *, AeRouteNode<P> *);         \
    template AeRouteNode<P> *route_list_first_node<P>(AeRouteList<P> *);                                  \
    template AeRouteNode<P> *route_list_up_node<P>(AeRouteList<P> *, AeRouteNode<P> *);                   \
    template AeRouteNode<P> *route_list_down_node<P>(AeRouteList<P> *, AeRouteNode<P> *);                   \
    template s32 route_list_joint<P>(AeRouteList<P> *, u64, AeRouteNode<P> **, AeRouteNode<P> **);
AE_ROUTE_LIST_INSTANCE(3)
AE_ROUTE_LIST_INSTANCE(5)

u64 route_product(const AE_ROUTE_LIST_NODE_S &n, u32 u32ParamNum)
{
    u64 m = 1;
    for (u32 i = 0; i < u32ParamNum && i < 3; i++)
        m *= n.au32Param[i];
    return m;
}

u64 route_product(const AE_ROUTE_EX_LIST_NODE_S &n, u32 u32ParamNum)
{
    u64 gains = ((u64)n.au32Param[1] * n.au32Param[2] * n.au32Param[3] + 0x80000) >> 20;
    u64 m = (u64)n.au32Param[0] * gains;
    return u32ParamNum == 4 ? m : m * n.au32Param[4];
}

namespace {

// A list from a table of P words a node (the iris enumerant last).
template <u32 P> void build(AeRouteList<P> *l, const u32 *words, u32 count, u32 n)
{
    route_list_init(l);
    for (u32 i = 0; i < count && i < ISP_AE_ROUTE_MAX_NODES; i++) {
        AeRouteNode<P> *node = route_list_get_free(l);
        if (!node)
            break;
        for (u32 k = 0; k < P; k++)
            node->au32Param[k] = k == P - 1 ? iris_ape(words[P * i + k]) : words[P * i + k];
        node->u64Mltply = route_product(*node, n);
        route_list_put_busy(l, node);
    }
    link_busy_stgy(l, n);
}

} // namespace

void AeRouteUpdate(const ISP_AE_ROUTE_S *t, AE_ROUTE_LIST_S *l, u32 n)
{
    build(l, &t->astRouteNode[0].u32IntTime, t->u32TotalNum, n);
}

void AeRouteExUpdate(const ISP_AE_ROUTE_EX_S *t, AE_ROUTE_EX_LIST_S *l, u32 n)
{
    build(l, &t->astRouteExNode[0].u32IntTime, t->u32TotalNum, n);
}

s32 AeRouteLimit(AE_ROUTE_LIST_S *l, u32 n, const u32 *min, const u32 *max) { return route_limit(l, n, min, max); }

s32 AeRouteExLimit(AE_ROUTE_EX_LIST_S *l, u32 n, const u32 *min, const u32 *max)
{
    if (n == 0) {
        for (auto *a = route_list_first_node(l); a; a = route_list_up_node(l, a))
            a->u64Mltply = route_product(*a, 5);
        return 0;
    }
    return route_limit(l, n, min, max);
}

s32 AeRouteExDelRdcy(AE_ROUTE_EX_LIST_S *l, u32 n)
{
    del_redundant(l, n);
    return 0;
}

void AeRouteExPrint(AE_ROUTE_EX_LIST_S *l)
{
    int k = 0;
    for (auto *a = route_list_first_node(l); a; a = route_list_up_node(l, a), k++)
        printf("%8d%8u%8u%8u%8u%8u%8d%8d%12llu\n", k, a->au32Param[0], a->au32Param[1], a->au32Param[2],
               a->au32Param[3], a->au32Param[4], a->u32UpStgy, a->u32DwStgy, (unsigned long long)a->u64Mltply);
}
