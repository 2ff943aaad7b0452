// The registration of every application, in the order that fixes their ids.
#include "app/apps.h"

AppEntry *demoapps[DEMOAPPS_MAX];

namespace {

int register_app(AppEntry &e)
{
    // Registered afresh: what a previous registry left in the entry goes.
    AppEntry fresh = {0, 0, 0, 0, 0, &e == &app_main ? APP_FLAGS_STARTED : 0u, 0, e.start, e.stop, e.on_message};
    e = fresh;
    return appmgt_register(&e);
}

} // namespace

int app_register_apps_main(void)
{
    APP_MAIN = register_app(app_main);
    return 0;
}

int app_register_apps_common(void)
{
    APP_FW_UPDATE = register_app(app_fw_update);
    APP_SETTING_UPDATE = register_app(app_setting_update);
    APP_USB_MSC = register_app(app_usb_msc);
    return 0;
}

int app_register_apps_encode(void)
{
    APP_RECMODE1 = register_app(app_rec_mode1);
    APP_RECMODE2 = register_app(app_rec_mode2);
    APP_PHOMODE = register_app(app_pho_mode);
    return 0;
}

int app_register_apps_decode(void) { return 0; }
