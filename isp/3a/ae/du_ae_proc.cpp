// Read-outs of the exposure library: its proc text, the per-frame debug
// capture into a buffer in physical memory, and the picture metadata.
#include "isp/3a/ae/ae_ctx.h"

#include <cstring>

#include "isp/mpi_isp.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

constexpr u32 DBG_HEADER_BYTES = 1104;
constexpr u32 DBG_RECORD_WORDS = 16;

u32 dbg_size(u32 depth) { return depth * 64 + DBG_HEADER_BYTES; }

const char *wdr_name(u8 mode) { return mode == 0 ? "LINE" : mode == 1 ? "SensorWDR" : "2t1WDR"; }

u32 out(const AE_GAIN_S &g, u32 v) { return ae_gain_out(v, g.u32Shift); }

void write_header(const AE_CTX_S &c, u32 *w)
{
    const u32 bits = c.u32ManualBits;
    const u32 head[] = {c.au32UserTime[0],
                        c.au32UserTime[1],
                        out(c.stAgain, c.au32UserGain[1]),
                        out(c.stAgain, c.au32UserGain[0]),
                        out(c.stDgain, c.au32UserGain[3]),
                        out(c.stDgain, c.au32UserGain[2]),
                        out(c.stIspDgain, c.au32UserGain[5]),
                        out(c.stIspDgain, c.au32UserGain[4]),
                        ae_gain_out(c.au32UserGain[7], c.u32SysGainShift),
                        ae_gain_out(c.au32UserGain[6], c.u32SysGainShift),
                        c.u8Compensation,
                        c.u16EVBias,
                        c.enOpType,
                        (bits & AE_MANUAL_TIME) != 0,
                        (bits & AE_MANUAL_AGAIN) != 0,
                        (bits & AE_MANUAL_DGAIN) != 0,
                        (bits & AE_MANUAL_ISPDGAIN) != 0,
                        c.u32ManualTime >> c.u32TimeShift,
                        out(c.stAgain, c.stAgain.u32Manual),
                        out(c.stDgain, c.stDgain.u32Manual),
                        out(c.stIspDgain, c.stIspDgain.u32Manual)};
    memcpy(w, head, sizeof head);
    for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
        w[sizeof head / 4 + i] = IO_READ8(ISP_AE_WEIGHT_REG(i));
}

void dbg_unmap(AE_CTX_S &c)
{
    if (c.pu8DbgVirt)
        DU_DUZ_SYS_Munmap(c.pu8DbgVirt, c.u32DbgMappedSize);
    c.pu8DbgVirt = nullptr;
    c.pu32DbgRecords = nullptr;
    c.u32DbgMappedSize = 0;
}

// Capture needs a buffer and a depth: without either it stays off, so no
// record index can run past the mapping.
bool dbg_on(const AE_DBG_STATE_S &d) { return d.bEnable && d.u32PhyAddr && d.u32Depth; }

u32 *dbg_record(const AE_CTX_S &c) { return c.pu32DbgRecords + (c.u32FrameCnt % c.stDbg.u32Depth) * DBG_RECORD_WORDS; }

} // namespace

s32 AeProcWrite(s32 handle, ISP_CTRL_PROC_WRITE_S *p)
{
    if (!p->pcProcBuff || p->u32BuffLen == 0)
        return -1;
    const AE_CTX_S &c = g_astAeCtx[handle];
    alg_proc_printf(p, "\n[AE] Version: [%s], Build Time[%s, %s]\n", "Vi3516V_ISP_V1.0.6.0 B050 Release",
                    "Mar 28 2016", "19:35:58");
    alg_proc_printf(p, "-----AE INFO-------------------------------------------------------------------\n");
    const u32 again = out(c.stAgain, c.stAgain.u32Gain), dgain = out(c.stDgain, c.stDgain.u32Gain);
    const u32 ispdgain = out(c.stIspDgain, c.stIspDgain.u32Gain);
    if (!ae_is_wdr(c.u8WDRMode)) {
        alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%12s%8s\n", "Again", "Dgain", "IspDg", "SysGain", "Iso", "Line",
                        "AEInter", "Incrmnt", "Exp", "1stTime");
        alg_proc_printf(p, "%8u%8u%8u%8u%8u%8u%8u%8u%12llu%8u\n\n", again, dgain, ispdgain, c.u32SysGain,
                        c.stResult.u32Iso, c.u32IntTime, c.u8RunInterval, (u32)c.s32Increment,
                        (unsigned long long)c.u64Exposure, c.u32FirstStableTime);
    } else {
        alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%8s%12s%8s\n", "Again", "Dgain", "IspDg", "SysGain", "Iso",
                        "LineS", "LineL", "AEInter", "Incrmnt", "Exp", "1stTime");
        alg_proc_printf(p, "%8u%8u%8u%8u%8u%8u%8u%8u%8u%12llu%8u\n\n", again, dgain, ispdgain, c.u32SysGain,
                        c.stResult.u32Iso, c.au32SlotLines[0], c.au32SlotLines[1], c.u8RunInterval,
                        (u32)c.s32Increment, (unsigned long long)c.u64Exposure, c.u32FirstStableTime);
    }
    alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%8s%8s%8s\n", "Comp", "EVbias", "OriAve", "Offset", "Speed", "Tole",
                    "Error", "Fps", "RealFps", "BDelay", "WDelay");
    alg_proc_printf(p, "%8d%8d%8d%8d%8d%8d%8d%8.2f%8d%8d%8d\n\n", c.u8Compensation, c.u16EVBias, (int)c.u32HistMean,
                    c.s32Correction, c.u8Speed, c.u16Tolerance, c.s16LumError, c.f32LastFps, (int)c.u32FpsX100,
                    c.u16BlackDelay, c.u16WhiteDelay);
    alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%8s%8s\n", "MaxLine", "MaxLineT", "MaxAgT", "MaxDgT", "MaxIDgT",
                    "MaxSgT", "Thresh0", "Thresh1", "Thresh2", "Thresh3");
    const u8 *th = c.stSnsDft.au8HistThresh;
    alg_proc_printf(p, "%8u%8u%8u%8u%8u%8u%8u%8u%8u%8u\n\n", c.u32MaxTime, c.au32UserTime[0],
                    out(c.stAgain, c.au32UserGain[1]), out(c.stDgain, c.au32UserGain[3]),
                    out(c.stIspDgain, c.au32UserGain[5]), ae_gain_out(c.au32UserGain[7], c.u32SysGainShift), th[0],
                    th[1], th[2], th[3]);
    alg_proc_printf(p, "%8s%8s%8s%8s%8s%10s%8s%8s%8s%10s\n", "ManuEn", "MaLine", "MaAg", "MaDg", "MaIspDg", "WdrMode",
                    "ExpRatio", "AnFlick", "SlowMod", "GainTh");
    const u32 t1 = c.stResult.au32IntTime[0] ? c.stResult.au32IntTime[0] : 1;
    const u32 bits = c.u32ManualBits;
    alg_proc_printf(p, "%8d%8d%8d%8d%8d%10s%8d%8d%8d%10u\n\n", (int)c.enOpType, (bits & AE_MANUAL_TIME) != 0,
                    (bits & AE_MANUAL_AGAIN) != 0, (bits & AE_MANUAL_DGAIN) != 0, (bits & AE_MANUAL_ISPDGAIN) != 0,
                    wdr_name(c.u8WDRMode), (int)((u64)c.stResult.au32IntTime[1] * 64 / t1), (int)c.enAntiFlickerMode,
                    (int)c.enAeMode, c.u32GainThreshold);
    AE_CTX_S &m = g_astAeCtx[handle];
    int k = 0;
    if (c.bRouteExMode) {
        alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%12s\n", "NodeId", "IntTime", "AGain", "DGain", "IspDGain",
                        "IrisApe", "UpStgy", "DwStgy", "Mltply");
        for (auto *n = route_list_first_node(&m.stRouteExList); n; n = route_list_up_node(&m.stRouteExList, n))
            alg_proc_printf(p, "%8d%8u%8u%8u%8u%8u%8d%8d%12llu\n", k++, n->au32Param[0], n->au32Param[1],
                            n->au32Param[2], n->au32Param[3], n->au32Param[4], n->u32UpStgy, n->u32DwStgy,
                            (unsigned long long)n->u64Mltply);
    } else {
        alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%12s\n", "NodeId", "IntTime", "SysGain", "IrisApe", "UpStgy", "DwStgy",
                        "Mltply");
        for (auto *n = route_list_first_node(&m.stRouteList); n; n = route_list_up_node(&m.stRouteList, n))
            alg_proc_printf(p, "%8d%8u%8u%8u%8d%8d%12llu\n", k++, n->au32Param[0], n->au32Param[1], n->au32Param[2],
                            n->u32UpStgy, n->u32DwStgy, (unsigned long long)n->u64Mltply);
    }
    alg_proc_printf(p, "\n%8s%8s%8s%8s\n", "AuIrEn", "IrType", "MaIrEn", "DbgIrSt");
    alg_proc_printf(p, "%8d%8s%8d%8d\n\n", (int)c.bIrisEnable, c.enAlgIrisType == 1 ? "PIris" : "DCIris",
                    (int)c.bIrisManual, (int)c.u32IrisStatus);
    alg_proc_end(p);
    return 0;
}

s32 AeDbgSet(s32 handle, const AE_DBG_ATTR_S *dbg)
{
    if (!dbg->bDebugEn) {
        IO_WRITE16(ae_reg(handle, AE_REG_DBG_EN), 0);
        return 0;
    }
    if (dbg->u32PhyAddr == 0) {
        printf("Vudi ae lib(%d)'s debug phyaddr is 0!\n", handle);
        return -1;
    }
    if (dbg->u32Depth == 0) {
        printf("Vudi ae lib(%d)'s debug depth is 0!\n", handle);
        return -1;
    }
    IO_WRITE16(ae_reg(handle, AE_REG_DBG_EN), 1);
    IO_WRITE32(ae_reg(handle, AE_REG_DBG_ADDR), dbg->u32PhyAddr);
    IO_WRITE32(ae_reg(handle, AE_REG_DBG_DEPTH), dbg->u32Depth);
    IO_WRITE32(ae_reg(handle, AE_REG_DBG_SIZE), dbg_size(dbg->u32Depth & 0xFFFF));
    return 0;
}

s32 AeDbgGet(s32 handle, AE_DBG_ATTR_S *dbg)
{
    dbg->bDebugEn = IO_READ16(ae_reg(handle, AE_REG_DBG_EN)) & 1;
    dbg->u32PhyAddr = IO_READ32(ae_reg(handle, AE_REG_DBG_ADDR));
    dbg->u32Depth = IO_READ32(ae_reg(handle, AE_REG_DBG_DEPTH)) & 0xFFFF;
    return 0;
}

s32 AeDbgRunBgn(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    const AE_DBG_STATE_S cur = c.stDbg;
    if (!dbg_on(cur)) {
        dbg_unmap(c);
        c.stPreDbg = cur;
        return 0;
    }
    if (c.pu8DbgVirt && (cur.u32PhyAddr != c.stPreDbg.u32PhyAddr || cur.u32Depth != c.stPreDbg.u32Depth))
        dbg_unmap(c);
    if (!c.pu8DbgVirt) {
        // The size follows from the depth, whatever the size register says.
        const u32 size = dbg_size(cur.u32Depth);
        void *virt = DU_DUZ_SYS_Mmap(cur.u32PhyAddr, size);
        if (!virt) {
            printf("ae lib(%d) map debug buf failed!\n", handle);
            c.stPreDbg = cur;
            return -1;
        }
        c.pu8DbgVirt = static_cast<u8 *>(virt);
        c.u32DbgMappedSize = size;
        write_header(c, reinterpret_cast<u32 *>(c.pu8DbgVirt));
        c.pu32DbgRecords = reinterpret_cast<u32 *>(c.pu8DbgVirt + DBG_HEADER_BYTES);
    }
    dbg_record(c)[0] = in->u32FrameCnt;
    c.stPreDbg = cur;
    return 0;
}

s32 AeDbgRunEnd(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    if (!dbg_on(c.stDbg) || !c.pu32DbgRecords)
        return 0;
    u32 *w = dbg_record(c);
    w[1] = c.stSnsDft.u32MaxIntTime;
    w[2] = c.u32IntTime;
    w[3] = out(c.stAgain, c.stAgain.u32Gain);
    w[4] = out(c.stDgain, c.stDgain.u32Gain);
    w[5] = out(c.stIspDgain, c.stIspDgain.u32Gain);
    w[6] = c.u32IrisApe;
    w[8] = (u32)c.u64Exposure;
    w[9] = (u32)(c.u64Exposure >> 32);
    w[10] = (u32)c.s32Increment;
    w[11] = (u32)(s32)c.s16LumError;
    w[12] = c.u32HistMean;
    w[13] = (u32)c.s32Correction;
    w[14] = c.stResult.u32Iso;
    return 0;
}

s32 ae_dbg_exit(s32 handle)
{
    dbg_unmap(g_astAeCtx[handle]);
    return 0;
}

s32 AeGetDcfInfo(s32 handle, void *dcf)
{
    if (!dcf)
        return -1;
    const AE_CTX_S &c = g_astAeCtx[handle];
    ISP_DCF_INFO_S *d = static_cast<ISP_DCF_INFO_S *>(dcf);
    d->u16ISOSpeedRatings = (u16)c.stResult.u32Iso;
    // Lines over lines per second, each in 16 bits: halving both keeps the time.
    u32 lines = c.u32IntTime >> c.u32TimeShift, per_second = 2 * c.u32LinesPer500ms;
    while (lines > 0xFFFF || per_second > 0xFFFF) {
        lines >>= 1;
        per_second >>= 1;
    }
    d->u32ExposureTime = lines << 16 | per_second;
    d->u32ExposureBiasValue = 0;
    const bool manual = c.enOpType == 1;
    d->u8ExposureProgram = manual ? 1 : 2;
    d->u8MeteringMode = 0;
    d->u8ExposureMode = manual ? 1 : 0;
    return 0;
}
