// The system unit: platform start and end, system configuration, binds, time
// stamps, the platform log, memory zones, physical mapping and registers.
//
// Every one-request call goes through sys_call (mpi_sys.cpp), the log's through
// log_call (mpi_log.cpp).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/bind/mpi_bind.h"

constexpr s32 DU_ERR_SYS_ILLEGAL_PARAM = mpi_status(DU_ID_SYS, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_SYS_NULL_PTR = mpi_status(DU_ID_SYS, ERR_NULL_PTR);
constexpr s32 DU_ERR_SYS_NOT_PERM = mpi_status(DU_ID_SYS, ERR_NOT_PERM);
constexpr s32 DU_ERR_SYS_NOMEM = mpi_status(DU_ID_SYS, ERR_NOMEM);
constexpr s32 DU_ERR_SYS_NOTREADY = mpi_status(DU_ID_SYS, ERR_SYS_NOTREADY);

#define DU_VERSION_TEXT "DU_VERSION=Vi3516V_MPP_V1.0.6.0 B050 Release"
constexpr u32 SYS_VERSION_NAME_LEN = 64;

// Line stride alignment of picture buffers, in bytes.
struct SYS_CONF_REC_S {
    u32 u32LineAlign;
};
static_assert(sizeof(SYS_CONF_REC_S) == 4, "system configuration");

// The kernel's configuration: high-resolution timers, then a reserved word.
struct SYS_KERNEL_CONFIG_S {
    s32 s32HRTimer;
    u32 u32Reserved;
};
static_assert(sizeof(SYS_KERNEL_CONFIG_S) == 8, "kernel configuration");

// Scaler coefficient levels of one pair of horizontal and vertical ratio ranges.
constexpr u32 SCALE_RANGE_BUTT = 7;
constexpr u32 COEFF_LEVEL_BUTT = 11;
struct SCALE_RANGE_S {
    u32 enHorizontal;
    u32 enVertical;
};
struct SCALE_COEFF_LEVEL_S {
    u32 enHorLum;
    u32 enHorChr;
    u32 enVerLum;
    u32 enVerChr;
};
static_assert(sizeof(SCALE_RANGE_S) + sizeof(SCALE_COEFF_LEVEL_S) == 24, "scale coefficient request");

// What a user address of zone memory is.
struct SYS_VIRMEM_INFO_REC_S {
    u32 u32PhyAddr;
    u32 bCached;
};
static_assert(sizeof(SYS_VIRMEM_INFO_REC_S) == 8, "user address information");

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
// The level record: the module by id (or by name when the id is DU_ID_BUTT).
struct LOG_LEVEL_CONF_S {
    u32 enModId;
    s32 s32Level;
    char cModName[16];
};
static_assert(sizeof(LOG_LEVEL_CONF_S) == 24, "log level record");

// Levels as the kernel log counts them: 0 emergencies .. 7 debug.
constexpr s32 LOG_LEVEL_MAX = 7;

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
