// The audio codec chip, set up over its device as the audio road's first
// step (KX_DV_Audio_Run): the clocks and data interface for the input's work
// mode and rate, the DAC and headphone paths, and the ADC's gain and inputs
// from the sound level (aud_cfg.u32Level) and the input path preference.
#pragma once

#include "mpi/audio/comm/mpi_audio_comm.h"

// The codec for the device attributes' work mode and rate; 0 or -1.
s32 KX_AUDIO_CfgAcodec(const AIO_ATTR_S *attr);
// Every request of the set-up, each with its message where its failure
// counts; 0, or -1 for a rate without a code or a refused interface request.
s32 KX_Tlv320_CfgAudio(u32 workMode, u32 sampleRate);
