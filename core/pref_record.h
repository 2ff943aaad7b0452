// The user preferences record: every user setting of the camera, held in
// memory for the life of the process and stored byte for byte in flash as
// /dv/config/DvConfigs.bin. The application loads, saves and edits it; the
// recording engine and the scene auto-tuning read it.
#pragma once

#include <cstddef>
#include <cstdint>

// Elements of the per-mode settings; DefaultMode names the power-on
// application by the same numbers.
enum { PREF_VIDEO_MODE1 = 0, PREF_VIDEO_MODE2 = 1, PREF_PHOTO_MODE = 2 };

// ---- what the words hold ----------------------------------------------------------------
// The values the settings text file offers, in its order. A few words accept
// one value beyond those offered (the *_ACCEPTED ones); loaded records are
// used as they are, so readers still meet anything.

// The on/off words: LED, the automatic recording starts, MotionDetect and the
// per-mode MovieLoopRecording, MovieTimestamp, MovieDefog,
// MovieLensDistortionCorrection and MovieWDR.
enum PrefSwitch : int32_t { PREF_OFF = 0, PREF_ON = 1 };
constexpr int32_t PREF_WDR_ACCEPTED = 2; // MovieWDR: taken, not offered

// UpdateSetDefault: the defaults replace the record when it is next loaded
// (set after a firmware update).
enum PrefUpdateSetDefault : int32_t { PREF_UPDATE_KEEP = 0, PREF_UPDATE_SET_DEFAULT = 1 };

// Dateformat: the order of the clock text and of the date stamp.
enum PrefDateFormat : int32_t { DATE_FMT_YMD = 0, DATE_FMT_DMY = 1, DATE_FMT_MDY = 2 };

// AutoPoweroff: idle time before the camera turns itself off.
enum PrefAutoPowerOff : int32_t { PREF_AUTO_OFF_NEVER = 0, PREF_AUTO_OFF_30S = 1, PREF_AUTO_OFF_1MIN = 2,
                                  PREF_AUTO_OFF_2MIN = 3 };

// ChargefromUSBHost.
enum PrefHostCharge : int32_t { PREF_HOST_CHARGE = 0, PREF_HOST_NO_CHARGE = 1 };

// Lightfrequency: the mains frequency anti-flicker works against.
enum PrefLightFrequency : int32_t { PREF_LIGHT_50HZ = 0, PREF_LIGHT_60HZ = 1 };

// TVout: the TV output standard.
enum PrefTvOut : int32_t { PREF_TV_NTSC = 0, PREF_TV_PAL = 1 };

// AudioInputPath: the codec's input and the GPIO that selects it.
enum PrefAudioPath : int32_t { PREF_AUDIO_PATH_DEFAULT = 0, PREF_AUDIO_PATH_ALTERNATE = 1 };

// MovieResolution (photo: PhotoModeCaptureSize).
enum PrefResolution : int32_t { PREF_RES_1080P = 0, PREF_RES_720P = 1, PREF_RES_WVGA = 2 };

// MovieRotate (photo: PhotoRotate).
enum PrefRotate : int32_t { PREF_ROTATE_NONE = 0, PREF_ROTATE_INVERTED = 1, PREF_ROTATE_RIGHT = 2,
                            PREF_ROTATE_LEFT = 3 };

// MovieFrameRate; 120 and 100 fps only below 1080p.
enum PrefFrameRate : int32_t { PREF_FPS_120 = 0, PREF_FPS_60 = 1, PREF_FPS_30 = 2, PREF_FPS_100 = 3,
                               PREF_FPS_50 = 4, PREF_FPS_25 = 5 };

// MovieSound: the recording's sound level.
enum PrefSound : int32_t { PREF_SOUND_MUTE = 0, PREF_SOUND_LOW = 1, PREF_SOUND_MEDIUM = 2, PREF_SOUND_HIGH = 3 };

// MovieCycletime: the length of each file; one minute is taken, not offered.
enum PrefCycleTime : int32_t { PREF_CYCLE_3MIN = 0, PREF_CYCLE_5MIN = 1, PREF_CYCLE_10MIN = 2,
                               PREF_CYCLE_20MIN = 3, PREF_CYCLE_1MIN = 83 };

// MovieBitstreamAlgorithm: constant or variable bit rate.
enum PrefRateControl : int32_t { PREF_RC_CBR = 0, PREF_RC_VBR = 1 };

// Moviequality: 0 highest to 6 lowest; 7 is taken, not offered.
enum PrefQuality : int32_t { PREF_QUALITY_HIGHEST = 0, PREF_QUALITY_STANDARD = 3, PREF_QUALITY_LOWEST = 6,
                             PREF_QUALITY_ACCEPTED = 7 };

// MovieCodec.
enum PrefCodec : int32_t { PREF_CODEC_H265 = 0, PREF_CODEC_H264 = 1 };

// SetTimeLapseShooting: off (one photo per press) or the interval of a series.
enum PrefTimeLapse : int32_t { PREF_LAPSE_OFF = 0, PREF_LAPSE_250MS = 1, PREF_LAPSE_500MS = 2, PREF_LAPSE_1S = 3,
                               PREF_LAPSE_2S = 4, PREF_LAPSE_5S = 5, PREF_LAPSE_10S = 6, PREF_LAPSE_30S = 7,
                               PREF_LAPSE_60S = 8 };

// Poweron and Poweroff: how the power key acts.
enum PrefPowerKey : int32_t { PREF_POWER_KEY_DELAY = 0, PREF_POWER_KEY_FAST = 1 };

// MotionDetectTimeout: quiet time before a motion recording stops.
enum PrefMotionTimeout : int32_t { PREF_MD_TIMEOUT_5S = 0, PREF_MD_TIMEOUT_15S = 1, PREF_MD_TIMEOUT_30S = 2,
                                   PREF_MD_TIMEOUT_60S = 3 };

// MotionDetectSensitivity.
enum PrefMotionSensitivity : int32_t { PREF_MD_HIGH = 0, PREF_MD_NORMAL = 1, PREF_MD_LOW = 2 };

// EnableManualAELockorAWBLock: what a long MODE press locks.
enum PrefLock3a : int32_t { PREF_LOCK_NONE = 0, PREF_LOCK_AE_AWB = 1, PREF_LOCK_AE = 2, PREF_LOCK_AWB = 3 };

// WhiteBalance: automatic, six presets, the three customised balances.
enum PrefWhiteBalance : int32_t { PREF_WB_AUTO = 0, PREF_WB_SUNNY = 1, PREF_WB_CLOUDY = 2, PREF_WB_TUNGSTEN = 3,
                                  PREF_WB_FLUORESCENT = 4, PREF_WB_SNOW = 5, PREF_WB_DIVING = 6,
                                  PREF_WB_CUSTOM1 = 7, PREF_WB_CUSTOM2 = 8, PREF_WB_CUSTOM3 = 9 };

// CustomizedWhiteBalance gains: 256 is a gain of 1.
enum PrefGain : int32_t { PREF_GAIN_MIN = 100, PREF_GAIN_UNIT = 256, PREF_GAIN_MAX = 999 };

// ExposureValue, Contrast, Saturation and Sharpness: 0 leaves the camera's own.
enum PrefAdjust : int32_t { PREF_ADJUST_MIN = -128, PREF_ADJUST_NONE = 0, PREF_ADJUST_MAX = 128 };

// ExposureStrategyMode: which end of the picture the exposure favours.
enum PrefExposureStrategy : int32_t { PREF_EXPOSURE_HIGHLIGHT = 0, PREF_EXPOSURE_LOWLIGHT = 1 };

// ExposureMetering.
enum PrefMetering : int32_t { PREF_METER_CENTER_WEIGHTED = 0, PREF_METER_CENTER_SPOT = 1,
                              PREF_METER_MULTI_SPOT = 2, PREF_METER_UPPER = 3, PREF_METER_DOWN = 4 };

// ColorEffect; 7 (a stronger automatic saturation) is taken, not offered.
enum PrefColorEffect : int32_t { PREF_COLOR_STANDARD = 0, PREF_COLOR_MONO = 1, PREF_COLOR_COOL = 2,
                                 PREF_COLOR_COOLER = 3, PREF_COLOR_WARM = 4, PREF_COLOR_WARMER = 5,
                                 PREF_COLOR_VIVID = 6, PREF_COLOR_SATURATED = 7 };

// 97 little-endian 32-bit words; texts are NUL-terminated and zero-padded.
struct DvSystemParam {
    char FwVersion[16];                       // words 0-3
    char RootfsVersion[16];                   // words 4-7
    char SdkVersion[16];                      // words 8-11
    int32_t UpdateSetDefault;                 // 12: PrefUpdateSetDefault
    int32_t Dateformat;                       // 13: PrefDateFormat
    char Datetime[20];                        // 14-18
    int32_t DefaultMode;                      // 19: PREF_VIDEO_MODE1 ..
    int32_t AutoPoweroff;                     // 20: PrefAutoPowerOff
    int32_t AutoRecordwithExternalPower;      // 21: PrefSwitch
    int32_t OnePowerButtontoAutoRecord;       // 22: PrefSwitch
    int32_t AutoOffwithExternalPowerdisconnected; // 23
    int32_t LED;                              // 24: PrefSwitch
    int32_t ChargefromUSBHost;                // 25: PrefHostCharge
    int32_t Lightfrequency;                   // 26: PrefLightFrequency
    int32_t TVout;                            // 27: PrefTvOut
    int32_t TVOutStrategy;                    // 28
    int32_t AudioInputPath;                   // 29: PrefAudioPath
    // Per-mode triples, indexed by PREF_VIDEO_MODE1/2 and PREF_PHOTO_MODE.
    int32_t MovieResolution[3];               // 30 (photo: PhotoModeCaptureSize): PrefResolution
    int32_t MovieRotate[3];                   // 33 (photo: PhotoRotate): PrefRotate
    int32_t MovieFrameRate[3];                // 36: PrefFrameRate
    int32_t MovieSound[3];                    // 39: PrefSound
    int32_t MovieCycletime[3];                // 42: PrefCycleTime
    int32_t MovieLoopRecording[3];            // 45: PrefSwitch
    int32_t MovieFlip[3];                     // 48
    int32_t MovieTimestamp[3];                // 51 (photo: PhotoTimestamp): PrefSwitch
    int32_t MovieBitstreamAlgorithm[3];       // 54: PrefRateControl
    int32_t Moviequality[3];                  // 57: PrefQuality
    int32_t MovieCodec[3];                    // 60: PrefCodec
    int32_t MovieDefog[3];                    // 63 (photo: PhotoDefog): PrefSwitch
    int32_t MovieLensDistortionCorrection[3]; // 66: PrefSwitch
    int32_t MovieWDR[3];                      // 69: PrefSwitch
    int32_t SetTimeLapseShooting;             // 72: PrefTimeLapse
    int32_t Poweron;                          // 73: PrefPowerKey
    int32_t Poweroff;                         // 74: PrefPowerKey
    int32_t Lensoption;                       // 75
    int32_t MotionDetect;                     // 76: PrefSwitch
    int32_t MotionDetectTimeout;              // 77: PrefMotionTimeout
    int32_t MotionDetectSensitivity;          // 78: PrefMotionSensitivity
    int32_t EnableManualAELockorAWBLock;      // 79: PrefLock3a
    int32_t WhiteBalance;                     // 80: PrefWhiteBalance
    int32_t CustomizedWhiteBalance[3][3];     // 81-89: sets 1..3 of red, green, blue gain: PrefGain
    int32_t ExposureValue;                    // 90: PrefAdjust
    int32_t ExposureStrategyMode;             // 91: PrefExposureStrategy
    int32_t ExposureMetering;                 // 92: PrefMetering
    int32_t ColorEffect;                      // 93: PrefColorEffect
    int32_t Contrast;                         // 94: PrefAdjust
    int32_t Saturation;                       // 95: PrefAdjust
    int32_t Sharpness;                        // 96: PrefAdjust
};

constexpr size_t DV_SYSTEM_PARAM_SIZE = 388;
static_assert(sizeof(DvSystemParam) == DV_SYSTEM_PARAM_SIZE, "DvSystemParam is 97 words");
static_assert(offsetof(DvSystemParam, UpdateSetDefault) == 12 * 4, "word 12");
static_assert(offsetof(DvSystemParam, Datetime) == 14 * 4, "word 14");
static_assert(offsetof(DvSystemParam, DefaultMode) == 19 * 4, "word 19");
static_assert(offsetof(DvSystemParam, MovieResolution) == 30 * 4, "word 30");
static_assert(offsetof(DvSystemParam, MovieWDR) == 69 * 4, "word 69");
static_assert(offsetof(DvSystemParam, SetTimeLapseShooting) == 72 * 4, "word 72");
static_assert(offsetof(DvSystemParam, CustomizedWhiteBalance) == 81 * 4, "word 81");
static_assert(offsetof(DvSystemParam, Sharpness) == 96 * 4, "word 96");

// The one record, allocated by app_pref_init. The pointer is set once, by the
// handler at its start-up, before it starts the threads that read the
// record. The record is shared without a lock: the handler writes it
// (loading, the settings file, updates, the clock text at switch-off, which
// a signal's stop thread also writes), and so does the USB-disk settings
// reader while the camera is a computer's disk and no recording runs; the
// engine's threads (audio set-up, date stamp, motion) and scene
// auto-tuning read single words of it, each a setting it takes as it finds
// it.
extern DvSystemParam *app_pref_user;

// The word number of a field of the record (of its first element).
#define PREF_WORD(field) ((int)(offsetof(DvSystemParam, field) / 4))

// Word access by number (0..96), as the settings parsers address the record.
int32_t pref_get_word(const DvSystemParam *p, int word);
void pref_set_word(DvSystemParam *p, int word, int32_t value);
