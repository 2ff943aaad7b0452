// The backup index beside a movie that is being written: its names, its
// bytes, and its replacement, made so that a cut at any moment leaves the
// previous index whole. The writer makes and replaces it; the repair at boot
// finds and reads it.
//
// Bytes: the mdat payload length (big-endian u32), the moov box, then a
// check: "ichk" and the CRC-32 of everything before it (big-endian u32). An
// index that ends with its moov (an older firmware's, without the check) is
// still read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mp4 {

// Names tried for a movie's index, in order: "%s_bak.bin", then, where a
// folder takes that name, "%s_bak2.bin" and "%s_bak3.bin".
constexpr int kBackupNames = 3;
std::string backup_name(const std::string &movie, int which);
// Where a new index is written before it takes the index's name, and back.
std::string backup_temp_name(const std::string &index);
std::string backup_of_temp(const std::string &temp);

enum class BackupFile { none, index, unfinished };
// What a file name (bare or a path) is to the backups: an index, the
// unfinished replacement of one (`movie` is set for both), or neither.
BackupFile backup_file_kind(const std::string &name, std::string &movie);

// The movie's index on the card (a regular file, the first name found), or
// "" when it has none.
std::string find_backup(const std::string &movie);

// Makes the empty index of a new movie, on the card at once, under the first
// of its names that no folder takes, and opens that folder into `folder_fd`
// (its renames are synced through it). The index name, or "" when none can
// be made; both cases are said on standard output.
std::string create_backup(const std::string &movie, int &folder_fd);

// The bytes of an index.
std::vector<uint8_t> backup_bytes(uint32_t payload, const std::vector<uint8_t> &moov);

// Puts `bytes` in the index's place: written under the temporary name,
// synced, renamed over the index, the folder synced. True once it is there;
// on false the previous index is untouched.
bool replace_backup(const std::string &index, int folder_fd, const std::vector<uint8_t> &bytes);

enum class BackupCheck { ok, absent, bad };
// The check after an index's moov of `moov_size` bytes, for the `size`
// bytes of the index at `index` (at most the moov and the check).
BackupCheck check_backup(const uint8_t *index, size_t size, uint32_t moov_size);

} // namespace mp4
