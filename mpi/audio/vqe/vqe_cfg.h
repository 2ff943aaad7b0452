// The configuration records of the two voice-enhancement chains and the
// module sub-records inside them. The chains hand each module a pointer to its
// sub-record, so the layouts are a binary interface with the module libraries
// (mpi/audio/modules/); what each field means to a module is written in that
// module's own header comment.
#pragma once

#include <cstddef>

#include "mpi/common/mpi_common.h"

struct VQE_HPF_CFG_S {
    u32 bUsrMode;
    u32 u32HpfFreq; // cut-off in Hz: 80, 120 or 150
};

struct VQE_AEC_CFG_S {
    u32 bUsrMode;
    s8 s8CngMode;
    s8 s8NearAllPassEnergy;
    s8 s8NearCleanSupEnergy;
    s16 s16DTHnlSortQTh;
    s16 s16EchoBandLow;
    s16 s16EchoBandHigh;
    s16 s16EchoBandLow2;
    s16 s16EchoBandHigh2;
    s16 s16ERLBand[6];
    s16 s16ERL[7];
    s16 s16VioceProtectFreqL;
    s16 s16VioceProtectFreqL1;
    u32 u32Reserved;
};

struct VQE_ANR_CFG_S {
    u32 bUsrMode;
    s16 s16NrIntensity;
    s16 s16NoiseDbThr;
    s8 s8SpProSwitch;
    u8 au8Reserved[7];
};

struct VQE_RNR_CFG_S {
    u32 bUsrMode;
    s32 s32NrMode;
    s32 s32MaxNrLevel;
    s32 s32NoiseThresh;
};

struct VQE_AGC_CFG_S {
    u32 bUsrMode;
    s8 s8TargetLevel;
    s8 s8NoiseFloor;
    s8 s8MaxGain;
    s8 s8AdjustSpeed;
    s8 s8ImproveSNR;
    s8 s8UseHighPassFilt;
    s8 s8OutputMode;
    s16 s16NoiseSupSwitch;
    u8 au8Reserved[6];
};

constexpr u32 VQE_EQ_BAND_NUM = 10;
struct VQE_EQ_CFG_S {
    s8 s8GaindB[VQE_EQ_BAND_NUM];
    u8 au8Reserved[6];
};

// Sets the audio codec's microphone gain (dB); the audio input unit's
// `DU_DUZ_AI_SetAcodecGain` has this shape.
typedef s32 (*VQE_HDR_CALLBACK_FN)(u32 u32GainDb);

struct VQE_HDR_CFG_S {
    u32 bUsrMode;
    s32 s32MinGaindB;
    s32 s32MaxGaindB;
    s32 s32MicGaindB;
    s32 s32MicGainStepdB;
    VQE_HDR_CALLBACK_FN pcallback;
};

struct VQE_AVC_CFG_S {
    u32 bUsrMode;
    s16 s16AttackTime;
    s16 s16ReleaseTime;
    s16 s16StartLevel;
    s16 s16CornerLevel;
    s16 s16MaxGain;
    s16 s16TargetLevel;
};

constexpr u32 VQE_PEQ_BAND_NUM = 10;
struct VQE_PEQ_CFG_S {
    u32 bUsrMode;
    u32 u32BandNum;
    u8 u8FilterType[VQE_PEQ_BAND_NUM]; // 0 high-pass, 1 low-shelf, 2 peaking, 3 high-shelf, 4 low-pass
    s8 s8GaindB[VQE_PEQ_BAND_NUM];
    u16 u16Frequency[VQE_PEQ_BAND_NUM];
    u16 u16Q[VQE_PEQ_BAND_NUM]; // Q x 10
};

// The multiband compressor's 984-byte settings block. Only the last two words
// are fixed by the audio output unit; the rest is the MBC module's own layout
// (see mpi/audio/modules/zuza_mbc.cpp for what each field means).
constexpr u32 VQE_MBC_BAND_NUM = 5;
struct VQE_MBC_BAND_S {
    s32 s32ThresholdDb; // dBFS
    s32 s32Ratio;       // ratio x 10
    s32 s32AttackMs;
    s32 s32ReleaseMs;
    s32 s32MakeupDb;
};
struct VQE_MBC_CFG_S {
    u32 bUsrMode;
    s32 as32CrossFreq[VQE_MBC_BAND_NUM - 1]; // Hz, rising
    VQE_MBC_BAND_S astBand[VQE_MBC_BAND_NUM];
    u8 au8Reserved[856];
    u32 u32Channel; // 0 or 1
    u32 u32BandNum; // 1..5
};

struct UPVQE_CFG_S {
    u32 bHpfOn;
    u32 bAecOn;
    u32 bAnrOn;
    u32 bRnrOn;
    u32 bAgcOn;
    u32 bEqOn;
    u32 bHdrOn;
    u32 bAvcOn;
    u32 bPeqOn;
    s32 s32InSampleRate;
    s32 s32WorkSampleRate;
    s32 s32OutSampleRate;
    s32 s32FrameSample;
    u32 u32WorkMode;
    VQE_HPF_CFG_S stHpfCfg;
    VQE_AEC_CFG_S stAecCfg;
    VQE_ANR_CFG_S stAnrCfg;
    VQE_RNR_CFG_S stRnrCfg;
    VQE_AGC_CFG_S stAgcCfg;
    VQE_EQ_CFG_S stEqCfg;
    VQE_HDR_CFG_S stHdrCfg;
    VQE_AVC_CFG_S stAvcCfg;
    VQE_PEQ_CFG_S stPeqCfg;
};

struct DNVQE_CFG_S {
    u32 bHpfOn;
    u32 bAnrOn;
    u32 bAgcOn;
    u32 bEqOn;
    u32 bMbcOn;
    s32 s32InSampleRate;
    s32 s32WorkSampleRate;
    s32 s32OutSampleRate;
    s32 s32FrameSample;
    u32 u32WorkMode;
    VQE_HPF_CFG_S stHpfCfg;
    VQE_ANR_CFG_S stAnrCfg;
    VQE_AGC_CFG_S stAgcCfg;
    VQE_EQ_CFG_S stEqCfg;
    VQE_MBC_CFG_S stMbcCfg;
};

static_assert(sizeof(VQE_HPF_CFG_S) == 8 && sizeof(VQE_AEC_CFG_S) == 52 && sizeof(VQE_ANR_CFG_S) == 16 &&
                  sizeof(VQE_RNR_CFG_S) == 16 && sizeof(VQE_AGC_CFG_S) == 20 && sizeof(VQE_EQ_CFG_S) == 16 &&
                  sizeof(VQE_AVC_CFG_S) == 16 && sizeof(VQE_PEQ_CFG_S) == 68 && sizeof(VQE_MBC_CFG_S) == 984,
              "sub-record sizes");
static_assert(offsetof(VQE_AEC_CFG_S, s16DTHnlSortQTh) == 8 && offsetof(VQE_AEC_CFG_S, s16ERL) == 30 &&
                  offsetof(VQE_AGC_CFG_S, s16NoiseSupSwitch) == 12 && offsetof(VQE_PEQ_CFG_S, u16Q) == 48 &&
                  offsetof(VQE_MBC_CFG_S, u32Channel) == 976,
              "sub-record layouts");
static_assert(offsetof(UPVQE_CFG_S, stHpfCfg) == 56 && offsetof(UPVQE_CFG_S, stAecCfg) == 64 &&
                  offsetof(UPVQE_CFG_S, stAnrCfg) == 116 && offsetof(UPVQE_CFG_S, stRnrCfg) == 132 &&
                  offsetof(UPVQE_CFG_S, stAgcCfg) == 148 && offsetof(UPVQE_CFG_S, stEqCfg) == 168 &&
                  offsetof(UPVQE_CFG_S, stHdrCfg) == 184,
              "input chain configuration");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(VQE_HDR_CFG_S) == 24 && offsetof(UPVQE_CFG_S, stAvcCfg) == 208 &&
                  offsetof(UPVQE_CFG_S, stPeqCfg) == 224 && sizeof(UPVQE_CFG_S) == 292,
              "input chain configuration on the camera");
#endif
static_assert(offsetof(DNVQE_CFG_S, stHpfCfg) == 40 && offsetof(DNVQE_CFG_S, stAnrCfg) == 48 &&
                  offsetof(DNVQE_CFG_S, stAgcCfg) == 64 && offsetof(DNVQE_CFG_S, stEqCfg) == 84 &&
                  offsetof(DNVQE_CFG_S, stMbcCfg) == 100 && sizeof(DNVQE_CFG_S) == 1084,
              "output chain configuration");
