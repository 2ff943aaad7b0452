// Finishing a recording that was cut off: the backup index beside the file
// holds the mdat payload length and the moov of every sample written up to
// the last backup.
#include "recorder/mp4/mp4_writer.h"

#include "board/board.h"
#include "recorder/mp4/mp4_backup.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The index to read: the one found, else the first name, for the messages.
std::string backup_name(const char *filename)
{
    std::string found = mp4::find_backup(filename);
    return found.empty() ? mp4::backup_name(filename, 0) : found;
}

struct FileCloser {
    void operator()(FILE *f) const
    {
        if (f)
            fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

uint32_t be32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

int64_t file_size(FILE *f)
{
    struct stat st;
    return fstat(fileno(f), &st) == 0 ? (int64_t)st.st_size : -1;
}

// Offset of the mdat box among the top-level boxes of the file's first
// 512 bytes; -1 when it is not there.
int64_t find_mdat(FILE *f)
{
    uint8_t head[512];
    size_t n = fread(head, 1, sizeof head, f);
    size_t pos = 0;
    while (pos + 8 <= n) {
        uint32_t size = be32(head + pos);
        if (memcmp(head + pos + 4, "mdat", 4) == 0)
            return pos > 0 ? (int64_t)pos : -1;
        if (size < 8)
            return -1;
        pos += size;
    }
    return -1;
}

bool put_be32(FILE *f, int64_t at, uint32_t v)
{
    uint8_t be[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
    return fseeko(f, at, SEEK_SET) == 0 && fwrite(be, 4, 1, f) == 1;
}

// A movie opened for reading; none for a null name.
File open_movie(const char *filename) { return File(filename ? fopen(bd_path(filename).c_str(), "rb") : nullptr); }

} // namespace

bool mp4_file_finished(const char *filename)
{
    File f = open_movie(filename);
    if (!f)
        return false;
    int64_t size = file_size(f.get()), at = 0;
    bool mdat = false, moov = false;
    while (at + 8 <= size) {
        uint8_t head[16];
        if (fseeko(f.get(), at, SEEK_SET) != 0 || fread(head, 8, 1, f.get()) != 1)
            return false;
        uint64_t box = be32(head);
        if (box == 1) { // a 64-bit size follows the type
            if (fread(head + 8, 8, 1, f.get()) != 1)
                return false;
            box = (uint64_t)be32(head + 8) << 32 | be32(head + 12);
        }
        // A size of 0 runs to the end of the file: the mdat of a file whose
        // writer never came back to size it.
        if (box < 8 || box > (uint64_t)(size - at))
            return false;
        mdat = mdat || memcmp(head + 4, "mdat", 4) == 0;
        moov = moov || memcmp(head + 4, "moov", 4) == 0;
        at += (int64_t)box;
    }
    return at == size && mdat && moov;
}

bool mp4_file_holds_data(const char *filename)
{
    File f = open_movie(filename);
    if (!f)
        return false;
    int64_t size = file_size(f.get()), mdat = find_mdat(f.get());
    return mdat < 0 ? size > 0 : size > mdat + 8;
}

int32_t MP4_CheckFileIntegrity(const char *filename)
{
    if (!filename)
        return MP4_ERR_ARG;
    return mp4::find_backup(filename).empty() ? MP4_ERR_ARG : 0;
}

namespace {

// The whole index, when it describes a payload within the movie's `room`
// bytes after the mdat header and a whole moov, and its check (when it has
// one) agrees; else empty, having said why.
std::vector<uint8_t> read_index(FILE *bak, int64_t room)
{
    int64_t size = file_size(bak);
    uint8_t words[8];
    bool read = size >= 8 && fread(words, 8, 1, bak) == 1;
    uint32_t payload = read ? be32(words) : 0;
    uint32_t moov_size = read ? be32(words + 4) : 0;
    // Both sizes must fit the files before anything is allocated.
    if (payload == 0 || moov_size < 8 || (int64_t)moov_size > size - 4 || (int64_t)payload > room) {
        printf("\n ----->> Bak File error can't repair mp4 \n ");
        return {};
    }
    // The moov and the check after it; anything further is not the index's.
    std::vector<uint8_t> index;
    try {
        index.resize((size_t)std::min<int64_t>(size, 4 + (int64_t)moov_size + 8));
    } catch (const std::bad_alloc &) {
        printf("\n ----->> malloc mem fail \n ");
        return {};
    }
    memcpy(index.data(), words, 8);
    if (fread(index.data() + 8, index.size() - 8, 1, bak) != 1 || memcmp(index.data() + 8, "moov", 4) != 0 ||
        mp4::check_backup(index.data(), index.size(), moov_size) == mp4::BackupCheck::bad) {
        printf("\n ----->> Bak File error can't repair mp4 \n ");
        return {};
    }
    return index;
}

} // namespace

int32_t MP4_ReparieFile(const char *filename)
{
    if (!filename)
        return MP4_ERR_ARG;
    const std::string bak_name = backup_name(filename);
    std::string bak_host = bd_path(bak_name);
    std::string mp4_host = bd_path(filename);

    File bak(fopen(bak_host.c_str(), "rb"));
    if (!bak) {
        printf("\n ----->> Could not open bak file '%s' \n", bak_name.c_str());
        return MP4_ERR_ARG;
    }
    // From here on a failure deletes the index: it cannot finish this file.
    auto give_up = [&](int32_t code) {
        bak.reset();
        remove(bak_host.c_str());
        return code;
    };

    File mp4(fopen(mp4_host.c_str(), "rb"));
    if (!mp4) {
        printf("\n ----->> Could not open output file '%s' \n", filename);
        return give_up(MP4_ERR_ARG);
    }
    int64_t mdat = find_mdat(mp4.get());
    int64_t mp4_size = file_size(mp4.get());
    mp4.reset();
    if (mdat < 0) {
        printf("\n ----->> Could not get MDAT informationts '%s' \n", filename);
        return give_up(MP4_ERR_ARG);
    }
    std::vector<uint8_t> index = read_index(bak.get(), mp4_size - mdat - 8);
    if (index.empty())
        return give_up(MP4_ERR_ARG);
    uint32_t payload = be32(index.data()), moov_size = be32(index.data() + 4);
    const uint8_t *moov = index.data() + 4;

    // The moov goes right after the payload the index describes, the mdat
    // box is sized to end there, and the file ends with the moov. A write
    // that fails keeps the index: every step can be done again, by a later try.
    int64_t moov_at = mdat + 8 + payload;
    mp4.reset(fopen(mp4_host.c_str(), "r+b"));
    if (!mp4) {
        printf("--> openfile error !\n ");
        printf("\n ----->> repair file made size fail ! ");
        return MP4_ERR_WRITE;
    }
    if (fseeko(mp4.get(), moov_at, SEEK_SET) != 0 || fwrite(moov, moov_size, 1, mp4.get()) != 1 ||
        fflush(mp4.get()) != 0) {
        printf("\n ----->> repair file moov fail ! ");
        return MP4_ERR_WRITE;
    }
    if (!put_be32(mp4.get(), mdat, payload + 8) || fflush(mp4.get()) != 0 ||
        ftruncate(fileno(mp4.get()), moov_at + moov_size) != 0 || bd_fsync(fileno(mp4.get())) != 0) {
        printf("\n ----->> repair file made size fail ! ");
        return MP4_ERR_WRITE;
    }
    if (fclose(mp4.release()) != 0) {
        printf("\n ----->> repair file made size fail ! ");
        return MP4_ERR_WRITE;
    }
    printf("\n ----->> repair file %s success ! \n", filename);
    give_up(0);
    return 0;
}
