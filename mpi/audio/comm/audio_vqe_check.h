// The checks of the enhancement sub-records that the input and the output
// units both take (AGC, HPF, ANR, EQ). The units word their messages a little
// differently; each hands its own words.
#pragma once

#include "mpi/audio/vqe/vqe_cfg.h"

// How a unit names itself in the messages: "Ai dev: 0, ai chn:1, ...",
// "AI chn 1 check vqe agc parameter failed!".
struct AUDIO_VQE_CHECK_S {
    const char *pszDev;    // "Ai" / "Ao"
    const char *pszChn;    // "ai" / "ao"
    const char *pszUnit;   // "AI" / "AO"
    const char *pszHpfChn; // the channel word of the HPF line ("ai" in both)
    const char *pszAnr;    // the ANR closing line's module word ("Anr" / "anr")
    s32 s32Dev;
    s32 s32Chn;
    s32 s32ErrIllegal;
};

// Each: 0, or the illegal-parameter code after the module's lines. A module
// in bUsrMode 0 passes unchecked (EQ has no such mode and is always checked).
s32 audio_vqe_check_agc(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_AGC_CFG_S *pstAgc);
s32 audio_vqe_check_hpf(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_HPF_CFG_S *pstHpf);
s32 audio_vqe_check_anr(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_ANR_CFG_S *pstAnr);
s32 audio_vqe_check_eq(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_EQ_CFG_S *pstEq);

// "bUsrMode: %d error!" for a mode above 1, then the module's closing line;
// true when the mode is 1 (check the values), false for 0 and for an error
// (`*err` set).
bool audio_vqe_usr_mode(const AUDIO_VQE_CHECK_S *pstUnit, u32 bUsrMode, const char *pszModule, s32 *err);
