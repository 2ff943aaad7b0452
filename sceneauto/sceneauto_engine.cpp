// The scene auto-tuning engine's lifecycle: Init loads the tuning image,
// Start applies the start-up attributes and runs the normal and the
// special-scene thread, Stop and DeInit end them; the special scenes are
// switched in between.
//
// The threads are joined with the scene lock released: the special thread
// takes that lock in its cycles, and a thread waiting for it can't end.
// A second lock keeps Init, Start, Stop and DeInit from running into each
// other while one of them waits for the threads.
#include "sceneauto/sceneauto_engine.h"

#include "sceneauto/dictionary.h"
#include "sceneauto/iniparser.h"

#include <cstdio>
#include <mutex>

pthread_mutex_t g_stSceneautoLock = PTHREAD_MUTEX_INITIALIZER;
u32 g_bSceneautoInit, g_bSceneautoStart;
std::atomic<u32> g_bNormalThreadFlag{0}, g_bSpecialThreadFlag{0};
RunThread g_pthSceneAutoNormal, g_pthSceneAutoSpecial;
std::atomic<u32> g_eSpecialScene{0};
dictionary *g_Sceneautodictionary;

namespace {

std::mutex g_call_lock;

class SceneLock {
public:
    SceneLock() { lock(); }
    ~SceneLock()
    {
        if (held_)
            pthread_mutex_unlock(&g_stSceneautoLock);
    }
    void lock()
    {
        pthread_mutex_lock(&g_stSceneautoLock);
        held_ = true;
    }
    void unlock()
    {
        held_ = false;
        pthread_mutex_unlock(&g_stSceneautoLock);
    }

private:
    bool held_ = false;
};

const SCENEAUTO_MPINFO_S &mp() { return g_stINIPara.stMpInfo; }
bool block_analysis_on() { return g_stINIPara.stThreshValue.u32IveEnable == 1; }

// Clears both run flags and joins the threads that exist, with the scene
// lock released meanwhile (the special thread may be waiting for it).
void stop_threads(SceneLock &lock)
{
    g_bNormalThreadFlag = 0;
    g_bSpecialThreadFlag = 0;
    lock.unlock();
    run_thread_stop(g_pthSceneAutoNormal, g_bNormalThreadFlag);
    run_thread_stop(g_pthSceneAutoSpecial, g_bSpecialThreadFlag);
    lock.lock();
}

// The block-activity analysis on the tuning image's processing channel.
s32 Sceneauto_IVEStart(void)
{
    const SCENEAUTO_MPINFO_S &m = mp();
    return sceneauto_failed(CommSceneautoIVEStart(m.u32VpssGrp, m.u32VpssChn), "CommSceneautoIVEStart") ? -1 : 0;
}

s32 Sceneauto_IVEStop(void) { return sceneauto_failed(CommSceneautoIVEStop(), "CommSceneautoIVEStop") ? -1 : 0; }

s32 stop_locked(SceneLock &lock)
{
    stop_threads(lock);
    if (block_analysis_on() && Sceneauto_IVEStop() != 0)
        return -1;
    g_bSceneautoStart = 0;
    return 0;
}

void Sceneauto_FreeDict(void)
{
    if (g_Sceneautodictionary)
        iniparser_freedict(g_Sceneautodictionary);
    g_Sceneautodictionary = nullptr;
}

void print_not_inited(const char *func, int line)
{
    printf("func:%s,line:%d, please init sceneauto first!\n", func, line);
}

// Start's steps 3 to 9: the attributes the threads start from.
s32 apply_start_attributes()
{
    if (sceneauto_set_start_dci() != 0)
        return -1;
    sceneauto_set_drc_by_app();
    u8 mode = 0;
    CommSceneautoGetWDRAttr((s32)mp().u32IspDev, &mode);
    if (mode == 0) {
        if (sceneauto_failed(SceneAuto_SetAERoute(), "SceneAuto_SetAERoute"))
            return -1;
    } else {
        SceneAuto_SetAERoute_NightWDR();
    }
    if (sceneauto_failed(SceneAuto_SetDefaultGamma(), "SceneAuto_SetDefaultGamma"))
        return -1;
    if (Sceneauto_AEInit() != 0)
        return -1;
    CommSceneautoInitAwbAttr((s32)mp().u32IspDev);
    return 0;
}

s32 start_threads(SceneLock &lock)
{
    if (run_thread_start(g_pthSceneAutoNormal, g_bNormalThreadFlag, SceneAuto_NormalThread) != 0) {
        puts("pthread_create SceneAuto_NormalThread failed ");
        return -1;
    }
    if (run_thread_start(g_pthSceneAutoSpecial, g_bSpecialThreadFlag, SceneAuto_SpecialThread) != 0) {
        puts("pthread_create SceneAuto_SpecialThread failed ");
        stop_threads(lock); // a start that fails leaves nothing running
        return -1;
    }
    return 0;
}

// The setter of special scene `scene` (1-8); 0, or -1 after its line.
s32 apply_special_scene(u32 scene)
{
    switch (scene) {
    case SCENEAUTO_SPECIAL_SCENE_BLC:
        return sceneauto_failed(SceneAuto_SetBLC(), "SceneAuto_SetBLC") ? -1 : 0;
    case SCENEAUTO_SPECIAL_SCENE_IR:
        return SceneAuto_SetIR();
    case SCENEAUTO_SPECIAL_SCENE_HLC:
        return sceneauto_failed(SceneAuto_SetHLC(), "SceneAuto_SetHLC") ? -1 : 0;
    case SCENEAUTO_SPECIAL_SCENE_DYNAMIC:
        return sceneauto_failed(SceneAuto_SetDynamic(), "SceneAuto_SetDynamic") ? -1 : 0;
    case SCENEAUTO_SPECIAL_SCENE_DRC:
        return sceneauto_failed(SceneAuto_SetDRC(), "SceneAuto_SetDRC") ? -1 : 0;
    default:
        // The FSWDR scenes: the normal thread does their work in its cycles.
        return 0;
    }
}

} // namespace

bool sceneauto_failed(s32 ret, const char *callee)
{
    if (ret == 0)
        return false;
    printf("%s failed\n", callee);
    return true;
}

s32 DU_VUZI_SCENEAUTO_Init(const char *pcIniPath)
{
    if (!pcIniPath) {
        printf("func:%s,line:%d, NULL pointer\n", __FUNCTION__, __LINE__);
        return -1;
    }
    std::lock_guard<std::mutex> call(g_call_lock);
    SceneLock lock;
    if (g_bSceneautoInit) {
        puts("VUZI SCENEAUTO Module has been inited already");
        return 0;
    }
    Sceneauto_LoadIQPara(); // the file named is not read: the image is compiled in
    g_bSceneautoInit = 1;
    g_eSpecialScene = SCENEAUTO_SPECIAL_SCENE_NONE;
    sceneauto_forget_kept(); // kept for a pipeline that is gone
    lock.unlock();
    puts("VUZI SCENUAUTO Module has been inited successfully!");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_Start(void)
{
    std::lock_guard<std::mutex> call(g_call_lock);
    SceneLock lock;
    if (!g_bSceneautoInit) {
        print_not_inited(__FUNCTION__, __LINE__);
        return -1;
    }
    if (g_bSceneautoStart) {
        puts("VUZI SCENEAUTO Module is start already!");
        return 0;
    }
    if (apply_start_attributes() != 0 || start_threads(lock) != 0)
        return -1;
    if (block_analysis_on() && Sceneauto_IVEStart() != 0) {
        puts("Sceneauto_IVEStart failed");
        stop_threads(lock);
        return -1;
    }
    g_bSceneautoStart = 1;
    lock.unlock();
    puts("VUZI SCENEAUTO Module has been started successfully!");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_Stop(void)
{
    std::lock_guard<std::mutex> call(g_call_lock);
    SceneLock lock;
    if (!g_bSceneautoStart) {
        puts("VUZI SCENEAUTO Module has been stopped already!");
        return 0;
    }
    if (stop_locked(lock) != 0)
        return -1;
    lock.unlock();
    puts("VUZI SCENEAUTO Module has been stopped successfully!");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_DeInit(void)
{
    std::lock_guard<std::mutex> call(g_call_lock);
    SceneLock lock;
    if (!g_bSceneautoInit) {
        puts("VUZI SCENEAUTO Module has not been inited !");
        return 0;
    }
    // A started engine stops first: a later Init and Start must find it
    // stopped, not "started" with no thread behind it.
    if (g_bSceneautoStart)
        stop_locked(lock);
    Sceneauto_FreeDict();
    g_bSceneautoInit = 0;
    lock.unlock();
    puts("VUZI SCENEAUTO Module has been deinited successfully!");
    return 0;
}

s32 DU_VUZI_SCENEAUTO_GetSpecialMode(u32 *peSpecialScene)
{
    if (!peSpecialScene) {
        printf("func:%s,line:%d, NULL pointer\n", __FUNCTION__, __LINE__);
        return -1;
    }
    SceneLock lock;
    *peSpecialScene = g_eSpecialScene;
    return 0;
}

s32 DU_VUZI_SCENEAUTO_SetSpecialMode(const u32 *peSpecialScene)
{
    {
        SceneLock lock;
        if (!g_bSceneautoInit) {
            print_not_inited(__FUNCTION__, __LINE__);
            return -1;
        }
    }
    if (!peSpecialScene) {
        printf("func:%s,line:%d, NULL pointer\n", __FUNCTION__, __LINE__);
        return -1;
    }
    const u32 scene = *peSpecialScene;
    printf("*peSpecialScene = %d\n", scene);
    if (scene >= SCENEAUTO_SPECIAL_SCENE_BUTT) {
        printf("error input! unknow special scene!");
        return -1;
    }
    SceneLock lock;
    const u32 current = g_eSpecialScene;
    if (scene == current)
        return 0;
    if (scene == SCENEAUTO_SPECIAL_SCENE_NONE) {
        if (sceneauto_restore_normal() != 0)
            return -1;
        g_eSpecialScene = scene;
        return 0;
    }
    // What the scene writes is kept first, for the way back.
    if (sceneauto_keep_for_scene(scene) != 0)
        return -1;
    if (apply_special_scene(scene) != 0) {
        // A scene half applied over the normal one is undone.
        if (current == SCENEAUTO_SPECIAL_SCENE_NONE)
            sceneauto_restore_normal();
        return -1;
    }
    g_eSpecialScene = scene;
    return 0;
}

s32 Sceneauto_LoadFile(const char *path)
{
    SceneLock lock;
    if (g_Sceneautodictionary) {
        // Loaded already: the dictionary is dropped (and freed), not reloaded.
        Sceneauto_FreeDict();
        return 0;
    }
    g_Sceneautodictionary = iniparser_load(path);
    if (!g_Sceneautodictionary) {
        printf("%s ini load failed\n", path);
        return -1;
    }
    return 0;
}
