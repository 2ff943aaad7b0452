// The audio codec chip's set-up (TLV320AIC31 on /dev/tlv320aic31): one
// table of its requests, each with the control word's fields set for the
// work mode and rate, the sound level and the input path preference.
#include "recorder/dv_tlv320.h"

#include "board/board.h"
#include "board/tlv320aic31_requests.h"
#include "core/pref_record.h"
#include "recorder/dv_audio.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <iterator>

namespace {

constexpr const char *kCodecPath = "/dev/tlv320aic31";

// What the codec's set-up depends on.
struct CodecSetup {
    u32 work_mode;
    u32 master, transfer;      // from the work mode
    u32 rate_code, family44k1; // from the sample rate
    u32 sample_rate;
    u32 input_gain; // the ADC gain of the sound setting
    s32 path;       // the input path preference: 1 line in, else the microphone
};

bool pcm_mode(const CodecSetup &s) { return s.work_mode >= 2 && s.work_mode <= 5; }

void set(Aic31Ctrl &c, Aic31Field f, u32 v) { c.u32Ctrl = aic31_set(c.u32Ctrl, f, v); }

// How a request's failure counts.
enum class OnFail {
    ignore,
    say,  // its message with the function and line, and go on
    stop, // its message, and the set-up fails
};

constexpr unsigned long kNoRequest = ~0ul;

// One request: the record's fields set before it (null: as it stands) and
// after it; `pick`, when set, chooses the request for the set-up
// (kNoRequest: none).
struct CodecStep {
    unsigned long request;
    void (*before)(Aic31Ctrl &c, const CodecSetup &s) = nullptr;
    void (*after)(Aic31Ctrl &c) = nullptr;
    OnFail on_fail = OnFail::ignore;
    const char *failed = nullptr;
    unsigned long (*pick)(const CodecSetup &s) = nullptr;
};

// Short names for the table's rows.
using Ctrl = Aic31Ctrl;
using Setup = CodecSetup;

void unmuted(Ctrl &c, u32 level)
{
    set(c, AIC31_SWITCH_A, 0);
    set(c, AIC31_LEVEL, level);
}
// A line input's route: the gain, powered when it is the input path.
void line_in(Ctrl &c, const Setup &s)
{
    set(c, AIC31_LEVEL, 4);
    set(c, AIC31_SWITCH_B, s.path == PREF_AUDIO_PATH_ALTERNATE ? 1 : 0);
}
void master_off(Ctrl &c) { set(c, AIC31_MASTER, 0); }
// The inputs set after a line 1 input go in unrouted (level 15).
void unrouted_next(Ctrl &c)
{
    set(c, AIC31_LEVEL, 15);
    master_off(c);
}

const CodecStep kCodecSetUp[] = {
    {AIC31_SOFT_RESET, [](Ctrl &c, const Setup &) { set(c, AIC31_CHIP, 0); }, nullptr, OnFail::say,
     "tlv320aic31 reset failed"},
    {AIC31_SET_SAMPLE_RATE,
     [](Ctrl &c, const Setup &s) {
         set(c, AIC31_MASTER, s.master);
         set(c, AIC31_FAMILY_44K1, s.family44k1);
         set(c, AIC31_RATE_CODE, s.rate_code);
         c.u32SampleRate = s.sample_rate;
     }},
    {AIC31_SET_TRANSFER_MODE, [](Ctrl &c, const Setup &s) { set(c, AIC31_TRANSFER, s.transfer); }, nullptr,
     OnFail::stop, "set tlv320aic31 trans_mode err"},
    {AIC31_SET_PLL, nullptr, nullptr, OnFail::stop, "ioctl err1"},
    {AIC31_SET_CLOCK_DIR, nullptr, nullptr, OnFail::stop, "ioctl err2"},
    {AIC31_DAC_L_VOLUME, [](Ctrl &c, const Setup &) { unmuted(c, 36); }},
    {AIC31_DAC_R_VOLUME},
    {AIC31_DAC_L_POWER, [](Ctrl &c, const Setup &) { set(c, AIC31_SWITCH_B, 1); }},
    // The PCM modes carry one track: the right DAC stays off.
    {AIC31_DAC_R_POWER,
     [](Ctrl &c, const Setup &s) {
         if (s.work_mode != 0 && s.work_mode != 1)
             set(c, AIC31_SWITCH_B, 0);
     }},
    {AIC31_SET_DATA_OFFSET,
     [](Ctrl &c, const Setup &s) { c.u32Data = (s.work_mode == 2 || s.work_mode == 4) ? 2 : 0; }, nullptr,
     OnFail::ignore, nullptr, [](const Setup &s) { return pcm_mode(s) ? AIC31_SET_DATA_OFFSET : kNoRequest; }},
    {AIC31_SET_DAC_PATH, [](Ctrl &c, const Setup &) { set(c, AIC31_PAIR, 0); }},
    {AIC31_DAC_L_TO_HPL,
     [](Ctrl &c, const Setup &) {
         set(c, AIC31_SWITCH_A, 1);
         set(c, AIC31_LEVEL, 15);
     }},
    {AIC31_DAC_R_TO_HPR},
    {AIC31_HPL_LEVEL,
     [](Ctrl &c, const Setup &) {
         set(c, AIC31_SWITCH_B, 1);
         set(c, AIC31_LEVEL, 10);
     }},
    {AIC31_HPR_LEVEL},
    {AIC31_ADC_L_GAIN, [](Ctrl &c, const Setup &s) { unmuted(c, s.input_gain); }},
    {AIC31_ADC_R_GAIN},
    {AIC31_AGC_L, [](Ctrl &c, const Setup &) { set(c, AIC31_LEVEL, 0); }},
    {AIC31_AGC_R},
    // The microphone's input: off (15) when the path is the line in.
    {AIC31_MIC3_TO_ADC,
     [](Ctrl &c, const Setup &s) {
         printf("app_pref_user->audio_in_path = %d \n", s.path);
         set(c, AIC31_LEVEL, s.path == PREF_AUDIO_PATH_ALTERNATE ? 15 : 5);
         set(c, AIC31_SWITCH_B, s.path == PREF_AUDIO_PATH_ALTERNATE ? 0 : 1);
     }},
    {AIC31_LINE1L_TO_ADC, line_in, unrouted_next},
    {AIC31_LINE1R_TO_ADC, line_in, unrouted_next},
    {AIC31_LINE2L_TO_ADC, nullptr, master_off},
    {AIC31_LINE2R_TO_ADC, nullptr, master_off},
    {AIC31_MIC_BIAS},
    {AIC31_MIC_IN_ROUTE,
     [](Ctrl &c, const Setup &) {
         set(c, AIC31_SWITCH_A, 1);
         set(c, AIC31_LEVEL, 10);
     },
     nullptr, OnFail::ignore, nullptr,
     [](const Setup &s) { return s.path == PREF_AUDIO_PATH_ALTERNATE ? AIC31_LINE_IN_ROUTE : AIC31_MIC_IN_ROUTE; }},
    {AIC31_LOP_L_LEVEL, [](Ctrl &c, const Setup &) { set(c, AIC31_SWITCH_B, 1); }},
    {AIC31_LOP_R_LEVEL},
};

// The set-up's values from the work mode and the sample rate; false (with
// its message) for a rate the codec has no code for.
bool codec_setup(u32 workMode, u32 sampleRate, CodecSetup *s)
{
    static const struct {
        u32 rate, code, family44k1;
    } rates[] = {{8000, 10, 0},  {11025, 6, 1}, {12000, 6, 0}, {16000, 4, 0}, {22050, 2, 1},
                 {24000, 2, 0}, {32000, 1, 0},  {44100, 0, 1}, {48000, 0, 0}};
    const auto *r = std::find_if(std::begin(rates), std::end(rates), [&](const auto &e) { return e.rate == sampleRate; });
    if (r == std::end(rates)) {
        printf("SAMPLE_Tlv320_CfgAudio(), not support enSample:%d\n", (int)sampleRate);
        return false;
    }
    *s = {workMode, 1, 0, r->code, r->family44k1, sampleRate, 0, 0};
    switch (workMode) {
    case 0: s->master = 0; s->transfer = 0; break;
    case 1: s->master = 1; s->transfer = 0; break;
    case 2: case 3: s->master = 1; s->transfer = 1; break;
    case 4: case 5: s->master = 0; s->transfer = 1; break;
    default: printf("SAMPLE_Tlv320_CfgAudio(), not support workmode:%d\n\n", (int)workMode); break;
    }
    s->input_gain = aud_cfg.u32Level == PREF_SOUND_LOW ? 16 : aud_cfg.u32Level == PREF_SOUND_MEDIUM ? 48 : 85;
    s->path = app_pref_user ? app_pref_user->AudioInputPath : PREF_AUDIO_PATH_DEFAULT;
    return true;
}

} // namespace

s32 KX_Tlv320_CfgAudio(u32 workMode, u32 sampleRate)
{
    puts(__func__);
    CodecSetup s;
    if (!codec_setup(workMode, sampleRate, &s))
        return -1;
    int fd = bd_open(kCodecPath, O_RDWR);
    if (fd < 0) {
        printf("can't open tlv320,%s\n", kCodecPath);
        return -1;
    }
    Aic31Ctrl c = {};
    for (const CodecStep &step : kCodecSetUp) {
        unsigned long request = step.pick ? step.pick(s) : step.request;
        if (request == kNoRequest)
            continue;
        if (step.before)
            step.before(c, s);
        if (bd_ioctl(fd, request, &c) != 0) {
            if (step.on_fail == OnFail::say) {
                printf("[Func]:%s [Line]:%d [Info]:%s\n", __func__, __LINE__, step.failed);
            } else if (step.on_fail == OnFail::stop) {
                puts(step.failed);
                bd_close(fd);
                return -1;
            }
        }
        if (step.after)
            step.after(c);
    }
    bd_close(fd);
    printf("Set aic31 ok: bMaster = %d, enWorkmode = %d, enSamplerate = %d\n", (int)s.master, (int)workMode,
           (int)sampleRate);
    return 0;
}

s32 KX_AUDIO_CfgAcodec(const AIO_ATTR_S *attr)
{
    s32 ret = attr ? KX_Tlv320_CfgAudio(attr->enWorkmode, attr->enSamplerate) : -1;
    if (ret != 0)
        printf("%s: SAMPLE_Tlv320_CfgAudio failed\n", __func__);
    return ret;
}
