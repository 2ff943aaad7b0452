// The tuning's question to the application, and its answer without one.
#include "sceneauto/sceneauto_hooks.h"

namespace {

s32 no_app(void) { return SCENEAUTO_APP_OTHER; }

SceneautoAppHooks g_hooks = {no_app};

} // namespace

void sceneauto_register_app_hooks(const SceneautoAppHooks &hooks)
{
    g_hooks.current_app = hooks.current_app ? hooks.current_app : no_app;
}

s32 sceneauto_current_app(void) { return g_hooks.current_app(); }
