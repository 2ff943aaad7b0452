// Recording files on the card: the names of the movies and photos, and room
// for the next one.
//
// Movies: /mnt/sdcard0/MOVIE/KORVANnnnnnnn.mp4, numbered 0000001..9999999
// and round again. Photos: /mnt/sdcard0/PHOTO/KR1nn/KORVANnnn.jpg, 001..999
// per folder, folders KR100..KR199 and no further.
//
// At boot, after the card is mounted: KX_RecordCtr_InitAllfileName, then
// File_Get_Name_Thread, which scans the card once for the oldest and newest
// movie and the current photo folder and number. KX_RecordCtr_Getfilename
// hands out the next name (the MP4 thread for movies, the snapshot code for
// photos); in loop recording it first deletes the oldest movies until the
// next file fits. A name request made while the scan runs waits for it.
#pragma once

#include <cstddef>
#include <cstdint>

// Kinds of file.
enum : uint8_t { KX_REC_TYPE_MOVIE = 1, KX_REC_TYPE_ALARM = 3, KX_REC_TYPE_PHOTO = 6 };

// Buffer size for a name from KX_RecordCtr_Getfilename; every path fits.
constexpr size_t KX_REC_FILENAME_SIZE = 64;

// Name state, process-wide; fixed-width digit texts with a terminator.
// Written by the boot scan's thread and by the name requests (the MP4 and
// snapshot threads), all under the names lock of rec_files.cpp; a request
// waits for a scan under way.
extern char test_hname[8];         // oldest movie number, next to delete in loop recording
extern char test_tname[8];         // newest movie number; the next movie takes the following one
extern char test_pho_dir_tname[6]; // current photo folder, "KR1nn"
extern char test_pho_tname[4];     // last photo number in the current folder
extern uint8_t u8FileHeadNameIsChange; // the scan's found-something flag

// Name slots of gRecState, filled from the record index files.
enum {
    REC_SLOT_MANUAL_HEAD,
    REC_SLOT_MANUAL_TAIL,
    REC_SLOT_ALARM_HEAD,
    REC_SLOT_ALARM_TAIL,
    REC_SLOT_PHOTO_HEAD,
    REC_SLOT_PHOTO_TAIL,
    REC_SLOT_NUM
};

struct KX_REC_STATE_S {
    uint8_t au8State[7];     // [3]: copy of the photo entry's loop-recording flag
    uint16_t au16Value[4];
    char szName[64];
    char aszSlot[REC_SLOT_NUM][8]; // up to seven characters and a terminator
};
// Under the same names lock: filled from the index files at boot (main
// thread), read and advanced by the name requests.
extern KX_REC_STATE_S gRecState;

// Boot, once the card is mounted and before the scan: finishes every movie
// that a power cut or a pulled card left unfinished (its backup index beside
// it, in MOVIE or, for a file locked while it was written, in ALARM with the
// index still in MOVIE) with MP4_CheckFileIntegrity and MP4_ReparieFile. An
// index beside a finished movie, or beside none, goes, and so does an index
// cut off while it was written (the one before it is whole). Every movie
// found this way that is not finished is kept as it is for a computer to
// salvage, and said so (with its index, where one stays, for the next
// boot); only a movie that holds nothing goes. The number of movies finished.
int rec_files_repair_unfinished(void);

// The next photo name no file has, after the last photo on the card (the
// folders scanned afresh); 1, or 0 when none is left or the card can't be
// read. The number is taken, as KX_RecordCtr_Getfilename's are.
int rec_files_next_free_photo(char *name, size_t size);

// Boot: creates the MOVIE and PHOTO folders and reads the manual and photo
// index files. 1, or 255 when the card's folder cannot be read.
int KX_RecordCtr_InitAllfileName();

// Reads the index file of a kind (1 /mnt/manualrec.dat, 3 /mnt/alarmrec.dat,
// 6 /mnt/picrec.dat) into gRecState. 0, or 255 for another kind or an
// unreadable file. Lines longer than 127 characters, lines that are not a
// decimal code and a name of at most seven characters, and codes that select
// no slot are passed over.
int KX_RecordCtr_InitRecfilename(int type);

// Starts the one-shot scan thread; the thread-creation result.
int File_Get_Name_Thread();
// The scan itself (the thread's body).
void *Get_File_Thread_Test(void *arg);

// Writes the path of the next file of `type` into `name` (at least
// KX_REC_FILENAME_SIZE bytes), a name no file on the card has (numbers that
// are taken are passed over), and returns 1; 0 when no name can be given: not
// enough room and no loop recording, nothing left to delete, counters
// exhausted, or the free space could not be measured (then nothing is
// deleted). `entry` selects the gRecCmd entry whose loop-recording flag
// applies (the MP4 thread passes 1, the snapshot code 0); `minutes` is the
// file length and `bitRate` the video bit rate in bits/s.
int KX_RecordCtr_Getfilename(char *name, size_t size, uint8_t entry, uint8_t type, uint32_t minutes,
                             uint32_t bitRate);

// Free space of the card in KiB, as `df` reports it; 0 when df has no line
// for the card, -1 when it cannot be measured.
long long KX_RecordCtr_CalculDiskSpace();

// Advances a seven-digit number in place (a buffer of 8); 9999999 is
// followed by 0000001. 1, or 0 when it was not seven digits (it is then
// "0000001").
int KX_RecordCtr_CalculateName(char *number7);
// Advances a photo folder in place (a buffer of 6) and creates it; the new
// folder becomes the current one. 1, or 0 after KR199, for a malformed name
// (it is then "KR100") or when the folder cannot be created.
int KX_PhotoDirCtr_CalculateName(char *folder5);
// Advances a photo number in place (a buffer of 4); after 999 it moves to the
// next folder and starts at 001. 1, or 0 when there is no next folder or the
// text was not three digits (it is then "001").
int KX_PhotoCtr_CalculateName(char *number3);

// The scan's per-entry updates; 1 when the name counted, else 0.
int Set_HTName_File(const char *name, size_t length);
int Set_PhotoDirTName(const char *name);
int Set_PhotoTName(const char *name, size_t length);
