// The white-balance attribute calls: every Set checks the whole record
// first and writes the page of handle 0 only when all passed; Get and Query
// read the page and the ISP's white-balance registers back.
#include "isp/3a/awb/mpi_isp_awb.h"

#include <algorithm>
#include <cstring>

#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/common/alg_lib.h"
#include "isp/isp_ctx.h"

namespace {

constexpr u32 H = ISP_REG_BASE;
constexpr s32 AWB_ERR_ILLEGAL = (s32)0xA01C8003;
constexpr s32 AWB_ERR_NULL = (s32)0xA01C8006;

u32 reg(u32 off) { return awb_reg(0, off); }
void wr8(u32 off, u32 v) { IO_WRITE8(reg(off), v & 0xFF); }
void wr16(u32 off, u32 v) { IO_WRITE16(reg(off), v & 0xFFFF); }
void wr32(u32 off, u32 v) { IO_WRITE32(reg(off), v); }
u8 rd8(u32 off) { return (u8)IO_READ8(reg(off)); }
u16 rd16(u32 off) { return (u16)IO_READ16(reg(off)); }
u32 rd32(u32 off) { return IO_READ32(reg(off)); }
u32 rdbit(u32 off) { return rd8(off) & 1; }

s32 check_call(s32 dev, const void *p, const char *func)
{
    s32 ret = awb_check_dev(dev, func);
    return ret != 0 ? ret : alg_check_null(p, AWB_ERR_NULL, func);
}

// Field checks in order; the first failure prints its message (standard
// output) and the rest are skipped.
class Checks {
public:
    template <class... A> Checks &operator()(bool bad, const char *fmt, A... args)
    {
        if (!failed_ && bad) {
            if constexpr (sizeof...(A) == 0)
                fputs(fmt, stdout);
            else
                printf(fmt, args...);
            failed_ = true;
        }
        return *this;
    }
    bool failed() const { return failed_; }

private:
    bool failed_ = false;
};

void wr_ccm(u32 off, const u16 *m, bool convert)
{
    for (u32 i = 0; i < 9; i++)
        wr16(off + 2 * i, convert ? (u16)AwbDirectToComplement(m[i]) : m[i]);
}

void rd_ccm(u32 off, u16 *m, bool convert)
{
    for (u32 i = 0; i < 9; i++) {
        u16 v = rd16(off + 2 * i);
        m[i] = convert ? AwbComplementToDirect((s16)v) : v;
    }
}

} // namespace

s32 DU_DUZ_ISP_SetWBAttr(s32 s32Dev, const AWB_WB_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    const AWB_AUTO_ATTR_S &a = p->stAuto;
    const AWB_MANUAL_GAIN_S &m = p->stManual;
    const AWB_CT_LIMIT_ATTR_S &ct = a.stCTLimit;
    const AWB_LUMA_HIST_ATTR_S &lh = a.stLumaHist;
    Checks c;
    c(p->bByPass > 1, "Invalid input of parameter bByPass!")(p->enOpType > 1, "Invalid input of parameter enOpType!");
    c(m.u16ManualGainR > 0xFFF, "Invalid input of Manual WB R Gain!");
    c(m.u16ManualGainGr > 0xFFF, "Invalid input of Manual WB Gr Gain!");
    c(m.u16ManualGainGb > 0xFFF, "Invalid input of Manual WB Gb Gain!");
    c(m.u16ManualGainB > 0xFFF, "Invalid input of Manual WB B Gain!");
    c(a.bEnable > 1, "Invalid input of parameter bEnable!");
    c(a.au16StaticGain[0] > 0xFFF, "Invalid input of AWB Static WB R Gain!");
    c(a.au16StaticGain[1] > 0xFFF, "Invalid input of AWB Static WB Gr Gain!");
    c(a.au16StaticGain[2] > 0xFFF, "Invalid input of AWB Static WB Gb Gain!");
    c(a.au16StaticGain[3] > 0xFFF, "Invalid input of AWB Static WB B Gain!");
    c(a.as32CurvePara[3] == 0, "Invalid input of AWB Curve Para[3]! Should not be Zero!");
    c(a.as32CurvePara[4] != 128, "Invalid input of AWB Curve Para[4]!");
    c(a.bGainNormEn > 1, "Invalid input of parameter bGainNormEn!");
    c(a.bTrackLocusEn > 1, "Invalid input of parameter bTrackLocusEn!");
    c(a.bShiftLimitEn > 1, "Invalid input of parameter bShiftLimitEn!");
    c(a.u16Speed > 0xFFF, "Invalid input of AWB Speed!");
    c(a.u16Zone > 255, "Invalid input of AWB Zone!");
    c(a.u16CTRangeHigh <= a.u16CTRangeLow, "Invalid input of AWB Color Temperature Range!");
    c(ct.bEnable > 1, "Invalid input of parameter CT enable!");
    c(ct.enOpType > 1, "Invalid input of parameter CT enOpType!");
    c(ct.u16HighRgLimit > 0xFFF, "Invalid input of parameter CT u16HighRgLimit!Should in range of [0x0, 0xFFF]");
    c(ct.u16HighBgLimit > 0xFFF, "Invalid input of parameter CT u16HighBgLimit!Should in range of [0x0, 0xFFF]");
    c(ct.u16LowRgLimit > 0xFFF, "Invalid input of parameter CT u16LowRgLimit!Should in range of [0x0, 0xFFF]");
    c(ct.u16LowBgLimit > 0xFFF, "Invalid input of parameter CT u16LowBgLimit!Should in range of [0x0, 0xFFF]");
    c(ct.u16HighRgLimit <= ct.u16LowRgLimit, "Invalid input of parameter CT RgLimit!");
    c(ct.u16HighBgLimit >= ct.u16LowBgLimit, "Invalid input of parameter CT BgLimit!");
    c(a.enAlgType > 1, "Invalid input of parameter enAlgType!");
    c(lh.bEnable > 1, "Invalid input of parameter  Luma Hist Enable!");
    c(lh.enType > 1, "Invalid input of parameter  Luma Hist Type!");
    for (int i = 1; i <= 4; i++)
        c(lh.au8HistThresh[i] < lh.au8HistThresh[i - 1], "Invalid input of parameter  au8HistThresh[%d]!\n", i);
    for (int i = 0; i < 16; i++) {
        c(a.au16CrMax[i] < a.au16CrMin[i], "Invalid input of parameter au16CrMax[%d], should be larger than au16CrMin[%d]!\n",
          i, i);
        c(a.au16CbMax[i] < a.au16CbMin[i], "Invalid input of parameter au16CbMax[%d], should be larger than au16CbMin[%d]!\n",
          i, i);
    }
    if (c.failed())
        return AWB_ERR_ILLEGAL;

    wr8(AWB_R_BYPASS, p->bByPass);
    wr8(AWB_R_OP_TYPE, p->enOpType);
    const u16 manual[4] = {m.u16ManualGainR, m.u16ManualGainGr, m.u16ManualGainGb, m.u16ManualGainB};
    for (u32 i = 0; i < 4; i++)
        wr16(AWB_R_MANUAL_GAIN + 2 * i, manual[i]);
    wr8(AWB_R_ENABLE, a.bEnable);
    wr16(AWB_R_REF_TEMP, a.u16RefCT);
    for (u32 i = 0; i < 4; i++)
        wr16(AWB_R_STATIC_GAIN + 2 * i, a.au16StaticGain[i]);
    for (u32 i = 0; i < 6; i++)
        wr32(AWB_R_CURVE_PARA + 4 * i, (u32)a.as32CurvePara[i]);
    wr8(AWB_R_GAIN_NORM, a.bGainNormEn);
    wr8(AWB_R_STRENGTH_R, a.u8StrengthR);
    wr8(AWB_R_STRENGTH_B, a.u8StrengthB);
    wr16(AWB_R_SPEED, a.u16Speed & 0xFFF);
    wr8(AWB_R_ZONE, a.u16Zone);
    wr16(AWB_R_CT_HIGH, a.u16CTRangeHigh);
    wr16(AWB_R_CT_LOW, a.u16CTRangeLow);
    wr8(AWB_R_CT_LIMIT_EN, ct.bEnable);
    wr8(AWB_R_CT_LIMIT_OP, ct.enOpType);
    const u16 limits[4] = {ct.u16HighRgLimit, ct.u16HighBgLimit, ct.u16LowRgLimit, ct.u16LowBgLimit};
    for (u32 i = 0; i < 4; i++)
        wr16(AWB_R_RGBG_LIMIT + 2 * i, limits[i] & 0xFFF);
    wr8(AWB_R_SHIFT_LIMIT_EN, a.bShiftLimitEn);
    wr8(AWB_R_SHIFT_LIMIT, a.u8ShiftLimit);
    wr8(AWB_R_ALG_TYPE, a.enAlgType);
    wr8(AWB_R_TRACK_LOCUS, a.bTrackLocusEn);
    for (u32 i = 0; i < 16; i++) {
        wr16(AWB_R_CR_MAX + 2 * i, a.au16CrMax[i]);
        wr16(AWB_R_CR_MIN + 2 * i, a.au16CrMin[i]);
        wr16(AWB_R_CB_MAX + 2 * i, a.au16CbMax[i]);
        wr16(AWB_R_CB_MIN + 2 * i, a.au16CbMin[i]);
    }
    wr8(AWB_R_LUMA_HIST_EN, lh.bEnable);
    wr8(AWB_R_LUMA_HIST_TYPE, lh.enType);
    for (u32 i = 0; i < 4; i++)
        wr8(AWB_R_HIST_THRESH + i, lh.au8HistThresh[i + 1]);
    for (u32 i = 0; i < 6; i++)
        wr16(AWB_R_HIST_WEIGHT + 2 * i, lh.au16HistWeight[i]);
    return 0;
}

s32 DU_DUZ_ISP_GetWBAttr(s32 s32Dev, AWB_WB_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_AUTO_ATTR_S &a = p->stAuto;
    AWB_CT_LIMIT_ATTR_S &ct = a.stCTLimit;
    AWB_LUMA_HIST_ATTR_S &lh = a.stLumaHist;
    p->bByPass = rdbit(AWB_R_BYPASS);
    p->enOpType = rdbit(AWB_R_OP_TYPE);
    p->stManual = {rd16(AWB_R_MANUAL_GAIN), rd16(AWB_R_MANUAL_GAIN + 2), rd16(AWB_R_MANUAL_GAIN + 4),
                   rd16(AWB_R_MANUAL_GAIN + 6)};
    a.bEnable = rdbit(AWB_R_ENABLE);
    a.u16RefCT = rd16(AWB_R_REF_TEMP);
    for (u32 i = 0; i < 4; i++)
        a.au16StaticGain[i] = rd16(AWB_R_STATIC_GAIN + 2 * i);
    for (u32 i = 0; i < 6; i++)
        a.as32CurvePara[i] = (s32)rd32(AWB_R_CURVE_PARA + 4 * i);
    a.bGainNormEn = rdbit(AWB_R_GAIN_NORM);
    a.u8StrengthR = rd8(AWB_R_STRENGTH_R);
    a.u8StrengthB = rd8(AWB_R_STRENGTH_B);
    a.u16Speed = rd16(AWB_R_SPEED) & 0xFFF;
    a.u16Zone = rd8(AWB_R_ZONE);
    a.u16CTRangeHigh = rd16(AWB_R_CT_HIGH);
    a.u16CTRangeLow = rd16(AWB_R_CT_LOW);
    ct.bEnable = rdbit(AWB_R_CT_LIMIT_EN);
    ct.enOpType = rdbit(AWB_R_CT_LIMIT_OP);
    ct.u16HighRgLimit = rd16(AWB_R_RGBG_LIMIT) & 0xFFF;
    ct.u16HighBgLimit = rd16(AWB_R_RGBG_LIMIT + 2) & 0xFFF;
    ct.u16LowRgLimit = rd16(AWB_R_RGBG_LIMIT + 4) & 0xFFF;
    ct.u16LowBgLimit = rd16(AWB_R_RGBG_LIMIT + 6) & 0xFFF;
    a.bShiftLimitEn = rdbit(AWB_R_SHIFT_LIMIT_EN);
    a.u8ShiftLimit = rd8(AWB_R_SHIFT_LIMIT);
    a.enAlgType = rdbit(AWB_R_ALG_TYPE);
    a.bTrackLocusEn = rdbit(AWB_R_TRACK_LOCUS);
    for (u32 i = 0; i < 16; i++) {
        a.au16CrMax[i] = rd16(AWB_R_CR_MAX + 2 * i);
        a.au16CrMin[i] = rd16(AWB_R_CR_MIN + 2 * i);
        a.au16CbMax[i] = rd16(AWB_R_CB_MAX + 2 * i);
        a.au16CbMin[i] = rd16(AWB_R_CB_MIN + 2 * i);
    }
    lh.bEnable = rdbit(AWB_R_LUMA_HIST_EN);
    lh.enType = rdbit(AWB_R_LUMA_HIST_TYPE);
    lh.au8HistThresh[0] = 0;
    for (u32 i = 0; i < 4; i++)
        lh.au8HistThresh[i + 1] = rd8(AWB_R_HIST_THRESH + i);
    lh.au8HistThresh[5] = 255;
    for (u32 i = 0; i < 6; i++)
        lh.au16HistWeight[i] = rd16(AWB_R_HIST_WEIGHT + 2 * i);
    return 0;
}

s32 DU_DUZ_ISP_SetAWBAttrEx(s32 s32Dev, const AWB_WB_SETTINGS_EX_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    const AWB_IN_OUT_ATTR_S &io = p->stInOrOut;
    Checks c;
    c(p->u16CurveLLimit > 256, "Invalid input of parameter u16CurveLLimit!");
    c(p->u16CurveRLimit < 256 || p->u16CurveRLimit > 0xFFF, "Invalid input of parameter u16CurveRLimit!");
    c(p->bExtraLightEn > 1, "Invalid input of parameter bExtraLightEn!");
    for (const auto &ls : p->astLightSource) {
        c(ls.u8LightStatus > 2, "Invalid input of parameter u8LightStatus!");
        c(ls.u16WhiteRgain > 0xFFF, "Invalid input of parameter u16WhiteRgain!");
        c(ls.u16WhiteBgain > 0xFFF, "Invalid input of parameter u16WhiteBgain!");
    }
    c(io.bEnable > 1, "Invalid input of parameter InOrOut enable!");
    c(p->bGreenEnhanceEn > 1, "Invalid input of parameter bGreenEnhanceEn enable!");
    c(io.enOpType > 1, "Invalid input of parameter InOrOut enOpType!");
    c(io.enInOutStatus > 1, "Invalid input of parameter InOrOut Status!");
    c(io.u16LowStart <= io.u16LowStop,
      "Invalid input of parameter InOrOut Temp Range!u16LowStart should be larger than u16LowStop");
    c(io.u16HighStart <= io.u16LowStart,
      "Invalid input of parameter InOrOut Temp Range!u16HighStart should be larger than u16LowStart");
    c(io.u16HighStop <= io.u16HighStart,
      "Invalid input of parameter InOrOut Temp Range!u16HighStop should be larget than u16HighStart");
    c(p->bMultiLightSourceEn > 1, "Invalid input of parameter bMultiLightSourceEn !");
    c(p->bMultiLightSourceType > 1, "Invalid input of parameter bMultiLightSourceType !");
    c(p->u16MultiLSScaler > 0x100, "Invalid input of parameter u16MultiLSScaler!Should be <= 0x100");
    for (int i = 0; i < 7; i++)
        c(p->au16MultiCTBin[i] >= p->au16MultiCTBin[i + 1],
          "Invalid input of parameter au16MultiCTBin[%d]!Should be larger than au16MultiCTBin[%d]!\n", i + 1, i);
    for (int i = 0; i < 8; i++)
        c(p->au16MultiCTWt[i] > 0x400, "Invalid input of parameter au16MultiCTWt[%d]!Should <= 0x400!\n", i);
    c(p->bFineTunEn > 1, "Invalid input of parameter bFineTunEn !");
    if (c.failed())
        return AWB_ERR_ILLEGAL;

    wr8(AWB_R_AREA_THRESH, p->u8AreaThreshold);
    wr8(AWB_R_BIN_TOLERANCE, p->u8BinTolerance);
    wr16(AWB_R_CURVE_L, p->u16CurveLLimit);
    wr16(AWB_R_CURVE_R, p->u16CurveRLimit);
    wr8(AWB_R_EXTRA_LIGHT, p->bExtraLightEn);
    for (u32 i = 0; i < 4; i++) {
        const AWB_EXTRA_LIGHTSOURCE_S &ls = p->astLightSource[i];
        const u32 e = AWB_R_LIGHT_SOURCE + 8 * i;
        wr16(e, ls.u16WhiteRgain);
        wr16(e + 2, ls.u16WhiteBgain);
        wr16(e + 4, ls.u16LightParam);
        wr8(e + 6, ls.u8LightStatus);
        wr8(e + 7, ls.u8LightParam);
    }
    wr8(AWB_R_INOUT_EN, io.bEnable);
    wr8(AWB_R_INOUT_OP, io.enOpType);
    if (io.enOpType == 1)
        wr8(AWB_R_INOUT_STATUS, (rd8(AWB_R_INOUT_STATUS) & ~1u) | (io.enInOutStatus & 1));
    wr32(AWB_R_INOUT_PARAM, io.u32InOutParam);
    wr16(AWB_R_LOW_START, io.u16LowStart);
    wr16(AWB_R_LOW_STOP, io.u16LowStop);
    wr16(AWB_R_HIGH_START, io.u16HighStart);
    wr16(AWB_R_HIGH_STOP, io.u16HighStop);
    wr8(AWB_R_GREEN_ENHANCE, p->bGreenEnhanceEn);
    wr8(AWB_R_MULTI_LS_EN, p->bMultiLightSourceEn);
    wr8(AWB_R_MULTI_LS_TYPE, p->bMultiLightSourceType);
    wr16(AWB_R_MULTI_LS_SCALER, p->u16MultiLSScaler);
    for (u32 i = 0; i < 8; i++) {
        wr16(AWB_R_MULTI_CT_BIN + 2 * i, p->au16MultiCTBin[i]);
        wr16(AWB_R_MULTI_CT_WT + 2 * i, p->au16MultiCTWt[i]);
    }
    wr8(AWB_R_FINE_TUNE, p->bFineTunEn);
    return 0;
}

s32 DU_DUZ_ISP_GetAWBAttrEx(s32 s32Dev, AWB_WB_SETTINGS_EX_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_IN_OUT_ATTR_S &io = p->stInOrOut;
    p->u8AreaThreshold = rd8(AWB_R_AREA_THRESH);
    p->u8BinTolerance = rd8(AWB_R_BIN_TOLERANCE);
    p->u16CurveLLimit = rd16(AWB_R_CURVE_L);
    p->u16CurveRLimit = rd16(AWB_R_CURVE_R);
    p->bExtraLightEn = rdbit(AWB_R_EXTRA_LIGHT);
    for (u32 i = 0; i < 4; i++) {
        AWB_EXTRA_LIGHTSOURCE_S &ls = p->astLightSource[i];
        const u32 e = AWB_R_LIGHT_SOURCE + 8 * i;
        ls.u16WhiteRgain = rd16(e);
        ls.u16WhiteBgain = rd16(e + 2);
        ls.u16LightParam = rd16(e + 4);
        ls.u8LightStatus = rd8(e + 6) & 3;
        ls.u8LightParam = rd8(e + 7);
    }
    io.bEnable = rdbit(AWB_R_INOUT_EN);
    io.enOpType = rdbit(AWB_R_INOUT_OP);
    io.enInOutStatus = (rd8(AWB_R_INOUT_STATUS) >> 1) & 1;
    io.u32InOutParam = rd32(AWB_R_INOUT_PARAM);
    io.u16LowStart = rd16(AWB_R_LOW_START);
    io.u16LowStop = rd16(AWB_R_LOW_STOP);
    io.u16HighStart = rd16(AWB_R_HIGH_START);
    io.u16HighStop = rd16(AWB_R_HIGH_STOP);
    p->bGreenEnhanceEn = rdbit(AWB_R_GREEN_ENHANCE);
    p->bMultiLightSourceEn = rdbit(AWB_R_MULTI_LS_EN);
    p->bMultiLightSourceType = rdbit(AWB_R_MULTI_LS_TYPE);
    p->u16MultiLSScaler = rd16(AWB_R_MULTI_LS_SCALER);
    for (u32 i = 0; i < 8; i++) {
        p->au16MultiCTBin[i] = rd16(AWB_R_MULTI_CT_BIN + 2 * i);
        p->au16MultiCTWt[i] = rd16(AWB_R_MULTI_CT_WT + 2 * i);
    }
    p->bFineTunEn = rdbit(AWB_R_FINE_TUNE);
    return 0;
}

s32 DU_DUZ_ISP_SetCCMAttr(s32 s32Dev, const AWB_CCM_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    const AWB_CCM_AUTO_S &a = p->stAuto;
    const s32 hi = a.u16HighColorTemp, mid = a.u16MidColorTemp, lo = a.u16LowColorTemp;
    Checks c;
    c(p->enOpType > 1, "Invalid input of parameter enOpType!");
    c(hi < 2800 || hi > 10000, "Invalid HighColorTemp %d\n", hi);
    c(mid < 2400, "Invalid u16MidColorTemp %d\n", mid);
    c(lo < 2000, "Invalid u16LowColorTemp %d\n", lo);
    c(hi < mid + 400, "HighColorTemp should be at least 400 bigger than MidColorTemp\r");
    c(mid < lo + 400, "MidColorTemp should be at least 400 bigger than LowColorTemp\r");
    c(p->stManual.bSatEn > 1, "Invalid input of parameter stManual.bSatEn !");
    c(a.bISOActEn > 1, "Invalid input of parameter bISOActEn !");
    c(a.bTempActEn > 1, "Invalid input of parameter bTempActEn !");
    if (c.failed())
        return AWB_ERR_ILLEGAL;
    wr8(AWB_R_CCM_OP, p->enOpType);
    wr8(AWB_R_CCM_SAT_EN, p->stManual.bSatEn);
    wr8(AWB_R_ISO_ACT, a.bISOActEn);
    wr8(AWB_R_TEMP_ACT, a.bTempActEn);
    wr_ccm(AWB_R_CCM_MANUAL, p->stManual.au16ManualCCM, false);
    wr16(AWB_R_HIGH_TEMP, a.u16HighColorTemp);
    wr_ccm(AWB_R_CCM_HIGH, a.au16HighCCM, true);
    wr16(AWB_R_MID_TEMP, a.u16MidColorTemp);
    wr_ccm(AWB_R_CCM_MID, a.au16MidCCM, true);
    wr16(AWB_R_LOW_TEMP, a.u16LowColorTemp);
    wr_ccm(AWB_R_CCM_LOW, a.au16LowCCM, true);
    return 0;
}

s32 DU_DUZ_ISP_GetCCMAttr(s32 s32Dev, AWB_CCM_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    AWB_CCM_AUTO_S &a = p->stAuto;
    p->enOpType = rdbit(AWB_R_CCM_OP);
    p->stManual.bSatEn = rdbit(AWB_R_CCM_SAT_EN);
    rd_ccm(AWB_R_CCM_MANUAL, p->stManual.au16ManualCCM, false);
    a.bISOActEn = rdbit(AWB_R_ISO_ACT);
    a.bTempActEn = rdbit(AWB_R_TEMP_ACT);
    a.u16HighColorTemp = rd16(AWB_R_HIGH_TEMP);
    rd_ccm(AWB_R_CCM_HIGH, a.au16HighCCM, true);
    a.u16MidColorTemp = rd16(AWB_R_MID_TEMP);
    rd_ccm(AWB_R_CCM_MID, a.au16MidCCM, true);
    a.u16LowColorTemp = rd16(AWB_R_LOW_TEMP);
    rd_ccm(AWB_R_CCM_LOW, a.au16LowCCM, true);
    return 0;
}

s32 DU_DUZ_ISP_SetSaturationAttr(s32 s32Dev, const AWB_SATURATION_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    if (p->enOpType > 1) {
        fputs("Invalid input of parameter enOpType!", stdout);
        return AWB_ERR_ILLEGAL;
    }
    wr8(AWB_R_SAT_OP, p->enOpType);
    wr8(AWB_R_SAT_MANUAL, p->u8Saturation);
    for (u32 i = 0; i < 16; i++)
        wr8(AWB_R_SAT_TABLE + i, p->au8Sat[i]);
    return 0;
}

s32 DU_DUZ_ISP_GetSaturationAttr(s32 s32Dev, AWB_SATURATION_SETTINGS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    p->enOpType = rd8(AWB_R_SAT_OP);
    p->u8Saturation = rd8(AWB_R_SAT_MANUAL);
    for (u32 i = 0; i < 16; i++)
        p->au8Sat[i] = rd8(AWB_R_SAT_TABLE + i);
    return 0;
}

s32 DU_DUZ_ISP_QueryWBInfo(s32 s32Dev, AWB_WB_STATUS_S *p)
{
    s32 ret = check_call(s32Dev, p, __FUNCTION__);
    if (ret != 0)
        return ret;
    p->u16GainR = IO_READ16(H + 0x2C0) & 0xFFF;
    p->u16GainGr = IO_READ16(H + 0x2C4) & 0xFFF;
    p->u16GainGb = IO_READ16(H + 0x2C8) & 0xFFF;
    p->u16GainB = IO_READ16(H + 0x2CC) & 0xFFF;
    p->u16Saturation = rd8(AWB_R_SAT_CUR);
    p->u16ColorTemp = rd16(AWB_R_CUR_TEMP);
    for (u32 k = 0; k < 9; k++)
        p->au16Matrix[k] = (u16)IO_READ16(H + 0x480 + 4 * k);
    for (u32 i = 0; i < 4; i++)
        p->au16LightSourceValue[i] = rd16(AWB_R_LS_VALUE + 2 * i);
    p->u8MultiLSDegree = rd8(AWB_R_MULTI_LS_DEGREE);
    return 0;
}

s32 DU_DUZ_ISP_CalGainByTemp(const AWB_WB_SETTINGS_S *pstWBAttr, u16 u16ColorTemp, s16 s16Shift, u16 *pu16AWBGain)
{
    s32 ret = check_call(0, pstWBAttr, __FUNCTION__);
    if (ret == 0)
        ret = check_call(0, pu16AWBGain, __FUNCTION__);
    if (ret != 0)
        return ret;
    const s32 *para = pstWBAttr->stAuto.as32CurvePara;
    const u16 *st = pstWBAttr->stAuto.au16StaticGain;
    Checks c;
    c(u16ColorTemp < 1500 || u16ColorTemp > 15000,
      "Invalid input of parameter u16ColorTemp, should be in range of [1500, 15000]!");
    c(s16Shift < -64 || s16Shift > 64, "Invalid input of parameter s16Shift, should be in range of [-64, 64]!");
    c(para[3] == 0, "Invalid input of AWB Curve Para[3]! Should not be Zero!");
    c(para[4] != 128, "Invalid input of AWB Curve Para[4]! Should be 128");
    if (c.failed())
        return AWB_ERR_ILLEGAL;

    // Integer arithmetic in 64 bits; divisions truncate toward zero and a
    // zero divisor gives 0.
    auto div = [](s64 a, s64 b) -> s64 { return b ? a / b : 0; };
    const bool wdr = isp_ext_wdr_mode() != 0;
    const s64 M = 256000000 / u16ColorTemp;
    const s64 x = div((para[3] >> 1) + (M - para[5]) * 256, para[3]);
    const s64 X = x * x;
    const s64 d = para[2] + (X >> 8);
    const s64 Y = div((s64)para[0] * X + (s64)para[1] * 65536 + d / 2, d ? d : 1);
    const s64 a = (X + 128) >> 8, b = (Y + 128) >> 8;
    s64 n = AwbSqrt32((u32)std::min<s64>(a * a + b * b, 0xFFFFFFFF)), h = n >> 1;
    if (n == 0)
        n = 1, h = 0;
    const s64 XR = X + s16Shift * (s64)((u64)(h + X) / (u64)n);
    const s64 YB = Y + s16Shift * (s64)((u64)(h + Y) / (u64)n);
    s64 R = (div(0x1000000, XR) * st[0] + 128) >> 8;
    s64 B = (div(0x1000000, YB) * st[3] + 128) >> 8;
    s64 G = 0x100;
    if (pstWBAttr->stAuto.bGainNormEn == 1) {
        s64 m = std::min<s64>({R, B, 256});
        if (m <= 0)
            m = 1;
        const s64 off = IO_READ32(H + 0x2D4) & 0xFFF;
        s64 k = off == 0xFFF ? 0x10000 : 0xFFF0000 / (0xFFF - off);
        if (wdr)
            k = (k * k) >> 16;
        k = std::min<s64>(k, 0x20000);
        G = (m / 2 + k) / m;
        R = (R * G + 128) >> 8;
        B = (B * G + 128) >> 8;
    }
    s64 out[4] = {R, G, G, B};
    for (u32 i = 0; i < 4; i++) {
        s64 v = std::clamp<s64>(out[i], 0, 0xFFFFFF);
        if (wdr)
            v = AwbSqrt32((u32)std::min<s64>(v << 8, 0xFFFFFFFF));
        pu16AWBGain[i] = (u16)std::min<s64>(v, 0xFFF);
    }
    return 0;
}
