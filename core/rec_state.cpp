// The record-state table and its initial values.
#include "core/rec_state.h"

KX_REC_CMD_S gRecCmd[KX_REC_ENTRY_NUM] = {
    {KX_REC_STATE_STOPPED, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0}, 0},
    {KX_REC_STATE_STOPPED, 0, 0, 0, 1, 0, 0, 0, 0, {0, 0, 0}, 3},
    {},
};

int setDefualtCmd()
{
    KX_REC_CMD_S &photo = gRecCmd[KX_REC_ENTRY_PHOTO];
    photo.RecState = KX_REC_STATE_STOPPED;
    photo.u8Param1 = 0;
    photo.bCycleMode = 0;
    photo.PackSize = 0;

    KX_REC_CMD_S &rec = gRecCmd[KX_REC_ENTRY_RECORD];
    rec.RecState = KX_REC_STATE_STOPPED;
    rec.u8Param1 = 0;
    rec.bCycleMode = 1;
    rec.PackSize = 3;
    return 0;
}

std::atomic<int32_t> g_s32RecRealSta{KX_REC_STATE_STOPPED};

int32_t KX_Get_Record_State(void) { return g_s32RecRealSta; }
void KX_Set_Record_State(int32_t state) { g_s32RecRealSta = state; }
