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

// The ISP sensor operations, the exposure and white-balance callbacks and the
// three records registration hands over.
s32 sensor_init(void);
s32 sensor_global_init(void);
s32 cmos_set_image_mode(ISP_CMOS_SENSOR_IMAGE_MODE_S *pstSensorImageMode);
s32 cmos_set_wdr_mode(u8 u8Mode);
s32 cmos_get_isp_default(ISP_SENSOR_DEFAULT_S *pstDef);
s32 cmos_get_isp_black_level(ISP_SENSOR_BLC_S *pstBlackLevel);
s32 cmos_get_sns_regs_info(ISP_SENSOR_SYNC_REGS_S *pstSnsRegsInfo);
s32 cmos_set_pixel_detect(u32 bEnable);
s32 cmos_get_ae_default(AE_SENSOR_PROFILE_S *pstAeSnsDft);
void cmos_fps_set(f32 f32Fps, AE_SENSOR_PROFILE_S *pstAeSnsDft);
void cmos_slow_framerate_set(u32 u32FullLines, AE_SENSOR_PROFILE_S *pstAeSnsDft);
void cmos_inttime_update(u32 u32IntTime);
void cmos_gains_update(u32 u32Again, u32 u32Dgain);
void cmos_again_calc_table(u32 *pu32AgainLin, u32 *pu32AgainDb);
void cmos_dgain_calc_table(u32 *pu32DgainLin, u32 *pu32DgainDb);
void cmos_get_inttime_max(u32 u32Ratio, u32 *pu32IntTimeMax);
void cmos_ae_fswdr_attr_set(u32 *penFSWDRMode);
s32 cmos_get_awb_default(AWB_SENSOR_PROFILE_S *pstAwbSnsDft);
void cmos_init_sensor_exp_function(ISP_SENSOR_OPS_S *pstOps);
void cmos_init_ae_exp_function(AE_SENSOR_CALLBACKS_S *pstCallbacks);
void cmos_init_awb_exp_function(AWB_SENSOR_CALLBACKS_S *pstCallbacks);

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
