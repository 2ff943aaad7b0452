// The MP4 writer: one H.264 or H.265 video track and one AAC-LC audio track
// per file, over libavformat's MP4 muxer. Samples are stamped at a constant
// rate from the writer's own counts; a backup index beside the file lets an
// unfinished recording be repaired.
//
// Order of calls for one file: (MP4_InitWriter once, optional) ->
// MP4_CreateWriter -> MP4_SetVideoStreamParams -> MP4_SetAudioStreamParams ->
// MP4_BeginWriting -> MP4_WriteFrame ... -> MP4_EndWriting -> MP4_DestroyWriter.
// File names are firmware paths ("/mnt/sdcard0/MOVIE/..."). One writer is used
// by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <pthread.h>
#include <vector>

typedef void *MP4Handle;

enum MP4_CodecID_E {
    MP4_CODEC_ID_H264 = 0,
    MP4_CODEC_ID_AACLC = 1,
    MP4_CODEC_ID_G711_M = 2,
    MP4_CODEC_ID_G711_A = 3,
    MP4_CODEC_ID_H265 = 4,
    MP4_CODEC_ID_BUTT = 5,
};
typedef MP4_CodecID_E MP4_CODECID_E;

// Result codes.
constexpr int32_t MP4_ERR_ARG = (int32_t)0x80000001;      // bad argument, header, handle, repair input
constexpr int32_t MP4_ERR_STREAM = (int32_t)0x80000003;   // stream allocation
constexpr int32_t MP4_ERR_CODEC = (int32_t)0x80000004;    // codec the file cannot carry
constexpr int32_t MP4_ERR_WRITE = (int32_t)0x80000005;    // no slot, filter, muxing, trailer, repair write
constexpr int32_t MP4_ERR_OPEN = (int32_t)0x80000012;     // output file cannot be opened

struct MP4_BITMAPINFOHEADER_S {
    MP4_CODECID_E eCodeid;
    uint32_t u32BiWidth;
    uint32_t u32BiHeight;
    uint32_t u32BitCount;
    uint32_t u32avgBitRate;   // bits/s
    uint32_t u32samplePerSec; // frames/s; 2997 means 29.97, 1498 means 14.98
    uint32_t cbSequenceHeader;
    uint8_t ucSequenceHeader[256];
};

struct MP4_WAVEFORMATEX_S {
    MP4_CODECID_E eCodeid;
    uint32_t u32Channels;
    uint32_t u32SamplesPerSec;
    uint32_t u32AvgBytesPerSec;
    uint16_t u16BlockAlign; // samples per AAC packet
    uint16_t u16BitsPerSample;
    uint32_t cbSequenceHeader;
    uint8_t ucSequenceHeader[256];
};

namespace mp4 {
struct Writer; // the muxer and the sample table of one file
}

// One writer slot.
struct MP4_MUX_D {
    MP4Handle StreamHandel = nullptr; // the muxer's output context
    int Stat = 0;                     // 1: slot in use
    int WriteFlg = 0;                 // 1: decoder configuration taken from a key frame
    int FilterFlg = 0;                // 1: audio stream set, ADTS headers stripped
    std::vector<uint8_t> temp_extradata; // the decoder configuration (Annex-B parameter sets)
    char bakfile[512] = {};           // backup index name (firmware path)
    int tpb = -1;                     // descriptor of the index's folder (each new index is renamed
                                      // into place and the folder synced), or -1: no index
    int frequency = 0;                // key frames since the last backup
    int64_t u64Duration = 0;          // file duration in milliseconds, set by MP4_EndWriting
    mp4::Writer *writer = nullptr;
};

// A slot is claimed, found and freed (Stat, StreamHandel) under
// g_MP4_MUX_MUTEX; the rest of a claimed slot is the thread's that writes
// that file (in the camera the MP4 thread).
constexpr int MP4_MUX_SLOTS = 5;
extern MP4_MUX_D MP4_MUX_Data[MP4_MUX_SLOTS];
extern pthread_mutex_t g_MP4_MUX_MUTEX;
// Backup interval in key frames; 0: no backup index. Set by MP4_InitWriter
// under g_MP4_MUX_MUTEX and read without it by the writer calls: in the
// camera the MP4 thread makes all of them.
extern int FileReaiprefreq;

int32_t MP4_InitWriter(int Reaiprefreq);
// A file that is there already is never written over: MP4_ERR_OPEN.
int32_t MP4_CreateWriter(MP4Handle *ppMp4Handle, const char *pu8FileName);
// Stream numbers are 1-based: the number of streams after adding.
int32_t MP4_SetVideoStreamParams(MP4Handle pMp4Handle, int32_t *ps32StreamNumber,
                                 const MP4_BITMAPINFOHEADER_S *pbitMapInfo);
int32_t MP4_SetAudioStreamParams(MP4Handle pMp4Handle, int32_t *ps32StreamNumber,
                                 const MP4_WAVEFORMATEX_S *pWavInfo);
int32_t MP4_BeginWriting(MP4Handle pMp4Handle);
// Writes one sample: a whole Annex-B frame (key frames begin with their
// parameter sets) or one AAC packet, ADTS-framed or raw. The time stamp is
// not used: samples follow each other at the stream's constant rate.
int32_t MP4_WriteFrame(MP4Handle pMp4Handle, uint32_t u32StreamNumber, uint64_t u64TimeStamp,
                       const uint8_t *pu8DataBuffer, uint32_t u32DataLength, uint32_t u32KeyFrameFlag);
int32_t MP4_EndWriting(MP4Handle pMP4Handle);
int32_t MP4_DestroyWriter(MP4Handle pMp4Handle, uint64_t *pu64Duration);

// True once writing the file failed (its medium refused the bytes, a card
// pulled): every later write is refused at once, and the file, when it was
// begun, keeps its backup index for the repair.
bool mp4_write_failed(MP4Handle pMp4Handle);

// True when the file's top-level boxes fill it exactly and hold an mdat and
// a moov: a finished file, whatever index lies beside it.
bool mp4_file_finished(const char *filename);

// True when the file holds media that a repair or a salvage could give back:
// bytes after its mdat box header, or bytes where no mdat can be found.
bool mp4_file_holds_data(const char *filename);

// The mdat payload length that the index `index` gives the movie, when the
// index is whole for it: its moov within it, its check verified (an index
// without a check, an older firmware's, only when `need_check` is false),
// its payload within the movie. -1 otherwise.
int64_t mp4_index_payload(const char *filename, const char *index, bool need_check);

// 0 when the file's backup index exists (the file was not finished).
int32_t MP4_CheckFileIntegrity(const char *filename);
// Finishes an abandoned file from its backup index, then deletes the index;
// an index that cannot be read (damaged, or not this file's) is deleted and
// the file left as it is.
int32_t MP4_ReparieFile(const char *filename);

uint32_t big_little_endian(uint32_t x);
