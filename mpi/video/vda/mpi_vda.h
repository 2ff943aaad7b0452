// The video detection unit: channels 0..31 of /dev/vda that compare each
// picture they receive with a reference and report motion per macroblock.
// Results lie in a driver buffer that the unit maps once per channel, so the
// addresses inside a result reach the caller as user addresses.
//
// Every one-request call goes through vda_call (mpi_vda.cpp); the calls of
// several steps start with its checks, vda_ready.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/vda/vda_requests.h"

// One channel's descriptor and its mapped result buffer.
struct VDA_CHN_MAP_S {
    s32 s32Fd;
    u32 u32PhyAddr;
    u32 u32Reserved;
    void *pVirAddr;
    u32 u32Size;
    void *pMapStart;
    u32 u32MapLen;
};
extern VDA_CHN_MAP_S g_stMpiVda[VDA_MAX_CHN_NUM];
extern s32 g_s32VdaMemFd;

s32 DU_DUZ_VDA_CreateChn(VDA_CHN VdaChn, const VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_DestroyChn(VDA_CHN VdaChn);
s32 DU_DUZ_VDA_GetChnAttr(VDA_CHN VdaChn, VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_SetChnAttr(VDA_CHN VdaChn, const VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_StartRecvPic(VDA_CHN VdaChn);
s32 DU_DUZ_VDA_StopRecvPic(VDA_CHN VdaChn);
// s32MilliSec: -1 blocks, 0 does not wait, else the longest wait.
s32 DU_DUZ_VDA_GetData(VDA_CHN VdaChn, VDA_DATA_REC_S *pstVdaData, s32 s32MilliSec);
s32 DU_DUZ_VDA_ReleaseData(VDA_CHN VdaChn, const VDA_DATA_REC_S *pstVdaData);
s32 DU_DUZ_VDA_ResetOdRegion(VDA_CHN VdaChn, u32 u32Rgn);
s32 DU_DUZ_VDA_Query(VDA_CHN VdaChn, VDA_CHN_STAT_S *pstChnStat);
s32 DU_DUZ_VDA_UpdateRef(VDA_CHN VdaChn, const VDA_REF_REC_S *pstRef);
s32 DU_DUZ_VDA_SendPic(VDA_CHN VdaChn, const VIDEO_FRAME_REC_S *pstUserFrame, u32 u32MilliSec);
// The channel's descriptor (opened and bound when needed), for select; a
// platform code when it cannot be had.
s32 DU_DUZ_VDA_GetFd(VDA_CHN VdaChn);
