// The application's answers to the recording engine's and the scene
// auto-tuning's questions.
#include "app/engine_hooks.h"

#include "app/app_manager.h"
#include "app/handler.h"
#include "app/keys.h"
#include "app/sd_card.h"
#include "app/usb.h"
#include "recorder/dv_hooks.h"
#include "sceneauto/sceneauto_hooks.h"

namespace {

bool powering_off(void) { return Kx_GetPowerOffState() != 0; }
bool usb_host_claims(void) { return usb_host_may_claim() != 0; }
bool tv_out_on(void) { return get_Tv_State() != 0; }

bool record_mode(void)
{
    int cur = appmgt_get_curapp(nullptr);
    return cur == APP_RECMODE1 || cur == APP_RECMODE2;
}

// The application's id compared with the three the tuning tells apart.
s32 sceneauto_app(void)
{
    int cur = appmgt_get_curapp(nullptr);
    if (cur == APP_RECMODE1)
        return SCENEAUTO_APP_RECMODE1;
    if (cur == APP_RECMODE2)
        return SCENEAUTO_APP_RECMODE2;
    if (cur == APP_PHOMODE)
        return SCENEAUTO_APP_PHOTO;
    return SCENEAUTO_APP_OTHER;
}

} // namespace

void app_register_engine_hooks(void)
{
    DvAppHooks hooks = {};
    hooks.powering_off = powering_off;
    hooks.running_file = set_lock_file_name; // MODE during a recording locks it
    hooks.card_free_kib = Get_SD_Card_Space_2;
    hooks.usb_host_may_claim = usb_host_claims;
    hooks.tv_out_on = tv_out_on;
    hooks.record_mode = record_mode;
    dv_register_app_hooks(hooks);
    sceneauto_register_app_hooks({sceneauto_app});
}
