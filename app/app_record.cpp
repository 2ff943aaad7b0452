// Record modes 1 and 2: one design over two preference columns. Starting a
// mode turns its preferences into the pipeline configuration and the record
// entry of gRecCmd and starts the pipeline and audio; REC starts and stops
// recordings, MODE moves on or locks the running file, a MODE hold locks
// exposure and white balance.
#include "app/apps.h"

#include <chrono>
#include <cstdio>
#include <unistd.h>

#include "app/handler.h"
#include "app/keys.h"
#include "app/leds.h"
#include "app/pref.h"
#include "app/sd_card.h"
#include "app/usb.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_motion.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_stream.h"
#include "recorder/dv_tv.h"

AppEntry app_rec_mode1 = {0, 0, 0, 0, 0, 0, 0, app_rec_mode1_start, app_rec_mode1_stop, app_rec_mode1_on_message};
AppEntry app_rec_mode2 = {0, 0, 0, 0, 0, 0, 0, app_rec_mode2_start, app_rec_mode2_stop, app_rec_mode2_on_message};

std::atomic<uint8_t> &u8NeedLockFile = u8NeedLockFileTH;

namespace {

// What differs between the two modes.
struct RecMode {
    int pref;             // preference column
    AppEntry &entry;
    int mode_led;         // lit with LED2
    bool norm_rates;      // sets 2 and 3 follow the video norm (else 30)
    bool chatty;          // prints the frame rate, splits and completions
    const char *start_name, *stop_name;
    const int &next_app;  // MODE released while stopped
    bool locks_file;      // MODE released while recording
};

const RecMode kMode1 = {PREF_VIDEO_MODE1, app_rec_mode1, LED1, true, true,
                        "app_rec_mode1_start", "app_rec_mode1_stop", APP_RECMODE2, true};
const RecMode kMode2 = {PREF_VIDEO_MODE2, app_rec_mode2, LED3, false, false,
                        "app_rec_mode2_start", "app_rec_mode2_stop", APP_PHOMODE, false};

KX_REC_CMD_S &record_entry() { return gRecCmd[KX_REC_ENTRY_RECORD]; }
bool recording() { return record_entry().RecState == KX_REC_STATE_RUNNING; }

void mode_leds(const RecMode &m, int on)
{
    app_led_ctrl(m.mode_led, on);
    app_led_ctrl(LED2, on);
}

// Main-stream and sensor frame rates of a MovieFrameRate value.
void frame_rates(int32_t choice, int32_t resolution, bool small, bool rotated, u8 *main_fps, u8 *vi_fps)
{
    const u8 fast_vi = resolution == PREF_RES_1080P ? 0 : 120;
    switch (choice) {
    case PREF_FPS_120:
        *main_fps = small ? (rotated ? 60 : 120) : (rotated ? 30 : 60);
        *vi_fps = small ? 120 : 60;
        break;
    case PREF_FPS_30:
        *main_fps = 30;
        *vi_fps = fast_vi ? fast_vi : 30;
        break;
    case PREF_FPS_100:
        *main_fps = small ? (rotated ? 50 : 100) : (rotated ? 25 : 50);
        *vi_fps = small ? 120 : 60;
        break;
    case PREF_FPS_50:
        *main_fps = 50;
        *vi_fps = fast_vi ? fast_vi : 60;
        break;
    case PREF_FPS_25:
        *main_fps = 25;
        *vi_fps = 30;
        break;
    default: // PREF_FPS_60, and anything the range checks let through
        *main_fps = 60;
        *vi_fps = fast_vi ? fast_vi : 60;
        break;
    }
}

int init_status(const RecMode &m)
{
    const DvSystemParam &p = *app_pref_user;
    const int c = m.pref;
    KX_DV_CONFIG_S &cfg = gsDvConfig;
    KX_REC_CMD_S &rec = record_entry();
    rec.RecState = KX_REC_STATE_STOPPED;

    KX_DV_VI_PARAM_S &vi = cfg.sVi.sParam[0];
    const int32_t rotate = p.MovieRotate[c];
    app_set_vi_input(rotate);

    const int32_t resolution = p.MovieResolution[c];
    u8 in_code = PIC_HD720, main_code = resolution == PREF_RES_720P ? PIC_HD720 : PIC_WVGA;
    vi.u8FrameRate = 120;
    if (resolution == PREF_RES_1080P) {
        in_code = main_code = PIC_HD1080;
        vi.u8FrameRate = 60;
    }
    vi.u8Resolution = in_code;
    cfg.sVpss.sParam[0].u8Resolution = cfg.sVpss.sParam[1].u8Resolution = in_code;

    for (u8 n = 0; n < 4; n++) {
        KX_DV_VPSS_PARAM_S &v = cfg.sVpss.sParam[n];
        v.u8Chn = n;
        v.bEnable = n == 1 || n == 3 ? 1 : 0;
        v.bRotate = rotate != PREF_ROTATE_NONE ? 1 : 0;
    }
    cfg.sVpss.sParam[3].u8Resolution = PIC_QVGA;

    KX_DV_VENC_PARAM_S &jpeg = cfg.sVenc.sParam[0];
    jpeg.enType = PT_JPEG;
    jpeg.u8Chn = 0;
    jpeg.bEnable = 0;
    jpeg.u8FrameRate = jpeg.u8IPInterval = 10;
    KX_DV_VENC_PARAM_S &main = cfg.sVenc.sParam[1];
    main.enType = p.MovieCodec[c] == PREF_CODEC_H265 ? PT_H265 : PT_H264;
    main.u8Chn = 1;
    main.bEnable = 1;
    main.u8StreamType = 0;
    main.u8ImageQuality = (u8)p.Moviequality[c];
    main.u8RcMode = (u8)p.MovieBitstreamAlgorithm[c];
    main.u8Resolution = main_code;
    const u8 side_fps = m.norm_rates && vi.u8Norm == 0 ? 25 : 30;
    for (u8 n = 2; n < 4; n++) {
        KX_DV_VENC_PARAM_S &e = cfg.sVenc.sParam[n];
        e.enType = PT_H264;
        e.u8Chn = n;
        e.bEnable = 0;
        e.u8FrameRate = e.u8IPInterval = side_fps;
    }

    if (m.chatty)
        printf("app_pref_user->framerate[0]=%d\n", p.MovieFrameRate[c]);
    const bool small = main_code == PIC_HD720 || main_code == PIC_WVGA;
    frame_rates(p.MovieFrameRate[c], resolution, small, vi.enRotate != 0, &main.u8FrameRate, &vi.u8FrameRate);
    main.u8IPInterval = main.u8FrameRate;

    cfg.sVo.sParam.eSync = (u32)p.TVout;
    cfg.sVo.sParam.u8VoSrc = (u8)p.TVOutStrategy;
    cfg.u8SceneAutoMode = (u8)p.MovieDefog[c];

    SIZE_S size = {1920, 1080};
    KX_DV_SYS_GetPicSize(m.norm_rates ? vi.u8Norm : 1, main_code, &size, vi.enRotate);
    cfg.sOsd.sParam[1] = {1, (u8)(p.MovieTimestamp[c] ? 1 : 0), 30, (u16)(size.u32Height - 30), 456, 36};

    aud_cfg.u32Level = (u32)p.MovieSound[c];
    rec.u8AudioLevel = (u8)p.MovieSound[c];
    rec.bCycleMode = (u8)p.MovieLoopRecording[c];

    const u32 kbps = KX_DV_Get_BitRate(main.u8ImageQuality, main.enType, cfg.sVpss.sParam[1].u8Resolution,
                                       main.u8FrameRate);
    rec.PackSize = record_pack_capped(record_pack_minutes(p.MovieCycletime[c]), kbps);
    printf("s_len=%d,gRecCmd[1].PackSize=%d a=%d c=%d\n", p.MovieCycletime[c], rec.PackSize, rec.u8AudioLevel,
           rec.bCycleMode);
    return 0;
}

int flash_led(const RecMode &m, int on)
{
    const bool endless = app_pref_user && app_pref_user->LED == PREF_ON;
    if (on)
        return rec_create_led_flash_thread(endless ? 0 : 3);
    if (endless)
        return rec_stop_led_flash();
    mode_leds(m, 1);
    return 0;
}

int start(const RecMode &m)
{
    printf("%s \r\n ", m.start_name);
    m.entry.flags |= APP_FLAGS_STARTED;
    if (&m == &kMode2)
        KX_DV_Set720DefaultDvCfg();
    init_status(m);
    KX_DV_FirstRun();
    KX_DV_Audio_Run();
    KX_DV_StartAudioThread();
    button_enable();
    tv_detect_Enable(1);
    mode_leds(m, 1);
    if (app_pref_user->MotionDetect == PREF_ON) {
        const KX_DV_CONFIG_S &cfg = gsDvConfig;
        SIZE_S size = {320, 240};
        KX_DV_SYS_GetPicSize(0, cfg.sVpss.sParam[3].u8Resolution, &size, cfg.sVi.sParam[0].enRotate);
        const u32 pic[2] = {size.u32Width, size.u32Height};
        KX_MdStart(0, 3, pic, cfg.sVi.sParam[0].u8FrameRate);
    }
    return 0;
}

int stop(const RecMode &m)
{
    printf("%s \r\n ", m.stop_name);
    button_disable();
    tv_detect_Enable(0);
    if (get_Tv_State()) {
        video_out_proc(0);
        set_Tv_State(0);
    }
    if (app_pref_user->MotionDetect == PREF_ON)
        KX_MdStop(0, 3);
    KX_DV_Stop();
    KX_DV_StopAudioThread();
    KX_DV_Audio_Stop();
    KX_Video_Mode_Func(1, 0, 0);
    rec_stop_led_flash(); // a recording blink must not go on in the next mode
    mode_leds(m, 0);
    return 0;
}

void lock_wink(const RecMode &m)
{
    const int32_t lock = app_pref_user->EnableManualAELockorAWBLock;
    printf("app_pref_user->enableAELockorAWBLock = %d\r\n", lock);
    if (lock == PREF_LOCK_NONE)
        return;
    const int during = recording() && app_pref_user->LED != PREF_ON ? 1 : 0;
    mode_leds(m, during);
    app_lock_3a(lock);
    usleep(500 * 1000);
    mode_leds(m, !during);
}

// The card's blink (LED0 and LED2, as for a card change) for a recording
// whose file could not be made or written; the camera stays on. A power-off
// blink under way says more and is left alone.
void card_error_blink()
{
    const int type = get_led_flash_type();
    if (Kx_GetPowerOffState() ||
        (led_run_flag && (type == LED_TYPE_POWER_OFF_CARD || type == LED_TYPE_POWER_OFF)))
        return;
    if (type == LED_TYPE_CARD_ERROR)
        set_led_flash_type(LED_TYPE_NONE); // an earlier one's type would refuse this one
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    create_led_flash_thread(150, 3, LED_TYPE_CARD_ERROR);
}

std::chrono::steady_clock::time_point g_rec_started;

void on_rec_release(const RecMode &m)
{
    if (card_state != CARD_STATE_PRESENT || Kx_GetPowerOffState())
        return;
    KX_REC_CMD_S &rec = record_entry();
    if (!recording()) {
        usleep(200 * 1000);
        rec.RecState = KX_REC_STATE_RUNNING;
        if (KX_DV_StartGetStream() != 0) {
            puts("KX_DV_StartGetStream failed: no recording");
            rec.RecState = KX_REC_STATE_STOPPED;
            return;
        }
        KX_Set_Record_State(KX_REC_STATE_RUNNING);
        flash_led(m, 1);
        g_rec_started = std::chrono::steady_clock::now();
        KX_SendCondtoRecord();
        return;
    }
    // A recording ends only once its file holds its first second, or once
    // it has had the time to (pictures that never come must not keep it going).
    if (!KX_GetRecordFileOver1Sec() &&
        std::chrono::steady_clock::now() - g_rec_started < std::chrono::milliseconds(POWER_OFF_FILE_WAIT_MS))
        return;
    rec.RecState = KX_REC_STATE_STOPPED;
    KX_DV_StopGetStream();
    button_disable(); // back with AMSG_RECORD_COMPLETE
}

int on_message(const RecMode &m, uint32_t id)
{
    switch (id) {
    case HMSG_KEY_RELEASE | KEY_ID_REC:
        on_rec_release(m);
        break;
    case HMSG_KEY_RELEASE | KEY_ID_MODE:
        if (!recording())
            appmgt_switch_to_app(m.next_app);
        else if (m.locks_file)
            u8NeedLockFile = 1;
        break;
    case HMSG_KEY_HOLD | KEY_ID_MODE:
        lock_wink(m);
        break;
    case HMSG_POWER_KEY:
        record_entry().RecState = KX_REC_STATE_STOPPED;
        flash_led(m, 0);
        break;
    case AMSG_FILE_AUTO_SPLIT:
        if (m.chatty)
            puts("AMSG_FILE_AUTO_SPLIT");
        break;
    case AMSG_RECORD_COMPLETE:
        if (m.chatty)
            puts("AMSG_RECORD_COMPLETE");
        // While the camera powers off the keys stay off.
        if (!Kx_GetPowerOffState())
            button_enable();
        KX_Set_Record_State(KX_REC_STATE_STOPPED);
        if (record_insert_usb)
            set_usb_state(USB_STATE_NONE);
        flash_led(m, 0);
        break;
    case AMSG_RECORD_FAILED:
        puts("======the recording's file could not be written: check the card");
        if (!recording())
            KX_DV_StopGetStream(); // nothing of it is kept: the encoder stops too
        card_error_blink();
        break;
    default:
        break;
    }
    return -1;
}

} // namespace

uint16_t record_pack_minutes(int32_t cycletime)
{
    switch (cycletime) {
    case PREF_CYCLE_5MIN:
        return 5;
    case PREF_CYCLE_10MIN:
        return 10;
    case PREF_CYCLE_20MIN:
        return 20;
    case PREF_CYCLE_1MIN:
        return 1;
    default:
        return 3;
    }
}

uint16_t record_pack_capped(uint16_t minutes, uint32_t kbps)
{
    const uint32_t kbytes = kbps / 8;
    if (kbytes == 0)
        return minutes; // no rate known: nothing to cap by
    const uint32_t limit = 4194304u / kbytes / 60;
    return limit < minutes ? (uint16_t)limit : minutes;
}

int init_record_status(void) { return init_status(kMode1); }
int init_record2_status(void) { return init_status(kMode2); }
int record1_flash_led(int on) { return flash_led(kMode1, on); }
int record2_flash_led(int on) { return flash_led(kMode2, on); }

int app_rec_mode1_start(void) { return start(kMode1); }
int app_rec_mode1_stop(void) { return stop(kMode1); }
int app_rec_mode1_on_message(uint32_t id, uint32_t, uint32_t) { return on_message(kMode1, id); }
int app_rec_mode2_start(void) { return start(kMode2); }
int app_rec_mode2_stop(void) { return stop(kMode2); }
int app_rec_mode2_on_message(uint32_t id, uint32_t, uint32_t) { return on_message(kMode2, id); }
