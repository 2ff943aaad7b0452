// The ISP's colour management (ACM) block: its attribute record and
// coefficient table, kept by the ISP kernel driver. The white-balance
// library drives the gains; scene auto-tuning sets the attributes.
#pragma once

#include "isp/isp_requests.h"

// Internal operations (also the white-balance library's).
s32 ISP_ACM_GetAttr(ISP_ACM_CFG_S *pstCfg);
s32 ISP_ACM_SetAttr(const ISP_ACM_CFG_S *pstCfg);
s32 ISP_ACM_GetCoeff(ISP_ACM_LUT_S *pstLut, u32 u32Mode);
s32 ISP_ACM_SetCoeff(const ISP_ACM_LUT_S *pstLut, u32 u32Mode);

s32 DU_DUZ_ISP_SetAcmAttr(s32 s32Dev, const ISP_ACM_CFG_S *pstAcmAttr);
s32 DU_DUZ_ISP_GetAcmAttr(s32 s32Dev, ISP_ACM_CFG_S *pstAcmAttr);
s32 DU_DUZ_ISP_SetAcmCoeff(s32 s32Dev, const ISP_ACM_LUT_S *pstAcmLut, u32 u32Mode);
s32 DU_DUZ_ISP_GetAcmCoeff(s32 s32Dev, ISP_ACM_LUT_S *pstAcmLut, u32 u32Mode);
