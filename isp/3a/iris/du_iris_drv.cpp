// The iris drivers the exposure library drives: the DC iris through a PWM
// output, the P-iris stepper through its character device.
#include <fcntl.h>

#include "board/board.h"
#include "isp/3a/ae/ae_ctx.h"
#include "isp/3a/iris/iris_requests.h"

namespace {

constexpr u32 PWM_PERIOD = 1000;
constexpr u32 DUTY_MIN = 100, DUTY_MAX = 1000;

s32 g_s32PwmNum = -1;
u32 g_u32PreIrisValue = 0;
u8 u8PWMPrintIndex = 1;
u8 u8PIRISPrintIndex = 1;

const ALG_LIB_HANDLE_S kAeLib = {0, AE_LIB_NAME};

// The PWM output behind the iris, asked of the ISP driver until it answers.
s32 pwm_number()
{
    if (g_s32PwmNum != -1)
        return 0;
    int fd = bd_open("/dev/isp_dev", O_RDONLY);
    if (fd < 0) {
        puts("Open isp device error!");
        return -1;
    }
    u32 num = 0;
    if (bd_ioctl(fd, ISP_PWM_NUM_GET, &num) != 0) {
        puts("get pwm number failed!");
        bd_close(fd);
        return -1;
    }
    bd_close(fd);
    g_s32PwmNum = (s32)num;
    return 0;
}

s32 dciris_pwm_update(u32 duty)
{
    if (pwm_number() != 0)
        return -1;
    if (duty == g_u32PreIrisValue)
        return 0;
    int fd = bd_open("/dev/pwm", O_RDONLY);
    if (fd < 0) {
        if (u8PWMPrintIndex) {
            puts("********************* Open pwm device error! *********************");
            u8PWMPrintIndex = 0;
        }
        return -1;
    }
    PWM_DATA_S data = {(u32)g_s32PwmNum, duty, PWM_PERIOD, 1};
    if (bd_ioctl(fd, PWM_CMD_WRITE, &data) != 0) {
        printf("pwm%d write failed!\n", g_s32PwmNum);
        bd_close(fd);
        return -1;
    }
    bd_close(fd);
    // The duty goes out as asked (0 at exit leaves the coil dead); what is
    // remembered is brought into 100..1000, so after a lower duty a request
    // for 100 writes nothing.
    g_u32PreIrisValue = AeBoundariesCheck(duty, DUTY_MIN, DUTY_MAX);
    return 0;
}

s32 dciris_pwm_get_default(u32, u32) { return 0; }
s32 dciris_entry(u32 duty) { return dciris_pwm_update(duty); }

// One request to the P-iris device, which is closed again after it.
s32 piris_request(unsigned long request, void *arg, const char *fail_msg)
{
    int fd = bd_open("/dev/piris", O_RDONLY);
    if (fd < 0) {
        if (u8PIRISPrintIndex) {
            puts("********************* Open piris device error! *********************");
            u8PIRISPrintIndex = 0;
        }
        return -1;
    }
    s32 ret = bd_ioctl(fd, request, arg);
    bd_close(fd);
    if (ret != 0) {
        puts(fail_msg);
        return -1;
    }
    return 0;
}

s32 ae_piris_status_get(u32)
{
    s32 status = 0;
    return piris_request(PIRIS_STATUS_GET, &status, "piris read failed!") == 0 ? status : -1;
}

s32 ae_piris_origin_set(u32 zero_is_max, u32 total)
{
    PIRIS_DATA_S d = {(s32)zero_is_max, (s32)total, zero_is_max == 1 ? -10 - (s32)total : (s32)total + 10};
    return piris_request(PIRIS_ORIGIN_SET, &d, "piris write failed!");
}

s32 ae_piris_close_set(u32 zero_is_max, u32 total)
{
    PIRIS_DATA_S d = {(s32)zero_is_max, (s32)total, zero_is_max == 1 ? (s32)total - 1 : 0};
    return piris_request(PIRIS_CLOSE_SET, &d, "piris write failed!");
}

} // namespace

s32 ae_piris_pos_set(u32 zero_is_max, u32 total, u32 pos)
{
    PIRIS_DATA_S d = {(s32)zero_is_max, (s32)total, (s32)pos};
    return piris_request(PIRIS_POS_SET, &d, "piris write failed!");
}

namespace {

s32 register_driver(const AE_IRIS_CALLBACKS_S &cb, const char *fail_msg)
{
    s32 ret = DU_DUZ_AE_IrisRegisterCallBack(&kAeLib, &cb);
    if (ret != 0)
        puts(fail_msg);
    return ret;
}

} // namespace

s32 dciris_register_callback(void)
{
    return register_driver({dciris_entry, dciris_pwm_get_default, nullptr},
                           "dciris register callback function to ae lib failed!");
}

s32 piris_register_callback(void)
{
    return register_driver({ae_piris_status_get, ae_piris_origin_set, ae_piris_close_set},
                           "piris register callback function to ae lib failed!");
}
