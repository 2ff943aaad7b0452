// Audio module loader: the dynamic loader's wrappers and the work-handle copy.
#include "mpi/audio/vqe/audio_module.h"

#include "mpi/common/mpi_steps.h"

#include <algorithm>
#include <cstring>
#include <dlfcn.h>

namespace {

// Every load and unload runs under this one lock.
pthread_mutex_t s_loader_mutex = PTHREAD_MUTEX_INITIALIZER;

constexpr size_t kNameBufLen = 256;

} // namespace

s32 DL_DU_Audio_Dlopen(void **ppHandle, const char *pszFile)
{
    if (!ppHandle || !pszFile)
        return -1;
    *ppHandle = dlopen(pszFile, RTLD_LAZY);
    if (!*ppHandle) {
        AUDIO_ERR_BANNER("DL_DU_Audio_Dlopen", pszFile);
        const char *why = dlerror();
        fprintf(stderr, "DU_Audio_Dlopen Fail Msg is %s\n", why ? why : "");
        return -1;
    }
    return 0;
}

s32 DL_DU_Audio_Dlsym(void **ppSym, void *pHandle, const char *pszSymbol)
{
    if (!ppSym || !pszSymbol)
        return -1;
    if (!pHandle) {
        AUDIO_ERR_BANNER("DL_DU_Audio_Dlsym", "LibHandle is empty!");
        return -1;
    }
    dlerror();
    *ppSym = dlsym(pHandle, pszSymbol);
    if (!*ppSym) {
        AUDIO_ERR_BANNER("DL_DU_Audio_Dlsym", pszSymbol);
        const char *why = dlerror();
        fprintf(stderr, "DU_Audio_Dlsym Fail Msg is %s\n", why ? why : "no such object");
        return -1;
    }
    return 0;
}

s32 DL_DU_Audio_Dlclose(void *pHandle)
{
    if (!pHandle) {
        AUDIO_ERR_BANNER("DL_DU_Audio_Dlclose", "LibHandle is empty!");
        return -1;
    }
    dlclose(pHandle);
    return 0;
}

namespace {

// What a module's load works on.
struct ModuleLoad {
    const char *family, *module;
    void *lib;
    const AUDIO_MODULE_EXPORT_S *obj;
};

s32 open_library(ModuleLoad *l)
{
    char name[kNameBufLen];
    snprintf(name, sizeof name, "lib%s_%s.so", l->family, l->module);
    fprintf(stderr, "To OPEN Audio Module LibName:(%s)\n", name);
    return DL_DU_Audio_Dlopen(&l->lib, name) != 0 ? -1 : 0;
}
void close_library(ModuleLoad *l) { DL_DU_Audio_Dlclose(l->lib); }

s32 find_object(ModuleLoad *l)
{
    char name[kNameBufLen];
    snprintf(name, sizeof name, "g_Audio_%s_WorkHandle", l->module);
    void *sym = nullptr;
    if (DL_DU_Audio_Dlsym(&sym, l->lib, name) != 0)
        return -1;
    l->obj = static_cast<const AUDIO_MODULE_EXPORT_S *>(sym);
    return 0;
}

s32 check_operations(ModuleLoad *l)
{
    if (l->obj->pfnCreate && l->obj->pfnProcess && l->obj->pfnDestroy)
        return 0;
    AUDIO_ERR_BANNER("MODULE_DU_Audio_ModuleHandleInit", "module operations missing");
    return -1;
}

const mpi_step<ModuleLoad> kLoadSteps[] = {
    {nullptr, open_library, close_library},
    {nullptr, find_object, nullptr},
    {nullptr, check_operations, nullptr},
};

} // namespace

s32 MODULE_DU_Audio_ModuleHandleInit(AUDIO_WORK_HANDLE_S *pstHandle, const char *pszFamily, const char *pszModule)
{
    if (!pstHandle || !pszFamily || !pszModule)
        return -1;
    MpiMutexGuard lock(&s_loader_mutex);
    // The record is filled only once the whole object is read, so a failed
    // load leaves nothing half-registered.
    memset(pstHandle, 0, sizeof *pstHandle);
    ModuleLoad load = {pszFamily, pszModule, nullptr, nullptr};
    if (mpi_steps_run(kLoadSteps, &load) != 0)
        return -1;
    const AUDIO_MODULE_EXPORT_S *obj = load.obj;
    // The name is copied at most up to the record's room, whatever the library holds.
    size_t len = strnlen(obj->szName, std::min<size_t>(AUDIO_MODULE_NAME_LEN - 1, AUDIO_MODULE_EXPORT_NAME_LEN));
    memcpy(pstHandle->szName, obj->szName, len);
    pstHandle->szName[len] = '\0';
    pstHandle->pLibHandle = load.lib;
    pstHandle->pfnCreate = obj->pfnCreate;
    pstHandle->pfnProcess = obj->pfnProcess;
    pstHandle->pfnDestroy = obj->pfnDestroy;
    return 0;
}

s32 MODULE_DU_Audio_ModuleHandleDeInit(AUDIO_WORK_HANDLE_S *pstHandle)
{
    if (!pstHandle)
        return 0;
    MpiMutexGuard lock(&s_loader_mutex);
    if (pstHandle->pLibHandle)
        DL_DU_Audio_Dlclose(pstHandle->pLibHandle);
    memset(pstHandle, 0, sizeof *pstHandle);
    return 0;
}
