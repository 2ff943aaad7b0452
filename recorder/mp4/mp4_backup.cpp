#include "recorder/mp4/mp4_backup.h"

#include "board/board.h"
#include "core/board_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/crc.h>
}

namespace mp4 {

namespace {

const char *const kSuffixes[kBackupNames] = {"_bak.bin", "_bak2.bin", "_bak3.bin"};
const char kTempSuffix[] = ".new";
const char kCheckTag[4] = {'i', 'c', 'h', 'k'};
constexpr size_t kCheckSize = 8;

bool ends_with(const std::string &s, const std::string &end)
{
    return s.size() > end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool is_folder(const std::string &path)
{
    struct stat st;
    return bd_stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const std::string &path)
{
    struct stat st;
    return bd_stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folder_of(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

uint32_t crc32(const uint8_t *p, size_t n)
{
    return av_crc(av_crc_get_table(AV_CRC_32_IEEE_LE), UINT32_MAX, p, n) ^ UINT32_MAX;
}

void put_be32(std::vector<uint8_t> &b, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back((uint8_t)(v >> shift));
}

} // namespace

std::string backup_name(const std::string &movie, int which)
{
    return movie + kSuffixes[which >= 0 && which < kBackupNames ? which : 0];
}

std::string backup_temp_name(const std::string &index) { return index + kTempSuffix; }

std::string backup_of_temp(const std::string &temp)
{
    return ends_with(temp, kTempSuffix) ? temp.substr(0, temp.size() - strlen(kTempSuffix)) : temp;
}

BackupFile backup_file_kind(const std::string &name, std::string &movie)
{
    bool unfinished = ends_with(name, kTempSuffix);
    std::string index = unfinished ? name.substr(0, name.size() - strlen(kTempSuffix)) : name;
    for (const char *suffix : kSuffixes) {
        if (ends_with(index, suffix)) {
            movie = index.substr(0, index.size() - strlen(suffix));
            return unfinished ? BackupFile::unfinished : BackupFile::index;
        }
    }
    return BackupFile::none;
}

std::string find_backup(const std::string &movie)
{
    for (int i = 0; i < kBackupNames; i++)
        if (is_file(backup_name(movie, i)))
            return backup_name(movie, i);
    return "";
}

std::string create_backup(const std::string &movie, int &folder_fd)
{
    folder_fd = -1;
    std::string why = "every name is taken by a folder";
    for (int i = 0; i < kBackupNames; i++) {
        const std::string index = backup_name(movie, i), temp = backup_temp_name(index);
        if (is_folder(index) || is_folder(temp)) {
            printf("======%s is a folder: the backup index takes another name\n",
                   is_folder(index) ? index.c_str() : temp.c_str());
            continue;
        }
        int fd = bd_open(index.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        bool ok = fd >= 0 && bd_fsync(fd) == 0;
        if (fd >= 0)
            ok = bd_close(fd) == 0 && ok;
        folder_fd = ok ? bd_open(folder_of(index).c_str(), O_RDONLY | O_DIRECTORY) : -1;
        if (folder_fd >= 0) {
            if (i > 0)
                printf("------backup index of %s: %s\n", movie.c_str(), index.c_str());
            return index;
        }
        why = strerror(errno);
        if (fd >= 0)
            bd_remove(index.c_str());
        break; // another name would fail the same way
    }
    printf("======%s has no backup index (%s): a power cut leaves it unfinished\n", movie.c_str(), why.c_str());
    return "";
}

std::vector<uint8_t> backup_bytes(uint32_t payload, const std::vector<uint8_t> &moov)
{
    std::vector<uint8_t> b;
    b.reserve(4 + moov.size() + kCheckSize);
    put_be32(b, payload);
    b.insert(b.end(), moov.begin(), moov.end());
    uint32_t crc = crc32(b.data(), b.size());
    b.insert(b.end(), kCheckTag, kCheckTag + 4);
    put_be32(b, crc);
    return b;
}

bool replace_backup(const std::string &index, int folder_fd, const std::vector<uint8_t> &bytes)
{
    const std::string temp = backup_temp_name(index);
    int fd = bd_open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = board_write_all(fd, bytes.data(), bytes.size()) && bd_fsync(fd) == 0;
    ok = bd_close(fd) == 0 && ok;
    // The rename makes the new index the only one at once; the folder's
    // sync puts the rename itself on the card.
    if (ok && bd_rename(temp.c_str(), index.c_str()) == 0)
        return bd_fsync(folder_fd) == 0;
    bd_remove(temp.c_str());
    return false;
}

BackupCheck check_backup(const uint8_t *index, size_t size, uint32_t moov_size)
{
    // An older firmware's index ends with its moov (each one was longer than
    // the one it was written over); anything else after the moov must be
    // the check, or the index was damaged after its moov's header.
    size_t body = 4 + (size_t)moov_size;
    if (size == body)
        return BackupCheck::absent;
    if (size < body + kCheckSize || memcmp(index + body, kCheckTag, 4) != 0)
        return BackupCheck::bad;
    const uint8_t *p = index + body + 4;
    uint32_t stored = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    return stored == crc32(index, body) ? BackupCheck::ok : BackupCheck::bad;
}

} // namespace mp4
