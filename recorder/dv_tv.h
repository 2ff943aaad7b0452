// The TV output: processing channel 2 of group 0 at the TV's picture size,
// bound to output device 0, video layer 0, channel 0, with the TV's date
// stamp when the recording set's stamp is on. The main handler switches it
// with the cable, the mode applications and the pipeline stop switch it off.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vo/mpi_vo.h"
#include "mpi/video/vpss/mpi_vpss.h"

// The TV's picture and timing by its standard (gsDvConfig.sVo.sParam.eSync:
// 1 PAL, anything else NTSC) and the sensor's frame rate.
struct KX_DV_TV_MODE_S {
    u32 u32Width, u32Height;
    u32 enIntfSync;  // VO_OUTPUT_PAL or VO_OUTPUT_NTSC
    u32 u32FrameRate; // the layer's display rate
};
KX_DV_TV_MODE_S tv_mode_for(u32 eSync, u32 sensorFps);

// 1 switches the TV output on, any other value off. Failures are printed; a
// failed on undoes what it did. 0 when every step succeeded, else -1
// (callers need not look).
s32 video_out_proc(u32 on);

// ---- building blocks: 0 or -1, each failure printed ----
s32 KX_DV_VO_VPSS_EnableChn(s32 grp, s32 chn, const VPSS_CHN_ATTR_REC_S *chnAttr, const VPSS_CHN_MODE_REC_S *mode,
                            const VPSS_EXT_CHN_ATTR_REC_S *extAttr);
s32 KX_DV_VO_VPSS_DisableChn(s32 grp, s32 chn);
s32 KX_DV_VO_BindVpss(VO_DEV voDev, VO_CHN voChn, VPSS_GRP grp, VPSS_CHN chn);
s32 KX_DV_VO_UnBindVpss(VO_DEV voDev, VO_CHN voChn, VPSS_GRP grp, VPSS_CHN chn);
s32 KX_DV_VO_StartDev(VO_DEV dev, const VO_PUB_ATTR_REC_S *attr);
s32 KX_DV_VO_StopDev(VO_DEV dev);
// flag 0 first sets the display buffer length to 3; the TV output passes 1.
s32 KX_DV_VO_StartLayer(VO_LAYER layer, const VO_LAYER_ATTR_REC_S *attr, u32 flag);
s32 KX_DV_VO_StopLayer(VO_LAYER layer);
// Channel 0 over the whole layer; `mode` is not used.
s32 KX_DV_VO_StartChn(VO_LAYER dev, u32 mode);
// mode 0 channel 0, mode 1 channels 0 and 1.
s32 KX_DV_VO_StopChn(VO_LAYER dev, u32 mode);
