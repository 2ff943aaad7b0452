// The register configuration: the modules fill groups of fields and set
// their key bits, the core writes the set groups to the hardware once per
// frame and hands the sensor's sync registers to the kernel.
#include "isp/isp_ctx.h"

#include <cstring>
#include <vector>

#include "isp/isp_requests.h"

namespace {

struct ISP_REGCFG_CTX_S {
    u32 bInit;
    u32 u32Reserved;
    ISP_REG_CFG_S stRegCfg;
    ISP_SYNC_CFG_S stSyncCfg;
};
ISP_REGCFG_CTX_S g_astRegCfgCtx[ISP_MAX_DEV_NUM];

// One field of the configuration and the register it goes to. `bit` >= 0
// names one bit of a byte register (bit 0 of the field counts).
struct RegField {
    u32 key;
    u16 offset;    // in ISP_REG_CFG_S
    u8 size;       // bytes of the field: 1, 2 or 4
    u8 reg_width;  // 8 or 16
    u32 addr;
    u32 mask;
    s8 bit;
    bool write;    // false: read back only
};

void add(std::vector<RegField> &t, u32 key, size_t off, u8 size, u8 width, u32 addr, u32 mask, bool write = true)
{
    t.push_back({key, (u16)off, size, width, addr, mask, -1, write});
}

void add_bit(std::vector<RegField> &t, u32 key, size_t off, u32 addr, s8 bit)
{
    t.push_back({key, (u16)off, 1, 8, addr, 1, bit, true});
}

// The groups in the order they are written.
const std::vector<RegField> &fields()
{
    static const std::vector<RegField> table = [] {
        std::vector<RegField> t;
        for (u32 i = 0; i < 4; i++)
            add(t, ISP_REGCFG_AE_WEIGHT, offsetof(ISP_REG_CFG_S, au8MeteringHistThresh) + i, 1, 8, ISP_AE_THRESH_REG(i), 0xFF);
        for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
            add(t, ISP_REGCFG_AE_WEIGHT, offsetof(ISP_REG_CFG_S, au8WeightTable) + i, 1, 8, ISP_AE_WEIGHT_REG(i), 0xF);
        for (u32 i = 0; i < 4; i++)
            add(t, ISP_REGCFG_AWB_GAIN, offsetof(ISP_REG_CFG_S, au32WhiteBalanceGain) + 4 * i, 4, 16, ISP_WB_GAIN_REG(i), 0xFFF);
        for (u32 i = 0; i < CCM_MATRIX_SIZE; i++)
            add(t, ISP_REGCFG_AWB_GAIN, offsetof(ISP_REG_CFG_S, au16ColorMatrix) + 2 * i, 2, 16, ISP_CCM_REG(i), 0xFFFF);
        static const u32 thresh_regs[10] = {ISP_AWB_WHITE_REG,        ISP_AWB_BLACK_REG,        ISP_AWB_CR_MAX_REG,
                                            ISP_AWB_CB_MAX_REG,       ISP_AWB_CR_MIN_REG,       ISP_AWB_CB_MIN_REG,
                                            ISP_AWB_LIMIT_CR_MAX_REG, ISP_AWB_LIMIT_CR_MIN_REG, ISP_AWB_LIMIT_CB_MAX_REG,
                                            ISP_AWB_LIMIT_CB_MIN_REG};
        for (u32 i = 0; i < 10; i++)
            add(t, ISP_REGCFG_AWB_STAT, offsetof(ISP_REG_CFG_S, au16AwbStatThresh) + 2 * i, 2, 16, thresh_regs[i],
                i < 2 ? 0x3FF : 0xFFF);
        add_bit(t, ISP_REGCFG_AWB_BAYER, offsetof(ISP_REG_CFG_S, u32BayerSwitchA), ISP_AWB_BAYER_SWITCH_REG, 1);
        add_bit(t, ISP_REGCFG_AWB_BAYER, offsetof(ISP_REG_CFG_S, u32BayerSwitchB), ISP_AWB_BAYER_SWITCH_REG, 0);
        static const u32 limit_regs[10] = {
            ISP_AWB_BAYER_WHITE_REG,        ISP_AWB_BAYER_BLACK_REG,        ISP_AWB_BAYER_CR_MAX_REG,
            ISP_AWB_BAYER_CB_MAX_REG,       ISP_AWB_BAYER_CR_MIN_REG,       ISP_AWB_BAYER_CB_MIN_REG,
            ISP_AWB_BAYER_LIMIT_CR_MAX_REG, ISP_AWB_BAYER_LIMIT_CR_MIN_REG, ISP_AWB_BAYER_LIMIT_CB_MAX_REG,
            ISP_AWB_BAYER_LIMIT_CB_MIN_REG};
        for (u32 i = 0; i < 10; i++)
            add(t, ISP_REGCFG_AWB_BAYER, offsetof(ISP_REG_CFG_S, au16BayerLimit) + 2 * i, 2, 16, limit_regs[i], 0xFFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u16NrLimit), 2, 16, ISP_NR_LIMIT_REG, 0xFFFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u8NrFilterMode), 1, 8, ISP_NR_FILTER_REG, 0xFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u8NrSlope), 1, 8, ISP_NR_SLOPE_REG, 0xFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u8NrThreshS), 1, 8, ISP_NR_THRESH_S_REG, 0xFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u8NrThreshL), 1, 8, ISP_NR_THRESH_L_REG, 0xFF);
        add(t, ISP_REGCFG_NR, offsetof(ISP_REG_CFG_S, u8NrOffset), 1, 8, ISP_NR_OFFSET_REG, 0xFF);
        add(t, ISP_REGCFG_SHARPEN, offsetof(ISP_REG_CFG_S, u8SharpenD), 1, 8, ISP_SHARPEN_D_REG, 0xFF);
        add(t, ISP_REGCFG_SHARPEN, offsetof(ISP_REG_CFG_S, u8SharpenUd), 1, 8, ISP_SHARPEN_UD_REG, 0xFF);
        add(t, ISP_REGCFG_SHARPEN, offsetof(ISP_REG_CFG_S, u16SharpenLumThresh), 2, 16, ISP_SHARPEN_LUM_REG, 0xFFF);
        add(t, ISP_REGCFG_SHARPEN, offsetof(ISP_REG_CFG_S, u8SharpenRGB), 1, 8, ISP_SHARPEN_RGB_REG, 0xFF);
        add(t, ISP_REGCFG_GE, offsetof(ISP_REG_CFG_S, u8GeStrength), 1, 8, ISP_GE_STRENGTH_REG, 0xFF);
        add_bit(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u8DpStaticEnable), ISP_DP_STATIC_REG, 2);
        add_bit(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u8DpTableStrobe), ISP_DP_STATIC_REG, 0);
        add_bit(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u8DpStaticBit4), ISP_DP_STATIC_REG, 4);
        add_bit(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u8DpDetectMode), ISP_DP_STATIC_REG, 3);
        add(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u16DpSlope), 2, 16, ISP_DP_SLOPE_REG, 0xFFF);
        add(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u16DpThresh), 2, 16, ISP_DP_THRESH_REG, 0xFFF);
        add(t, ISP_REGCFG_DP, offsetof(ISP_REG_CFG_S, u16DpStaticCount), 2, 16, ISP_DP_COUNT_REG, 0xFFF);
        // read back once, then kept by their modules
        for (u32 i = 0; i < 4; i++)
            add(t, ISP_REGCFG_WHITE_POINT, offsetof(ISP_REG_CFG_S, au16WhitePoint) + 2 * i, 2, 16, ISP_STAT_BLACK_REG(i),
                0xFFFF, false);
        add(t, ISP_REGCFG_DRC, offsetof(ISP_REG_CFG_S, u32DrcStrength), 4, 8, ISP_DRC_STRENGTH_REG, 0xFF, false);
        return t;
    }();
    return table;
}

u32 field_get(const ISP_REG_CFG_S *cfg, const RegField &f)
{
    const u8 *p = reinterpret_cast<const u8 *>(cfg) + f.offset;
    u32 v = 0;
    memcpy(&v, p, f.size); // little endian: the low bytes
    return v;
}

void field_set(ISP_REG_CFG_S *cfg, const RegField &f, u32 v)
{
    u8 *p = reinterpret_cast<u8 *>(cfg) + f.offset;
    memcpy(p, &v, f.size);
}

u32 reg_read(const RegField &f) { return f.reg_width == 16 ? IO_READ16(f.addr) : IO_READ8(f.addr); }
void reg_write(const RegField &f, u32 v)
{
    if (f.reg_width == 16)
        IO_WRITE16(f.addr, v);
    else
        IO_WRITE8(f.addr, v);
}

} // namespace

ISP_REG_CFG_S *isp_regcfg(void) { return &g_astRegCfgCtx[0].stRegCfg; }

void ISP_RegConfigInit(ISP_REG_CFG_S *pstRegCfg)
{
    for (const RegField &f : fields()) {
        if (!(pstRegCfg->u32Key & f.key))
            continue;
        u32 v = reg_read(f);
        field_set(pstRegCfg, f, f.bit >= 0 ? (v >> f.bit) & 1 : v & f.mask);
    }
    if (pstRegCfg->u32Key & ISP_REGCFG_AE_EXP) {
        for (u32 &t : pstRegCfg->stExpCfg.au32IntTime)
            t = 2;
        pstRegCfg->stExpCfg.u32IspDgain = 1;
    }
}

void ISP_RegConfig(const ISP_REG_CFG_S *pstRegCfg)
{
    for (const RegField &f : fields()) {
        if (!f.write || !(pstRegCfg->u32Key & f.key))
            continue;
        u32 v = field_get(pstRegCfg, f);
        if (f.bit >= 0)
            reg_write(f, (reg_read(f) & ~(1u << f.bit)) | ((v & 1) << f.bit));
        else
            reg_write(f, v & f.mask);
    }
    if (pstRegCfg->u32Key & ISP_REGCFG_DEHAZE) {
        if (pstRegCfg->u8DehazeAirUpdate)
            IO_WRITE32_VI(VI_DEHAZE_AIR_REG, pstRegCfg->u32DehazeAir);
        IO_WRITE32_VI(VI_DEHAZE_STRENGTH_REG, pstRegCfg->u8DehazeSwitch);
        IO_WRITE32_VI(VI_DEHAZE_STRENGTH_WORD_REG, pstRegCfg->u32DehazeStrength);
    }
}

s32 ISP_RegCfgInit(ISP_DEV IspDev, void **ppCfg)
{
    ISP_REGCFG_CTX_S &c = g_astRegCfgCtx[0];
    if (!c.bInit) {
        c.stRegCfg.u32Key = ISP_REGCFG_ALL;
        ISP_RegConfigInit(&c.stRegCfg);
        c.bInit = 1;
    }
    c.stRegCfg.u32Key = 0;
    *ppCfg = &c.stRegCfg;
    return 0;
}

s32 ISP_RegCfgSet(ISP_DEV IspDev)
{
    ISP_REG_CFG_S &cfg = g_astRegCfgCtx[0].stRegCfg;
    ISP_RegConfig(&cfg);
    if (cfg.stKernelCfg.u32Flags == 0)
        return 0;
    s32 ret = isp_ioctl(ISP_REG_CFG_SET, &cfg.stKernelCfg);
    if (ret != 0) {
        ISP_TRACE("Config ISP register Failed with ec %#x!\n", ret);
        return ret;
    }
    return 0;
}

s32 ISP_SnsRegsInfoCheck(ISP_DEV IspDev, const ISP_SENSOR_SYNC_REGS_S *pstSnsRegs)
{
    if (pstSnsRegs->enSnsType > ISP_SNS_SSP_TYPE)
        ISP_TRACE("senor's regs info invalid, enSnsType %d\n", pstSnsRegs->enSnsType);
    else if (pstSnsRegs->u32RegNum > ISP_MAX_SNS_REGS)
        ISP_TRACE("senor's regs info invalid, u32RegNum %d\n", pstSnsRegs->u32RegNum);
    return 0;
}

s32 ISP_SyncCfgSet(ISP_DEV IspDev)
{
    if (!isp_sensor_has_sync(IspDev))
        return 0;
    ISP_SensorUpdateSnsReg(IspDev);
    ISP_REGCFG_CTX_S &c = g_astRegCfgCtx[0];
    ISP_SYNC_CFG_S &sync = c.stSyncCfg;
    memcpy(&sync.stSnsRegsInfo, ISP_SensorGetSnsReg(IspDev), sizeof sync.stSnsRegsInfo);
    ISP_SnsRegsInfoCheck(IspDev, &sync.stSnsRegsInfo);
    sync.stExpCfg = c.stRegCfg.stExpCfg;
    sync.u32DrcStrength = c.stRegCfg.u32DrcStrength;
    sync.bValid = 1;
    return isp_ioctl(ISP_SYNC_CFG_SET, &sync);
}
