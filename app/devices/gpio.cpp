// The GPIO lines through /dev/kxgpiodev.
#include "app/devices/gpio.h"

#include <cstdio>
#include <fcntl.h>

#include "board/board.h"
#include "board/gpio_requests.h"

int g_gpio_fd = -1;

namespace {

int gpio_request_send(unsigned long request, uint32_t gpio, uint32_t value, uint32_t *out = nullptr)
{
    if (g_gpio_fd < 0) {
        puts("Open /dev/kxgpiodev not open!");
        return -1;
    }
    gpio_request req = {gpio / 256, gpio % 256, value};
    if (bd_ioctl(g_gpio_fd, request, &req) != 0)
        return -1;
    if (out)
        *out = req.value;
    return 0;
}

} // namespace

int open_gpio_dev(void)
{
    g_gpio_fd = bd_open("/dev/kxgpiodev", O_RDWR);
    return g_gpio_fd;
}

int close_gpio_dev(void)
{
    if (g_gpio_fd >= 0)
        bd_close(g_gpio_fd);
    g_gpio_fd = -1;
    return 0;
}

int config_gpio(uint32_t gpio, uint32_t direction) { return gpio_request_send(GPIO_REQ_DIRECTION, gpio, direction); }
int muxtrl_gpio(uint32_t gpio, uint32_t function) { return gpio_request_send(GPIO_REQ_MUX, gpio, function); }

int set_gpio_value(uint32_t gpio, uint32_t level)
{
    // Only 1 drives the line high.
    return gpio_request_send(level == 1 ? GPIO_REQ_SET_HIGH : GPIO_REQ_SET_LOW, gpio, level);
}

int get_gpio_value(uint32_t gpio)
{
    uint32_t level = 10;
    if (gpio_request_send(GPIO_REQ_GET, gpio, level, &level) != 0)
        return -1;
    return (int)level;
}

int kx_gpio_init_func(void) { return 0; }
