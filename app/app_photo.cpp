// The photo mode application: single photos or a timed series from the REC
// key, with the photo blink, on the pipeline steps that photos need.
#include "app/apps.h"

#include <cstdio>
#include <initializer_list>
#include <unistd.h>

#include "app/handler.h"
#include "app/keys.h"
#include "app/leds.h"
#include "app/pref.h"
#include "app/sd_card.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_osd.h"
#include "recorder/dv_snap.h"
#include "recorder/dv_tv.h"
#include "sceneauto/sceneauto_comm.h"

AppEntry app_pho_mode = {0, 0, 0, 0, 0, 0, 0, app_pho_mode_start, app_pho_mode_stop, app_pho_mode_on_message};

namespace {

constexpr int kTimeLapseChoices = PREF_LAPSE_60S + 1;
constexpr uint16_t kIntervalMs[kTimeLapseChoices] = {300, 250, 500, 1000, 2000, 5000, 10000, 30000, 60000};
constexpr uint32_t kLedCycleMs[kTimeLapseChoices] = {300, 250, 500, 1000, 250, 250, 250, 250, 250};
constexpr uint8_t kPhotoParam7 = 10;

KX_REC_CMD_S &photo_entry() { return gRecCmd[KX_REC_ENTRY_PHOTO]; }

int32_t time_lapse() { return app_pref_user ? app_pref_user->SetTimeLapseShooting : PREF_LAPSE_OFF; }

void mode_leds(int on)
{
    app_led_ctrl(LED0, on);
    app_led_ctrl(LED2, on);
}

// False when the snapshot thread could not start: then no end of it will
// come to give the keys back, so they are given back here.
bool start_shooting()
{
    photo_entry().RecState = KX_REC_STATE_RUNNING;
    if (KX_DV_StartSnap() == 0)
        return true;
    puts("KX_DV_StartSnap failed");
    photo_entry().RecState = KX_REC_STATE_STOPPED;
    button_enable();
    return false;
}

void on_rec_release()
{
    KX_REC_CMD_S &e = photo_entry();
    const bool idle = e.RecState == KX_REC_STATE_STOPPED;
    switch (e.u8PhotoMode) {
    case 0:
        button_disable();
        start_shooting();
        break;
    case 1:
        button_disable();
        if (idle)
            start_shooting();
        else
            KX_DV_StopSnap();
        break;
    default:
        if (idle) {
            if (start_shooting() && time_lapse() >= PREF_LAPSE_OFF && time_lapse() <= PREF_LAPSE_1S)
                KX_SendCondtoPhoto_Led_Flash();
        } else {
            KX_DV_StopSnap();
            button_disable();
        }
        break;
    }
}

} // namespace

uint16_t photo_interval_ms(int32_t v) { return v >= 0 && v < kTimeLapseChoices ? kIntervalMs[v] : 300; }
uint32_t photo_led_cycle_ms(int32_t v) { return v >= 0 && v < kTimeLapseChoices ? kLedCycleMs[v] : 300; }

void app_lock_3a(int32_t which)
{
    if (which == PREF_LOCK_AE_AWB || which == PREF_LOCK_AE)
        CommSceneautoLockAE(1);
    if (which == PREF_LOCK_AE_AWB || which == PREF_LOCK_AWB)
        CommSceneautoLockAwb(1);
}

void app_set_vi_input(int32_t movie_rotate)
{
    KX_DV_VI_PARAM_S &vi = gsDvConfig.sVi.sParam[0];
    vi.u8ViDev = 0;
    vi.u8Spare = 1;
    vi.u8WdrMode = 0;
    vi.u8Norm = 1;
    vi.enRotate = movie_rotate == PREF_ROTATE_RIGHT ? 3 : movie_rotate == PREF_ROTATE_LEFT ? 1 : 0;
}

int init_photo_status(void)
{
    const DvSystemParam &p = *app_pref_user;
    const int m = PREF_PHOTO_MODE;
    KX_DV_CONFIG_S &c = gsDvConfig;
    photo_entry().RecState = KX_REC_STATE_STOPPED;

    KX_DV_VI_PARAM_S &vi = c.sVi.sParam[0];
    const int32_t rotate = p.MovieRotate[m];
    app_set_vi_input(rotate);

    u8 in_code, enc_code;
    switch (p.MovieResolution[m]) {
    case PREF_RES_1080P:
        in_code = enc_code = PIC_HD1080;
        vi.u8FrameRate = 60;
        break;
    case PREF_RES_720P:
        in_code = enc_code = PIC_HD720;
        vi.u8FrameRate = 120;
        break;
    default:
        in_code = PIC_HD720;
        enc_code = PIC_WVGA;
        vi.u8FrameRate = 120;
        break;
    }
    vi.u8Resolution = in_code;
    c.sVpss.sParam[0].u8Resolution = c.sVpss.sParam[1].u8Resolution = in_code;

    for (u8 n = 0; n < 4; n++) {
        KX_DV_VPSS_PARAM_S &v = c.sVpss.sParam[n];
        v.u8Chn = n;
        v.bEnable = n < 3 ? 1 : 0;
        v.bRotate = rotate != PREF_ROTATE_NONE ? 1 : 0;
    }
    c.sVpss.sParam[3].u8Resolution = PIC_D1;

    KX_DV_VENC_PARAM_S &jpeg = c.sVenc.sParam[0];
    jpeg.enType = PT_JPEG;
    jpeg.u8Chn = 0;
    jpeg.bEnable = 1;
    jpeg.u8FrameRate = jpeg.u8IPInterval = 10;
    jpeg.u8Resolution = enc_code;
    KX_DV_VENC_PARAM_S &main = c.sVenc.sParam[1];
    main.u8Chn = 1;
    main.bEnable = 0;
    main.u8Resolution = enc_code;
    for (u8 n = 2; n < 4; n++) {
        KX_DV_VENC_PARAM_S &e = c.sVenc.sParam[n];
        e.enType = PT_H264;
        e.u8Chn = n;
        e.bEnable = 0;
        e.u8FrameRate = e.u8IPInterval = 30;
    }

    c.sVo.sParam.eSync = (u32)p.TVout;
    c.sVo.sParam.u8VoSrc = (u8)p.TVOutStrategy;
    c.u8SceneAutoMode = (u8)p.MovieDefog[m];
    c.u8LensDistortion = (u8)p.MovieLensDistortionCorrection[m];

    SIZE_S size = {1920, 1080};
    KX_DV_SYS_GetPicSize(1, enc_code, &size, vi.enRotate);
    c.sOsd.sParam[0] = {1, (u8)(p.MovieTimestamp[m] ? 1 : 0), 30, (u16)(size.u32Height - 30), 456, 36};

    KX_REC_CMD_S &e = photo_entry();
    e.u8Param7 = kPhotoParam7;
    e.u8PhotoMode = p.SetTimeLapseShooting == PREF_LAPSE_OFF ? 0 : 2;
    e.u16PhotoInterval = photo_interval_ms(p.SetTimeLapseShooting);
    return 0;
}

int photo_flash_led(int on)
{
    const uint32_t cycle = photo_led_cycle_ms(time_lapse());
    if (!on)
        return pho_stop_led_flash();
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    const bool single =
        photo_entry().u8PhotoMode == 0 || time_lapse() < PREF_LAPSE_250MS || time_lapse() > PREF_LAPSE_1S;
    pho_create_led_flash_thread(cycle, single ? 1 : 0);
    return 0;
}

int app_pho_mode_start(void)
{
    printf("app_pho_mode_start \r\n ");
    app_pho_mode.flags |= APP_FLAGS_STARTED;
    init_photo_status();
    for (u32 step : {0u, 2u, 3u, 5u, 7u, 13u})
        KX_Video_Mode_Func(step, 0, 0);
    usleep(50 * 1000);
    button_enable();
    mode_leds(1);
    tv_detect_Enable(1);
    photo_flash_led(1);
    return 0;
}

int app_pho_mode_stop(void)
{
    printf("app_pho_mode_stop \r\n ");
    button_disable();
    photo_flash_led(0);
    tv_detect_Enable(0);
    if (get_Tv_State()) {
        video_out_proc(0);
        set_Tv_State(0);
    }
    KX_DV_StopSnap();
    KX_DV_StopMainVencOsdThread();
    for (u32 step : {14u, 8u, 6u, 4u})
        KX_Video_Mode_Func(step, 0, 0);
    KX_DV_ISP_Stop();
    KX_Video_Mode_Func(1, 0, 0);
    mode_leds(0);
    return 0;
}

int app_pho_mode_on_message(uint32_t id, uint32_t, uint32_t)
{
    KX_REC_CMD_S &e = photo_entry();
    switch (id) {
    case HMSG_KEY_RELEASE | KEY_ID_REC:
        if (card_state == CARD_STATE_PRESENT)
            on_rec_release();
        break;
    case HMSG_KEY_RELEASE | KEY_ID_MODE:
        if (e.RecState == KX_REC_STATE_STOPPED)
            appmgt_switch_to_app(APP_RECMODE1);
        break;
    case HMSG_KEY_HOLD | KEY_ID_MODE: {
        const int32_t lock = app_pref_user ? app_pref_user->EnableManualAELockorAWBLock : PREF_LOCK_NONE;
        printf("app_pref_user->enableAELockorAWBLock = %d\r\n", lock);
        if (lock != PREF_LOCK_NONE) {
            mode_leds(0);
            app_lock_3a(lock);
            usleep(500 * 1000);
            mode_leds(1);
        }
        break;
    }
    case AMSG_SNAP_START:
        KX_SendCondtoPhoto_Led_Flash();
        break;
    case AMSG_SNAP_COMPLETE:
        // While the camera powers off the keys stay off.
        if (!Kx_GetPowerOffState())
            button_enable();
        e.RecState = KX_REC_STATE_STOPPED;
        break;
    default:
        break;
    }
    return -1;
}
