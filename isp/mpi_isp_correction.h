// The ISP's corrections of what the lens, the sensor and the air do to the
// picture: lens shading, fixed-pattern noise (done by the video input),
// stabilisation (the video input's) and defog. Each call checks the device
// (0 only) and its record and refuses a bad field with nothing changed.
#pragma once

#include "isp/isp_sensor.h"
#include "mpi/video/vi/mpi_vi.h"

typedef s32 ISP_DEV;

// ---- lens shading --------------------------------------------------------------------------
// One colour channel's correction: a gain per node that grows with the
// distance from the channel's centre (isp/isp_hw_regs.h says how).
struct ISP_SHADING_TAB_S {
    u32 u32ChnCfg; // the channel word: how far apart the nodes lie
    s32 s32X;      // centre, 0..65535
    s32 s32Y;      // centre, 0..65535
    u32 au32Table[SHADING_NODE_NUM]; // 0..65535, 4096 = 1x
};

struct ISP_SHADING_ATTR_S {
    u32 bEnable;
    u32 u32TableNodeNum; // 0..129: the nodes written
    ISP_SHADING_TAB_S astShadingTab[3]; // R, G, B
};

s32 DU_DUZ_ISP_SetShadingAttr(ISP_DEV IspDev, const ISP_SHADING_ATTR_S *pstShadingAttr);
s32 DU_DUZ_ISP_GetShadingAttr(ISP_DEV IspDev, ISP_SHADING_ATTR_S *pstShadingAttr);

// ---- fixed-pattern noise -----------------------------------------------------------------
enum ISP_FPN_TYPE_E : u32 { ISP_FPN_TYPE_FRAME = 0, ISP_FPN_TYPE_LINE = 1 };

// A calibration: the video input's parameters in, the dark frame's
// information out (its ISO is the ISP's at the time).
struct ISP_FPN_CALIBRATE_ATTR_S {
    u32 u32Param0;
    u32 u32Param1;
    u32 enFpnType;
    u32 u32Reserved;
    VI_FPN_FRAME_INFO_S stFpnFrmInfo;
};

// A correction with a calibration's frame information: the strength follows
// the ISO in auto mode, is `u32Strength` in manual mode.
struct ISP_FPN_ATTR_S {
    u32 bEnable;
    u32 enOpType; // ISP_OP_TYPE_E
    u32 enFpnType;
    u32 u32Reserved;
    VI_FPN_FRAME_INFO_S stFpnFrmInfo;
    u32 u32Strength;    // 0..1023, 256 = 1x
    u32 u32CurStrength; // out: the strength in force
};

s32 DU_DUZ_ISP_FPNCalibrate(ISP_DEV IspDev, ISP_FPN_CALIBRATE_ATTR_S *pstCalibrateAttr);
s32 DU_DUZ_ISP_SetFPNAttr(ISP_DEV IspDev, const ISP_FPN_ATTR_S *pstFPNAttr);
s32 DU_DUZ_ISP_GetFPNAttr(ISP_DEV IspDev, ISP_FPN_ATTR_S *pstFPNAttr);

// ---- stabilisation ----------------------------------------------------------------------
struct ISP_DIS_ATTR_S {
    u32 bEnable;
};

s32 DU_DUZ_ISP_SetDISAttr(ISP_DEV IspDev, const ISP_DIS_ATTR_S *pstDISAttr);
s32 DU_DUZ_ISP_GetDISAttr(ISP_DEV IspDev, ISP_DIS_ATTR_S *pstDISAttr);

// ---- defog ----------------------------------------------------------------------------------
struct ISP_DEFOG_ATTR_S {
    u32 bEnable;
    u8 u8HorizontalBlock; // 1..16
    u8 u8VerticalBlock;   // 1..15
    u32 enOpType;         // ISP_OP_TYPE_E
    u8 u8ManualStrength;  // the strength in manual mode
    u8 u8AutoStrength;    // scales the automatic strength, 128 = 1x
};

s32 DU_DUZ_ISP_SetDeFogAttr(ISP_DEV IspDev, const ISP_DEFOG_ATTR_S *pstDefogAttr);
s32 DU_DUZ_ISP_GetDeFogAttr(ISP_DEV IspDev, ISP_DEFOG_ATTR_S *pstDefogAttr);
