// Sub-record checks shared by the audio input and output units.
#include "mpi/audio/comm/audio_vqe_check.h"

#include "mpi/audio/comm/mpi_audio_comm.h"

namespace {

s32 closing(const AUDIO_VQE_CHECK_S *u, const char *module)
{
    MPI_TRACE("%s chn %d check vqe %s parameter failed!\n", u->pszUnit, u->s32Chn, module);
    return u->s32ErrIllegal;
}

} // namespace

bool audio_vqe_usr_mode(const AUDIO_VQE_CHECK_S *pstUnit, u32 bUsrMode, const char *pszModule, s32 *err)
{
    if (bUsrMode > 1) {
        MPI_TRACE("bUsrMode: %d error!\n", bUsrMode);
        *err = closing(pstUnit, pszModule);
        return false;
    }
    *err = 0;
    return bUsrMode == 1;
}

s32 audio_vqe_check_agc(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_AGC_CFG_S *pstAgc)
{
    s32 err;
    if (!audio_vqe_usr_mode(pstUnit, pstAgc->bUsrMode, "agc", &err))
        return err;
    const VQE_AGC_CFG_S &a = *pstAgc;
    if (a.s16NoiseSupSwitch >= 0 && a.s16NoiseSupSwitch <= 1 && a.s8ImproveSNR >= 0 && a.s8ImproveSNR <= 2 &&
        a.s8AdjustSpeed >= 0 && a.s8AdjustSpeed <= 10 && a.s8MaxGain >= 0 && a.s8MaxGain <= 30 &&
        a.s8NoiseFloor >= -65 && a.s8NoiseFloor <= -20 && a.s8OutputMode >= 0 && a.s8OutputMode <= 1 &&
        a.s8TargetLevel >= -40 && a.s8TargetLevel <= -1 && a.s8UseHighPassFilt >= 0 && a.s8UseHighPassFilt <= 5)
        return 0;
    MPI_TRACE("%s dev: %d, %s chn:%d, enable agc failed because of wrong param!\n", pstUnit->pszDev,
              pstUnit->s32Dev, pstUnit->pszChn, pstUnit->s32Chn);
    MPI_TRACE("s16NoiseSupSwitch: %d [0,1]\n", a.s16NoiseSupSwitch);
    MPI_TRACE("s8ImproveSNR: %d [0,2]\n", a.s8ImproveSNR);
    MPI_TRACE("s8AdjustSpeed: %d [0,10]\n", a.s8AdjustSpeed);
    MPI_TRACE("s8MaxGain: %d[0,30]\n", a.s8MaxGain);
    MPI_TRACE("s8NoiseFloor: %d[-65,-20]\n", a.s8NoiseFloor);
    MPI_TRACE("s8OutputMode: %d [0,1]\n", a.s8OutputMode);
    MPI_TRACE("s8TargetLevel: %d [-40,-1]\n", a.s8TargetLevel);
    MPI_TRACE("s8UseHighPassFilt: %d [0,5]\n", a.s8UseHighPassFilt);
    return closing(pstUnit, "agc");
}

s32 audio_vqe_check_hpf(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_HPF_CFG_S *pstHpf)
{
    s32 err;
    if (!audio_vqe_usr_mode(pstUnit, pstHpf->bUsrMode, "hpf", &err))
        return err;
    u32 f = pstHpf->u32HpfFreq;
    if (f == 80 || f == 120 || f == 150)
        return 0;
    MPI_TRACE("hpf freq: %d is invalid, %s chn:%d.\n", f, pstUnit->pszHpfChn, pstUnit->s32Chn);
    return closing(pstUnit, "hpf");
}

s32 audio_vqe_check_anr(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_ANR_CFG_S *pstAnr)
{
    s32 err;
    if (!audio_vqe_usr_mode(pstUnit, pstAnr->bUsrMode, pstUnit->pszAnr, &err))
        return err;
    const VQE_ANR_CFG_S &a = *pstAnr;
    if (a.s16NrIntensity < 0 || a.s16NrIntensity > 25)
        MPI_TRACE("Anr NrIntensity: %d is invalid, %s chn:%d.\n", a.s16NrIntensity, pstUnit->pszChn,
                  pstUnit->s32Chn);
    else if (a.s16NoiseDbThr < 30 || a.s16NoiseDbThr > 60)
        MPI_TRACE("Anr NoiseDbThr: %d is invalid, %s chn:%d.\n", a.s16NoiseDbThr, pstUnit->pszChn, pstUnit->s32Chn);
    else if (a.s8SpProSwitch < 0 || a.s8SpProSwitch > 1)
        MPI_TRACE("Anr SpProSwitch: %d is invalid, %s chn:%d.\n", a.s8SpProSwitch, pstUnit->pszChn,
                  pstUnit->s32Chn);
    else
        return 0;
    return closing(pstUnit, pstUnit->pszAnr);
}

s32 audio_vqe_check_eq(const AUDIO_VQE_CHECK_S *pstUnit, const VQE_EQ_CFG_S *pstEq)
{
    for (u32 i = 0; i < VQE_EQ_BAND_NUM; i++) {
        if (pstEq->s8GaindB[i] < -100 || pstEq->s8GaindB[i] > 20) {
            MPI_TRACE("eq s8GaindB[%d]: %d[-100,20] is invalid, %s chn:%d.\n", i, pstEq->s8GaindB[i],
                      pstUnit->pszChn, pstUnit->s32Chn);
            return closing(pstUnit, "eq");
        }
    }
    return 0;
}
