// The pipeline configuration: how the capture-process-encode pipeline is
// built (sensor input, processing channels, encoder sets, TV output, date
// stamp), the picture-size codes and the buffer-block size of a picture.
#pragma once

#include "mpi/common/mpi_common.h"

#include <pthread.h>

// The sensor input.
struct KX_DV_VI_PARAM_S {
    u8 u8ViDev;
    u8 u8Spare;      // 1 in the defaults; read by nothing
    u8 u8WdrMode;    // 0 linear, else the WDR sensor mode
    u8 u8Norm;       // 1: the 30/60/120 family; the norm of KX_DV_SYS_GetPicSize
    u8 u8Resolution; // picture-size code: 17 (1080p) or 16 (720p)
    u8 u8FrameRate;  // sensor frames per second
    u32 enRotate;    // 0 none, 1 90 degrees, 3 270 degrees
};
struct KX_DV_VI_S {
    KX_DV_VI_PARAM_S sParam[1];
};

// One processing channel: 1 feeds the recording encoder, 0 the photo
// encoder, 2 the TV output, 3 the motion detection.
struct KX_DV_VPSS_PARAM_S {
    u8 u8Chn;
    u8 bEnable;
    u8 u8Resolution;
    u8 bRotate; // 1 when the input is rotated
    u8 u8Spare;
};
struct KX_DV_VPSS_S {
    KX_DV_VPSS_PARAM_S sParam[4];
};

// One encoder set: 0 the JPEG photo channel, 1 the recording channel.
struct KX_DV_VENC_PARAM_S {
    u32 enType; // 26 JPEG, 96 H.264, 265 H.265
    u8 u8Chn;
    u8 bEnable;
    u8 u8StreamType;   // only printed
    u8 u8FrameRate;
    u8 u8ImageQuality; // row 0..7 of the bit-rate table
    u8 u8Resolution;
    u8 u8RcMode;       // PrefRateControl: constant, else variable bit rate
    u8 au8Spare[3];
    u8 u8IPInterval;   // frames between I-frames
    u8 u8Spare;
};
struct KX_DV_VENC_S {
    KX_DV_VENC_PARAM_S sParam[4];
};

struct KX_DV_VO_PARAM_S {
    u32 eSync;   // PrefTvOut: NTSC or PAL
    u8 u8VoSrc;  // 0: processing channel 2
};
struct KX_DV_VO_S {
    KX_DV_VO_PARAM_S sParam;
};

// The date stamp of encoder set 0 (photo) or 1 (recording).
struct KX_DV_OSD_PARAM_S {
    u8 u8Spare; // 1
    u8 bEnable;
    u16 u16X, u16Y, u16Width, u16Height;
};
struct KX_DV_OSD_S {
    KX_DV_OSD_PARAM_S sParam[2];
};

struct KX_DV_CONFIG_S {
    KX_DV_VI_S sVi;
    KX_DV_VPSS_S sVpss;
    KX_DV_VENC_S sVenc;
    KX_DV_VO_S sVo;
    u8 au8IqParam[3];
    u8 u8SceneAutoMode; // handed to scene auto-tuning when a pipeline starts
    // Lens-distortion correction of photo mode (0 off, 1 on), from the
    // preferences; carried for the pipeline, which reads nothing of it yet.
    u8 u8LensDistortion;
    KX_DV_OSD_S sOsd;
};

// Written by the handler thread (start-up and each record or photo
// application's start) while no pipeline runs; read by the handler's
// pipeline stages and by the engine's threads (stream, MP4, date stamp),
// which are started after those writes and joined before the next. No lock.
extern KX_DV_CONFIG_S gsDvConfig;
// Guards only the flag words KX_DV_SetConfigFlag_API and
// KX_DV_ClrConfigFlag_API change (no caller in the camera), not gsDvConfig.
extern pthread_mutex_t dv_cfg_lock;

// Picture-size codes 0..20 (3 is refused).
enum : u8 {
    PIC_QCIF = 0, PIC_CIF = 1, PIC_360P = 2, PIC_D1 = 4, PIC_960H = 5, PIC_QVGA = 6, PIC_VGA = 7,
    PIC_XGA = 8, PIC_SXGA = 9, PIC_UXGA = 10, PIC_QXGA = 11, PIC_WVGA = 12, PIC_WSXGA = 13,
    PIC_WUXGA = 14, PIC_WQXGA = 15, PIC_HD720 = 16, PIC_HD1080 = 17, PIC_2304x1296 = 18,
    PIC_2592x1520 = 19, PIC_5M = 20,
};

// Semi-planar YUV pixel formats a picture buffer holds.
constexpr u32 PIXEL_FORMAT_YUV_SEMIPLANAR_422 = 22;

KX_DV_CONFIG_S *KX_DV_Set1080DefaultDvCfg(void);
KX_DV_CONFIG_S *KX_DV_Set720DefaultDvCfg(void);

// Width and height of a size code; rotations 1 and 3 turn the 848x480,
// 1280x720 and 1920x1080 sizes portrait. 0, or -1 for a refused code.
s32 KX_DV_SYS_GetPicSize(u32 enNorm, u32 enPicSize, SIZE_S *pstSize, u32 enRotate);
// Bytes of one picture buffer block, or -1.
s32 KX_DV_SYS_CalcPicVbBlkSize(u32 enNorm, u32 enPicSize, u32 enPixFmt, u32 u32AlignWidth, u32 enRotate);

// The raw record in /home/dv_config.dv; 0 or -1.
s32 KX_DV_GetDvcfgFromFile(KX_DV_CONFIG_S *pstDst);
s32 KX_DV_SaveDvcfg2File(const KX_DV_CONFIG_S *pstSrc);

// Set or clear bit (bit & 255) of a flag word under dv_cfg_lock; bits of 32
// and more change nothing. The unlock's result.
s32 KX_DV_SetConfigFlag_API(u32 *pu32Word, u32 u32Bit);
s32 KX_DV_ClrConfigFlag_API(u32 *pu32Word, u32 u32Bit);

s32 DebugPrintDVCfgMsg(void);

// Anti-flicker at the mains frequency `hz` (exposure of ISP device 0); 0.
s32 set_frequency(s32 hz);
