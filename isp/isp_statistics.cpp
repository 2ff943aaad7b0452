// Statistics: the per-frame buffer the driver fills (taken and given back by
// the run loop), what the hardware gathers, and the current statistics read
// straight from the registers.
#include "isp/isp_ctx.h"

#include <algorithm>
#include <cstring>

#include "isp/isp_requests.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

struct ISP_STAT_CTX_S {
    u32 u32PhyBase;
    u8 *pVirtBase;
    u32 bRead; // a buffer is held
    ISP_STAT_INFO_S stStatInfo;
    u32 bInit;
};
ISP_STAT_CTX_S g_astStatCtx[ISP_MAX_DEV_NUM];


// ---- configuration checks -------------------------------------------------------------------
// Each check prints its message on standard output and fails the call.
#define STAT_CHECK(cond, ...)                                                                              \
    do {                                                                                                   \
        if (!(cond)) {                                                                                     \
            printf(__VA_ARGS__);                                                                           \
            return DU_ERR_ISP_ILLEGAL_PARAM;                                                               \
        }                                                                                                  \
    } while (0)
#define STAT_CHECK_QUIET(cond)                                                                             \
    do {                                                                                                   \
        if (!(cond))                                                                                       \
            return DU_ERR_ISP_ILLEGAL_PARAM;                                                               \
    } while (0)

s32 check_ae(const ISP_AE_STATISTICS_CFG_S &ae, const char *func)
{
    for (u32 i = 1; i < 4; i++)
        STAT_CHECK(ae.au8AEThresh[i] >= ae.au8AEThresh[i - 1], "AE Thresh[%d] %d should not less than Thresh[%d] %d!\n",
                   i, ae.au8AEThresh[i], i - 1, ae.au8AEThresh[i - 1]);
    STAT_CHECK(ae.enAESwitch <= 7, "Invalid AE Switch %d in %s!\n", ae.enAESwitch, func);
    STAT_CHECK(ae.enHistSwitch <= 7, "Invalid AE 256 Histogram Switch %d in %s!\n", ae.enHistSwitch, func);
    STAT_CHECK(ae.enAESumSwitch <= 7, "Invalid AE Sum Switch %d in %s!\n", ae.enAESumSwitch, func);
    return 0;
}

s32 check_wb(const ISP_WB_STATISTICS_CFG_S &wb)
{
    const ISP_WB_STATISTICS_CFG_PARA_S &b = wb.stBayerCfg, &r = wb.stRGBCfg;
    STAT_CHECK(b.u16WhiteLevel <= 0xFFF, "Max value of Bayer Config u16WhiteLevel is 0xFFF! %d\n", b.u16WhiteLevel);
    STAT_CHECK(b.u16BlackLevel <= b.u16WhiteLevel, "Bayer Config BlackLevel %d should not larger than WhiteLevel %d!\n",
               b.u16BlackLevel, b.u16WhiteLevel);
    STAT_CHECK(b.u16CbMax <= 0xFFF, "Max value of Bayer Config u16CbMax is 0xFFF! %d\n", b.u16CbMax);
    STAT_CHECK(b.u16CbMin <= b.u16CbMax, "Bayer CbMin %d should not larger than CbMax %d!\n", b.u16CbMin, b.u16CbMax);
    STAT_CHECK(b.u16CrMax <= 0xFFF, "Max value of Bayer Config u16CrMax is 0xFFF! %d\n", b.u16CrMax);
    STAT_CHECK(b.u16CrMin <= b.u16CrMax, "Bayer CrMin %d should not larger than CrMax %d!\n", b.u16CrMin, b.u16CrMax);
    STAT_CHECK(r.u16WhiteLevel <= 0x3FF, "Max value of RGB Config u16WhiteLevel is 0x3FF! %d\n", r.u16WhiteLevel);
    STAT_CHECK(r.u16BlackLevel <= r.u16WhiteLevel, "RGB Config BlackLevel %d should not larger than WhiteLevel! %d\n",
               r.u16BlackLevel, r.u16WhiteLevel);
    STAT_CHECK(r.u16CbMax <= 0xFFF, "Max value of RGB Config u16CbMax is 0xFFF! %d\n", r.u16CbMax);
    STAT_CHECK(r.u16CbMin <= r.u16CbMax, "RGB Config CbMin %d should not larger than CbMax! %d\n", r.u16CbMin,
               r.u16CbMax);
    STAT_CHECK(r.u16CrMax <= 0xFFF, "Max value of RGB Config u16CrMax is 0xFFF!\n %d", r.u16CrMax);
    STAT_CHECK(r.u16CrMin <= r.u16CrMax, "RGB Config CrMin %d should not larger than CrMax! %d\n", r.u16CrMin,
               r.u16CrMax);
    return 0;
}

s32 check_af(const ISP_FOCUS_STATISTICS_CFG_S &af)
{
    const ISP_AF_CFG_S &c = af.stConfig;
    STAT_CHECK(af.bEnable <= 1, "Invalid AF bEnable input! %d\n", af.bEnable);
    STAT_CHECK(c.u16Hwnd >= 1 && c.u16Hwnd <= 17, "Invalid AF stConfig.u16Hwnd input! %d\n", c.u16Hwnd);
    STAT_CHECK(c.u16Vwnd >= 1 && c.u16Vwnd <= 15, "Invalid AF stConfig.u16Vwnd input! %d\n", c.u16Vwnd);
    STAT_CHECK(c.u16Hsize >= 1 && c.u16Hsize <= 4095, "Invalid AF stConfig.u16Hsize input! %d\n", c.u16Hsize);
    STAT_CHECK(c.u16Vsize >= 1 && c.u16Vsize <= 4095, "Invalid AF stConfig.u16Vsize input! %d\n", c.u16Vsize);
    STAT_CHECK(c.enPeakMode <= 1, "Invalid AF stConfig.enPeakMode input! %d\n", c.enPeakMode);
    STAT_CHECK(c.enSquMode <= 1, "Invalid AF stConfig.enSquMode input! %d\n", c.enSquMode);

    const ISP_AF_H_PARAM_S &i0 = af.stHParam_IIR0, &i1 = af.stHParam_IIR1;
    for (u32 k = 0; k < 3; k++)
        STAT_CHECK(i0.abIIREn[k] <= 1, "Invalid AF stHParam_IIR0.abIIREn[%d] input! %d\n", k, i0.abIIREn[k]);
    STAT_CHECK(i0.as16IIRGain[0] >= 0 && i0.as16IIRGain[0] <= 255, "Invalid AF stHParam_IIR0.as16IIRGain[0] input! %d\n",
               i0.as16IIRGain[0]);
    for (u32 k = 1; k < 7; k++)
        STAT_CHECK(i0.as16IIRGain[k] >= -511 && i0.as16IIRGain[k] <= 511,
                   "Invalid AF stHParam_IIR0.as16IIRGain[%d] input! %d\n", k, i0.as16IIRGain[k]);
    for (u32 k = 0; k < 4; k++)
        STAT_CHECK(i0.au16IIRShift[k] <= 15, "Invalid AF stHParam_IIR0.au16IIRShift[%d] input! %d\n", k,
                   i0.au16IIRShift[k]);
    STAT_CHECK(i0.u16IIRThd < 2048, "Invalid AF stHParam_IIR0.u16IIRThd input! %d\n", i0.u16IIRThd);

    for (u32 k = 0; k < 3; k++)
        STAT_CHECK(i1.abIIREn[k] <= 1, "Invalid AF stHParam_IIR1.abIIREn[%d] input! %d\n", k, i1.abIIREn[k]);
    STAT_CHECK_QUIET(i1.as16IIRGain[0] >= 0 && i1.as16IIRGain[0] <= 255);
    for (u32 k = 1; k < 7; k++)
        STAT_CHECK_QUIET(i1.as16IIRGain[k] >= -511 && i1.as16IIRGain[k] <= 511);
    for (u32 k = 0; k < 4; k++)
        STAT_CHECK(i1.au16IIRShift[k] <= 15, "Invalid AF stHParam_IIR1.au16IIRShift[%d] input! %d\n", k,
                   i1.au16IIRShift[k]);
    STAT_CHECK(i1.u16IIRThd < 2048, "Invalid AF stHParam_IIR1.u16IIRThd input! %d\n", i1.u16IIRThd);

    const ISP_AF_V_PARAM_S &f0 = af.stVParam_FIR0, &f1 = af.stVParam_FIR1;
    for (u32 k = 0; k < 5; k++)
        STAT_CHECK(f0.as16FIRH[k] >= -31 && f0.as16FIRH[k] <= 31, "Invalid AF stVParam_FIR0.as16FIRH[%d] input! %d\n", k,
                   f0.as16FIRH[k]);
    STAT_CHECK(f0.u16FIRThd < 2048, "Invalid AF stVParam_FIR0.u16FIRThd input! %d\n", f0.u16FIRThd);
    for (u32 k = 0; k < 5; k++)
        STAT_CHECK_QUIET(f1.as16FIRH[k] >= -31 && f1.as16FIRH[k] <= 31);
    STAT_CHECK(f1.u16FIRThd < 2048, "Invalid AF stVParam_FIR1.u16FIRThd input! %d\n", f1.u16FIRThd);

    const ISP_AF_FV_PARAM_S &fv = af.stFVParam;
    STAT_CHECK(fv.u16AccShiftY <= 15, "Invalid AF stFVParam.u16AccShiftY input! %d\n", fv.u16AccShiftY);
    for (u32 k = 0; k < 2; k++)
        STAT_CHECK(fv.au16AccShiftH[k] <= 15, "Invalid AF stFVParam.au16AccShiftH[%d] input! %d\n", k,
                   fv.au16AccShiftH[k]);
    for (u32 k = 0; k < 2; k++)
        STAT_CHECK(fv.au16AccShiftV[k] <= 15, "Invalid AF stFVParam.au16AccShiftV[%d] input! %d\n", k,
                   fv.au16AccShiftV[k]);
    return 0;
}

// ---- focus registers: one field of a video-input word ----------------------------------------------------
void af_set(u32 addr, u32 shift, u32 width, u32 value)
{
    u32 mask = ((1u << width) - 1) << shift;
    u32 old = IO_READ32_VI(addr);
    if (addr == VI_AF_CTRL_REG)
        old &= VI_AF_CTRL_BITS; // the switch word keeps only its own bits
    IO_WRITE32_VI(addr, (old & ~mask) | ((value << shift) & mask));
}

u32 af_get(u32 addr, u32 shift, u32 width) { return (IO_READ32_VI(addr) >> shift) & ((1u << width) - 1); }

s32 sign_extend(u32 v, u32 width) { return (s32)(v << (32 - width)) >> (32 - width); }

// The registers of one white-balance configuration (Bayer or RGB), in the
// record's field order.
struct WbRegs {
    u32 white, black, cbmax, cbmin, crmax, crmin, limit[4];
    u32 white_mask;
};
const WbRegs kBayerRegs = {ISP_AWB_BAYER_WHITE_REG,
                           ISP_AWB_BAYER_BLACK_REG,
                           ISP_AWB_BAYER_CB_MAX_REG,
                           ISP_AWB_BAYER_CB_MIN_REG,
                           ISP_AWB_BAYER_CR_MAX_REG,
                           ISP_AWB_BAYER_CR_MIN_REG,
                           {ISP_AWB_BAYER_LIMIT_CB_MAX_REG, ISP_AWB_BAYER_LIMIT_CB_MIN_REG, ISP_AWB_BAYER_LIMIT_CR_MAX_REG,
                            ISP_AWB_BAYER_LIMIT_CR_MIN_REG},
                           0xFFF};
const WbRegs kRgbRegs = {ISP_AWB_WHITE_REG,
                         ISP_AWB_BLACK_REG,
                         ISP_AWB_CB_MAX_REG,
                         ISP_AWB_CB_MIN_REG,
                         ISP_AWB_CR_MAX_REG,
                         ISP_AWB_CR_MIN_REG,
                         {ISP_AWB_LIMIT_CB_MAX_REG, ISP_AWB_LIMIT_CB_MIN_REG, ISP_AWB_LIMIT_CR_MAX_REG, ISP_AWB_LIMIT_CR_MIN_REG},
                         0x3FF};

void wb_write(const WbRegs &r, const ISP_WB_STATISTICS_CFG_PARA_S &p)
{
    IO_WRITE16(r.white, p.u16WhiteLevel & r.white_mask);
    IO_WRITE16(r.black, p.u16BlackLevel & r.white_mask);
    IO_WRITE16(r.cbmax, p.u16CbMax & 0xFFF);
    IO_WRITE16(r.cbmin, p.u16CbMin & 0xFFF);
    IO_WRITE16(r.crmax, p.u16CrMax & 0xFFF);
    IO_WRITE16(r.crmin, p.u16CrMin & 0xFFF);
    for (u32 i = 0; i < 4; i++)
        IO_WRITE16(r.limit[i], p.au16Limit[i] & 0xFFF);
}

void wb_read(const WbRegs &r, ISP_WB_STATISTICS_CFG_PARA_S &p)
{
    p.u16WhiteLevel = IO_READ16(r.white) & r.white_mask;
    p.u16BlackLevel = IO_READ16(r.black) & r.white_mask;
    p.u16CbMax = IO_READ16(r.cbmax) & 0xFFF;
    p.u16CbMin = IO_READ16(r.cbmin) & 0xFFF;
    p.u16CrMax = IO_READ16(r.crmax) & 0xFFF;
    p.u16CrMin = IO_READ16(r.crmin) & 0xFFF;
    for (u32 i = 0; i < 4; i++)
        p.au16Limit[i] = IO_READ16(r.limit[i]) & 0xFFF;
}

void af_write(const ISP_FOCUS_STATISTICS_CFG_S &af)
{
    const ISP_AF_H_PARAM_S *iir[2] = {&af.stHParam_IIR0, &af.stHParam_IIR1};
    const ISP_AF_V_PARAM_S *fir[2] = {&af.stVParam_FIR0, &af.stVParam_FIR1};
    af_set(VI_AF_CTRL_REG, 0, 1, af.bEnable);
    for (u32 n = 0; n < 2; n++)
        for (u32 k = 0; k < 3; k++)
            af_set(VI_AF_CTRL_REG, 1 + 3 * n + k, 1, iir[n]->abIIREn[k]);
    af_set(VI_AF_CTRL_REG, 7, 1, af.stConfig.enPeakMode);
    af_set(VI_AF_CTRL_REG, 8, 1, af.stConfig.enSquMode);
    af_set(VI_AF_GRID_REG, 0, 5, af.stConfig.u16Hwnd);
    af_set(VI_AF_GRID_REG, 8, 5, af.stConfig.u16Vwnd);
    for (u32 n = 0; n < 2; n++) {
        af_set(VI_AF_IIR_GAIN_REG(0), 16 * n, 8, (u32)iir[n]->as16IIRGain[0]);
        for (u32 k = 1; k < 7; k++)
            af_set(VI_AF_IIR_GAIN_REG(k), 16 * n, 10, (u32)iir[n]->as16IIRGain[k]);
        for (u32 k = 0; k < 4; k++)
            af_set(VI_AF_IIR_SHIFT_REG, 16 * n + 4 * k, 4, iir[n]->au16IIRShift[k]);
        for (u32 k = 0; k < 5; k++)
            af_set(VI_AF_FIR_REG(k), 16 * n, 6, (u32)fir[n]->as16FIRH[k]);
        af_set(VI_AF_IIR_THRESH_REG, 16 * n, 11, iir[n]->u16IIRThd);
        af_set(VI_AF_FIR_THRESH_REG, 16 * n, 11, fir[n]->u16FIRThd);
    }
    const ISP_AF_FV_PARAM_S &fv = af.stFVParam;
    af_set(VI_AF_ACC_SHIFT_REG, 0, 4, fv.au16AccShiftH[0]);
    af_set(VI_AF_ACC_SHIFT_REG, 4, 4, fv.au16AccShiftH[1]);
    af_set(VI_AF_ACC_SHIFT_REG, 8, 4, fv.au16AccShiftV[0]);
    af_set(VI_AF_ACC_SHIFT_REG, 12, 4, fv.au16AccShiftV[1]);
    af_set(VI_AF_ACC_SHIFT_REG, 16, 4, fv.u16AccShiftY);
    af_set(VI_AF_SIZE_REG, 0, 12, af.stConfig.u16Hsize - 1u);
    af_set(VI_AF_SIZE_REG, 16, 12, af.stConfig.u16Vsize - 1u);
}

void af_read(ISP_FOCUS_STATISTICS_CFG_S &af)
{
    ISP_AF_H_PARAM_S *iir[2] = {&af.stHParam_IIR0, &af.stHParam_IIR1};
    ISP_AF_V_PARAM_S *fir[2] = {&af.stVParam_FIR0, &af.stVParam_FIR1};
    af.bEnable = af_get(VI_AF_CTRL_REG, 0, 1);
    for (u32 n = 0; n < 2; n++)
        for (u32 k = 0; k < 3; k++)
            iir[n]->abIIREn[k] = af_get(VI_AF_CTRL_REG, 1 + 3 * n + k, 1);
    af.stConfig.enPeakMode = af_get(VI_AF_CTRL_REG, 7, 1);
    af.stConfig.enSquMode = af_get(VI_AF_CTRL_REG, 8, 1);
    af.stConfig.u16Hwnd = (u16)af_get(VI_AF_GRID_REG, 0, 5);
    af.stConfig.u16Vwnd = (u16)af_get(VI_AF_GRID_REG, 8, 5);
    for (u32 n = 0; n < 2; n++) {
        iir[n]->as16IIRGain[0] = (s16)af_get(VI_AF_IIR_GAIN_REG(0), 16 * n, 8);
        for (u32 k = 1; k < 7; k++)
            iir[n]->as16IIRGain[k] = (s16)sign_extend(af_get(VI_AF_IIR_GAIN_REG(k), 16 * n, 10), 10);
        for (u32 k = 0; k < 4; k++)
            iir[n]->au16IIRShift[k] = (u16)af_get(VI_AF_IIR_SHIFT_REG, 16 * n + 4 * k, 4);
        for (u32 k = 0; k < 5; k++)
            fir[n]->as16FIRH[k] = (s16)sign_extend(af_get(VI_AF_FIR_REG(k), 16 * n, 6), 6);
        iir[n]->u16IIRThd = (u16)af_get(VI_AF_IIR_THRESH_REG, 16 * n, 11);
        fir[n]->u16FIRThd = (u16)af_get(VI_AF_FIR_THRESH_REG, 16 * n, 11);
    }
    ISP_AF_FV_PARAM_S &fv = af.stFVParam;
    fv.au16AccShiftH[0] = (u16)af_get(VI_AF_ACC_SHIFT_REG, 0, 4);
    fv.au16AccShiftH[1] = (u16)af_get(VI_AF_ACC_SHIFT_REG, 4, 4);
    fv.au16AccShiftV[0] = (u16)af_get(VI_AF_ACC_SHIFT_REG, 8, 4);
    fv.au16AccShiftV[1] = (u16)af_get(VI_AF_ACC_SHIFT_REG, 12, 4);
    fv.u16AccShiftY = (u16)af_get(VI_AF_ACC_SHIFT_REG, 16, 4);
    af.stConfig.u16Hsize = (u16)(af_get(VI_AF_SIZE_REG, 0, 12) + 1);
    af.stConfig.u16Vsize = (u16)(af_get(VI_AF_SIZE_REG, 16, 12) + 1);
}

// ---- reading the hardware's statistics --------------------------------------------------------------------

// Bins 0, 1, 3, 4 from two words; bin 2 is what they leave of 65535.
void hist5_from(u32 lo_word, u32 hi_word, u16 out[5])
{
    out[0] = lo_word & 0xFFFF;
    out[1] = lo_word >> 16;
    out[3] = hi_word & 0xFFFF;
    out[4] = hi_word >> 16;
    u32 sum = std::min<u32>(out[0] + out[1] + out[3] + out[4], 65535);
    out[2] = (u16)(65535 - sum);
}

// A 16-bit float count: exponent in bits 12-15, mantissa in bits 0-11.
u32 hist256_value(u32 reg)
{
    u32 e = (reg >> 12) & 0xF, m = reg & 0xFFF;
    return e == 0 ? m : (m + 4096) << (e - 1);
}

// Means above the black offsets; a mean below its offset makes the whole
// measurement empty.
void rgb_remove_offsets(u16 *r, u16 *g, u16 *b, u16 *count, u16 *min, u16 *max)
{
    if (*count == 0)
        return;
    u32 off[3] = {16 * (IO_READ16(ISP_STAT_BLACK_REG(0)) & 0xFFF), 16 * (IO_READ16(ISP_STAT_BLACK_REG(1)) & 0xFFF),
                  16 * (IO_READ16(ISP_STAT_BLACK_REG(3)) & 0xFFF)};
    u16 *mean[3] = {r, g, b};
    for (u32 i = 0; i < 3; i++) {
        if (*mean[i] < off[i]) {
            *r = *g = *b = *count = 0;
            *min = 65535;
            *max = 0;
            return;
        }
    }
    for (u32 i = 0; i < 3; i++)
        *mean[i] = (u16)(*mean[i] - off[i]);
}

void read_ae(ISP_AE_STATISTICS_S &ae)
{
    u32 g[4];
    for (u32 i = 0; i < 4; i++)
        g[i] = IO_READ16(ISP_AE_HIST5_REG(i));
    hist5_from(g[0] | g[1] << 16, g[2] | g[3] << 16, ae.au16Hist5Value);
    for (u32 k = 0; k < AWB_ZONE_NUM; k++)
        hist5_from(IO_READ32(ISP_AE_ZONE_HIST5_REG(k)), IO_READ32(ISP_AE_ZONE_HIST5_REG(k) + 4),
                   ae.au16ZoneHist5Value[k / AE_ZONE_COLUMN][k % AE_ZONE_COLUMN]);
    for (u32 i = 0; i < 256; i++)
        ae.au32Hist256Value[i] = hist256_value(IO_READ32(ISP_AE_HIST256_REG(i)));
}

void read_wb(ISP_WB_STATISTICS_S &wb)
{
    wb.u16GlobalRg = IO_READ16(ISP_AWB_GLOBAL_GR_REG);
    wb.u16GlobalBg = IO_READ16(ISP_AWB_GLOBAL_GB_REG);
    wb.u16GlobalCountLow = IO_READ16(ISP_AWB_GLOBAL_COUNT_LO_REG);
    wb.u16GlobalCountHigh = IO_READ16(ISP_AWB_GLOBAL_COUNT_HI_REG);
    for (u32 k = 0; k < AWB_ZONE_NUM; k++) {
        u32 a = IO_READ32(ISP_AWB_ZONE_REG(k)), b = IO_READ32(ISP_AWB_ZONE_REG(k) + 4);
        wb.stZoneSta[k] = {(u16)(a & 0xFFFF), (u16)(a >> 16), (u16)(b & 0xFFFF), (u16)(b >> 16)};
    }

    u16 *global[6] = {&wb.u16GlobalR, &wb.u16GlobalG, &wb.u16GlobalB, &wb.u16GlobalCount, &wb.u16GlobalMin,
                      &wb.u16GlobalMax};
    for (u32 i = 0; i < 6; i++)
        *global[i] = IO_READ16(ISP_RGB_GLOBAL_REG(i));
    rgb_remove_offsets(&wb.u16GlobalR, &wb.u16GlobalG, &wb.u16GlobalB, &wb.u16GlobalCount, &wb.u16GlobalMin,
                       &wb.u16GlobalMax);
    for (u32 k = 0; k < AWB_ZONE_NUM; k++) {
        const u32 z = ISP_RGB_ZONE_REG(k), w0 = IO_READ32(z), w1 = IO_READ32(z + 4), w2 = IO_READ32(z + 8);
        wb.au16ZoneAvgR[k] = w0 & 0xFFFF;
        wb.au16ZoneAvgG[k] = w0 >> 16;
        wb.au16ZoneAvgB[k] = w1 & 0xFFFF;
        wb.au16ZoneCount[k] = w1 >> 16;
        wb.au16ZoneMin[k] = w2 >> 16;
        wb.au16ZoneMax[k] = w2 & 0xFFFF;
        rgb_remove_offsets(&wb.au16ZoneAvgR[k], &wb.au16ZoneAvgG[k], &wb.au16ZoneAvgB[k], &wb.au16ZoneCount[k],
                           &wb.au16ZoneMin[k], &wb.au16ZoneMax[k]);
    }

    wb.u16BayerGlobalRg = IO_READ16(ISP_BAYER_GLOBAL_RG_REG) & 0xFFF;
    wb.u16BayerGlobalBg = IO_READ16(ISP_BAYER_GLOBAL_BG_REG) & 0xFFF;
    wb.u32BayerGlobalSum = IO_READ32(ISP_BAYER_GLOBAL_SUM_REG);
    for (u32 k = 0; k < AWB_ZONE_NUM; k++) {
        u32 a = IO_READ32(ISP_BAYER_ZONE_REG(k));
        wb.au16BayerZoneRg[k] = a & 0xFFF;
        wb.au16BayerZoneBg[k] = (a >> 16) & 0xFFF;
        wb.au32BayerZoneSum[k] = IO_READ32(ISP_BAYER_ZONE_REG(k) + 4);
    }
}

// The focus zones the hardware measures; counts beyond the record are cut.
void read_af(ISP_FOCUS_STATISTICS_S &af)
{
    u32 rows = std::min<u32>(af_get(VI_AF_GRID_REG, 8, 5), AE_ZONE_ROW);
    u32 cols = std::min<u32>(af_get(VI_AF_GRID_REG, 0, 5), AE_ZONE_COLUMN);
    if (rows == 0)
        return;
    for (u32 r = 0; r < rows; r++) {
        for (u32 c = 0; c < cols; c++) {
            u32 a = VI_AF_ZONE_REG(r * cols + c);
            u32 w0 = IO_READ32_VI(a), w1 = IO_READ32_VI(a + 4), w2 = IO_READ32_VI(a + 8);
            af.stZoneMetrics[r][c] = {(u16)(w0 >> 16), (u16)(w0 & 0xFFFF), (u16)(w1 >> 16), (u16)(w1 & 0xFFFF),
                                      (u16)(w2 & 0xFFFF)};
        }
    }
}

} // namespace

// ---- the per-frame buffer --------------------------------------------------------------------------

s32 ISP_StatisticsInit(ISP_DEV IspDev)
{
    ISP_STAT_CTX_S &c = g_astStatCtx[0];
    memset(&c, 0, sizeof c);
    s32 ret = isp_ioctl(ISP_STAT_BUF_INIT, &c.u32PhyBase);
    if (ret != 0) {
        ISP_TRACE("init statistics bufs failed %x!\n", ret);
        return ret;
    }
    c.pVirtBase = static_cast<u8 *>(isp_map_kernel_buf(c.u32PhyBase, ISP_STAT_AREA_SIZE, ISP_STAT_BUF_EXIT,
                                                        __FUNCTION__, "mmap statistics bufs failed!"));
    if (!c.pVirtBase)
        return DU_ERR_ISP_NOMEM;
    c.bInit = 1;
    return 0;
}

s32 ISP_StatisticsExit(ISP_DEV IspDev)
{
    ISP_STAT_CTX_S &c = g_astStatCtx[0];
    if (!c.bInit)
        return 0;
    if (c.pVirtBase)
        DU_DUZ_SYS_Munmap(c.pVirtBase, ISP_STAT_AREA_SIZE);
    c.pVirtBase = nullptr;
    c.bInit = 0;
    c.bRead = 0;
    s32 ret = isp_ioctl(ISP_STAT_BUF_EXIT, nullptr);
    if (ret != 0) {
        ISP_TRACE("exit statistics bufs failed %x!\n", ret);
        return ret;
    }
    return 0;
}

s32 ISP_StatisticsGetBuf(ISP_DEV IspDev, void **ppStat)
{
    ISP_STAT_CTX_S &c = g_astStatCtx[0];
    if (!c.bRead) {
        s32 ret = isp_ioctl(ISP_STAT_BUF_GET, &c.stStatInfo);
        if (ret != 0)
            return ret;
        // The driver's address must name a whole buffer inside our mapping.
        u32 off = c.stStatInfo.u32PhyAddr - c.u32PhyBase;
        bool inside = c.stStatInfo.u32PhyAddr >= c.u32PhyBase && off <= ISP_STAT_AREA_SIZE - ISP_STAT_BUF_SIZE;
        if (!c.pVirtBase || !inside) {
            c.stStatInfo.u32Key = IO_READ32(ISP_EXT_STAT_KEY);
            isp_ioctl(ISP_STAT_BUF_PUT, &c.stStatInfo);
            c.stStatInfo.pVirtAddr = nullptr;
            return -1;
        }
        c.stStatInfo.pVirtAddr = c.pVirtBase + off;
        c.bRead = 1;
    }
    if (!c.stStatInfo.pVirtAddr)
        return -1;
    *ppStat = c.stStatInfo.pVirtAddr;
    return 0;
}

s32 ISP_StatisticsPutBuf(ISP_DEV IspDev)
{
    ISP_STAT_CTX_S &c = g_astStatCtx[0];
    c.stStatInfo.u32Key = IO_READ32(ISP_EXT_STAT_KEY);
    if (c.bRead) {
        s32 ret = isp_ioctl(ISP_STAT_BUF_PUT, &c.stStatInfo);
        if (ret != 0)
            ISP_TRACE("Release ISP stat buf Failed with ec %#x!\n", ret);
    }
    c.stStatInfo.pVirtAddr = nullptr;
    c.bRead = 0;
    return 0;
}

// ---- the statistics interface ---------------------------------------------------------------------

s32 DU_DUZ_ISP_SetStatisticsConfig(ISP_DEV IspDev, const ISP_STATISTICS_CFG_S *pstStatCfg)
{
    ISP_CHECK_REC(IspDev, pstStatCfg);
    ISP_RETURN_IF_FAILED(check_ae(pstStatCfg->stAECfg, __FUNCTION__));
    ISP_RETURN_IF_FAILED(check_wb(pstStatCfg->stWBCfg));
    ISP_RETURN_IF_FAILED(check_af(pstStatCfg->stFocusCfg));

    const ISP_AE_STATISTICS_CFG_S &ae = pstStatCfg->stAECfg;
    IO_WRITE32(ISP_EXT_STAT_KEY, pstStatCfg->unKey);
    for (u32 i = 0; i < 4; i++)
        IO_WRITE8(ISP_AE_THRESH_REG(i), ae.au8AEThresh[i]);
    IO_WRITE8(ISP_AE_SWITCH_REG, ae.enAESwitch & 7);
    IO_WRITE8(ISP_AE_HIST_SWITCH_REG, ae.enHistSwitch);
    IO_WRITE8(ISP_AE_SUM_SWITCH_REG, ae.enAESumSwitch);
    wb_write(kBayerRegs, pstStatCfg->stWBCfg.stBayerCfg);
    wb_write(kRgbRegs, pstStatCfg->stWBCfg.stRGBCfg);
    af_write(pstStatCfg->stFocusCfg);
    return 0;
}

s32 DU_DUZ_ISP_GetStatisticsConfig(ISP_DEV IspDev, ISP_STATISTICS_CFG_S *pstStatCfg)
{
    ISP_CHECK_REC(IspDev, pstStatCfg);
    ISP_AE_STATISTICS_CFG_S &ae = pstStatCfg->stAECfg;
    pstStatCfg->unKey = IO_READ32(ISP_EXT_STAT_KEY);
    for (u32 i = 0; i < 4; i++)
        ae.au8AEThresh[i] = (u8)IO_READ8(ISP_AE_THRESH_REG(i));
    ae.enAESwitch = IO_READ8(ISP_AE_SWITCH_REG) & 7;
    ae.enHistSwitch = IO_READ8(ISP_AE_HIST_SWITCH_REG);
    ae.enAESumSwitch = IO_READ8(ISP_AE_SUM_SWITCH_REG);
    wb_read(kBayerRegs, pstStatCfg->stWBCfg.stBayerCfg);
    wb_read(kRgbRegs, pstStatCfg->stWBCfg.stRGBCfg);
    af_read(pstStatCfg->stFocusCfg);
    return 0;
}

s32 DU_DUZ_ISP_GetStatistics(ISP_DEV IspDev, ISP_STATISTICS_S *pstStat)
{
    ISP_CHECK_REC(IspDev, pstStat);
    read_ae(pstStat->stAEStat);
    read_wb(pstStat->stWBStat);
    read_af(pstStat->stFocusStat);
    return 0;
}
