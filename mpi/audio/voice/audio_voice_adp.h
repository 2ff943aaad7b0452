// The built-in voice codecs (LPCM, G.711, ADPCM, G.726) as entries of the
// audio encoder's and decoder's registries.
#pragma once

#include "mpi/common/mpi_common.h"

// Register the five encoders / decoders; the first failing registration's
// status, else 0.
s32 DU_DUZ_AENC_VoiceInit(void);
s32 DU_DUZ_ADEC_VoiceInit(void);
