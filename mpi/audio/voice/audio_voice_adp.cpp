// Registration of the built-in voice codecs.
#include "mpi/audio/voice/audio_voice_adp.h"

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"

// The voice engine behind these entries is not part of this firmware yet: no
// voice codec is registered, and the units say so.
s32 DU_DUZ_AENC_VoiceInit(void) { return DU_ERR_AENC_NOT_SUPPORT; }

s32 DU_DUZ_ADEC_VoiceInit(void) { return DU_ERR_ADEC_NOT_SUPPORT; }
