// The date stamp: the font, drawing a text into a region's canvas, and the
// encoder's and the TV's stamp threads.
#include "recorder/dv_osd.h"

#include "board/board.h"
#include "core/kx_thread.h"
#include "core/pref_record.h"
#include "mpi/common/mpi_steps.h"
#include "mpi/video/rgn/mpi_rgn.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "recorder/dv_config.h"
#include "recorder/dv_hooks.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

std::atomic<u32> g_main_venc_osd_run{0};
std::atomic<u32> g_vo_osd_run{0};

namespace {

constexpr u16 kInk = 0xFF7F;   // opaque, light
constexpr u16 kPaper = 0x0010; // alpha bit clear: transparent

// Ink of each glyph row, the leftmost pixel in bit 9.
constexpr u16 kGlyphRows[OSD_GLYPH_NUM][OSD_GLYPH_H] = {
    {0x000, 0x1FE, 0x1FE, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x018, 0x078, 0x078, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x018, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x1FE, 0x1FE, 0x180, 0x180, 0x180, 0x180, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x186, 0x186, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x180, 0x180, 0x180, 0x180, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x180, 0x180, 0x180, 0x180, 0x1FE, 0x1FE, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x006, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x1FE, 0x1FE, 0x186, 0x186, 0x186, 0x186, 0x1FE, 0x1FE, 0x006, 0x006, 0x006, 0x006, 0x1FE, 0x1FE, 0x000},
    {0x000, 0x000, 0x000, 0x030, 0x030, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x030, 0x030, 0x000, 0x000, 0x000},
    {0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x0FC, 0x0FC, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000, 0x000},
    {0},
};

struct Font {
    u16 px[OSD_GLYPH_NUM][OSD_GLYPH_H][OSD_GLYPH_W];
};

constexpr Font make_font()
{
    Font f{};
    for (u32 g = 0; g < OSD_GLYPH_NUM; g++)
        for (u32 r = 0; r < OSD_GLYPH_H; r++)
            for (u32 c = 0; c < OSD_GLYPH_W; c++)
                f.px[g][r][c] = (kGlyphRows[g][r] >> (OSD_GLYPH_W - 1 - c)) & 1 ? kInk : kPaper;
    return f;
}

constexpr Font kFont = make_font();

// One stamp thread: its run flag, its handle, and a wake-up for the stop.
struct OsdThread {
    std::atomic<u32> &run;
    pthread_t tid;
    bool started;
    std::mutex lock;
    std::condition_variable wake;
};

OsdThread g_venc_thread{g_main_venc_osd_run, {}, false, {}, {}};
OsdThread g_vo_thread{g_vo_osd_run, {}, false, {}, {}};

// Once a second (whenever the clock's second is another one, also after
// the clock was set back) the time is drawn; the loop ends on a failure.
void osd_loop(OsdThread &t, const char *target, u32 handle, u32 x, u32 y)
{
    bool created = false;
    time_t drawn = (time_t)-1;
    while (t.run) {
        if (!created) {
            if (CreateOSDRegion(target, handle, x, y, OSD_GLYPH_W, OSD_GLYPH_H, OSD_TEXT_LEN) != 0) {
                puts("======CreateOSDRegion failed");
                break;
            }
            created = true;
        }
        time_t now = bd_time(nullptr);
        if (now != drawn) {
            char text[OSD_TEXT_LEN + 1];
            osd_format_time(now, app_pref_user ? app_pref_user->Dateformat : DATE_FMT_YMD, text);
            if (LoadDataToRegion_Osd(handle, text, OSD_TEXT_LEN, OSD_GLYPH_W) != 0) {
                puts("======LoadDataToRegion failed");
                break;
            }
            drawn = now;
        }
        std::unique_lock<std::mutex> lock(t.lock);
        t.wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return !t.run; });
    }
    t.run = 0;
    if (created)
        DestroyOSDRegion(handle);
    puts("======vpss_osd_proc exit");
}

void *main_venc_osd_thread(void *)
{
    u32 x, y;
    osd_venc_position(&x, &y);
    osd_loop(g_venc_thread, "venc", OSD_VENC_HANDLE, x, y);
    return nullptr;
}

void *vo_osd_thread(void *)
{
    u32 sync = gsDvConfig.sVo.sParam.eSync;
    printf("gsDvConfig.sVo.sParam.eSync = %d\n", sync);
    osd_loop(g_vo_thread, "vo", OSD_VO_HANDLE, 60, sync ? 526 : 440);
    return nullptr;
}

s32 osd_thread_start(OsdThread &t, void *(*body)(void *))
{
    if (t.started) {
        if (t.run)
            return 0; // one stamp per region
        pthread_join(t.tid, nullptr); // ended by itself: collect it first
        t.started = false;
    }
    t.run = 1;
    s32 ret = KX_THCreate_API(&t.tid, nullptr, body, nullptr);
    if (ret != 0) {
        t.run = 0;
        return ret;
    }
    t.started = true;
    return 0;
}

s32 osd_thread_stop(OsdThread &t)
{
    if (!t.started)
        return 0;
    {
        std::lock_guard<std::mutex> lock(t.lock);
        t.run = 0;
    }
    t.wake.notify_all();
    pthread_join(t.tid, nullptr);
    t.started = false;
    return 0;
}

RGN_CHN_ATTR_REC_S shown_at(u32 type, u32 x, u32 y)
{
    RGN_CHN_ATTR_REC_S a;
    memset(&a, 0, sizeof a);
    a.bShow = 1;
    a.enType = type;
    a.s32X = (s32)x;
    a.s32Y = (s32)y;
    a.u32FgAlpha = 128;
    a.u32BgAlpha = 0;
    a.u32Layer = 0;
    return a;
}

} // namespace

const u16 (&FONT_LIBRARY_W10H16_T)[OSD_GLYPH_NUM][OSD_GLYPH_H][OSD_GLYPH_W] = kFont.px;

s32 KX_MainVencOsdThreadRun(void) { return osd_thread_start(g_venc_thread, main_venc_osd_thread); }
s32 KX_DV_StopMainVencOsdThread(void) { return osd_thread_stop(g_venc_thread); }
s32 KX_VoOsdThreadRun(void) { return osd_thread_start(g_vo_thread, vo_osd_thread); }
s32 KX_DV_StopVoOsdThread(void) { return osd_thread_stop(g_vo_thread); }

namespace {

// What a region's creation works on.
struct OsdRegion {
    u32 handle;
    bool vo;
    s32 chn; // the channel shown on, which the cover is set on too
    RGN_ATTR_REC_S attr;
    MPP_CHN_ADDR_S where;
    RGN_CHN_ATTR_REC_S show;
};

s32 create_region(OsdRegion *r)
{
    s32 ret = DU_DUZ_RGN_Create(r->handle, &r->attr);
    if (ret != 0)
        printf("======DU_DUZ_RGN_Create failed! s32Ret: 0x%x, Handle: %d\n", ret, r->handle);
    return ret;
}
// The destroy detaches it too: a region that cannot be shown goes again.
void destroy_region(OsdRegion *r) { DU_DUZ_RGN_Destroy(r->handle); }

s32 attach_region(OsdRegion *r)
{
    s32 ret = DU_DUZ_RGN_AttachToChn(r->handle, &r->where, &r->show);
    if (ret != 0)
        printf("======DU_DUZ_RGN_AttachToChn failed! s32Ret: 0x%x, Handle: %d\n", ret, r->handle);
    return ret;
}

s32 cover_chn(OsdRegion *r)
{
    s32 ret = DU_DUZ_VPSS_SetChnCover(0, r->chn, 255);
    if (ret != 0)
        printf(r->vo ? "======DU_DUZ_VPSS_SetChnCover fail! Grp: 0, Chn: 2 s32Ret: 0x%x.\n"
                     : "======DU_DUZ_VPSS_SetChnCover fail! Grp: 0, Chn: 0 s32Ret: 0x%x.\n",
               ret);
    return ret;
}

const mpi_step<OsdRegion> kRegionSteps[] = {
    {nullptr, create_region, destroy_region},
    {nullptr, attach_region, nullptr},
    {nullptr, cover_chn, nullptr},
};

} // namespace

s32 CreateOSDRegion(const char *target, u32 handle, u32 x, u32 y, u32 char_w, u32 char_h, u32 char_num)
{
    printf("------OSD Handle ID: %d\n", handle);
    bool vo = strcmp(target, "vo") == 0;
    if (!vo && strcmp(target, "venc") != 0)
        return -1;
    u32 type = vo ? OVERLAYEX_RGN : OVERLAY_RGN;
    s32 chn = vo ? 2 : dv_app_hooks().record_mode() ? 1 : 0;
    puts(vo ? "------Create OSD Region in VO module" : "------Create OSD Region in VENC module");

    OsdRegion r = {handle, vo, chn, {type, PIXEL_FORMAT_RGB_1555, {char_w * char_num, char_h}, 0xFFFFFFFF},
                   {vo ? (u32)DU_ID_VPSS : (u32)DU_ID_VENC, 0, chn}, shown_at(type, x, y)};
    return mpi_steps_run(kRegionSteps, &r);
}

s32 DestroyOSDRegion(u32 handle)
{
    s32 ret = DU_DUZ_RGN_Destroy(handle);
    if (ret != 0)
        printf("======DU_DUZ_RGN_Destroy failed! s32Ret: 0x%x, Handle: %d\n", ret, handle);
    return ret;
}

s32 LoadDataToRegion_Osd(u32 handle, const char *text, u32 len, u32 char_w)
{
    RGN_ATTR_REC_S attr;
    s32 ret = DU_DUZ_RGN_GetAttr(handle, &attr);
    if (ret != 0) {
        printf("======DU_DUZ_RGN_GetAttr failed! s32Ret: 0x%x.\n", ret);
        return ret;
    }
    if (attr.enPixelFmt != PIXEL_FORMAT_RGB_1555) {
        puts("======Pixel format is not support!");
        return -1;
    }
    RGN_CANVAS_REC_S canvas;
    ret = DU_DUZ_RGN_GetCanvasInfo(handle, &canvas);
    if (ret != 0) {
        printf("======DU_DUZ_RGN_GetCanvasInfo failed! s32Ret: 0x%x.\n", ret);
        return ret;
    }
    if (!canvas.pVirtAddr) {
        puts("======malloc osd memroy err!");
        return -1;
    }
    // Only what fits the canvas is drawn: the driver says how big it is.
    bool fits_rows = canvas.stSize.u32Height >= OSD_GLYPH_H && canvas.u32Stride >= canvas.stSize.u32Width * 2;
    for (u32 i = 0; i < len && text[i]; i++) {
        bool fits = fits_rows && char_w == OSD_GLYPH_W && (i + 1) * char_w <= canvas.stSize.u32Width;
        if (!fits || Load10X16Canvas_2_Test(i * char_w * 2, static_cast<u8 *>(canvas.pVirtAddr), canvas.u32Stride,
                                            FONT_LIBRARY_W10H16_T[AnalyPointIndex(text[i])]) != 0)
            printf("======OSD_LoadBMP error! id: %d\n", i);
    }
    ret = DU_DUZ_RGN_UpdateCanvas(handle);
    if (ret != 0) {
        printf("======DU_DUZ_RGN_UpdateCanvas failed! s32Ret: 0x%x.\n", ret);
        return ret;
    }
    return 0;
}

s32 Load10X16Canvas_2_Test(u32 x_bytes, u8 *canvas, u32 stride, const u16 (*glyph)[OSD_GLYPH_W])
{
    if (!canvas || !glyph)
        return -1;
    for (u32 r = 0; r < OSD_GLYPH_H; r++)
        memcpy(canvas + stride * r + x_bytes, glyph[r], OSD_GLYPH_W * 2);
    return 0;
}

u32 AnalyPointIndex(char c)
{
    if (c >= '0' && c <= '9')
        return (u32)(c - '0');
    if (c == ':')
        return 10;
    if (c == '-')
        return 11;
    return 12;
}

void point_to_array(u8 byte, u8 *out, u32 n)
{
    for (u32 i = 0; i < n && i < 8; i++)
        out[i] = (byte >> i) & 1;
}

s32 LoadBMPCanvas_2_Test(u32 x_bytes, u8 *canvas, u32 stride, u32 glyph)
{
    constexpr u32 kRows = OSD_GLYPH24_H, kBytes = OSD_GLYPH24_ROW_BYTES;
    // The glyph's rows must fit the canvas's from the offset on, or they
    // would run into the next row and past the last.
    const u64 extent = (u64)x_bytes + kBytes * 16;
    if (stride < extent) {
        printf("======Bitmap's stride(%llu) is bigger than canvas's stide(%d). Load bitmap error!\n",
               (unsigned long long)extent, stride);
        return -1;
    }
    if (!canvas || glyph >= OSD_GLYPH_NUM)
        return -1;
    const u8 *rows = FONT_LIBRARY_W24H36_T[glyph];
    for (u32 r = 0; r < kRows; r++)
        for (u32 b = 0; b < kBytes; b++) {
            u8 bits[8];
            point_to_array(rows[r * kBytes + b], bits, 8);
            for (u32 k = 0; k < 8; k++) {
                u16 px = bits[k] ? kInk : kPaper;
                memcpy(canvas + stride * r + 16 * b + x_bytes + 2 * k, &px, 2);
            }
        }
    return 0;
}

void osd_format_time(time_t t, s32 date_format, char out[OSD_TEXT_LEN + 1])
{
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    bd_localtime(&t, &tm);
    int year = tm.tm_year + 1900, mon = tm.tm_mon + 1, day = tm.tm_mday;
    char full[64];
    if (date_format == DATE_FMT_YMD)
        snprintf(full, sizeof full, "%04d-%02d-%02d", year, mon, day);
    else if (date_format == DATE_FMT_DMY)
        snprintf(full, sizeof full, "%02d-%02d-%04d", day, mon, year);
    else
        snprintf(full, sizeof full, "%02d-%02d-%04d", mon, day, year);
    size_t len = strlen(full);
    snprintf(full + len, sizeof full - len, "=%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    // The stamp holds its 19 characters and their end; a wider year is cut.
    snprintf(out, OSD_TEXT_LEN + 1, "%.*s", (int)OSD_TEXT_LEN, full);
}

void osd_venc_position(u32 *x, u32 *y)
{
    const KX_DV_CONFIG_S &c = gsDvConfig;
    u32 rot = c.sVi.sParam[0].enRotate;
    bool portrait = rot == 1 || rot == 3;
    *x = 80;
    switch (c.sVpss.sParam[1].u8Resolution) {
    case PIC_HD1080:
        *y = portrait ? 1860 : 1020;
        break;
    case PIC_HD720:
        if (c.sVenc.sParam[1].u8Resolution == PIC_HD720)
            *y = portrait ? 1220 : 660;
        else
            *y = portrait ? 788 : 420;
        break;
    case PIC_WVGA:
        *y = 420;
        break;
    default:
        *y = 1020;
    }
}
