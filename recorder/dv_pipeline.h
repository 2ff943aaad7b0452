// The video pipeline set-up: the sensor's MIPI receiver, video input device 0
// and channel 0, processing group 0 with its channels, the encoder channels
// and the binds between them, built from gsDvConfig and torn down stage by
// stage; and the bit-rate table.
//
// Order: KX_DV_Vi_Run, KX_DV_Vpss_Run, KX_DV_Venc_Run; down again with
// KX_DV_Venc_Chn_Stop(0, 1, 2), KX_DV_Vpss_Grp_Stop(0), KX_DV_Vi_Chn_Stop(0),
// then the ISP stop. Each stage keeps status bytes, so a stop after a partial
// start removes just what exists and a stop of a stage that never ran does
// nothing.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/venc/mpi_venc.h"
#include "recorder/dv_config.h"

// The pipeline state word and its bits.
constexpr u32 DV_STATE_MPP = 0x2;        // system unit and buffer pool up
constexpr u32 DV_STATE_ISP = 0x4;        // ISP run thread running
constexpr u32 DV_STATE_VI = 0x8;         // video input up
constexpr u32 DV_STATE_VPSS = 0x10;      // processing group up
constexpr u32 DV_STATE_SCENEAUTO = 0x100;
constexpr u32 DV_STATE_AUDIO = 0x200;
// Everything in this header is the handler thread's: the stages run and
// stop there (the applications, the power-off); no engine thread and no
// signal's stop touches them. No lock.
extern u32 u32RecModeFlag;

// Stage copies of gsDvConfig, taken when a stage starts, and where from
// (the pointers never change).
extern KX_DV_VI_S dvViParam;
extern KX_DV_VPSS_S dvVpssParam;
extern KX_DV_VENC_PARAM_S dvVencParam[3];
extern KX_DV_VI_S *Setup_DV_Vi;
extern KX_DV_VPSS_S *Setup_DV_Vpss;
extern KX_DV_VENC_S *Setup_DV_Venc;

// Stage status bytes. Input: 1 device enabled, 2 channel enabled.
// Processing: 1 group created and started, 2 channels enabled, 4 bound to
// the input. Encoder channel: 1 created, 3 bound to its processing channel.
extern u8 u8viworkstatus[1];
extern u8 u8vpssworkstatus[4];
extern u8 u8vencworkstatus[3];

s32 KX_DV_MipiAttr_Set(void);
s32 KX_DV_Vi_Run(void);
s32 KX_DV_Vi_Chn_Stop(s32 chn);
s32 KX_DV_Vpss_Run(void);
s32 KX_DV_Vpss_Grp_Stop(u32 k);
s32 KX_DV_Venc_Run(void);
s32 KX_DV_Venc_Chn_Start(u32 chn, VENC_CHN_ATTR_REC_S attr);
s32 KX_DV_Venc_Chn_Stop(u32 chn);

// kbit/s by quality row (0..7, above 7 its own column), payload type,
// picture-size code and frame rate.
u32 KX_DV_Get_BitRate(u8 quality, u32 enType, u8 sizeCode, u8 fps);
