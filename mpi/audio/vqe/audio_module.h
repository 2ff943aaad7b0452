// The audio processing modules: shared libraries "lib<family>_<module>.so"
// loaded at run time, each exporting one work-handle object
// "g_Audio_<module>_WorkHandle" with its create, process and destroy
// operations. The records here are the binary interface between the loader,
// the chains and the module libraries of mpi/audio/modules/.
#pragma once

#include <cstddef>

#include "mpi/common/mpi_common.h"

// The buffer descriptor of every process call; zeroed before each call.
struct AUDIO_MODULE_BUF_S {
    s16 *pData;      // input: the samples to read; output: where to write
    s16 *pRefData;   // echo reference of the same block (input chain only)
    void *pReserved;
    s32 *pVolume;    // the chain's volume word in dB (input chain only)
    u32 u32Bytes;    // input descriptor only: bytes of the block
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AUDIO_MODULE_BUF_S) == 20 && offsetof(AUDIO_MODULE_BUF_S, u32Bytes) == 16,
              "module buffer descriptor");
#endif

// create writes the module's instance and returns 0; process returns 0 (for
// "RES": the samples written); destroy releases the instance.
typedef s32 (*AUDIO_MODULE_CREATE_FN)(void **phModule, s32 s32SampleRate, const void *pParam);
typedef s32 (*AUDIO_MODULE_PROCESS_FN)(void *hModule, const AUDIO_MODULE_BUF_S *pstIn,
                                       const AUDIO_MODULE_BUF_S *pstOut);
typedef s32 (*AUDIO_MODULE_DESTROY_FN)(void *hModule);

// The object a module library exports: the name from byte 0, the operations
// from byte 28 on (28, 32 and 36 on the camera).
constexpr u32 AUDIO_MODULE_EXPORT_NAME_LEN = 28;
struct AUDIO_MODULE_EXPORT_S {
    char szName[AUDIO_MODULE_EXPORT_NAME_LEN];
    AUDIO_MODULE_CREATE_FN pfnCreate;
    AUDIO_MODULE_PROCESS_FN pfnProcess;
    AUDIO_MODULE_DESTROY_FN pfnDestroy;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(AUDIO_MODULE_EXPORT_S, pfnCreate) == 28 && offsetof(AUDIO_MODULE_EXPORT_S, pfnDestroy) == 36,
              "module work-handle object");
#endif

// The program's copy of a loaded module.
constexpr u32 AUDIO_MODULE_NAME_LEN = 24;
struct AUDIO_WORK_HANDLE_S {
    char szName[AUDIO_MODULE_NAME_LEN];
    void *pLibHandle;
    AUDIO_MODULE_CREATE_FN pfnCreate;
    AUDIO_MODULE_PROCESS_FN pfnProcess;
    AUDIO_MODULE_DESTROY_FN pfnDestroy;
};

// The parameter block a chain stage's create receives.
struct VQE_MODULE_PARAM_S {
    s32 s32ParamA;
    s32 s32ParamB;
    u32 u32WorkMode;
    const void *pModuleCfg; // the stage's sub-record in the chain's configuration, or null
};

// The parameter block of the "RES" module's create: {output rate, 0, 1}.
struct RES_MODULE_PARAM_S {
    s32 s32OutRate;
    s32 s32Reserved; // 0
    s32 s32Channels; // 1
};

#define AUDIO_MODULE_FAMILY "zuza"

// Loads "lib<family>_<module>.so" and fills the record from its work-handle
// object; 0, or -1 with the record cleared (nothing stays open).
s32 MODULE_DU_Audio_ModuleHandleInit(AUDIO_WORK_HANDLE_S *pstHandle, const char *pszFamily, const char *pszModule);
// Closes the record's library; 0.
s32 MODULE_DU_Audio_ModuleHandleDeInit(AUDIO_WORK_HANDLE_S *pstHandle);

s32 DL_DU_Audio_Dlopen(void **ppHandle, const char *pszFile);
s32 DL_DU_Audio_Dlsym(void **ppSym, void *pHandle, const char *pszSymbol);
s32 DL_DU_Audio_Dlclose(void *pHandle);

// The enhancement library's error banner: function, line and a message.
#define AUDIO_ERR_BANNER(func, text)                                                                       \
    fprintf(stderr, "\n\n\033[40m\033[31m\033[1m**Err In %s-%d:  %s**\033[0m\n\n", func, __LINE__, text)
