// What the MN34220 control part and its register-access part share.
#pragma once

#include "isp/isp_sensor.h"

#define MN34220_I2C_ADDR 0x6C
#define MN34220_INIT_REGS 125

// Set by each init sequence that was written whole, cleared by global init.
extern u32 bSensorInit;

s32 sensor_i2c_init(void);
s32 sensor_i2c_exit(void);
s32 sensor_write_register(u32 addr, u32 data);
s32 sensor_read_register(u32 addr);
void sensor_prog(const u32 *table);
s32 sensor_exit(void);

// Each returns 0 when every register was written, -1 at the first failed write.
s32 sensor_linear_1080p60_init(void);
s32 sensor_linear_1080p30_init(void);
s32 sensor_linear_720p120_init(void);
s32 sensor_linear_VGA240_init(void);
s32 sensor_wdr_init(void);

// The compiled-in tuning of this sensor.
struct Mn34220Tuning {
    ISP_CMOS_AGC_TABLE_S agc;
    ISP_CMOS_NOISE_TABLE_S noise;
    ISP_CMOS_DEMOSAIC_S demosaic;
    ISP_CMOS_GAMMA_S gamma;
};
extern const Mn34220Tuning g_stMn34220Linear;
extern const Mn34220Tuning g_stMn34220Wdr;
extern const ISP_CMOS_GAMMAFE_S g_stGammafeFSWDR;
extern const ISP_CMOS_RGBSHARPEN_S g_stIspRgbSharpen;
extern const ISP_PIRIS_ATTR_S g_stPirisAttr;
