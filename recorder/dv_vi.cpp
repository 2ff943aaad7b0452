// The input stage: the sensor's MIPI receiver, the ISP start, video input
// device 0 and its channel 0 cut to the configured picture.
#include "recorder/dv_pipeline.h"

#include "board/board.h"
#include "board/mipi_requests.h"
#include "isp/mpi_isp.h"
#include "mpi/video/vi/mpi_vi.h"
#include "recorder/dv_isp.h"
#include "sceneauto/sceneauto_comm.h"

#include <cstdio>
#include <fcntl.h>

u32 u32RecModeFlag = 0;
KX_DV_VI_S dvViParam;
KX_DV_VI_S *Setup_DV_Vi = &gsDvConfig.sVi;
u8 u8viworkstatus[1];

namespace {

// Sync codes of lane L and virtual channel v: B+2, B+3, B, B+1 with
// B = H(v) + P(L).
constexpr COMBO_DEV_ATTR_S make_combo_attr()
{
    constexpr u16 H[MIPI_VC_NUM] = {0x000, 0x200, 0x100, 0x300};
    constexpr u16 P[MIPI_LANE_NUM] = {0x00, 0x10, 0x04, 0x14, 0x08, 0x08, 0x18, 0x18};
    COMBO_DEV_ATTR_S a{1, 1920, 1080, 0, 0, 2, 1, 1, {0, 2, 1, 3, -1, -1, -1, -1}, {}};
    for (u32 l = 0; l < MIPI_LANE_NUM; l++)
        for (u32 v = 0; v < MIPI_VC_NUM; v++) {
            u16 b = H[v] + P[l];
            a.sync_code[l][v][0] = b + 2;
            a.sync_code[l][v][1] = b + 3;
            a.sync_code[l][v][2] = b;
            a.sync_code[l][v][3] = b + 1;
        }
    return a;
}

COMBO_DEV_ATTR_S VicomboDevAttr = make_combo_attr();

const VI_DEV_ATTR_REC_S stViDevAttr = {
    6, 0, {0xFFF00000, 0}, 1, {-1, -1, -1, -1}, 2,
    {1, 1, 0, 0, 1, 0, 0, 1280, 0, 0, 720, 0, 0, 0, 0},
    1, 1, 0, 0, 20, 1920, 1080,
};

const VI_CHN_ATTR_REC_S stViChnAttr = {0, 0, 1920, 1080, 1920, 1080, 2, PIXEL_FORMAT_YUV_SEMIPLANAR_420,
                                       0, 0, 0, -1, -1};

// The device window and the channel's cut of it per input size.
void apply_size(const KX_DV_VI_PARAM_S &p, VI_DEV_ATTR_REC_S &dev, VI_CHN_ATTR_REC_S &chn)
{
    auto set = [&](s32 dx, s32 dy, u32 dw, u32 dh, s32 cx, s32 cy, u32 w, u32 h) {
        dev.s32X = dx, dev.s32Y = dy, dev.u32Width = dw, dev.u32Height = dh;
        chn.s32X = cx, chn.s32Y = cy, chn.u32Width = w, chn.u32Height = h;
        chn.u32DestWidth = w, chn.u32DestHeight = h;
    };
    switch (p.u8Resolution) {
    case PIC_HD1080:
        set(0, 0, 1920, 1096, 0, 0, 1920, 1080);
        break;
    case PIC_HD720:
        if (p.u8FrameRate <= 30) // the whole field, centre cut by the channel
            set(0, 0, 1920, 1096, 320, 180, 1280, 720);
        else
            set(320, 0, 1280, 736, 0, 0, 1280, 720);
        break;
    case PIC_VGA:
        set(0, 20, 640, 480, 0, 0, 640, 480);
        break;
    }
}

// Steps 7 and 8 of the input start: the device, then the channel.
s32 vi_enable(const KX_DV_VI_PARAM_S &p, const VI_DEV_ATTR_REC_S &dev, const VI_CHN_ATTR_REC_S &chn)
{
    s32 ret;
    if (u8viworkstatus[0] == 0) {
        if ((ret = DU_DUZ_VI_SetDevAttr(0, &dev)) != 0) {
            printf("DU_DUZ_VI_SetDevAttr failed with %#x!\n", ret);
            return -1;
        }
        if (p.u8WdrMode) {
            ISP_WDR_SEL_S wdr = {};
            if ((ret = DU_DUZ_ISP_GetWDRMode(0, &wdr)) != 0) {
                printf("DU_DUZ_ISP_GetWDRMode failed with %#x!\n", ret);
                return -1;
            }
            VI_WDR_ATTR_REC_S vi_wdr = {wdr.enWDRMode, 1};
            if ((ret = DU_DUZ_VI_SetWDRAttr(0, &vi_wdr)) != 0) {
                printf("DU_DUZ_VI_SetWDRAttr failed with %#x!\n", ret);
                return -1;
            }
        }
        if ((ret = DU_DUZ_VI_EnableDev(0)) != 0) {
            printf("DU_DUZ_VI_EnableDev failed with %#x!\n", ret);
            return -1;
        }
        u8viworkstatus[0] = 1;
    }
    if (u8viworkstatus[0] == 1) {
        if ((ret = DU_DUZ_VI_SetChnAttr(0, &chn)) != 0) {
            printf("DU_DUZ_VI_SetChnAttr failed with %#x!\n", ret);
            return -1;
        }
        if (p.enRotate != 0 && (ret = DU_DUZ_VI_SetRotate(0, p.enRotate)) != 0) {
            printf("DU_DUZ_VI_SetRotate failed with %#x!\n", ret);
            return ret;
        }
        if ((ret = DU_DUZ_VI_EnableChn(0)) != 0) {
            printf("DU_DUZ_VI_EnableChn failed with %#x!\n", ret);
            return -1;
        }
        u8viworkstatus[0] = 2;
    }
    return 0;
}

} // namespace

s32 KX_DV_MipiAttr_Set(void)
{
    int fd = bd_open("/dev/du_mipi", O_RDWR);
    if (fd < 0) {
        puts("warning: open du_mipi dev failed");
        return -1;
    }
    VicomboDevAttr.wdr_mode = Setup_DV_Vi->sParam[0].u8WdrMode ? 1 : 0;
    s32 ret = bd_ioctl(fd, MIPI_SET_DEV_ATTR, &VicomboDevAttr) == 0 ? 0 : -1;
    if (ret != 0)
        puts("set mipi attr failed");
    bd_close(fd);
    return ret;
}

s32 KX_DV_Vi_Run(void)
{
    if (!(u32RecModeFlag & DV_STATE_MPP)) {
        puts("mpp is not init ");
        return -1;
    }
    dvViParam = *Setup_DV_Vi;
    u8viworkstatus[0] = 0;
    puts("KX_DV_Vi_Run");
    const KX_DV_VI_PARAM_S &p = dvViParam.sParam[0];

    s32 ret = KX_DV_MipiAttr_Set();
    if (ret != 0) {
        printf("open mipi failed with error code %#x!\n", ret);
        return -1;
    }
    ret = KX_DV_ISP_Init();
    if (ret != 0) {
        printf("set dev wdr failed with error code %#x!\n", ret);
        return -1;
    }
    if (KX_DV_ISP_Run() != 0) {
        printf("%s: ISP init failed!\n", "KX_DV_Vi_Run");
        u32RecModeFlag &= ~DV_STATE_ISP;
        return -1;
    }
    u32RecModeFlag |= DV_STATE_ISP;

    VI_DEV_ATTR_REC_S dev = stViDevAttr;
    VI_CHN_ATTR_REC_S chn = stViChnAttr;
    apply_size(p, dev, chn);
    // A failure here leaves the ISP running: the caller stops it.
    if ((ret = vi_enable(p, dev, chn)) != 0)
        return ret;

    CommSceneManualSetVICSC(0);
    printf("enable vi(%d,%d) ok\n", 0, 0);
    u32RecModeFlag |= DV_STATE_VI;
    printf("end vi first config at: (%d,%d) ok\n", 0, 0);
    return 0;
}

s32 KX_DV_Vi_Chn_Stop(s32 chn)
{
    if (chn < 0 || chn >= (s32)(sizeof u8viworkstatus)) {
        u32RecModeFlag &= ~DV_STATE_VI;
        return 0;
    }
    s32 ret = 0;
    // Each step is taken whatever the platform says: nothing else could undo it.
    if (u8viworkstatus[chn] == 2) {
        ret = DU_DUZ_VI_DisableChn(chn);
        u8viworkstatus[chn] = 1;
    }
    if (u8viworkstatus[chn] == 1) {
        ret = DU_DUZ_VI_DisableDev(chn);
        u8viworkstatus[chn] = 0;
    }
    u32RecModeFlag &= ~DV_STATE_VI;
    return ret;
}
