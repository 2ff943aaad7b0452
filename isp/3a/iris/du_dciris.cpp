// The DC iris's PID controller: while exposure sits at its minimum gains
// the aperture takes over, driven by the luminance error through the PWM
// duty; once it stays open and stable the exposure takes over again.
#include <cstdlib>

#include "isp/3a/ae/ae_ctx.h"

namespace {
constexpr u32 DUTY_DISABLED = 960, DUTY_WAITING = 950;
} // namespace

s32 dcIrisCtrlerDoCmd(u32 cmd, u32 *out, AE_DCIRIS_S *d)
{
    if (!out) {
        ALG_TRACE(__FUNCTION__, "Null Pointer in %s!\n", __FUNCTION__);
        return AE_ERR_NULL_PTR;
    }
    if (cmd == DCIRIS_CMD_GET) {
        *out = (u32)d->bInControl;
    } else if (cmd == DCIRIS_CMD_START) {
        d->bInControl = 1;
        d->s32Integral = (s32)(1000 * d->u32OpenDuty);
        d->s32Err = d->s32ErrDiff = d->s32PreErr = d->s32PrePreErr = 0;
    }
    return 0;
}

// One PID step from the luminance error to a duty.
s32 dcIrisCtrlerProcess(const s32 *err, u32 *out, AE_DCIRIS_S *d)
{
    if (!err || !out) {
        ALG_TRACE(__FUNCTION__, "Null Pointer in %s!\n", __FUNCTION__);
        return AE_ERR_NULL_PTR;
    }
    const s32 e = *err;
    const s32 de = e - d->s32PreErr;
    d->s32PrePreErr = d->s32PreErr;
    d->s32PreErr = e;
    const s32 a = std::abs(e);
    s32 k = 0;
    while ((s64)k * (k + 1) < a)
        k++;
    const s64 s = e < 16 ? 32 : e < 48 ? e + 16 : e < 64 ? 2 * (e - 48) + 64 : 96;
    const s64 p = (s64)d->s32Kp * s / 32, dd = (s64)d->s32Kd * s / 32;
    s64 step = 0;
    if (e >= -255 && e <= 255) {
        const s32 h = e < 0 ? 0 : 9;
        const s64 i = d->as32GainTable[h + (a >> 5)], j = d->as32GainTable[h + (a >> 5) + 1];
        step = (i + (a & 31) * (j - i) / 32) * e;
    }
    const s64 integral = (s64)d->s32Integral + step;
    const s64 u = p * e / 1000 + integral * d->s32Ki / 100000 + dd * de / 1000;
    d->s32Err = e;
    d->s32ErrDiff = de;
    u32 duty;
    if (u < (s64)d->u32MinDuty)
        duty = d->u32MinDuty;
    else if (u >= (s64)d->u32MaxDuty)
        duty = d->u32MaxDuty;
    else
        duty = (u32)u;
    d->s32Integral = (s32)(integral < 100000 ? 100000 : integral > 1000000 ? 1000000 : integral);
    if (std::abs(de) < k && duty >= d->u32OpenDuty) {
        const u32 limit = d->f32CalcPeriod >= 30 ? 25 : 50;
        if (d->u32StableCnt > limit) {
            d->u32StableCnt = 0;
            d->bInControl = 0;
        } else {
            d->u32StableCnt++;
        }
    } else {
        d->u32StableCnt = 0;
    }
    *out = duty;
    return 0;
}

namespace {

// Every DC-iris output goes through instance 0's driver.
void write_duty(u32 duty)
{
    const AE_IRIS_CALLBACKS_S &cb = g_astAeCtx[0].stIrisCb;
    if (cb.pfn_iris_ops1)
        cb.pfn_iris_ops1(duty);
}

void AeDcIrisAuto(AE_CTX_S &c)
{
    AE_DCIRIS_S &d = c.stDcIris;
    const s32 e = c.s16LumError;
    d.f32CalcPeriod = c.f32CalcPeriod;
    // In band: the exposure is down to its shortest time at the lowest
    // gains, so only the aperture can take more light away.
    const bool in_band = c.stAgain.u32Gain <= c.stAgain.u32Min && c.stDgain.u32Gain <= c.stDgain.u32Min &&
                         c.stIspDgain.u32Gain <= 2 * c.stIspDgain.u32Min && c.u32IntTime <= c.u32MinTimeTarget;
    if (!d.s32Enable) {
        if (d.s32PreEnable) {
            d.s32State = 0;
            d.u32Result = DUTY_DISABLED;
            c.bExpUpdate = 1;
            write_duty(DUTY_DISABLED);
        }
        d.s32PreEnable = d.s32Enable;
        return;
    }
    if (in_band) {
        // While the iris controls, the exposure is held: the run's own
        // update request is withdrawn, or the exposure would chase the
        // same error (adding time and gain to a dark scene before the
        // iris is open) and throw the iris out of control.
        if (d.s32State == 0) {
            if (++d.u32BandInCnt > 6) {
                d.u32BandInCnt = 0;
                d.s32State = 1;
                u32 unused;
                dcIrisCtrlerDoCmd(DCIRIS_CMD_START, &unused, &d);
                c.bExpUpdate = 0;
            } else {
                c.bExpUpdate = 1;
            }
        } else {
            dcIrisCtrlerProcess(&e, &d.u32Result, &d);
            u32 in_control = 0;
            dcIrisCtrlerDoCmd(DCIRIS_CMD_GET, &in_control, &d);
            if (!in_control)
                d.s32State = 0;
            c.bExpUpdate = in_control ? 0 : 1;
        }
    } else {
        d.s32State = 0;
        d.u32BandInCnt = 0;
        d.u32Result = DUTY_WAITING;
        c.bExpUpdate = 1;
    }
    write_duty(d.u32Result);
    d.s32PreEnable = d.s32Enable;
}

} // namespace

s32 AeDcIrisCtrlInit(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    AE_DCIRIS_S &d = c.stDcIris;
    static const s32 kGains[18] = {100, 95, 90, 85, 70, 60, 40, 20, 10, 200, 180, 160, 140, 100, 60, 40, 20, 10};
    d = {};
    d.s32Enable = d.s32PreEnable = 1;
    d.s32Kp = 7000;
    d.s32Ki = 1;
    d.s32Kd = 3000;
    d.s32Integral = 1000000;
    for (u32 i = 0; i < 18; i++)
        d.as32GainTable[i] = kGains[i];
    d.u32MaxDuty = 950;
    d.u32MinDuty = 250;
    d.u32OpenDuty = 800;
    d.u32Result = DUTY_WAITING;
    c.bIrisEnable = 1;
    return 0;
}

s32 AePIrisCtrlInit(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.bIrisEnable = 1;
    c.u32ManualFno = 10;
    c.bIrisManual = 0;
    c.u32IrisStatus = 0;
    return 0;
}

s32 AeDcIrisRun(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.bExpUpdate = 1;
    if (c.u32IrisStatus == 1 || c.u32IrisStatus == 2) {
        write_duty(c.u32IrisStatus == 2 ? 100 : 1000);
        c.stDcIris.s32State = 0;
    } else if (c.bIrisManual) {
        write_duty(c.u32HoldValue);
        c.stDcIris.s32State = 0;
    } else {
        AeDcIrisAuto(c);
    }
    return 0;
}

s32 AeDcIrisExit(void)
{
    write_duty(0);
    return 0;
}

