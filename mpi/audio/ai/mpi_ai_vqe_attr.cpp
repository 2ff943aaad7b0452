// The input unit's enhancement attributes: the normal record (speech at 8,
// 16 or 48 kHz) and the HiFi record (48 kHz). Each setter checks every field
// with a message per failing one, refuses forbidden combinations, builds the
// chain's configuration and re-creates the channel's instance with it, the
// module switches still off until the enhancement is enabled.
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ai/ai_chn.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/audio/comm/audio_vqe_check.h"

namespace {

constexpr s32 kHdrMaxGainDb = 72; // the defaults of HDR in bUsrMode 0
constexpr s32 kHdrStepDb = 2;

AUDIO_VQE_CHECK_S unit_words(s32 AiDevId, s32 AiChn)
{
    return {"Ai", "ai", "AI", "ai", "Anr", AiDevId, AiChn, DU_ERR_AI_ILLEGAL_PARAM};
}

s32 general_failed(s32 AiChn, s32 code)
{
    MPI_TRACE("AI chn %d check vqe parameter failed!\n", AiChn);
    return code;
}

// Frame length and work mode, common to both records.
s32 check_frame_mode(s32 AiChn, s32 frame, u32 mode)
{
    if (frame < 80 || frame > 4096) {
        MPI_TRACE("frame length: %d is invalid, ai chn:%d.\n", frame, AiChn);
        return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
    }
    if (mode > 2) {
        MPI_TRACE("work mode: %d is invalid, ai chn:%d.\n", mode, AiChn);
        return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
    }
    return 0;
}

s32 check_general(s32 AiChn, const AI_VQE_ATTR_S &a)
{
    if (s32 ret = check_frame_mode(AiChn, a.s32FrameSample, a.u32WorkMode))
        return ret;
    s32 rate = a.s32WorkSampleRate;
    if (rate != 8000 && rate != 16000 && rate != 48000) {
        MPI_TRACE("work sample rate: %d is invalid, ai chn:%d.\n", rate, AiChn);
        return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
    }
    if (rate == 48000 && (a.bAecOn == 1 || a.bAgcOn == 1 || a.bAnrOn == 1 || a.bEqOn == 1)) {
        MPI_TRACE(" work sample rate: %d is valid only for rnr hpf , ai chn:%d.\n", rate, AiChn);
        return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
    }
    if (a.bAgcOn > 1 || a.bAecOn > 1 || a.bAnrOn > 1 || a.bHpfOn > 1 || a.bRnrOn > 1 || a.bEqOn > 1 ||
        a.bHdrOn > 1) {
        MPI_TRACE("flag of agc: %d, aec: %d, anr: %d, hpf: %d rnr: %d eq: %d hdr: %d is invalid, ai chn:%d\n",
                  a.bAgcOn, a.bAecOn, a.bAnrOn, a.bHpfOn, a.bRnrOn, a.bEqOn, a.bHdrOn, AiChn);
        return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
    }
    if (a.bRnrOn && (a.bAnrOn || a.bAecOn || a.bAgcOn || a.bEqOn)) {
        MPI_TRACE(" anr: %d (agc: %d, aec: %d, eq: %d), rnr: %d cannot both be true at the same time, ai chn:%d\n",
                  a.bAnrOn, a.bAgcOn, a.bAecOn, a.bEqOn, a.bRnrOn, AiChn);
        return general_failed(AiChn, DU_ERR_AI_NOT_PERM);
    }
    if (!a.bAgcOn && !a.bAecOn && !a.bAnrOn && !a.bHpfOn && !a.bRnrOn && !a.bEqOn && !a.bHdrOn) {
        MPI_TRACE("all flag of agc: %d, aec: %d, anr: %d, hpf: %d rnr: %d eq: %d hdr:%d is false, ai chn:%d\n",
                  a.bAgcOn, a.bAecOn, a.bAnrOn, a.bHpfOn, a.bRnrOn, a.bEqOn, a.bHdrOn, AiChn);
        return general_failed(AiChn, DU_ERR_AI_NOT_PERM);
    }
    if (a.bEqOn && !a.bAgcOn) {
        MPI_TRACE(" eq cannot be open when agc close, ai chn:%d\n", AiChn);
        return general_failed(AiChn, DU_ERR_AI_NOT_PERM);
    }
    return 0;
}

s32 check_general(s32 AiChn, const AI_HIFIVQE_ATTR_S &a)
{
    if (s32 ret = check_frame_mode(AiChn, a.s32FrameSample, a.u32WorkMode))
        return ret;
    if (a.s32WorkSampleRate != 48000)
        MPI_TRACE("work sample rate: %d is invalid, ai chn:%d.\n", a.s32WorkSampleRate, AiChn);
    else if (a.u32OpenMask == 0)
        MPI_TRACE("open mask(0x%x) param err! HPF,HDR,RNR,AVC,PEQ all not open, ai chn:%d\n", a.u32OpenMask, AiChn);
    else if (a.u32OpenMask > 31)
        MPI_TRACE("open mask(0x%x) param err! open effect exclude HPF,HDR,RNR,AVC,PEQ, ai chn:%d\n", a.u32OpenMask,
                  AiChn);
    else
        return 0;
    return general_failed(AiChn, DU_ERR_AI_ILLEGAL_PARAM);
}

// ---- sub-records only the input unit has ---------------------------------------------------

s32 failed(const AUDIO_VQE_CHECK_S &u, const char *module)
{
    MPI_TRACE("AI chn %d check vqe %s parameter failed!\n", u.s32Chn, module);
    return DU_ERR_AI_ILLEGAL_PARAM;
}

void header(const AUDIO_VQE_CHECK_S &u, const char *module)
{
    MPI_TRACE("Ai dev: %d, ai chn:%d, enable %s failed because of wrong param!\n", u.s32Dev, u.s32Chn, module);
}

bool in(s32 v, s32 lo, s32 hi) { return v >= lo && v <= hi; }

s32 check_aec(const AUDIO_VQE_CHECK_S &u, const VQE_AEC_CFG_S &a, s32 rate)
{
    s32 err;
    if (!audio_vqe_usr_mode(&u, a.bUsrMode, "aec", &err))
        return err;
    if (!in(a.s8CngMode, 0, 1) || !in(a.s16DTHnlSortQTh, 0, 32767) || !in(a.s8NearAllPassEnergy, 0, 2) ||
        !in(a.s8NearCleanSupEnergy, 0, 2)) {
        header(u, "aec");
        MPI_TRACE("s8CngMode: %d [0,1]\n", a.s8CngMode);
        MPI_TRACE("s16DTHnlSortQTh: %d [0,32767]\n", a.s16DTHnlSortQTh);
        MPI_TRACE("s8NearAllPassEnergy: %d [0,2]\n", a.s8NearAllPassEnergy);
        MPI_TRACE("s8NearCleanSupEnergy: %d [0,2]\n", a.s8NearCleanSupEnergy);
        return failed(u, "aec");
    }
    for (u32 i = 0; i < 7; i++) {
        if (!in(a.s16ERL[i], 0, 18)) {
            header(u, "aec");
            MPI_TRACE("s16ERL[%d]: %d [0,18]\n", i, a.s16ERL[i]);
            return failed(u, "aec");
        }
    }
    const s32 top = rate == 8000 ? 63 : 127;
    if (!in(a.s16EchoBandHigh, 1, top) || !in(a.s16EchoBandLow, 1, top) || !in(a.s16EchoBandHigh2, 1, top) ||
        !in(a.s16EchoBandLow2, 1, top) || !in(a.s16VioceProtectFreqL1, 1, top) ||
        !in(a.s16VioceProtectFreqL, 1, top)) {
        header(u, "aec");
        MPI_TRACE("s16EchoBandHigh: %d [1,%d]\n", a.s16EchoBandHigh, top);
        MPI_TRACE("s16EchoBandLow: %d [1,%d]\n", a.s16EchoBandLow, top);
        MPI_TRACE("s16EchoBandHigh2: %d [1,%d]\n", a.s16EchoBandHigh2, top);
        MPI_TRACE("s16EchoBandLow2: %d [1,%d]\n", a.s16EchoBandLow2, top);
        MPI_TRACE("s16VioceProtectFreqL1: %d [1,%d]\n", a.s16VioceProtectFreqL1, top);
        MPI_TRACE("s16VioceProtectFreqL: %d [1,%d]\n", a.s16VioceProtectFreqL, top);
        return failed(u, "aec");
    }
    for (u32 i = 0; i < 6; i++) {
        if (!in(a.s16ERLBand[i], 1, top)) {
            header(u, "aec");
            MPI_TRACE("s16ERLBand[%d]: %d [1,%d]\n", i, a.s16ERLBand[i], top);
            return failed(u, "aec");
        }
        if (i > 0 && a.s16ERLBand[i] < a.s16ERLBand[i - 1]) {
            header(u, "aec");
            MPI_TRACE("s16ERLBand[%d]: %d < s16ERLBand[%d]: %d\n", i, a.s16ERLBand[i], i - 1, a.s16ERLBand[i - 1]);
            return failed(u, "aec");
        }
    }
    const char *order = nullptr;
    s32 hi = 0, lo = 0;
    if (a.s16EchoBandLow >= a.s16EchoBandHigh)
        order = "s16EchoBandHigh: %d <= s16EchoBandLow: %d\n", hi = a.s16EchoBandHigh, lo = a.s16EchoBandLow;
    else if (a.s16EchoBandLow2 >= a.s16EchoBandHigh2)
        order = "s16EchoBandHigh2: %d <= s16EchoBandLow2: %d\n", hi = a.s16EchoBandHigh2, lo = a.s16EchoBandLow2;
    else if (a.s16VioceProtectFreqL >= a.s16VioceProtectFreqL1)
        order = "s16VioceProtectFreqL1: %d <= s16VioceProtectFreqL: %d\n", hi = a.s16VioceProtectFreqL1,
        lo = a.s16VioceProtectFreqL;
    if (order) {
        header(u, "aec");
        MPI_TRACE(order, hi, lo);
        return failed(u, "aec");
    }
    return 0;
}

s32 check_rnr(const AUDIO_VQE_CHECK_S &u, const VQE_RNR_CFG_S &r, s32 rate)
{
    s32 err;
    if (!audio_vqe_usr_mode(&u, r.bUsrMode, "rnr", &err))
        return err;
    if (!in(r.s32MaxNrLevel, 2, 20))
        MPI_TRACE("rnr MaxNrLevel: %d is invalid, ai chn:%d.\n", r.s32MaxNrLevel, u.s32Chn);
    else if (!in(r.s32NoiseThresh, -80, -20))
        MPI_TRACE("rnr NoiseThresh: %d is invalid, ai chn:%d.\n", r.s32NoiseThresh, u.s32Chn);
    else if (!in(r.s32NrMode, 0, 1))
        MPI_TRACE("rnr NrMode: %d is invalid, ai chn:%d.\n", r.s32NrMode, u.s32Chn);
    else if (r.s32NrMode == 1 && rate == 48000)
        MPI_TRACE("rnr NrMode: %d NOT support WorkSampleRate(48000), ai chn:%d.\n", r.s32NrMode, u.s32Chn);
    else
        return 0;
    return failed(u, "rnr");
}

// HDR in bUsrMode 0 takes the codec's gain and the unit's gain setter; the
// defaults go into the caller's record.
s32 check_hdr(const AUDIO_VQE_CHECK_S &u, VQE_HDR_CFG_S *h)
{
    if (h->bUsrMode > 1) {
        MPI_TRACE("stHdrCfg.bUsrMode: %d error!\n", h->bUsrMode);
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    if (h->bUsrMode == 0) {
        u32 gain = 0;
        DU_DUZ_AI_GetAcodecGain(&gain);
        h->s32MinGaindB = 0;
        h->s32MaxGaindB = kHdrMaxGainDb;
        h->s32MicGainStepdB = kHdrStepDb;
        h->s32MicGaindB = (s32)gain;
        h->pcallback = DU_DUZ_AI_SetAcodecGain;
        return 0;
    }
    if (in(h->s32MaxGaindB, 0, 120) && in(h->s32MinGaindB, 0, 120) && in(h->s32MicGainStepdB, 1, 3) &&
        in(h->s32MicGaindB, h->s32MinGaindB, h->s32MaxGaindB) && h->pcallback)
        return 0;
    header(u, "hdr");
    MPI_TRACE("s32MaxGaindB: %d [0,120]\n", h->s32MaxGaindB);
    MPI_TRACE("s32MinGaindB: %d [0,120]\n", h->s32MinGaindB);
    MPI_TRACE("s32MicGainStepdB: %d [1,3]\n", h->s32MicGainStepdB);
    MPI_TRACE("s32MicGaindB: %d [%d,%d]\n", h->s32MicGaindB, h->s32MinGaindB, h->s32MaxGaindB);
    MPI_TRACE("pcallback: %p \n", reinterpret_cast<void *>(h->pcallback));
    return failed(u, "Hdr");
}

s32 check_avc(const AUDIO_VQE_CHECK_S &u, const VQE_AVC_CFG_S &a)
{
    s32 err;
    if (!audio_vqe_usr_mode(&u, a.bUsrMode, "avc", &err))
        return err;
    if (!in(a.s16AttackTime, 20, 2000) || !in(a.s16CornerLevel, -39, -17) || !in(a.s16MaxGain, 0, 8) ||
        !in(a.s16ReleaseTime, 20, 2000) || !in(a.s16StartLevel, -40, -20) || !in(a.s16TargetLevel, -16, -6)) {
        header(u, "avc");
        MPI_TRACE("s16AttackTime: %d [20,2000]\n", a.s16AttackTime);
        MPI_TRACE("s16ReleaseTime: %d [20,2000]\n", a.s16ReleaseTime);
        MPI_TRACE("s16CornerLevel: %d [-39,-17]\n", a.s16CornerLevel);
        MPI_TRACE("s16MaxGain: %d[0,8]\n", a.s16MaxGain);
        MPI_TRACE("s16StartLevel: %d[-40,-20]\n", a.s16StartLevel);
        MPI_TRACE("s16TargetLevel: %d [-16,-6]\n", a.s16TargetLevel);
        return failed(u, "avc");
    }
    if (a.s16CornerLevel <= a.s16StartLevel) {
        header(u, "avc");
        MPI_TRACE("s16CornerLevel(%d) should be greater than s16StartLevel(%d)\n", a.s16CornerLevel, a.s16StartLevel);
        return failed(u, "avc");
    }
    if (a.s16CornerLevel + a.s16MaxGain >= a.s16TargetLevel) {
        header(u, "avc");
        MPI_TRACE("(s16CornerLevel(%d) + s16MaxGain(%d)) should be smaller than s16TargetLevel(%d)\n",
                  a.s16CornerLevel, a.s16MaxGain, a.s16TargetLevel);
        return failed(u, "avc");
    }
    return 0;
}

// What each PEQ filter type allows: frequency, Q and gain (a range, or one value).
struct PeqRule {
    s32 f_lo, f_hi;
    const char *f_msg;
    s32 q_lo, q_hi;
    const char *q_msg;
    s32 g_lo, g_hi;
    const char *g_msg;
};
constexpr const char *kFreqLow = "u16Frequency[%d]: %d [20,4000], when u8FilterType[%d]: %d\n";
constexpr const char *kFreqAll = "u16Frequency[%d]: %d [20,22000], when u8FilterType[%d]: %d\n";
constexpr const char *kFreqHigh = "u16Frequency[%d]: %d [4000,22000], when u8FilterType[%d]: %d\n";
constexpr const char *kQ7 = "u16Q[%d]: %d is not equal to 7, when u8FilterType[%d]: %d\n";
constexpr const char *kQShelf = "u16Q[%d]: %d [7,10], when u8FilterType[%d]: %d\n";
constexpr const char *kQPeak = "u16Q[%d]: %d [5,100], when u8FilterType[%d]: %d\n";
constexpr const char *kGain0 = "s8GaindB[%d]: %d is not equal to 0, when u8FilterType[%d]: %d\n";
constexpr const char *kGain15 = "s8GaindB[%d]: %d [-15, 15], when u8FilterType[%d]: %d\n";
constexpr PeqRule kPeqRules[] = {
    {20, 4000, kFreqLow, 7, 7, kQ7, 0, 0, kGain0},              // high-pass
    {20, 4000, kFreqLow, 7, 10, kQShelf, -15, 15, kGain15},     // low shelf
    {20, 22000, kFreqAll, 5, 100, kQPeak, -15, 15, kGain15},    // peaking
    {4000, 22000, kFreqHigh, 7, 10, kQShelf, -15, 15, kGain15}, // high shelf
    {4000, 22000, kFreqHigh, 7, 7, kQ7, 0, 0, kGain0},          // low-pass
};

s32 check_peq(const AUDIO_VQE_CHECK_S &u, const VQE_PEQ_CFG_S &p)
{
    s32 err;
    if (!audio_vqe_usr_mode(&u, p.bUsrMode, "peq", &err))
        return err;
    if (!in((s32)p.u32BandNum, 1, 10) || p.u32BandNum > 10) {
        header(u, "peq");
        MPI_TRACE("u32BandNum: %d [1,10]\n", p.u32BandNum);
        return failed(u, "peq");
    }
    for (u32 i = 0; i < p.u32BandNum; i++) {
        u32 type = p.u8FilterType[i];
        if (type > 4) {
            header(u, "peq");
            MPI_TRACE("u8FilterType[%d]: %d [0,4]\n", i, type);
            return failed(u, "peq");
        }
        const PeqRule &r = kPeqRules[type];
        const char *msg = nullptr;
        s32 value = 0;
        if (!in(p.u16Frequency[i], r.f_lo, r.f_hi))
            msg = r.f_msg, value = p.u16Frequency[i];
        else if (!in(p.u16Q[i], r.q_lo, r.q_hi))
            msg = r.q_msg, value = p.u16Q[i];
        else if (!in(p.s8GaindB[i], r.g_lo, r.g_hi))
            msg = r.g_msg, value = p.s8GaindB[i];
        if (msg) {
            header(u, "peq");
            MPI_TRACE(msg, i, value, i, type);
            return failed(u, "peq");
        }
    }
    return 0;
}

// ---- whether a record changes what is set ---------------------------------------------------

#define SAME(f) (a.f == b.f)
bool same(const VQE_HPF_CFG_S &a, const VQE_HPF_CFG_S &b) { return SAME(u32HpfFreq); }
bool same(const VQE_AEC_CFG_S &a, const VQE_AEC_CFG_S &b)
{
    return SAME(s8CngMode) && SAME(s8NearAllPassEnergy) && SAME(s8NearCleanSupEnergy) && SAME(s16DTHnlSortQTh) &&
           SAME(s16EchoBandLow) && SAME(s16EchoBandHigh) && SAME(s16EchoBandLow2) && SAME(s16EchoBandHigh2) &&
           !memcmp(a.s16ERLBand, b.s16ERLBand, sizeof a.s16ERLBand) && !memcmp(a.s16ERL, b.s16ERL, sizeof a.s16ERL) &&
           SAME(s16VioceProtectFreqL) && SAME(s16VioceProtectFreqL1) && SAME(u32Reserved);
}
bool same(const VQE_ANR_CFG_S &a, const VQE_ANR_CFG_S &b)
{
    return SAME(s16NrIntensity) && SAME(s16NoiseDbThr) && SAME(s8SpProSwitch);
}
bool same(const VQE_RNR_CFG_S &a, const VQE_RNR_CFG_S &b)
{
    return SAME(s32NrMode) && SAME(s32MaxNrLevel) && SAME(s32NoiseThresh);
}
bool same(const VQE_AGC_CFG_S &a, const VQE_AGC_CFG_S &b)
{
    return SAME(s8TargetLevel) && SAME(s8NoiseFloor) && SAME(s8MaxGain) && SAME(s8AdjustSpeed) &&
           SAME(s8ImproveSNR) && SAME(s8UseHighPassFilt) && SAME(s8OutputMode) && SAME(s16NoiseSupSwitch);
}
bool same(const VQE_HDR_CFG_S &a, const VQE_HDR_CFG_S &b)
{
    return SAME(s32MinGaindB) && SAME(s32MaxGaindB) && SAME(s32MicGaindB) && SAME(s32MicGainStepdB) &&
           SAME(pcallback);
}
bool same(const VQE_AVC_CFG_S &a, const VQE_AVC_CFG_S &b)
{
    return SAME(s16AttackTime) && SAME(s16ReleaseTime) && SAME(s16StartLevel) && SAME(s16CornerLevel) &&
           SAME(s16MaxGain) && SAME(s16TargetLevel);
}
bool same(const VQE_PEQ_CFG_S &a, const VQE_PEQ_CFG_S &b)
{
    return SAME(u32BandNum) && !memcmp(a.u8FilterType, b.u8FilterType, sizeof a.u8FilterType) &&
           !memcmp(a.s8GaindB, b.s8GaindB, sizeof a.s8GaindB) &&
           !memcmp(a.u16Frequency, b.u16Frequency, sizeof a.u16Frequency) && !memcmp(a.u16Q, b.u16Q, sizeof a.u16Q);
}
#undef SAME

// A module as stored and as asked for: both off, or both on with the same
// user mode and, in user mode, the same settings.
template <class Cfg> bool same_module(u32 was_on, u32 on, const Cfg &was, const Cfg &now)
{
    if (was_on != on)
        return false;
    return !on || (was.bUsrMode == now.bUsrMode && (!now.bUsrMode || same(was, now)));
}

bool unchanged(const MPI_AI_CHN_S *chn, const UPVQE_CFG_S &cur, const AI_VQE_ATTR_S &a, s32 AoDevId, s32 AoChn)
{
    return cur.s32WorkSampleRate == a.s32WorkSampleRate && cur.s32FrameSample == a.s32FrameSample &&
           cur.u32WorkMode == a.u32WorkMode && same_module(chn->bHpfOpen, a.bHpfOn, cur.stHpfCfg, a.stHpfCfg) &&
           same_module(chn->bAecOpen, a.bAecOn, cur.stAecCfg, a.stAecCfg) &&
           same_module(chn->bAnrOpen, a.bAnrOn, cur.stAnrCfg, a.stAnrCfg) &&
           same_module(chn->bRnrOpen, a.bRnrOn, cur.stRnrCfg, a.stRnrCfg) &&
           same_module(chn->bAgcOpen, a.bAgcOn, cur.stAgcCfg, a.stAgcCfg) &&
           same_module(chn->bHdrOpen, a.bHdrOn, cur.stHdrCfg, a.stHdrCfg) && chn->bEqOpen == a.bEqOn &&
           (!a.bEqOn || !memcmp(cur.stEqCfg.s8GaindB, a.stEqCfg.s8GaindB, sizeof a.stEqCfg.s8GaindB)) &&
           (!a.bAecOn || (chn->s32AoDev == AoDevId && chn->s32AoChn == AoChn));
}

bool unchanged(const MPI_AI_CHN_S *chn, const UPVQE_CFG_S &cur, const AI_HIFIVQE_ATTR_S &a)
{
    const u32 m = a.u32OpenMask;
    return cur.s32WorkSampleRate == a.s32WorkSampleRate && cur.s32FrameSample == a.s32FrameSample &&
           cur.u32WorkMode == a.u32WorkMode &&
           same_module(chn->bHpfOpen, !!(m & AI_HIFIVQE_MASK_HPF), cur.stHpfCfg, a.stHpfCfg) &&
           same_module(chn->bRnrOpen, !!(m & AI_HIFIVQE_MASK_RNR), cur.stRnrCfg, a.stRnrCfg) &&
           same_module(chn->bHdrOpen, !!(m & AI_HIFIVQE_MASK_HDR), cur.stHdrCfg, a.stHdrCfg) &&
           same_module(chn->bAvcOpen, !!(m & AI_HIFIVQE_MASK_AVC), cur.stAvcCfg, a.stAvcCfg) &&
           same_module(chn->bPeqOpen, !!(m & AI_HIFIVQE_MASK_PEQ), cur.stPeqCfg, a.stPeqCfg);
}

// ---- the two setters' common course -------------------------------------------------------------

// The settings of every module the normal record opens; the echo
// canceller's output channel is kept for its link.
s32 check_modules(s32 AiDevId, s32 AiChn, s32 AoDevId, s32 AoChn, AI_VQE_ATTR_S *pa)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    AI_VQE_ATTR_S &a = *pa;
    const AUDIO_VQE_CHECK_S u = unit_words(AiDevId, AiChn);
    if (a.bAgcOn)
        if (s32 ret = audio_vqe_check_agc(&u, &a.stAgcCfg))
            return ret;
    if (a.bAecOn) {
        if (chn->bAecRefEnable) {
            MPI_TRACE("Aec do not support open when aec reference frame is enable, ai chn:%d\n", AiChn);
            return DU_ERR_AI_NOT_SUPPORT;
        }
        if (AoDevId != 0) {
            MPI_TRACE("ao dev %d is invalid\n", AoDevId);
            return mpi_status(DU_ID_AO, ERR_INVALID_DEVID);
        }
        if ((u32)AoChn >= AIO_MAX_CHN_NUM) {
            MPI_TRACE("ao chnid %d is invalid\n", AoChn);
            return mpi_status(DU_ID_AO, ERR_INVALID_CHNID);
        }
        if (s32 ret = check_aec(u, a.stAecCfg, a.s32WorkSampleRate))
            return ret;
        chn->s32AoDev = 0;
        chn->s32AoChn = AoChn;
    }
    if (a.bHpfOn)
        if (s32 ret = audio_vqe_check_hpf(&u, &a.stHpfCfg))
            return ret;
    if (a.bRnrOn)
        if (s32 ret = check_rnr(u, a.stRnrCfg, a.s32WorkSampleRate))
            return ret;
    if (a.bAnrOn)
        if (s32 ret = audio_vqe_check_anr(&u, &a.stAnrCfg))
            return ret;
    if (a.bHdrOn)
        if (s32 ret = check_hdr(u, &a.stHdrCfg))
            return ret;
    if (a.bEqOn)
        if (s32 ret = audio_vqe_check_eq(&u, &a.stEqCfg))
            return ret;
    return 0;
}

// The settings of every module the HiFi record opens.
s32 check_hifi_modules(s32 AiDevId, s32 AiChn, AI_HIFIVQE_ATTR_S *pa)
{
    AI_HIFIVQE_ATTR_S &a = *pa;
    const AUDIO_VQE_CHECK_S u = unit_words(AiDevId, AiChn);
    const u32 m = a.u32OpenMask;
    if (m & AI_HIFIVQE_MASK_HPF)
        if (s32 ret = audio_vqe_check_hpf(&u, &a.stHpfCfg))
            return ret;
    if (m & AI_HIFIVQE_MASK_RNR)
        if (s32 ret = check_rnr(u, a.stRnrCfg, a.s32WorkSampleRate))
            return ret;
    if (m & AI_HIFIVQE_MASK_HDR)
        if (s32 ret = check_hdr(u, &a.stHdrCfg))
            return ret;
    if (m & AI_HIFIVQE_MASK_AVC)
        if (s32 ret = check_avc(u, a.stAvcCfg))
            return ret;
    if (m & AI_HIFIVQE_MASK_PEQ)
        if (s32 ret = check_peq(u, a.stPeqCfg))
            return ret;
    return 0;
}

// The channel entered, enabled, its enhancement off.
s32 may_configure(s32 AiChn)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if (!chn->bEnable) {
        MPI_TRACE("AI chn %d is not enable\n", AiChn);
        return DU_ERR_AI_NOT_ENABLED;
    }
    if (chn->bVqeEnable) {
        MPI_TRACE("AI chn %d has enable vqe! Please disable vqe then config it!\n", AiChn);
        return DU_ERR_AI_NOT_PERM;
    }
    return 0;
}

// Re-creates the instance with every switch off from the configuration
// `build` makes, keeping the rates of the current one (the device's when
// nothing is set yet; the instance may resample). `build` gets the current
// configuration and whether it is one of `kind` (1 normal, 3 HiFi); it may
// refuse, or keep it as it is. The kind is recorded; the caller stores its
// switches after.
template <class Build>
s32 install(s32 AiDevId, s32 AiChn, u32 kind, Build &&build)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    const AudioStageSwitch how = {"AiDev: %d haven't set attr!\n", kAiVqeFail, DU_ERR_AI_VQE_ERR};
    if (s32 ret = ai_switch_stage(AiDevId, AiChn, how, [&](UPVQE_CFG_S &cur) {
            UPVQE_CFG_S cfg = {};
            cfg.s32InSampleRate = cur.s32InSampleRate;
            cfg.s32OutSampleRate = cur.s32OutSampleRate;
            if (s32 ret = build(cur, chn->bVqeCfg && chn->enVqeCfgType == kind, &cfg))
                return ret;
            cfg.bHpfOn = cfg.bAecOn = cfg.bAnrOn = cfg.bRnrOn = cfg.bAgcOn = cfg.bEqOn = cfg.bHdrOn = cfg.bAvcOn =
                cfg.bPeqOn = 0;
            cur = cfg;
            return 0;
        }))
        return ret;
    chn->bVqeCfg = DU_TRUE;
    chn->enVqeCfgType = kind;
    return 0;
}

} // namespace

s32 DU_DUZ_AI_SetVqeAttr(s32 AiDevId, s32 AiChn, s32 AoDevId, s32 AoChn, AI_VQE_ATTR_S *pstVqeConfig)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstVqeConfig, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    AI_VQE_ATTR_S &a = *pstVqeConfig;
    if (s32 ret = may_configure(AiChn))
        return ret;
    if (s32 ret = check_general(AiChn, a))
        return ret;
    if (s32 ret = install(AiDevId, AiChn, 1, [&](const UPVQE_CFG_S &cur, bool same_kind, UPVQE_CFG_S *cfg) {
            if (same_kind && unchanged(chn, cur, a, AoDevId, AoChn))
                return kAudioStageKept;
            if (s32 ret = check_modules(AiDevId, AiChn, AoDevId, AoChn, &a))
                return ret;
            MPI_AI_AITOVQE(&a, cfg);
            return 0;
        }))
        return ret;
    chn->bHpfOpen = a.bHpfOn;
    chn->bAecOpen = a.bAecOn;
    chn->bAnrOpen = a.bAnrOn;
    chn->bRnrOpen = a.bRnrOn;
    chn->bAgcOpen = a.bAgcOn;
    chn->bEqOpen = a.bEqOn;
    chn->bHdrOpen = a.bHdrOn;
    chn->bAvcOpen = chn->bPeqOpen = DU_FALSE;
    return 0;
}

s32 DU_DUZ_AI_SetHiFiVqeAttr(s32 AiDevId, s32 AiChn, AI_HIFIVQE_ATTR_S *pstHiFiVqeConfig)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstHiFiVqeConfig, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    AI_HIFIVQE_ATTR_S &a = *pstHiFiVqeConfig;
    if (s32 ret = may_configure(AiChn))
        return ret;
    if (s32 ret = check_general(AiChn, a))
        return ret;
    const u32 m = a.u32OpenMask;
    if (s32 ret = install(AiDevId, AiChn, 3, [&](const UPVQE_CFG_S &cur, bool same_kind, UPVQE_CFG_S *cfg) {
            if (same_kind && unchanged(chn, cur, a))
                return kAudioStageKept;
            if (s32 ret = check_hifi_modules(AiDevId, AiChn, &a))
                return ret;
            ai_copy_hifi_settings(a, *cfg);
            return 0;
        }))
        return ret;
    chn->bAecOpen = chn->bAgcOpen = chn->bAnrOpen = chn->bEqOpen = DU_FALSE;
    chn->bHpfOpen = !!(m & AI_HIFIVQE_MASK_HPF);
    chn->bRnrOpen = !!(m & AI_HIFIVQE_MASK_RNR);
    chn->bHdrOpen = !!(m & AI_HIFIVQE_MASK_HDR);
    chn->bAvcOpen = !!(m & AI_HIFIVQE_MASK_AVC);
    chn->bPeqOpen = !!(m & AI_HIFIVQE_MASK_PEQ);
    return 0;
}
