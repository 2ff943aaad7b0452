// The power microcontroller: its registers one by one, and each register
// the camera uses by name.
#pragma once

#include <cstdint>

int mcu_i2c_read(uint32_t reg);
int mcu_i2c_write(uint32_t reg, uint32_t value);

int get_power_on_key_type(void);
int set_power_on_key_type(uint32_t value);
int set_power_on_key_status(uint32_t value);
int get_power_on_key_status(void);
int set_power_off_key_status(uint32_t value);
int get_power_off_key_status(void);
int get_power_off_key_press(void);
int set_return_power_off_cmd(uint32_t value);
int get_return_power_off_cmd(void);
int set_return_power_on_source(uint32_t value);
int get_return_power_on_source(void);
int set_return_alarm_en(uint32_t value);
int get_return_power_alarm_en(void);
int set_return_power_alarm_day(uint32_t value);
int get_return_power_alarm_day(void);
int set_return_power_alarm_hour(uint32_t value);
int get_return_power_alarm_hour(void);
int set_return_power_alarm_min(uint32_t value);
int get_return_power_alarm_min(void);
int set_return_power_alarm_sec(uint32_t value);
int get_return_power_alarm_sec(void);
