// The user preferences record: every user setting of the camera, held in
// memory for the life of the process and stored byte for byte in flash as
// /dv/config/DvConfigs.bin. The application loads, saves and edits it; the
// recording engine and the scene auto-tuning read it.
#pragma once

#include <cstddef>
#include <cstdint>

// Elements of the per-mode settings.
enum { PREF_VIDEO_MODE1 = 0, PREF_VIDEO_MODE2 = 1, PREF_PHOTO_MODE = 2 };

// 97 little-endian 32-bit words; texts are NUL-terminated and zero-padded.
struct DvSystemParam {
    char FwVersion[16];                       // words 0-3
    char RootfsVersion[16];                   // words 4-7
    char SdkVersion[16];                      // words 8-11
    int32_t UpdateSetDefault;                 // 12
    int32_t Dateformat;                       // 13: 0 Y/M/D, 1 D/M/Y, 2 M/D/Y
    char Datetime[20];                        // 14-18
    int32_t DefaultMode;                      // 19
    int32_t AutoPoweroff;                     // 20
    int32_t AutoRecordwithExternalPower;      // 21
    int32_t OnePowerButtontoAutoRecord;       // 22
    int32_t AutoOffwithExternalPowerdisconnected; // 23
    int32_t LED;                              // 24
    int32_t ChargefromUSBHost;                // 25
    int32_t Lightfrequency;                   // 26
    int32_t TVout;                            // 27
    int32_t TVOutStrategy;                    // 28
    int32_t AudioInputPath;                   // 29
    // Per-mode triples, indexed by PREF_VIDEO_MODE1/2 and PREF_PHOTO_MODE.
    int32_t MovieResolution[3];               // 30 (photo: PhotoModeCaptureSize)
    int32_t MovieRotate[3];                   // 33 (photo: PhotoRotate)
    int32_t MovieFrameRate[3];                // 36
    int32_t MovieSound[3];                    // 39
    int32_t MovieCycletime[3];                // 42
    int32_t MovieLoopRecording[3];            // 45
    int32_t MovieFlip[3];                     // 48
    int32_t MovieTimestamp[3];                // 51 (photo: PhotoTimestamp)
    int32_t MovieBitstreamAlgorithm[3];       // 54
    int32_t Moviequality[3];                  // 57
    int32_t MovieCodec[3];                    // 60
    int32_t MovieDefog[3];                    // 63 (photo: PhotoDefog)
    int32_t MovieLensDistortionCorrection[3]; // 66
    int32_t MovieWDR[3];                      // 69
    int32_t SetTimeLapseShooting;             // 72
    int32_t Poweron;                          // 73
    int32_t Poweroff;                         // 74
    int32_t Lensoption;                       // 75
    int32_t MotionDetect;                     // 76
    int32_t MotionDetectTimeout;              // 77
    int32_t MotionDetectSensitivity;          // 78
    int32_t EnableManualAELockorAWBLock;      // 79
    int32_t WhiteBalance;                     // 80
    int32_t CustomizedWhiteBalance[3][3];     // 81-89: sets 1..3 of red, green, blue gain
    int32_t ExposureValue;                    // 90
    int32_t ExposureStrategyMode;             // 91
    int32_t ExposureMetering;                 // 92
    int32_t ColorEffect;                      // 93
    int32_t Contrast;                         // 94
    int32_t Saturation;                       // 95
    int32_t Sharpness;                        // 96
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

// The one record, allocated by app_pref_init.
extern DvSystemParam *app_pref_user;

// Word access by number (0..96), as the settings parsers address the record.
int32_t pref_get_word(const DvSystemParam *p, int word);
void pref_set_word(DvSystemParam *p, int word, int32_t value);
