// Defect-pixel correction: the dynamic correction's thresholds every frame,
// the static table the attribute call loads through the hardware's table
// port, and the static calibration, which raises the detection threshold
// or lowers it trial by trial until the count of pixels found falls within
// the asked range. While it calibrates, the sensor sync stands still.
#include "isp/modules/isp_iq.h"

#include <algorithm>
#include <iterator>
#include <unistd.h>

namespace {

// ext registers of the calibration and of the dynamic correction
constexpr u32 kExtDetect = 0x10308;      // bit 0: calibrate from the next frame
constexpr u32 kExtFinishThresh = 0x12104; // low byte: the threshold of the last trial
constexpr u32 kExtThreshStatus = 0x12106; // bits 0-7 start threshold, bits 8-9 status
constexpr u32 kExtTimeLimit = 0x12108;
constexpr u32 kExtCountMax = 0x12110;
constexpr u32 kExtCountMin = 0x12112;
constexpr u32 kExtStaticType = 0x12116;   // bit 0
constexpr u32 kExtSlope = 0x1219C;
constexpr u32 kExtThresh = 0x1219E;

constexpr u32 kStartThreshBits = 0xFF, kStatusBits = 0x300;
constexpr u32 kCountMax = 0xFFF;  // the found count register has 12 bits
constexpr u32 kTimeLimitMax = 1600;
constexpr u32 kPositionMax = 0xFFFFFF; // a table entry is a 24-bit position
// The table holds 4096 entries but its count register 12 bits: 4096 would
// read as none.
constexpr u32 kTableMax = STATIC_DP_COUNT_MAX - 1;
constexpr useconds_t kTableLoadUs = 200000; // the strobe is held while the hardware takes the table

constexpr u32 kValidMark = 24;
// During a trial the dynamic correction's slope goes to its top and, for
// dark pixels, its threshold low; green equalisation works harder.
constexpr u16 kCalibSlope = 512, kCalibDarkThresh = 64;
constexpr u8 kCalibGeStrength = 32;

// ---- records ---------------------------------------------------------------------------------

using Cal = ISP_DP_STATIC_CALIBRATE_S;
#define C(m) VREG_MEMBER(Cal, m)
// Checked in the order below; the start request goes in last, so that the
// frame that sees it sees its limits.
constexpr vreg_field kCalibrateFields[] = {
    isp_bool_field(ISP_DP_STATIC_REG, 1, C(bEnable), ISP_DP_STATIC_ENABLE),
    vreg_rule(C(bEnableDetect), isp_bool_rule()),
    vreg_rule(C(u16CountMax), refuse_above(kCountMax, "Invalid u16CountMax Parameter Input!")),
    vreg_rule(C(u16CountMin), refuse_above_member(C(u16CountMax), "Invalid u16CountMin Parameter Input!")),
    vreg_rule(C(u16TimeLimit), refuse_above(kTimeLimitMax, "Invalid u16TimeLimit Parameter Input!")),
    vreg_rule(C(enStaticDPType), refuse_above(1, "Invalid  enStaticDPType Input!")),
    vreg_rule(C(enStatus), refuse_above(ISP_STATUS_TIMEOUT, "Invalid  enStatus Input!")),
    vreg_rule(C(u8StartThresh), refuse_below(1, "u8StartThresh  should be bigger than 0!")),
    vreg_reg(kExtStaticType, 1, C(enStaticDPType)).bits(0x1),
    vreg_reg(kExtThreshStatus, 2, C(u8StartThresh)).bits(kStartThreshBits),
    vreg_reg(kExtCountMax, 2, C(u16CountMax)),
    vreg_reg(kExtCountMin, 2, C(u16CountMin)),
    vreg_reg(kExtTimeLimit, 2, C(u16TimeLimit)),
    vreg_reg(kExtThreshStatus, 2, C(enStatus)).bits(kStatusBits),
    vreg_reg(kExtDetect, 1, C(bEnableDetect)).bits(0x1),
    vreg_reg(kExtFinishThresh, 1, C(u8FinishThresh)).read_only(),
    vreg_reg(ISP_DP_FOUND_REG, 2, C(u16Count)).bits(0xFFF).read_only(),
};
#undef C
constexpr vreg_table<Cal> kCalibrateRecord = vreg_table_of<Cal>(kCalibrateFields, DU_ERR_ISP_ILLEGAL_PARAM);

s32 merged_count(const ISP_DP_STATIC_ATTR_S &st, u32 *out);
s32 merge_rule(const void *rec)
{
    const ISP_DP_ATTR_S &a = *static_cast<const ISP_DP_ATTR_S *>(rec);
    if (merged_count(a.stStaticAttr, nullptr) <= (s32)kTableMax)
        return 0;
    printf("The size of merging DP table(BrightTable and DarkTable) is larger than STATIC_DP_COUNT_MAX!");
    return DU_ERR_ISP_ILLEGAL_PARAM;
}

using Attr = ISP_DP_ATTR_S;
#define A(m) VREG_MEMBER(Attr, m)
constexpr const char *kTableMsg = "au32DarkTable and au32BrightTable should be less than 0x1000000!";
// The counts and tables are checked here and merged into the table port by
// the call itself; the Get shows the port's table as the bright one.
constexpr vreg_field kAttrFields[] = {
    isp_bool_field(ISP_DP_CTRL_REG, 1, A(stDynamicAttr.bEnable), ISP_DP_CTRL_DYNAMIC),
    vreg_reg(kExtSlope, 2, A(stDynamicAttr.u16Slope))
        .check(refuse_above(0xFFF, "DynamicAttr u16Slope should be less  than 0xFFF!")),
    vreg_reg(kExtThresh, 2, A(stDynamicAttr.u16Thresh))
        .check(refuse_above(0xFFF, "DynamicAttr u16Thresh should be less  than 0xFFF!")),
    vreg_reg(ISP_DP_LINE_THRESH_REG, 2, A(stDynamicAttr.u16LineThresh))
        .bits(0xFFF)
        .check(refuse_above(0xFFF, "DynamicAttr u16LineThresh should be less  than 0xFFF!")),
    vreg_reg(ISP_DP_HP_THRESH_REG, 2, A(stDynamicAttr.u16HpThresh))
        .bits(0xFFF)
        .check(refuse_above(0xFFF, "DynamicAttr u16HpThresh should be less  than 0xFFF!")),
    vreg_reg(ISP_DP_BLEND_REG, 1, A(stDynamicAttr.u8BlendRatio)),
    isp_bool_field(ISP_DP_STATIC_REG, 1, A(stStaticAttr.bEnable), ISP_DP_STATIC_ENABLE),
    vreg_reg(ISP_DP_COUNT_REG, 2, A(stStaticAttr.u16BrightCount))
        .bits(0xFFF)
        .check(refuse_above(STATIC_DP_COUNT_MAX, "StaticAttr u16BrightCount should be less  than STATIC_DP_COUNT_MAX!"))
        .read_only(),
    vreg_rule(A(stStaticAttr.u16DarkCount),
              refuse_above(STATIC_DP_COUNT_MAX, "StaticAttr u16DarkCount should be less  than STATIC_DP_COUNT_MAX!")),
    vreg_rule(A(stStaticAttr.au32BrightTable), refuse_above(kPositionMax, kTableMsg)),
    vreg_rule(A(stStaticAttr.au32DarkTable), refuse_above(kPositionMax, kTableMsg)),
    isp_bool_field(ISP_DP_STATIC_REG, 1, A(stStaticAttr.bDetectMode), ISP_DP_STATIC_DETECT),
    vreg_rule(A(stStaticAttr.u16DarkCount), refuse_by(merge_rule)),
};
#undef A
constexpr vreg_table<Attr> kAttrRecord = vreg_table_of<Attr>(kAttrFields, DU_ERR_ISP_ILLEGAL_PARAM);

// The two ascending lists merged (an entry in both once); the merged
// count, the entries into `out` when given, as far as the table goes.
s32 merged_count(const ISP_DP_STATIC_ATTR_S &st, u32 *out)
{
    const u32 nb = std::min<u32>(st.u16BrightCount, STATIC_DP_COUNT_MAX);
    const u32 nd = std::min<u32>(st.u16DarkCount, STATIC_DP_COUNT_MAX);
    u32 i = 0, j = 0, n = 0;
    auto put = [&](u32 v) {
        if (out && n < STATIC_DP_COUNT_MAX)
            out[n] = v;
        n++;
    };
    while (i < nb && j < nd) {
        const u32 b = st.au32BrightTable[i], d = st.au32DarkTable[j];
        if (b == d)
            put(b), i++, j++;
        else if (b < d)
            put(b), i++;
        else
            put(d), j++;
    }
    while (i < nb)
        put(st.au32BrightTable[i++]);
    while (j < nd)
        put(st.au32DarkTable[j++]);
    return (s32)n;
}

// Entry `index` of the static table, by the port's read sequence.
u32 table_read(u32 index)
{
    IO_WRITE32(ISP_DP_TABLE_INDEX_REG, index & 0xFFF);
    IO_READ32(ISP_DP_TABLE_INDEX_REG);
    IO_WRITE32(ISP_DP_TABLE_RDATA_REG, 0);
    IO_READ32(ISP_DP_TABLE_INDEX_REG);
    IO_WRITE32(ISP_DP_TABLE_RDATA_REG, 0);
    return IO_READ32(ISP_DP_TABLE_RDATA_REG);
}

void table_write(u32 index, u32 value)
{
    IO_WRITE32(ISP_DP_TABLE_INDEX_REG, index);
    IO_WRITE32(ISP_DP_TABLE_WDATA_REG, value);
}

// ---- the module --------------------------------------------------------------------------------

struct DpState {
    u16 u16Thresh;     // the detection threshold of the trial
    u8 u8StaticType;
    u8 u8Step;         // frames into the calibration (a trial is steps 4..9)
    u8 u8SavedDetectMode;
    s8 s8Result;       // 0 running, 1 success, -1 timed out
    s8 bActive;
    u8 u8Trials;
    u8 u8TrialLimit;
    u16 u16Found;
    u32 u32Mark;
    u32 bDetectRequest;
    u16 u16Slope, u16DynThresh;
};
DpState g_dp;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

void set_status(u32 status) { io_update16(kExtThreshStatus, kStatusBits, status << 8); }

s32 ISP_DpInit(ISP_DEV IspDev)
{
    io_update8(kExtDetect, 1, 0);
    IO_WRITE16(kExtCountMax, 256);
    IO_WRITE16(kExtCountMin, 64);
    io_update16(kExtThreshStatus, kStartThreshBits | kStatusBits, 31);
    IO_WRITE8(kExtFinishThresh, 31);
    IO_WRITE16(kExtTimeLimit, kTimeLimitMax);
    io_update8(kExtStaticType, 1, 0);
    io_update8(ISP_DP_STATIC_REG, 0, ISP_DP_STATIC_ENABLE);
    io_update8(ISP_DP_CTRL_REG, 0, ISP_DP_CTRL_GE | ISP_DP_CTRL_DYNAMIC);
    IO_WRITE16(ISP_DP_THRESH_REG, 188);
    IO_WRITE16(ISP_DP_SLOPE_REG, 0);
    IO_WRITE8(ISP_GE_STRENGTH_REG, 16);
    IO_WRITE16(ISP_CR_THRESH_REG, 270);
    IO_WRITE16(ISP_CR_SLOPE_REG, 1144);
    IO_WRITE8(ISP_CR_WEIGHT_REG, 219);
    IO_WRITE16(ISP_DP_HP_THRESH_REG, 2314);
    IO_WRITE16(kExtThresh, 188);
    IO_WRITE16(kExtSlope, 0);
    g_dp = {};
    g_dp.u32Mark = kValidMark;
    return 0;
}

// The end of a calibration, whichever way it ended: the sensor and the
// detection mode as they were before it.
void calibration_exit(ISP_DEV IspDev, ISP_REG_CFG_S *cfg)
{
    g_dp.u8Step = 0;
    g_dp.u32Mark = kValidMark;
    g_dp.u16Found = 0;
    g_dp.u8Trials = 0;
    if (g_dp.u8StaticType == ISP_STATIC_DP_BRIGHT) {
        ISP_SensorSetPixelDetect(IspDev, 0);
        io_update8(ISP_MODULE_CTRL_REG, ISP_MODULE_PIXEL_DETECT, 0);
    }
    cfg->u8DpDetectMode = g_dp.u8SavedDetectMode;
    io_update8(ISP_DP_STATIC_REG, ISP_DP_STATIC_DETECT, g_dp.u8SavedDetectMode ? ISP_DP_STATIC_DETECT : 0);
    g_dp.bActive = 0;
}

void calibration_enter(ISP_DEV IspDev, ISP_REG_CFG_S *cfg)
{
    if (g_dp.u8StaticType == ISP_STATIC_DP_BRIGHT) {
        ISP_SensorSetPixelDetect(IspDev, 1);
        io_update8(ISP_MODULE_CTRL_REG, 0, ISP_MODULE_PIXEL_DETECT);
    }
    g_dp.u16Thresh = IO_READ16(kExtThreshStatus) & kStartThreshBits;
    g_dp.u8SavedDetectMode = (IO_READ8(ISP_DP_STATIC_REG) & ISP_DP_STATIC_DETECT) ? 1 : 0;
    g_dp.bActive = 1;
    cfg->u16DpSlope = kCalibSlope;
    if (g_dp.u8StaticType == ISP_STATIC_DP_DARK)
        cfg->u16DpThresh = kCalibDarkThresh;
    cfg->u8GeStrength = kCalibGeStrength;
    cfg->u32Key |= ISP_REGCFG_DP | ISP_REGCFG_GE;
}

void calibration_done(ISP_DEV IspDev, ISP_REG_CFG_S *cfg, s8 result)
{
    calibration_exit(IspDev, cfg);
    cfg->u8GeStrength = 0;
    cfg->u32Key |= ISP_REGCFG_GE;
    g_dp.s8Result = result;
    set_status(result > 0 ? ISP_STATUS_SUCCESS : ISP_STATUS_TIMEOUT);
}

// The last frame of a trial: the count found decides the next threshold,
// or the end.
void trial_judge(ISP_DEV IspDev, ISP_REG_CFG_S *cfg)
{
    g_dp.u16Found = IO_READ16(ISP_DP_FOUND_REG) & 0xFFF;
    cfg->u8DpDetectMode = 0;
    cfg->u32Key |= ISP_REGCFG_DP;
    const u32 count_max = IO_READ16(kExtCountMax), count_min = IO_READ16(kExtCountMin);
    if (g_dp.u8Trials >= g_dp.u8TrialLimit) {
        printf("BAD PIXEL CALIBRATION TIME OUT  %x\n", g_dp.u8TrialLimit);
        calibration_done(IspDev, cfg, -1);
    } else if (g_dp.u16Found > count_max) {
        printf("BAD_PIXEL_COUNT_UPPER_LIMIT %x, %x\n", g_dp.u16Thresh, g_dp.u16Found);
        g_dp.u8Step = 3;
        g_dp.u16Thresh++;
        g_dp.u8Trials++;
    } else if (g_dp.u16Found < count_min) {
        printf("BAD_PIXEL_COUNT_LOWER_LIMIT %x, %x\n", g_dp.u16Thresh, g_dp.u16Found);
        g_dp.u8Step = 3;
        if (g_dp.u16Thresh == 1)
            g_dp.u8Trials = g_dp.u8TrialLimit; // nothing lower is worth a trial
        if (g_dp.u16Thresh > 0)
            g_dp.u16Thresh--;
        g_dp.u8Trials++;
    } else {
        printf("trial: %x, findshed: %x\n", g_dp.u8Trials, g_dp.u16Found);
        calibration_done(IspDev, cfg, 1);
    }
    IO_WRITE8(kExtFinishThresh, g_dp.u16Thresh);
}

// One frame of a calibration: the step counter drives the trial's register
// sequence.
void calibration_step(ISP_DEV IspDev, ISP_REG_CFG_S *cfg)
{
    if (g_dp.u8Step > 9)
        return;
    if (g_dp.u8Step == 2)
        calibration_enter(IspDev, cfg);
    switch (++g_dp.u8Step) {
    case 4:
        cfg->u16DpThresh = g_dp.u16Thresh;
        cfg->u16DpStaticCount = 0;
        cfg->u8DpDetectMode = 1;
        cfg->u8DpStaticEnable = 1;
        cfg->u8DpTableStrobe = 1;
        cfg->u32Key |= ISP_REGCFG_DP;
        break;
    case 5:
        cfg->u8DpTableStrobe = 0;
        cfg->u8DpStaticBit4 = 1;
        cfg->u32Key |= ISP_REGCFG_DP;
        break;
    case 7:
        cfg->u8DpStaticBit4 = 0;
        cfg->u32Key |= ISP_REGCFG_DP;
        break;
    case 9:
        trial_judge(IspDev, cfg);
        break;
    default:
        break;
    }
}

s32 ISP_DpRun(ISP_DEV IspDev, const void *, void *pRegCfg, s32)
{
    ISP_REG_CFG_S *cfg = static_cast<ISP_REG_CFG_S *>(pRegCfg);
    ISP_CTX_S &c = ctx();
    g_dp.u8TrialLimit = (u8)std::min<u32>(IO_READ16(kExtTimeLimit) >> 3, 0xFF);
    g_dp.bDetectRequest = IO_READ8(kExtDetect) & 1;
    g_dp.u16Slope = IO_READ16(kExtSlope);
    g_dp.u16DynThresh = IO_READ16(kExtThresh);
    g_dp.u8StaticType = IO_READ8(kExtStaticType) & 1;

    if (!g_dp.bDetectRequest) {
        if (g_dp.bActive) {
            // Called off: the state from before, the status as it is.
            calibration_exit(IspDev, cfg);
            cfg->u8GeStrength = 0;
            cfg->u32Key |= ISP_REGCFG_DP | ISP_REGCFG_GE;
        } else {
            cfg->u16DpSlope = g_dp.u16Slope;
            cfg->u16DpThresh = g_dp.u16DynThresh;
            IO_WRITE16(ISP_DP_SLOPE_REG, g_dp.u16Slope & 0xFFF);
            IO_WRITE16(ISP_DP_THRESH_REG, g_dp.u16DynThresh & 0xFFF);
        }
        c.bSyncSkip = 0;
        return 0;
    }

    c.bSyncSkip = 1;
    cfg->u32Key = 0;
    if (g_dp.u32Mark != kValidMark)
        return -1;
    g_dp.s8Result = 0;
    const bool dark = g_dp.u8StaticType == ISP_STATIC_DP_DARK;
    io_update8(ISP_DP_CTRL_REG, ISP_DP_CTRL_DETECT_BRIGHT | ISP_DP_CTRL_DETECT_DARK,
               dark ? ISP_DP_CTRL_DETECT_DARK : ISP_DP_CTRL_DETECT_BRIGHT);
    calibration_step(IspDev, cfg);
    if (g_dp.s8Result != 0) {
        io_update8(kExtDetect, 1, 0);
        io_update8(ISP_DP_CTRL_REG, ISP_DP_CTRL_DETECT_BRIGHT | ISP_DP_CTRL_DETECT_DARK, 0);
    }
    return 0;
}

s32 ISP_DpCtrl(ISP_DEV, u32, void *) { return 0; }
s32 ISP_DpExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterDp(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_DP, {ISP_DpInit, ISP_DpRun, ISP_DpCtrl, ISP_DpExit});
}

s32 DU_DUZ_ISP_SetDPCalibrate(ISP_DEV IspDev, const ISP_DP_STATIC_CALIBRATE_S *pstDPCalibrate)
{
    return isp_iq_regs(kCalibrateRecord, IspDev, pstDPCalibrate, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetDPCalibrate(ISP_DEV IspDev, ISP_DP_STATIC_CALIBRATE_S *pstDPCalibrate)
{
    s32 ret = isp_iq_regs(kCalibrateRecord, IspDev, pstDPCalibrate, __FUNCTION__);
    if (ret != 0)
        return ret;
    const u32 start = IO_READ16(ISP_DP_START_REG) & 0xFFF;
    for (u32 i = 0; i < STATIC_DP_COUNT_MAX; i++)
        pstDPCalibrate->au32Table[i] = i < pstDPCalibrate->u16Count ? table_read(i + start) : 0;
    return 0;
}

s32 DU_DUZ_ISP_SetDPAttr(ISP_DEV IspDev, const ISP_DP_ATTR_S *pstDPAttr)
{
    s32 ret = isp_iq_check(IspDev, pstDPAttr, __FUNCTION__);
    if (ret == 0)
        ret = vreg_check_record(kAttrRecord.r, pstDPAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    static u32 merged[STATIC_DP_COUNT_MAX]; // 16 KB: one table port, one caller at a time
    const u32 n = (u32)merged_count(pstDPAttr->stStaticAttr, merged);
    vreg_write_record(kAttrRecord.r, 0, pstDPAttr);
    for (u32 i = 0; i < n; i++)
        table_write(i, merged[i]);
    IO_WRITE16(ISP_DP_COUNT_REG, n & 0xFFF);
    io_update8(ISP_DP_STATIC_REG, 0, ISP_DP_STATIC_LOAD);
    usleep(kTableLoadUs);
    io_update8(ISP_DP_STATIC_REG, ISP_DP_STATIC_LOAD, 0);
    return 0;
}

s32 DU_DUZ_ISP_GetDPAttr(ISP_DEV IspDev, ISP_DP_ATTR_S *pstDPAttr)
{
    s32 ret = isp_iq_regs(kAttrRecord, IspDev, pstDPAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    ISP_DP_STATIC_ATTR_S &st = pstDPAttr->stStaticAttr;
    for (u32 i = 0; i < STATIC_DP_COUNT_MAX; i++)
        st.au32BrightTable[i] = i < st.u16BrightCount ? table_read(i) & kPositionMax : 0;
    st.u16DarkCount = 0;
    std::fill(std::begin(st.au32DarkTable), std::end(st.au32DarkTable), 0u);
    return 0;
}
