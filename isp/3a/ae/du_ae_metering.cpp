// The exposure statistics' metering channel and zone weights: the default
// weights and green sampling, the switch to red or blue in scenes where
// that channel dominates at low gain, and the zone luma table.
#include "isp/3a/ae/ae_ctx.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr u32 METERING = ISP_AE_METERING_REG;
enum { CHN_GREEN = 0, CHN_RED = 1, CHN_BLUE = 2 };

void du_isp_metering_skip_x_write() { IO_WRITE8(METERING, IO_READ8(METERING) & ~ISP_AE_METERING_SKIP_X); }
void du_isp_metering_skip_y_write(u32 n) { IO_WRITE8(METERING, (IO_READ8(METERING) & ~ISP_AE_METERING_SKIP_Y) | (n & 7) << 4); }
void du_isp_metering_offset_x_write(u32 n) { IO_WRITE8(METERING, (IO_READ8(METERING) & ~ISP_AE_METERING_OFFSET_X) | (n & 1) << 3); }
void du_isp_metering_offset_y_write() { IO_WRITE8(METERING, IO_READ8(METERING) & ~ISP_AE_METERING_OFFSET_Y); }

// The sub-sampling that makes the statistics read one Bayer channel.
void write_channel(u32 chn)
{
    u32 bayer = IO_READ8(ISP_BAYER_REG) & 3;
    u32 skip_y, offset_x;
    if (chn == CHN_GREEN) {
        skip_y = 1;
        offset_x = bayer == 1 || bayer == 2 ? 0 : 1;
    } else {
        skip_y = 0;
        offset_x = chn == CHN_RED ? bayer & 1 : 1 - (bayer & 1);
    }
    du_isp_metering_skip_x_write();
    du_isp_metering_skip_y_write(skip_y);
    du_isp_metering_offset_x_write(offset_x);
    du_isp_metering_offset_y_write();
}

// Centre-weighted: 2 over the middle of the picture, 1 elsewhere.
u8 default_weight(u32 row, u32 col)
{
    if (row == 4 || row == 5 || row == 9 || row == 10)
        return col >= 5 && col <= 11 ? 2 : 1;
    if (row >= 6 && row <= 8)
        return col >= 4 && col <= 12 ? 2 : 1;
    return 1;
}

// True when the sampling had to change.
bool switch_to(AE_CTX_S &c, u32 chn)
{
    c.enWantedChn = chn;
    if (c.enConfirmedChn == chn)
        return false;
    write_channel(chn);
    return true;
}

} // namespace

s32 AeHistStatUpdate(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    if (c.bHistStatAdjust) {
        const u32 iso = c.stResult.u32Iso;
        if (iso > 12800) {
            if (c.enWantedChn != CHN_GREEN) {
                c.enWantedChn = CHN_GREEN;
                write_channel(CHN_GREEN);
            }
        } else if (iso <= 6400) {
            const u16 *m = in->pstAeStat4->au16GlobalAvg;
            u32 r = (m[0] * (u32)c.u16WeightR + 128) >> 8;
            u32 b = (m[3] * (u32)c.u16WeightB + 128) >> 8;
            u32 g = ((u32)m[1] + m[2]) >> 1;
            u32 top = std::max(r, b);
            c.enWantedChn = c.enConfirmedChn;
            if (top > g && r > b) {
                if (++c.u32RCount > 10 && switch_to(c, CHN_RED))
                    c.u32BCount = c.u32GCount = 0;
            } else if (top > g) {
                if (++c.u32BCount > 10 && switch_to(c, CHN_BLUE))
                    c.u32RCount = c.u32GCount = 0;
            } else {
                if ((u64)g * 256 > 280ull * top)
                    c.u32GCount++;
                if (c.u32GCount > 10) {
                    switch_to(c, CHN_GREEN);
                    c.u32RCount = c.u32BCount = 0;
                }
            }
        }
        c.bHistAdjustActive = 1;
    } else if (c.bHistAdjustActive) {
        if (c.enWantedChn != CHN_GREEN)
            write_channel(CHN_GREEN);
        c.enWantedChn = CHN_GREEN;
        c.bHistAdjustActive = 0;
    }
    c.enConfirmedChn = c.enWantedChn;
    if (c.bZoneCheck) {
        static const u32 kChannel[3] = {1, 0, 3}; // Gr, R, B
        const u32 idx = kChannel[c.enConfirmedChn < 3 ? c.enConfirmedChn : 0];
        for (u32 r = 0; r < AE_ZONE_ROW; r++)
            for (u32 col = 0; col < AE_ZONE_COLUMN; col++)
                c.au8ZoneLuma[r][col] = (u8)(in->pstAeStat5->au16ZoneAvg[r][col][idx] >> 8);
    }
    return 0;
}

s32 AeUpdateIspRegs(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    for (u32 r = 0; r < AE_ZONE_ROW; r++)
        for (u32 col = 0; col < AE_ZONE_COLUMN; col++)
            c.stResult.au8WeightTable[r][col] = default_weight(r, col);
    memcpy(c.stResult.au8MeteringHistThresh, c.stSnsDft.au8HistThresh, 4);
    c.stResult.bChange = 1;
    write_channel(CHN_GREEN);
    return 0;
}

// The ISP echoes the first threshold once it applied weights and thresholds.
void ae_weight_handshake(s32 handle, const AE_FRAME_INPUT_S *in)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    if (c.stResult.bChange && in->pstAeStat1->au8MeteringThresh[0] == c.stResult.au8MeteringHistThresh[0])
        c.stResult.bChange = 0;
}
