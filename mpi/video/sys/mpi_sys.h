// The system unit: platform start and end, system configuration, binds, time
// stamps, the platform log, memory zones, physical mapping and registers.
//
// Every one-request call goes through sys_call (sys_ctx.h), the log's through
// log_call (mpi_log.cpp).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/sys/sys_requests.h"

#define DU_VERSION_TEXT "DU_VERSION=Vi3516V_MPP_V1.0.6.0 B050 Release"
constexpr u32 SYS_VERSION_NAME_LEN = 64;

// ---- platform -------------------------------------------------------------------------
s32 DU_DUZ_SYS_Init(void);
s32 DU_DUZ_SYS_Exit(void);
s32 DU_DUZ_SYS_SetConf(const SYS_CONF_REC_S *pstSysConf);
s32 DU_DUZ_SYS_GetConf(SYS_CONF_REC_S *pstSysConf);
s32 DU_DUZ_SYS_InitPtsBase(u64 u64PtsBase);
s32 DU_DUZ_SYS_SyncPts(u64 u64PtsBase);
s32 DU_DUZ_SYS_GetCurPts(u64 *pu64CurPts);
s32 DU_DUZ_SYS_Bind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn);
s32 DU_DUZ_SYS_UnBind(const MPP_CHN_ADDR_S *pstSrcChn, const MPP_CHN_ADDR_S *pstDestChn);
s32 DU_DUZ_SYS_GetBindbyDest(const MPP_CHN_ADDR_S *pstDestChn, MPP_CHN_ADDR_S *pstSrcChn);
s32 DU_DUZ_SYS_GetBindbySrc(MPP_CHN_ADDR_S *pstSrcChn, SYS_BIND_DEST_LIST_S *pstBindDest);
s32 MPI_SYS_GetKernelConfig(SYS_KERNEL_CONFIG_S *pstConfig);
s32 DU_DUZ_SYS_GetViVpssMode(u32 *pu32Mode);
s32 DU_DUZ_SYS_SetProfile(u32 u32Profile);
s32 DU_DUZ_SYS_SetScaleCoefLevel(const SCALE_RANGE_S *pstScaleRange, const SCALE_COEFF_LEVEL_S *pstScaleCoeffLevel);
s32 DU_DUZ_SYS_GetScaleCoefLevel(const SCALE_RANGE_S *pstScaleRange, SCALE_COEFF_LEVEL_S *pstScaleCoeffLevel);
s32 DU_DUZ_SYS_GetVersion(char *pszVersion); // 64 bytes
s32 DU_DUZ_SYS_GetFileHandle(void);
s32 DU_DUZ_SYS_CloseFd(void);

// ---- log ------------------------------------------------------------------------------------

s32 DU_DUZ_LOG_SetLevelConf(LOG_LEVEL_CONF_S *pstConf);
s32 DU_DUZ_LOG_GetLevelConf(LOG_LEVEL_CONF_S *pstConf);
s32 DU_DUZ_LOG_SetWaitFlag(u32 bWait);
s32 DU_DUZ_LOG_Read(char *pBuf, u32 u32Len);
s32 DU_DUZ_LOG_GetFileHandle(void);
s32 DU_DUZ_LOG_Close(void);

// ---- memory zones, physical mapping, registers ---------------------------------------------
s32 DU_DUZ_SYS_MmzAlloc(u32 *pu32PhyAddr, void **ppVirtAddr, const char *strMmb, const char *strZone, u32 u32Len);
s32 DU_DUZ_SYS_MmzAlloc_Cached(u32 *pu32PhyAddr, void **ppVirtAddr, const char *strMmb, const char *strZone,
                               u32 u32Len);
s32 DU_DUZ_SYS_MmzFree(u32 u32PhyAddr, void *pVirtAddr);
s32 DU_DUZ_SYS_MmzFlushCache(u32 u32PhyAddr, void *pVirtAddr, u32 u32Size);
s32 DU_DUZ_SYS_GetVirMemInfo(const void *pVirAddr, SYS_VIRMEM_INFO_REC_S *pstMemInfo);
void *DU_DUZ_SYS_Mmap(u32 u32PhyAddr, u32 u32Size);
void *DU_DUZ_SYS_MmapCache(u32 u32PhyAddr, u32 u32Size);
s32 DU_DUZ_SYS_Munmap(void *pVirAddr, u32 u32Size);
s32 DU_DUZ_SYS_MflushCache(u32 u32PhyAddr, void *pVirAddr, u32 u32Size);
s32 DU_DUZ_SYS_SetReg(u32 u32Addr, u32 u32Value);
s32 DU_DUZ_SYS_GetReg(u32 u32Addr, u32 *pu32Value);
s32 DU_DUZ_SYS_SetMemConf(const MPP_CHN_ADDR_S *pstMppChn, const char *pcMmzName);
s32 DU_DUZ_SYS_GetMemConf(const MPP_CHN_ADDR_S *pstMppChn, char *pcMmzName); // 16 bytes
