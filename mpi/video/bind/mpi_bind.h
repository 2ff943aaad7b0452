// The user-space bind registry: data a unit produces in user space (decoded
// audio) travels from registered senders to the receivers bound to them.
#pragma once

#include "mpi/common/mpi_common.h"

constexpr u32 BIND_DEST_MAXNUM = 64;

// The destinations of one source, in binding order.
struct SYS_BIND_DEST_LIST_S {
    u32 u32ChnNum;
    MPP_CHN_ADDR_S astMppChn[BIND_DEST_MAXNUM];
};

enum MPP_DATA_TYPE_E : u32 {
    MPP_DATA_VIU_FRAME = 0,
    MPP_DATA_VOU_FRAME = 1,
    MPP_DATA_VDEC_FRAME = 2,
    MPP_DATA_VIDEO_FRAME = 3,
    MPP_DATA_VOU_WBC_FRAME = 4,
    MPP_DATA_AUDIO_FRAME = 5,
    MPP_DATA_BUTT = 6,
};

typedef s32 (*SYS_BIND_NOTIFY_FN)(s32 s32Dev, s32 s32Chn, const SYS_BIND_DEST_LIST_S *pstDestList);
typedef s32 (*SYS_BIND_RECV_FN)(s32 s32Dev, s32 s32Chn, u32 u32Flag, MPP_DATA_TYPE_E enDataType, void *pvData);
typedef s32 (*SYS_BIND_RESET_FN)(s32 s32Dev, s32 s32Chn, void *pvData);

struct SYS_BIND_SENDER_S {
    u32 enModId;
    u32 u32MaxDevCnt;
    u32 u32MaxChnCnt;
    SYS_BIND_NOTIFY_FN pfnBindNotify; // may be null
};

struct SYS_BIND_RECEIVER_S {
    u32 enModId;
    u32 u32MaxDevCnt;
    u32 u32MaxChnCnt;
    SYS_BIND_RECV_FN pfnRecvData;   // required
    SYS_BIND_RESET_FN pfnResetData; // may be null
};

s32 SYS_BIND_Init(void);
void SYS_BIND_Exit(void);
s32 SYS_BIND_RegisterSender(const SYS_BIND_SENDER_S *pstSender);
s32 SYS_BIND_RegisterReceiver(const SYS_BIND_RECEIVER_S *pstReceiver);
s32 SYS_BIND_UnRegisterSender(u32 enModId);
s32 SYS_BIND_UnRegisterReceiver(u32 enModId);

s32 SYS_Bind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn);
s32 SYS_UnBind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn);
s32 SYS_GetBindbyDest(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn);
s32 SYS_GetBindbySrc(const MPP_CHN_ADDR_S *pstSrcChn, SYS_BIND_DEST_LIST_S *pstBindDest);

// Delivers one item to every receiver channel bound to the sending channel;
// the OR of their results.
s32 SYS_BIND_SendData(u32 enModId, s32 s32DevId, s32 s32ChnId, u32 u32Flag, MPP_DATA_TYPE_E enDataType,
                      void *pvData);
s32 SYS_BIND_ResetData(u32 enModId, s32 s32DevId, s32 s32ChnId, void *pvData);

// The registry's binding of a destination, quietly: true when the destination
// belongs to a registered receiver and is bound there.
bool bind_find_source(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn);

// Channel address rules shared by the system unit and the registry: VI (16)
// and module 5 sources have device 0, VO (15) sources channel 0, and a VPSS (7)
// or module 6 destination is its group alone.
void bind_normalize_src(MPP_CHN_ADDR_S *pstChn);
void bind_normalize_dest(MPP_CHN_ADDR_S *pstChn);
