// MN34220 sensor control: the sensor mode from size, frame rate and WDR
// mode, frame lengths, integration time and gains as sensor registers, the
// list of registers the ISP writes in step with the frames, and the
// sensor's defaults for the ISP and the exposure and white-balance libraries.
#include "isp/sensor/mn34220/mn34220.h"
#include "isp/sensor/mn34220/mn34220_priv.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "isp/mpi_isp.h"

u32 bSensorInit = 0;

namespace {

constexpr u32 FULL_LINES_MAX = 65535;
constexpr u32 LINEAR_REGS = 9;
constexpr u32 WDR_REGS = 11;
constexpr u32 PATHLEN_MAX = 256;

u8 gu8SensorImageMode = 2;
u32 genSensorMode = WDR_MODE_NONE;
u32 gu32FullLinesStd = 1125;
u32 gu32FullLines = 1125;
u32 gu32PreFullLines = 1125;
u32 genFSWDRMode = 0;
u32 gu32MaxTimeGetCnt = 0;
u32 au32WDRIntTime[2] = {0, 0};
u32 bFirst = 1;
u32 bInit = 0;
ISP_SENSOR_SYNC_REGS_S g_stSnsRegsInfo;
ISP_SENSOR_SYNC_REGS_S g_stPreSnsRegsInfo;
const u8 sensor_i2c_addr = MN34220_I2C_ADDR;
const u32 sensor_addr_byte = 2;
const u32 sensor_data_byte = 1;
char g_acIniPath[PATHLEN_MAX];

const u32 ad_gain_table[81] = {
    1024,  1070,  1116,  1166,  1217,  1271,  1327,  1386,  1446,  1511,  1577,  1647,  1719,  1796,
    1874,  1958,  2043,  2135,  2227,  2327,  2428,  2537,  2647,  2766,  2886,  3015,  3146,  3287,
    3430,  3583,  3739,  3907,  4077,  4259,  4444,  4643,  4845,  5062,  5282,  5518,  5758,  6016,
    6278,  6558,  6844,  7150,  7461,  7795,  8134,  8498,  8867,  9264,  9667,  10100, 10539, 11010,
    11489, 12003, 12526, 13086, 13655, 14266, 14887, 15552, 16229, 16955, 17693, 18484, 19289, 20151,
    21028, 21968, 22925, 23950, 24992, 26110, 27246, 28464, 29703, 31031, 32382,
};

// Per image mode (1..4): frame-rate limit, lines per second at that mode's
// clock (VMAX = lines / fps), integration-time offset and the init sequence.
struct ImageMode {
    f32 max_fps;
    f32 lines_per_second;
    f32 offset;
    u32 std_lines;
    s32 (*init)(void);
};
const ImageMode kModes[5] = {
    {},
    {60, 67500, 0.6082f, 1125, sensor_linear_1080p60_init},
    {30, 33750, 0.8045f, 1125, sensor_linear_1080p30_init},
    {120, 90000, 0.5982f, 750, sensor_linear_720p120_init},
    {240, 134880, 0.4309f, 562, sensor_linear_VGA240_init},
};
constexpr f32 LINE_WDR_LINES_PER_SECOND = 37500;

bool valid_image_mode() { return gu8SensorImageMode >= 1 && gu8SensorImageMode <= 4; }
bool frame_wdr() { return genSensorMode == WDR_MODE_2To1_FRAME || genSensorMode == WDR_MODE_2To1_FRAME_FULL_RATE; }
bool line_wdr() { return genSensorMode == WDR_MODE_2To1_LINE; }

ISP_I2C_DATA_S &entry(u32 i) { return g_stSnsRegsInfo.astI2cData[i]; }

void set_pair(u32 hi_entry, u32 value)
{
    entry(hi_entry).u32Data = (value >> 8) & 0xFF;
    entry(hi_entry + 1).u32Data = value & 0xFF;
}

// The frame length lives in entries 7/8 in linear mode, 9/10 in WDR modes.
void set_vmax_entries(u32 vmax) { set_pair(genSensorMode == WDR_MODE_NONE ? 7 : 9, vmax); }

// ---- exposure routes -------------------------------------------------------------------------------

void fill_route(ISP_AE_ROUTE_S &r, u32 t1, u32 t2, bool piris)
{
    const u32 fno = piris ? 10 : 0;
    const ISP_AE_ROUTE_NODE_S nodes[] = {
        {2, 1024, piris ? 0u : fno}, {t1, 1024, fno}, {t1, 8134, fno}, {t2, 8134, fno}, {t2, 131071, fno},
    };
    memset(&r, 0, sizeof r);
    r.u32TotalNum = 5;
    memcpy(r.astRouteNode, nodes, sizeof nodes);
}

void fill_route_ex(ISP_AE_ROUTE_EX_S &r, u32 t1, u32 t2, bool piris)
{
    const u32 fno = piris ? 10 : 0;
    const ISP_AE_ROUTE_EX_NODE_S nodes[] = {
        {2, 1024, 1024, 1024, piris ? 0u : fno}, {t1, 1024, 1024, 1024, fno}, {t1, 8134, 1024, 1024, fno},
        {t2, 8134, 1024, 1024, fno},             {t2, 8134, 1024, 16384, fno},
    };
    memset(&r, 0, sizeof r);
    r.u32TotalNum = 5;
    memcpy(r.astRouteExNode, nodes, sizeof nodes);
}

// The line-WDR routes: 30 fps nodes at 140/622 lines, 25 fps at 390/747.
void line_wdr_routes(AE_SENSOR_PROFILE_S *p, bool fps25, bool route_ex)
{
    const u32 t1 = fps25 ? 390 : 140, t2 = fps25 ? 747 : 622;
    const bool piris = p->enIrisType == 1;
    fill_route(p->stAERouteAttr, t1, t2, piris);
    if (route_ex)
        fill_route_ex(p->stAERouteExAttr, t1, t2, piris);
}

s32 refuse_mode(const ISP_CMOS_SENSOR_IMAGE_MODE_S *m)
{
    printf("Not support! Width:%d, Height:%d, Fps:%f, WDRMode:%d\n", m->u16Width, m->u16Height, m->f32Fps,
           genSensorMode);
    return -1;
}

} // namespace

// ---- ISP sensor operations ----------------------------------------------------------------------------

s32 sensor_init(void)
{
    s32 ret = sensor_i2c_init();
    if (ret != 0)
        return -1;
    if (line_wdr())
        return sensor_wdr_init();
    if (!valid_image_mode())
        return ret;
    return kModes[gu8SensorImageMode].init();
}

s32 sensor_global_init(void)
{
    gu8SensorImageMode = 2;
    genSensorMode = WDR_MODE_NONE;
    bInit = 0;
    gu32FullLinesStd = gu32FullLines = gu32PreFullLines = 1125;
    genFSWDRMode = 0;
    bSensorInit = 0;
    memset(&g_stSnsRegsInfo, 0, sizeof g_stSnsRegsInfo);
    memset(&g_stPreSnsRegsInfo, 0, sizeof g_stPreSnsRegsInfo);
    return 0;
}

s32 cmos_set_image_mode(ISP_CMOS_SENSOR_IMAGE_MODE_S *pstSensorImageMode)
{
    bInit = 0;
    if (!pstSensorImageMode) {
        puts("null pointer when set image mode");
        return -1;
    }
    const ISP_CMOS_SENSOR_IMAGE_MODE_S &m = *pstSensorImageMode;
    const bool linear = genSensorMode == WDR_MODE_NONE;
    u8 mode;
    if (m.u16Width > 1920)
        return refuse_mode(&m);
    if (m.u16Width <= 640 && m.u16Height <= 480) {
        if (!linear || m.f32Fps > 240)
            return refuse_mode(&m);
        mode = 4;
    } else if (m.u16Width <= 1280 && m.u16Height <= 720) {
        if (!linear || m.f32Fps > 120)
            return refuse_mode(&m);
        mode = 3;
    } else if (m.u16Height > 1080) {
        return refuse_mode(&m);
    } else if (line_wdr()) {
        if (m.f32Fps > 30)
            return refuse_mode(&m);
        return bSensorInit ? -1 : 0;
    } else if (m.f32Fps > 30) {
        if (m.f32Fps > 60)
            return refuse_mode(&m);
        mode = 1;
    } else {
        mode = 2;
    }
    if (bSensorInit && mode == gu8SensorImageMode)
        return -1;
    if (bSensorInit)
        au32WDRIntTime[0] = au32WDRIntTime[1] = 0;
    gu8SensorImageMode = mode;
    return 0;
}

s32 cmos_set_wdr_mode(u8 u8Mode)
{
    bInit = 0;
    switch (u8Mode) {
    case WDR_MODE_NONE:
        if (valid_image_mode())
            gu32FullLinesStd = kModes[gu8SensorImageMode].std_lines;
        genSensorMode = WDR_MODE_NONE;
        puts("linear mode");
        break;
    case WDR_MODE_2To1_LINE:
        gu32FullLinesStd = 1250;
        genSensorMode = WDR_MODE_2To1_LINE;
        puts("2to1 line WDR mode");
        break;
    case WDR_MODE_2To1_FRAME:
    case WDR_MODE_2To1_FRAME_FULL_RATE:
        if (gu8SensorImageMode == 1 || gu8SensorImageMode == 2)
            gu32FullLinesStd = 1125;
        genSensorMode = u8Mode;
        puts(u8Mode == WDR_MODE_2To1_FRAME ? "2to1 half-rate frame WDR mode" : "2to1 full-rate frame WDR mode");
        break;
    default:
        puts("NOT support this mode!");
        return 0;
    }
    au32WDRIntTime[0] = au32WDRIntTime[1] = 0;
    gu32FullLines = gu32PreFullLines = gu32FullLinesStd;
    return 0;
}

s32 cmos_get_isp_default(ISP_SENSOR_DEFAULT_S *pstDef)
{
    if (!pstDef) {
        puts("null pointer when get isp default value!");
        return -1;
    }
    memset(pstDef, 0, sizeof *pstDef);
    const bool wdr = genSensorMode != WDR_MODE_NONE;
    pstDef->stDrc = wdr ? ISP_CMOS_DRC_S{1, 0, 4095, 56, 192, 6, 8, 20, 200}
                        : ISP_CMOS_DRC_S{0, 0, 1279, 48, 0, 4, 1, 20, 200};
    const Mn34220Tuning &t = wdr ? g_stMn34220Wdr : g_stMn34220Linear;
    pstDef->stAgcTbl = t.agc;
    pstDef->stNoiseTbl = t.noise;
    pstDef->stDemosaic = t.demosaic;
    pstDef->stGamma = t.gamma;
    if (wdr)
        pstDef->stGammafe = g_stGammafeFSWDR;
    pstDef->stRgbSharpen = g_stIspRgbSharpen;
    pstDef->u32MaxWidth = 1920;
    pstDef->u32MaxHeight = 1080;
    return 0;
}

s32 cmos_get_isp_black_level(ISP_SENSOR_BLC_S *pstBlackLevel)
{
    if (!pstBlackLevel) {
        puts("null pointer when get isp black level value!");
        return -1;
    }
    pstBlackLevel->bUpdate = 0;
    u16 level = genSensorMode == WDR_MODE_NONE ? 256 : 255;
    for (u16 &l : pstBlackLevel->au16BlackLevel)
        l = level;
    return 0;
}

namespace {

// The registers of the sync list and the frame each takes effect in.
void build_sync_list()
{
    struct Slot {
        u32 addr;
        u8 delay;
    };
    static const Slot linear[LINEAR_REGS] = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1},
                                             {0x3108, 1}, {0x3109, 1}, {0x0340, 0}, {0x0341, 0}};
    static const Slot line[WDR_REGS] = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1}, {0x3108, 1},
                                        {0x3109, 1}, {0x312A, 1}, {0x312B, 1}, {0x0340, 1}, {0x0341, 1}};
    static const Slot frame[WDR_REGS] = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1}, {0x3108, 1},
                                         {0x3109, 1}, {0x0202, 1}, {0x0203, 1}, {0x0340, 0}, {0x0341, 0}};
    const Slot *slots = genSensorMode == WDR_MODE_NONE ? linear : line_wdr() ? line : frame;
    const u32 count = genSensorMode == WDR_MODE_NONE ? LINEAR_REGS : WDR_REGS;
    g_stSnsRegsInfo.enSnsType = ISP_SNS_I2C_TYPE;
    g_stSnsRegsInfo.u32RegNum = count;
    g_stSnsRegsInfo.u32RegsDelayFrm = 2;
    for (u32 i = 0; i < count; i++) {
        ISP_I2C_DATA_S &e = entry(i);
        e.bUpdate = 1;
        e.u8DevAddr = sensor_i2c_addr;
        e.u32AddrByteNum = sensor_addr_byte;
        e.u32DataByteNum = sensor_data_byte;
        e.u32RegAddr = slots[i].addr;
        e.u8DelayFrmNum = slots[i].delay;
    }
}

} // namespace

s32 cmos_get_sns_regs_info(ISP_SENSOR_SYNC_REGS_S *pstSnsRegsInfo)
{
    if (!bInit) {
        build_sync_list();
        bInit = 1;
    } else {
        for (u32 i = 0; i < g_stSnsRegsInfo.u32RegNum && i < ISP_MAX_SNS_REGS; i++)
            entry(i).bUpdate = entry(i).u32Data != g_stPreSnsRegsInfo.astI2cData[i].u32Data;
        if (frame_wdr())
            for (u32 i : {0u, 1u, 7u, 8u})
                entry(i).bUpdate = 1;
    }
    if (!pstSnsRegsInfo) {
        puts("null pointer when get sns reg info!");
        return -1;
    }
    *pstSnsRegsInfo = g_stSnsRegsInfo;
    g_stPreSnsRegsInfo = g_stSnsRegsInfo;
    gu32PreFullLines = gu32FullLines;
    return 0;
}

s32 cmos_set_pixel_detect(u32 bEnable)
{
    if (line_wdr() || !valid_image_mode())
        return 0;
    if (bEnable) {
        // 5 frames a second, the longest exposure, unity gains.
        static const u32 vmax5[5] = {0, 13500, 6750, 18000, 26976};
        u32 vmax = vmax5[gu8SensorImageMode], inttime = vmax - 2;
        sensor_write_register(0x0340, (vmax >> 8) & 0xFF);
        sensor_write_register(0x0341, vmax & 0xFE);
        sensor_write_register(0x0202, (inttime >> 8) & 0xFF);
        sensor_write_register(0x0203, inttime & 0xFE);
        sensor_write_register(0x0204, 1);
        sensor_write_register(0x0205, 0);
        sensor_write_register(0x3108, 1);
        sensor_write_register(0x3109, 0);
    } else {
        sensor_write_register(0x0340, (gu32FullLinesStd >> 8) & 0xFF);
        sensor_write_register(0x0341, gu32FullLinesStd & 0xFF);
        bInit = 0;
    }
    return 0;
}

// ---- exposure callbacks ----------------------------------------------------------------------------------

s32 cmos_get_ae_default(AE_SENSOR_PROFILE_S *p)
{
    if (!p) {
        puts("null pointer when get ae default value!");
        return -1;
    }
    const bool fswdr_long = genFSWDRMode == 1;
    static const u8 thresh_linear[4] = {0x0D, 0x28, 0x60, 0x80};
    static const u8 thresh_wdr[4] = {0x0C, 0x18, 0x60, 0x80};
    memcpy(p->au8HistThresh, genSensorMode == WDR_MODE_NONE ? thresh_linear : thresh_wdr, 4);
    p->u8AeCompensation = line_wdr() ? (fswdr_long ? 0x64 : 0x40) : 0x38;

    p->u32LinesPer500ms = gu32FullLinesStd * 25 / 2;
    p->u32FlickerFreq = 0;
    p->u32InitExposure = 921600;
    p->u32FullLinesStd = gu32FullLinesStd;
    p->u32FullLinesMax = FULL_LINES_MAX;

    p->u32MaxIntTime = gu32FullLinesStd - 2;
    p->u32MinIntTime = 2;
    p->u32MaxIntTimeTarget = 65535;
    p->u32MinIntTimeTarget = 2;
    const bool fast = p->f32Fps == 50 || p->f32Fps == 60;
    f32 offset = fast ? 0.6082f : 0.8045f;
    if (line_wdr())
        offset = fast ? 0.2155f : 0.2818f;
    p->stIntTimeAccu = {1, 1.0f, offset};

    p->u32MaxAgain = 32382;
    p->u32MinAgain = 1024;
    p->u32MaxAgainTarget = line_wdr() && !fswdr_long ? 8134 : 32382;
    p->u32MinAgainTarget = 1024;
    p->stAgainAccu = {2, 0.38f};
    p->u32MaxDgain = 32382;
    p->u32MinDgain = 1024;
    p->u32MaxDgainTarget = line_wdr() && !fswdr_long ? 1024 : 32382;
    p->u32MinDgainTarget = 1024;
    p->stDgainAccu = {2, 0.38f};

    p->u32MaxISPDgainTarget = 2048;
    p->u32MinISPDgainTarget = 256;
    p->u32ISPDgainShift = 8;

    memset(&p->stAERouteAttr, 0, sizeof p->stAERouteAttr);
    p->bAERouteExValid = 0;
    p->stAERouteExAttr.u32TotalNum = 0;
    if (line_wdr() && !fswdr_long) {
        if (gu32FullLinesStd == 1250)
            line_wdr_routes(p, false, true);
        else if (gu32FullLinesStd == 1500)
            line_wdr_routes(p, true, true);
    }
    p->stPirisAttr = g_stPirisAttr;
    p->enMaxIrisFNO = 9;
    p->enMinIrisFNO = 5;
    return 0;
}

void cmos_fps_set(f32 f32Fps, AE_SENSOR_PROFILE_S *p)
{
    f32 lines_per_second, offset;
    if (line_wdr()) {
        if (f32Fps < 0.5f || f32Fps > 30) {
            printf("Not support Fps: %f\n", f32Fps);
            return;
        }
        lines_per_second = LINE_WDR_LINES_PER_SECOND;
        offset = 0.2818f;
        if (p && genFSWDRMode == 0)
            line_wdr_routes(p, f32Fps == 25, p->enIrisType != 1);
    } else {
        if (!valid_image_mode()) {
            printf("Not support! gu8SensorImageMode:%d, f32Fps:%f\n", gu8SensorImageMode, f32Fps);
            return;
        }
        const ImageMode &m = kModes[gu8SensorImageMode];
        if (f32Fps < 0.5f || f32Fps > m.max_fps) {
            printf("Not support Fps: %f\n", f32Fps);
            return;
        }
        lines_per_second = m.lines_per_second;
        offset = m.offset;
    }
    f32 lines = lines_per_second / f32Fps;
    u32 vmax = lines >= FULL_LINES_MAX ? FULL_LINES_MAX : (u32)lines;
    gu32FullLinesStd = vmax;
    set_vmax_entries(vmax);
    gu32FullLines = vmax;
    if (!p)
        return;
    p->stIntTimeAccu.f32Offset = offset;
    p->f32Fps = f32Fps;
    p->u32FullLinesStd = vmax;
    p->u32FullLines = vmax;
    p->u32MaxIntTime = vmax - 2;
    p->u32LinesPer500ms = (u32)(vmax * f32Fps * 0.5f);
}

void cmos_slow_framerate_set(u32 u32FullLines, AE_SENSOR_PROFILE_S *p)
{
    u32 full = u32FullLines > FULL_LINES_MAX ? FULL_LINES_MAX : u32FullLines;
    gu32FullLines = full;
    set_vmax_entries(full);
    if (!p)
        return;
    p->u32FullLines = full;
    p->u32MaxIntTime = full - 2;
}

void cmos_inttime_update(u32 u32IntTime)
{
    if (frame_wdr()) {
        set_pair(bFirst ? 0 : 7, u32IntTime);
        bFirst = !bFirst;
    } else if (line_wdr()) {
        if (!bFirst) {
            au32WDRIntTime[1] = u32IntTime;
            set_pair(0, u32IntTime);
            bFirst = 1;
        } else {
            au32WDRIntTime[0] = u32IntTime;
            set_pair(7, u32IntTime);
            bFirst = 0;
        }
    } else {
        set_pair(0, u32IntTime);
        bFirst = 1;
    }
}

void cmos_gains_update(u32 u32Again, u32 u32Dgain)
{
    u32 a = (u32Again + 64) * 4, d = (u32Dgain + 64) * 4;
    bool same = entry(3).u32Data == ((a >> 8) & 0xFF) && entry(4).u32Data == (a & 0xFF);
    entry(2).u32Data = same ? 0x30 : 0x00;
    set_pair(3, a);
    set_pair(5, d);
}

namespace {

void gain_calc_table(u32 *pu32Lin, u32 *pu32Index)
{
    if (!pu32Lin || !pu32Index) {
        puts("null pointer when get ae sensor gain info  value!");
        return;
    }
    if (*pu32Lin > 32381) {
        *pu32Lin = ad_gain_table[80];
        *pu32Index = 80;
        return;
    }
    u32 i = 0;
    while (i < 80 && ad_gain_table[i + 1] <= *pu32Lin)
        i++;
    *pu32Lin = ad_gain_table[i];
    *pu32Index = i;
}

} // namespace

void cmos_again_calc_table(u32 *pu32AgainLin, u32 *pu32AgainDb) { gain_calc_table(pu32AgainLin, pu32AgainDb); }
void cmos_dgain_calc_table(u32 *pu32DgainLin, u32 *pu32DgainDb) { gain_calc_table(pu32DgainLin, pu32DgainDb); }

void cmos_get_inttime_max(u32 u32Ratio, u32 *pu32IntTimeMax)
{
    if (!pu32IntTimeMax) {
        puts("null pointer when get ae sensor IntTimeMax value!");
        return;
    }
    u32 ratio = u32Ratio ? u32Ratio : 1;
    if (frame_wdr()) {
        *pu32IntTimeMax = ((gu32FullLines - 2) * 64) / ratio;
    } else if (line_wdr() && genFSWDRMode != 1) {
        u32 a = ((gu32PreFullLines - 30 - au32WDRIntTime[0]) * 64) / ratio;
        u32 b = ((gu32FullLines - 30) * 64) / (ratio + 64);
        *pu32IntTimeMax = a < b ? a : b;
    } else if (line_wdr()) {
        u32 candidate = gu32MaxTimeGetCnt < 2 ? gu32PreFullLines - 760 : gu32PreFullLines - 10 - au32WDRIntTime[0];
        u32 limit = gu32FullLines - 10;
        *pu32IntTimeMax = candidate < limit ? candidate : limit;
        gu32MaxTimeGetCnt++;
    }
}

void cmos_ae_fswdr_attr_set(u32 *penFSWDRMode)
{
    if (!penFSWDRMode)
        return;
    genFSWDRMode = *penFSWDRMode;
    gu32MaxTimeGetCnt = 0;
}

// ---- white-balance callback ----------------------------------------------------------------------------

namespace {

u16 sign_magnitude(s32 v) { return v < 0 ? (u16)(0x8000 | -v) : (u16)v; }

void set_matrix(u16 out[CCM_MATRIX_SIZE], const s32 (&m)[CCM_MATRIX_SIZE])
{
    for (u32 i = 0; i < CCM_MATRIX_SIZE; i++)
        out[i] = sign_magnitude(m[i]);
}

} // namespace

s32 cmos_get_awb_default(AWB_SENSOR_PROFILE_S *p)
{
    if (!p) {
        puts("null pointer when get awb default value!");
        return -1;
    }
    memset(p, 0, sizeof *p);
    p->u16WbRefTemp = 5000;
    const u16 gains[4] = {496, 256, 256, 416};
    memcpy(p->au16GainOffset, gains, sizeof gains);
    const s32 para[6] = {41, 127, -87, 174535, 128, -123490};
    memcpy(p->as32WbPara, para, sizeof para);
    static const u8 sat_linear[16] = {122, 122, 120, 116, 104, 96, 88, 80, 72, 64, 56, 56, 56, 56, 56, 56};
    static const u8 sat_wdr[16] = {120, 120, 112, 104, 96, 88, 80, 72, 64, 56, 56, 56, 56, 56, 56, 56};
    p->bSatValid = 1;
    memcpy(p->au8Sat, genSensorMode == WDR_MODE_NONE ? sat_linear : sat_wdr, 16);
    p->u16HighColorTemp = 4900;
    set_matrix(p->au16HighCCM, {396, -142, 2, -89, 443, -98, 22, -313, 547});
    p->u16MidColorTemp = 3850;
    set_matrix(p->au16MidCCM, {411, -173, 18, -100, 410, -55, 42, -353, 566});
    p->u16LowColorTemp = 2650;
    set_matrix(p->au16LowCCM, {438, -87, -95, -109, 461, -96, 0, -293, 549});
    return 0;
}

// ---- the three records registration hands over --------------------------------------------------------

void cmos_init_sensor_exp_function(ISP_SENSOR_OPS_S *ops)
{
    memset(ops, 0, sizeof *ops);
    ops->pfn_cmos_sensor_init = sensor_init;
    ops->pfn_cmos_sensor_exit = sensor_exit;
    ops->pfn_cmos_sensor_global_init = sensor_global_init;
    ops->pfn_cmos_set_image_mode = cmos_set_image_mode;
    ops->pfn_cmos_set_wdr_mode = cmos_set_wdr_mode;
    ops->pfn_cmos_get_isp_default = cmos_get_isp_default;
    ops->pfn_cmos_get_isp_black_level = cmos_get_isp_black_level;
    ops->pfn_cmos_get_sns_reg_info = cmos_get_sns_regs_info;
    ops->pfn_cmos_set_pixel_detect = cmos_set_pixel_detect;
}

void cmos_init_ae_exp_function(AE_SENSOR_CALLBACKS_S *cb)
{
    memset(cb, 0, sizeof *cb);
    cb->pfn_cmos_get_ae_default = cmos_get_ae_default;
    cb->pfn_cmos_fps_set = cmos_fps_set;
    cb->pfn_cmos_slow_framerate_set = cmos_slow_framerate_set;
    cb->pfn_cmos_inttime_update = cmos_inttime_update;
    cb->pfn_cmos_gains_update = cmos_gains_update;
    cb->pfn_cmos_again_calc_table = cmos_again_calc_table;
    cb->pfn_cmos_dgain_calc_table = cmos_dgain_calc_table;
    cb->pfn_cmos_get_inttime_max = cmos_get_inttime_max;
    cb->pfn_cmos_ae_fswdr_attr_set = cmos_ae_fswdr_attr_set;
}

void cmos_init_awb_exp_function(AWB_SENSOR_CALLBACKS_S *cb)
{
    memset(cb, 0, sizeof *cb);
    cb->pfn_cmos_get_awb_default = cmos_get_awb_default;
}

namespace {

const ALG_LIB_HANDLE_S kAeLib = {0, "vudi_ae_lib"};
const ALG_LIB_HANDLE_S kAwbLib = {0, "vudi_awb_lib"};

} // namespace

s32 sensor_register_callback(void)
{
    ISP_SENSOR_OPS_S ops;
    cmos_init_sensor_exp_function(&ops);
    s32 ret = DU_DUZ_ISP_SensorRegCallBack(0, MN34220_SENSOR_ID, &ops);
    if (ret != 0) {
        puts("sensor register callback function failed!");
        return ret;
    }
    AE_SENSOR_CALLBACKS_S ae;
    cmos_init_ae_exp_function(&ae);
    ret = DU_DUZ_AE_SensorRegCallBack(0, &kAeLib, MN34220_SENSOR_ID, &ae);
    if (ret != 0) {
        puts("sensor register callback function to ae lib failed!");
        return ret;
    }
    AWB_SENSOR_CALLBACKS_S awb;
    cmos_init_awb_exp_function(&awb);
    ret = DU_DUZ_AWB_SensorRegCallBack(0, &kAwbLib, MN34220_SENSOR_ID, &awb);
    if (ret != 0) {
        puts("sensor register callback function to awb lib failed!");
        return ret;
    }
    return 0;
}

s32 sensor_unregister_callback(void)
{
    s32 ret = DU_DUZ_ISP_SensorUnRegCallBack(0, MN34220_SENSOR_ID);
    if (ret != 0) {
        puts("sensor unregister callback function failed!");
        return ret;
    }
    ret = DU_DUZ_AE_SensorUnRegCallBack(0, &kAeLib, MN34220_SENSOR_ID);
    if (ret != 0) {
        puts("sensor unregister callback function to ae lib failed!");
        return ret;
    }
    ret = DU_DUZ_AWB_SensorUnRegCallBack(0, &kAwbLib, MN34220_SENSOR_ID);
    if (ret != 0) {
        puts("sensor unregister callback function to awb lib failed!");
        return ret;
    }
    return 0;
}

s32 sensor_set_inifile_path(const char *pcPath)
{
    static const char kName[] = "mn34220_cfg.ini";
    memset(g_acIniPath, 0, sizeof g_acIniPath);
    if (!pcPath) {
        snprintf(g_acIniPath, sizeof g_acIniPath, "configs/%s", kName);
        return 0;
    }
    if (strlen(pcPath) > PATHLEN_MAX - 30) {
        puts("Set inifile path is larger PATHLEN_MAX!");
        return -1;
    }
    snprintf(g_acIniPath, sizeof g_acIniPath, "%s%s", pcPath, kName);
    return 0;
}
