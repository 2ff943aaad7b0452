// Inside the adapter's block-activity analysis: about every two seconds one
// picture of a processing channel, cut into 8 x 8 tiles; per tile an
// integral image on the analysis engine and from it the standard deviation
// of the luma of every 16 x 16 block (one activity byte per block); then the
// engine's histogram of those activities for the encoder's QP hook. The
// engine reaches it through CommSceneautoIVEStart and CommSceneautoIVEStop
// (du_sceneauto_adpt.h).
//
// Who writes what: CommSceneautoIVEStart fills stIveMd before the thread
// runs; the thread ("ImageAnaly") only reads the record and works in the
// memory it points at; CommSceneautoIVEStop clears the thread's run flag,
// joins it and frees the memory.
#pragma once

#include "ive/mpi_ive.h"
#include "mpi/common/video_frame_requests.h"

struct SceneautoIveMd {
    IVE_IMG_DESC_S stHistSrc;  // the activity image as the histogram takes it (maybe reshaped)
    IVE_IMG_DESC_S stIntegBuf; // type 15, (tw + 2) x (th + 1): a zero row and two zero elements per row
    IVE_IMG_DESC_S stIntegOut; // type 15, tw x th, inside the buffer from row 1, element 2
    IVE_IMG_DESC_S stActivity; // U8C1, one byte per block, tile-major
    u32 u32HistPhyAddr;        // 256 u32 bins
    u8 *pu8HistVirAddr;
    u16 u16Width, u16Height; // the analysed channel's picture
    u32 bQpSec;              // selects the second QP hook; nothing sets it
    u32 u32VpssGrp, u32VpssChn;
};

extern SceneautoIveMd stIveMd;

// The memory of a 4096-byte histogram block.
constexpr u32 SCENEAUTO_IVE_HIST_SIZE = 4096;

// Sets the depth of the record's channel and allocates the buffers for its
// picture size (W, H, group and channel already in the record); 0 or the
// failing platform status, with nothing left allocated.
s32 IVE_DetectInit(SceneautoIveMd *pstIveMd);
// Frees every block the record holds and clears its addresses; 0.
s32 IVE_DetectDestory(SceneautoIveMd *pstIveMd);

// A frame of stIveMd's channel, and its release; the first argument is not used.
s32 DU_DUZ_IVE_GetFrame(u32 u32Unused, VIDEO_FRAME_REC_S *pstFrame, u32 u32MilliSec);
s32 DU_DUZ_IVE_ReleaseFrame(u32 u32Unused, VIDEO_FRAME_REC_S *pstFrame);

// The activities of tile `u32Tile` from its integral image into the
// activity image; 0.
s32 EncMadiCal(const IVE_IMG_DESC_S *pstActivity, const IVE_IMG_DESC_S *pstInteg, u32 u32Tile);

// The encoder's per-macroblock QP hooks: the other half of the control is
// not part of this firmware, so they take the histogram and do nothing; 0.
s32 EncSetMbQp(u32 u32Chn, u8 *pu8Hist, u32 u32Width, u32 u32Height, u32 u32ActivityBytes);
s32 EncSetMbQpSec(u32 u32Chn, u8 *pu8Hist, u32 u32Width, u32 u32Height, u32 u32ActivityBytes);

void *ImageAnalyProc(void *arg);
