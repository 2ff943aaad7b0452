// Lens shading: a gain table per colour channel, loaded into the ISP by the
// attribute call or, at init, from the sensor's defaults. Nothing to do per
// frame.
#include "isp/modules/isp_iq.h"

#include <algorithm>

namespace {

constexpr u32 kExtNodeNum = 0x1219A; // u16: the nodes last loaded
constexpr u32 kCentreMax = 65535, kTableMax = 65535;

using Attr = ISP_SHADING_ATTR_S;
using Tab = ISP_SHADING_TAB_S;
#define A(m) VREG_MEMBER(Attr, m)
#define T(m) VREG_MEMBER(Tab, m)

// The table values are checked node by node, each node's three channels
// together, and only the nodes that are loaded.
s32 check_tables(const void *record)
{
    const Attr &a = *static_cast<const Attr *>(record);
    for (u32 k = 0; k < a.u32TableNodeNum; k++)
        for (u32 c = 0; c < 3; c++)
            if (a.astShadingTab[c].au32Table[k] > kTableMax) {
                printf("Invalid Shading[%d] Table[%d] %d!\n", c, k, a.astShadingTab[c].au32Table[k]);
                return DU_ERR_ISP_ILLEGAL_PARAM;
            }
    return 0;
}

constexpr vreg_field kChannelWord[] = {vreg_reg(0, 4, T(u32ChnCfg))};
constexpr vreg_field kCentre[] = {
    vreg_reg(0, 4, T(s32X)).check(refuse_outside(0, kCentreMax, "Invalid Shading[%d] s32X %d!\n").with(VREG_ARGS_INDEX_VALUE)),
    vreg_reg(4, 4, T(s32Y)).check(refuse_outside(0, kCentreMax, "Invalid Shading[%d] s32Y %d!\n").with(VREG_ARGS_INDEX_VALUE)),
};

// A channel's table: the nodes loaded go in; a Get reads all of them.
constexpr vreg_field table_in(u32 c, vreg_member m)
{
    return vreg_reg(ISP_SHADING_TABLE_REG(c, 0), 2, m, 4).in_use(A(u32TableNodeNum)).set_only();
}
constexpr vreg_field table_out(u32 c, vreg_member m) { return vreg_reg(ISP_SHADING_TABLE_REG(c, 0), 2, m, 4).read_only(); }

constexpr vreg_field kShadingFields[] = {
    isp_bool_field(ISP_SHADING_CTRL_REG, 1, A(bEnable), ISP_SHADING_CTRL_ENABLE),
    vreg_rule(A(u32TableNodeNum), refuse_above(SHADING_NODE_NUM, "Invalid Shading Table Node Number %d!\n").with(VREG_ARGS_VALUE)),
    vreg_group(ISP_SHADING_SCALE_REG(0), offsetof(Attr, astShadingTab), 3, sizeof(Tab), 4, kChannelWord),
    vreg_group(ISP_SHADING_CENTER_X_REG(0), offsetof(Attr, astShadingTab), 3, sizeof(Tab), 8, kCentre),
    vreg_rule(A(bEnable), refuse_by(check_tables)),
    // The tables' port is open while they are written.
    vreg_const(ISP_SHADING_CTRL_REG, 1, 1).bits(ISP_SHADING_CTRL_ACCESS),
    table_in(0, A(astShadingTab[0].au32Table)),
    table_in(1, A(astShadingTab[1].au32Table)),
    table_in(2, A(astShadingTab[2].au32Table)),
    table_out(0, A(astShadingTab[0].au32Table)),
    table_out(1, A(astShadingTab[1].au32Table)),
    table_out(2, A(astShadingTab[2].au32Table)),
    vreg_const(ISP_SHADING_CTRL_REG, 1, 0).bits(ISP_SHADING_CTRL_ACCESS),
    vreg_reg(kExtNodeNum, 2, A(u32TableNodeNum)),
};
#undef A
#undef T
constexpr vreg_table<Attr> kShadingRecord = vreg_table_of<Attr>(kShadingFields, DU_ERR_ISP_ILLEGAL_PARAM);

// The sensor's own tables, when it has them (the node count held to the
// table's size in its record itself).
s32 ISP_ShadingInit(ISP_DEV IspDev)
{
    IO_WRITE16(kExtNodeNum, SHADING_NODE_NUM);
    ISP_CMOS_SHADING_S &s = ISP_SensorGetDefault(IspDev)->stShading;
    if (!s.bValid)
        return 0;
    s.u16TblNodeNum = std::min<u16>(s.u16TblNodeNum, SHADING_NODE_NUM);
    Attr a = {};
    a.bEnable = 1;
    a.u32TableNodeNum = s.u16TblNodeNum;
    const u16 centre[3][2] = {{s.u16RCenterX, s.u16RCenterY}, {s.u16GCenterX, s.u16GCenterY}, {s.u16BCenterX, s.u16BCenterY}};
    const u16 *tables[3] = {s.au16RShadingTbl, s.au16GShadingTbl, s.au16BShadingTbl};
    const u16 words[3] = {s.u16ROffCenter, s.u16GOffCenter, s.u16BOffCenter};
    for (u32 c = 0; c < 3; c++) {
        Tab &t = a.astShadingTab[c];
        t.u32ChnCfg = words[c];
        t.s32X = centre[c][0];
        t.s32Y = centre[c][1];
        for (u32 k = 0; k < SHADING_NODE_NUM; k++)
            t.au32Table[k] = tables[c][k];
    }
    vreg_publish(kShadingRecord, 0, a);
    return 0;
}

s32 ISP_ShadingRun(ISP_DEV, const void *, void *, s32) { return 0; }

s32 ISP_ShadingCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_WDR_MODE_SET) {
        ISP_ShadingInit(IspDev);
    } else if (u32Cmd == ISP_PROC_WRITE) {
        auto *proc = static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue);
        isp_proc_printf(proc, "-----SHADING INFO--------------------------------------------------------------\n");
        isp_proc_printf(proc, "%8s\n", "En");
        isp_proc_printf(proc, "%8d\n", IO_READ8(ISP_SHADING_CTRL_REG) & ISP_SHADING_CTRL_ENABLE);
    }
    return 0;
}

s32 ISP_ShadingExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterShading(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_SHADING, {ISP_ShadingInit, ISP_ShadingRun, ISP_ShadingCtrl, ISP_ShadingExit});
}

s32 DU_DUZ_ISP_SetShadingAttr(ISP_DEV IspDev, const ISP_SHADING_ATTR_S *pstShadingAttr)
{
    return isp_iq_regs(kShadingRecord, IspDev, pstShadingAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetShadingAttr(ISP_DEV IspDev, ISP_SHADING_ATTR_S *pstShadingAttr)
{
    return isp_iq_regs_through_port(kShadingRecord, ISP_SHADING_CTRL_REG, ISP_SHADING_CTRL_ACCESS, IspDev,
                                   pstShadingAttr, __FUNCTION__);
}
