// Two attribute calls without a module of their own: the video input's
// stabilisation switched through that unit, and the defog settings the
// dehaze module reads (the enable in the video input's dehaze block, the
// rest in ext registers).
#include "isp/modules/isp_dehaze.h"
#include "isp/modules/isp_iq.h"

#include <cstring>

namespace {

using Defog = ISP_DEFOG_ATTR_S;
#define D(m) VREG_MEMBER(Defog, m)
// Checked in this order: the enable, the op type, then the block counts.
constexpr vreg_field kDefogFields[] = {
    vreg_reg(VI_DEHAZE_CTRL_REG, 4, D(bEnable)).flag(VREG_VI).check(isp_bool_rule()),
    vreg_rule(D(enOpType), refuse_above(OP_TYPE_MANUAL, "Invalid Defog OpType!")),
    vreg_reg(DEHAZE_EXT_H_BLOCKS, 1, D(u8HorizontalBlock))
        .check(refuse_outside(1, DEHAZE_H_MAX, "HorizonBlock should between 1 and 16!")),
    vreg_reg(DEHAZE_EXT_V_BLOCKS, 1, D(u8VerticalBlock))
        .check(refuse_outside(1, DEHAZE_V_MAX, "VerticalBlock should between 1 and 15 !")),
    vreg_reg(DEHAZE_EXT_OP_TYPE, 1, D(enOpType)),
    vreg_reg(DEHAZE_EXT_MANUAL_STRENGTH, 1, D(u8ManualStrength)),
    vreg_reg(DEHAZE_EXT_AUTO_FACTOR, 1, D(u8AutoStrength)),
};
#undef D
constexpr vreg_table<Defog> kDefogRecord = vreg_table_of<Defog>(kDefogFields, DU_ERR_ISP_ILLEGAL_PARAM);

} // namespace

s32 DU_DUZ_ISP_SetDISAttr(ISP_DEV IspDev, const ISP_DIS_ATTR_S *pstDISAttr)
{
    ISP_CHECK_REC(IspDev, pstDISAttr);
    if (pstDISAttr->bEnable > 1) {
        ISP_TRACE("Invalid Isp Bool Type %d!\n", pstDISAttr->bEnable);
        return DU_ERR_ISP_ILLEGAL_PARAM;
    }
    VI_DIS_ATTR_REC_S rec = {{pstDISAttr->bEnable, 0, 0}};
    return VI_SetDISAttr(0, &rec);
}

// The video input's answer, whatever it is, with the enable it gave.
s32 DU_DUZ_ISP_GetDISAttr(ISP_DEV IspDev, ISP_DIS_ATTR_S *pstDISAttr)
{
    ISP_CHECK_REC(IspDev, pstDISAttr);
    VI_DIS_ATTR_REC_S rec = {};
    s32 ret = VI_GetDISAttr(0, &rec);
    pstDISAttr->bEnable = rec.au32Word[0];
    return ret;
}

s32 DU_DUZ_ISP_SetDeFogAttr(ISP_DEV IspDev, const ISP_DEFOG_ATTR_S *pstDefogAttr)
{
    return isp_iq_regs(kDefogRecord, IspDev, pstDefogAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetDeFogAttr(ISP_DEV IspDev, ISP_DEFOG_ATTR_S *pstDefogAttr)
{
    return isp_iq_regs(kDefogRecord, IspDev, pstDefogAttr, __FUNCTION__);
}
