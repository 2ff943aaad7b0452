// The pipeline configuration: the two default sets, the picture-size codes,
// the buffer-block size, the configuration file and the flag helpers.
#include "recorder/dv_config.h"

#include "board/board.h"
#include "core/board_file.h"
#include "core/kx_thread.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "mpi/common/video_frame_requests.h"
#include "mpi/video/venc/mpi_venc.h"

#include <cstdio>
#include <cstring>

KX_DV_CONFIG_S gsDvConfig;
pthread_mutex_t dv_cfg_lock = PTHREAD_MUTEX_INITIALIZER;

namespace {

constexpr const char *kConfigFile = "/home/dv_config.dv";

struct PicSize {
    u32 w0, h0; // norm 0
    u32 w, h;   // any other norm
};
// By size code; a zero width is a refused code.
constexpr PicSize kPicSizes[] = {
    {176, 144, 176, 120},   {352, 288, 352, 240},   {360, 576, 360, 480},   {0, 0, 0, 0},
    {720, 576, 720, 480},   {960, 576, 960, 480},   {320, 240, 320, 240},   {640, 480, 640, 480},
    {1024, 768, 1024, 768}, {1400, 1050, 1400, 1050}, {1600, 1200, 1600, 1200}, {2048, 1536, 2048, 1536},
    {848, 480, 848, 480},   {1680, 1050, 1680, 1050}, {1920, 1200, 1920, 1200}, {2560, 1600, 2560, 1600},
    {1280, 720, 1280, 720}, {1920, 1080, 1920, 1080}, {2304, 1296, 2304, 1296}, {2592, 1520, 2592, 1520},
    {2592, 1944, 2592, 1944},
};

u32 align_up(u32 v, u32 a) { return (v + a - 1) / a * a; }

void set_venc(KX_DV_VENC_PARAM_S &e, u32 type, u8 chn, u8 enable, u8 stream, u8 fps, u8 code)
{
    e.enType = type;
    e.u8Chn = chn;
    e.bEnable = enable;
    e.u8StreamType = stream;
    e.u8FrameRate = fps;
    e.u8ImageQuality = 1;
    e.u8Resolution = code;
    e.u8IPInterval = fps; // one key frame a second
}

struct Defaults {
    u8 vi_code, vi_fps;
    u8 vpss[4][2]; // enable, code of channels 0..3
    u8 jpeg_enable, main_fps, sub_enable;
};

KX_DV_CONFIG_S *set_defaults(const Defaults &d)
{
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0] = {0, 1, 0, 1, d.vi_code, d.vi_fps, 0};
    for (u8 n = 0; n < 4; n++) {
        c.sVpss.sParam[n].u8Chn = n;
        c.sVpss.sParam[n].bEnable = d.vpss[n][0];
        c.sVpss.sParam[n].u8Resolution = d.vpss[n][1];
    }
    set_venc(c.sVenc.sParam[0], PT_JPEG, 0, d.jpeg_enable, 2, 30, d.vi_code);
    set_venc(c.sVenc.sParam[1], PT_H265, 1, 1, 0, d.main_fps, d.vi_code);
    set_venc(c.sVenc.sParam[3], PT_H264, 3, d.sub_enable, 1, 30, PIC_CIF);
    for (u8 &iq : c.au8IqParam)
        iq = 64;
    SIZE_S size = {1920, 1080};
    KX_DV_SYS_GetPicSize(c.sVi.sParam[0].u8Norm, c.sVenc.sParam[1].u8Resolution, &size, c.sVi.sParam[0].enRotate);
    c.sOsd.sParam[0] = {1, 1, 30, (u16)(size.u32Height - 30), 456, 36};
    return &c;
}

s32 change_flag(u32 *word, u32 bit, bool set)
{
    KX_THMutexLock_API(&dv_cfg_lock);
    bit &= 255;
    if (word && bit < 32) {
        if (set)
            *word |= 1u << bit;
        else
            *word &= ~(1u << bit);
    }
    return KX_THMutexUnlock_API(&dv_cfg_lock);
}

} // namespace

KX_DV_CONFIG_S *KX_DV_Set1080DefaultDvCfg(void)
{
    return set_defaults({PIC_HD1080, 60, {{0, PIC_HD1080}, {1, PIC_HD1080}, {0, PIC_HD720}, {0, PIC_CIF}}, 0, 60, 0});
}

KX_DV_CONFIG_S *KX_DV_Set720DefaultDvCfg(void)
{
    return set_defaults({PIC_HD720, 120, {{1, PIC_HD720}, {1, PIC_HD720}, {0, PIC_HD720}, {1, PIC_CIF}}, 1, 120, 1});
}

s32 KX_DV_SYS_GetPicSize(u32 enNorm, u32 enPicSize, SIZE_S *pstSize, u32 enRotate)
{
    if (!pstSize || enPicSize >= sizeof kPicSizes / sizeof kPicSizes[0] || !kPicSizes[enPicSize].w)
        return -1;
    const PicSize &p = kPicSizes[enPicSize];
    pstSize->u32Width = enNorm == 0 ? p.w0 : p.w;
    pstSize->u32Height = enNorm == 0 ? p.h0 : p.h;
    bool portrait = enRotate == 1 || enRotate == 3;
    if (portrait && (enPicSize == PIC_WVGA || enPicSize == PIC_HD720 || enPicSize == PIC_HD1080)) {
        u32 w = pstSize->u32Width;
        pstSize->u32Width = pstSize->u32Height;
        pstSize->u32Height = w;
    }
    return 0;
}

s32 KX_DV_SYS_CalcPicVbBlkSize(u32 enNorm, u32 enPicSize, u32 enPixFmt, u32 u32AlignWidth, u32 enRotate)
{
    SIZE_S size;
    if (KX_DV_SYS_GetPicSize(enNorm, enPicSize, &size, enRotate) != 0) {
        printf("get picture size[%d] failed!\n", enPicSize);
        return -1;
    }
    if (enPixFmt != PIXEL_FORMAT_YUV_SEMIPLANAR_422 && enPixFmt != PIXEL_FORMAT_YUV_SEMIPLANAR_420) {
        printf("pixel format[%d] input failed!\n", enPixFmt);
        return -1;
    }
    if (u32AlignWidth != 16 && u32AlignWidth != 32 && u32AlignWidth != 64) {
        printf("system align width[%d] input failed!\n", u32AlignWidth);
        return -1;
    }
    bool yuv420 = enPixFmt == PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    double plane = (double)align_up(size.u32Height, u32AlignWidth) * align_up(size.u32Width, u32AlignWidth);
    u32 header = (yuv420 ? 24 : 32) * size.u32Height;
    return (s32)(u32)(plane * (yuv420 ? 1.5 : 2.0)) + (s32)header;
}

s32 KX_DV_GetDvcfgFromFile(KX_DV_CONFIG_S *pstDst)
{
    FILE *f = fopen(bd_path(kConfigFile).c_str(), "rb");
    if (f) {
        KX_DV_CONFIG_S cfg;
        size_t n = fread(&cfg, 1, sizeof cfg, f);
        fclose(f);
        if (n == sizeof cfg && pstDst) {
            *pstDst = cfg;
            return 0;
        }
        puts("======fread KX_DV_GetDvcfgFromFile failed");
    } else {
        puts("======fopen config file failed in KX_DV_GetDvcfgFromFile");
    }
    KX_DV_SaveDvcfg2File(KX_DV_Set1080DefaultDvCfg());
    return -1;
}

s32 KX_DV_SaveDvcfg2File(const KX_DV_CONFIG_S *pstSrc)
{
    bool opened = false;
    if (pstSrc && board_file_put(kConfigFile, pstSrc, sizeof *pstSrc, &opened))
        return 0;
    puts(opened ? "======fwrite KX_DV_SaveDvcfg2File error" : "======fopen config file failed in KX_DV_SaveDvcfg2File");
    return -1;
}

s32 KX_DV_SetConfigFlag_API(u32 *pu32Word, u32 u32Bit) { return change_flag(pu32Word, u32Bit, true); }
s32 KX_DV_ClrConfigFlag_API(u32 *pu32Word, u32 u32Bit) { return change_flag(pu32Word, u32Bit, false); }

s32 DebugPrintDVCfgMsg(void)
{
    const KX_DV_CONFIG_S &c = gsDvConfig;
    printf("gsDvConfig.sVi.sParam[%d].u8FrameRate = %d \n", 0, c.sVi.sParam[0].u8FrameRate);
    printf("gsDvConfig.sVi.sParam[%d].u8Resolution = %d \n", 0, c.sVi.sParam[0].u8Resolution);
    for (int i = 0; i < 4; i++) {
        printf("gsDvConfig.sVpss.sParam[%d].bEnable = %d \n", i, c.sVpss.sParam[i].bEnable);
        printf("gsDvConfig.sVpss.sParam[%d].u8Resolution  = %d \n", i, c.sVpss.sParam[i].u8Resolution);
    }
    for (int i = 0; i < 3; i++) {
        const KX_DV_VENC_PARAM_S &e = c.sVenc.sParam[i];
        printf("gsDvConfig.sVenc.sParam[%d].bEnable = %d \n", i, e.bEnable);
        printf("gsDvConfig.sVenc.sParam[%d].enType = %d \n", i, e.enType);
        printf("gsDvConfig.sVenc.sParam[%d].u8ImageQuality = %d \n", i, e.u8ImageQuality);
        printf("gsDvConfig.sVenc.sParam[%d].u8FrameRate = %d \n", i, e.u8FrameRate);
        printf("gsDvConfig.sVenc.sParam[%d].u8Resolution   =%d \n", i, e.u8Resolution);
        printf("gsDvConfig.sVenc.sParam[%d].u8StreamType =%d \n", i, e.u8StreamType);
        printf("gsDvConfig.sVenc.sParam[%d].u8IPInterval =%d \n", i, e.u8IPInterval);
    }
    return 0;
}

s32 set_frequency(s32 hz)
{
    AE_EXPOSURE_SETTINGS_S attr;
    memset(&attr, 0, sizeof attr);
    // Only a record that was read is written back: the rest of it is the
    // exposure library's running state.
    if (DU_DUZ_ISP_GetExposureAttr(0, &attr) != 0)
        return 0;
    attr.stAuto.stAntiflicker.bEnable = 1;
    attr.stAuto.stAntiflicker.u8Frequency = (u8)hz;
    attr.stAuto.stAntiflicker.enMode = 1;
    DU_DUZ_ISP_SetExposureAttr(0, &attr);
    return 0;
}
