// The camera's GPIO lines as the application reaches them: numbers are
// bank * 256 + pin.
#pragma once

#include <cstdint>

constexpr uint32_t gpio_no(uint32_t bank, uint32_t pin) { return bank * 256 + pin; }
// Opened by system_init on the main thread before any other thread starts;
// every thread then reads it for each GPIO request. Closed only by
// system_exit, on a signal's way out, while the handler may still ask
// (its request then fails). No lock.
extern int g_gpio_fd;

int open_gpio_dev(void);
int close_gpio_dev(void);
int config_gpio(uint32_t gpio, uint32_t direction);
int muxtrl_gpio(uint32_t gpio, uint32_t function);
int set_gpio_value(uint32_t gpio, uint32_t level);
int get_gpio_value(uint32_t gpio);
int kx_gpio_init_func(void);
