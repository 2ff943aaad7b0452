// Finishing a recording that was cut off: the backup index beside the file
// holds the mdat payload length and the moov of every sample written up to
// the last backup. Every read and write goes through the board's file
// calls, so that the card's medium sees the repair as it sees the recording.
#include "recorder/mp4/mp4_writer.h"

#include "board/board.h"
#include "core/board_file.h"
#include "recorder/mp4/mp4_backup.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <vector>

namespace {

// The index to read: the one found, else the first name, for the messages.
std::string backup_name(const char *filename)
{
    std::string found = mp4::find_backup(filename);
    return found.empty() ? mp4::backup_name(filename, 0) : found;
}

// A board descriptor, closed when it goes.
class BoardFd {
public:
    explicit BoardFd(int fd = -1) : fd_(fd) {}
    ~BoardFd() { close(); }
    BoardFd(const BoardFd &) = delete;
    BoardFd &operator=(const BoardFd &) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes it: false when the close failed.
    bool close()
    {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || bd_close(fd) == 0;
    }

private:
    int fd_;
};

BoardFd open_file(const char *name, int flags) { return BoardFd(name ? bd_open(name, flags) : -1); }

uint32_t be32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

// Offset of the mdat box among the top-level boxes of the file's first
// 512 bytes; -1 when it is not there.
int64_t find_mdat(int fd)
{
    uint8_t head[512];
    const int64_t size = board_file_size(fd);
    const size_t n = (size_t)std::clamp<int64_t>(size, 0, sizeof head);
    if (size < 0 || !board_read_at(fd, 0, head, n))
        return -1;
    size_t pos = 0;
    while (pos + 8 <= n) {
        uint32_t box = be32(head + pos);
        if (memcmp(head + pos + 4, "mdat", 4) == 0)
            return pos > 0 ? (int64_t)pos : -1;
        if (box < 8)
            return -1;
        pos += box;
    }
    return -1;
}

// Where a movie's mdat box lies and how many bytes follow its header.
struct Mdat {
    bool opened = false;
    int64_t at = -1;   // the box's offset, -1 when none was found
    int64_t room = 0;  // bytes after its header
};

Mdat movie_mdat(const char *filename)
{
    Mdat m;
    BoardFd f = open_file(filename, O_RDONLY);
    m.opened = (bool)f;
    if (!f)
        return m;
    m.at = find_mdat(f.get());
    if (m.at >= 0)
        m.room = board_file_size(f.get()) - m.at - 8;
    return m;
}

enum class IndexFault { none, bad, memory };

// The whole index from `fd`, when it describes a payload within the movie's
// `room` bytes after the mdat header and a whole moov, and its check
// agrees (an index without one is taken unless `need_check`).
IndexFault load_index(int fd, int64_t room, bool need_check, std::vector<uint8_t> &index)
{
    index.clear();
    const int64_t size = board_file_size(fd);
    uint8_t words[8];
    const bool read = size >= 8 && board_read_at(fd, 0, words, 8);
    const uint32_t payload = read ? be32(words) : 0, moov_size = read ? be32(words + 4) : 0;
    // Both sizes must fit the files before anything is allocated.
    if (payload == 0 || moov_size < 8 || (int64_t)moov_size > size - 4 || (int64_t)payload > room)
        return IndexFault::bad;
    // The moov and the check after it; anything further is not the index's.
    try {
        index.resize((size_t)std::min<int64_t>(size, 4 + (int64_t)moov_size + 8));
    } catch (const std::bad_alloc &) {
        return IndexFault::memory;
    }
    memcpy(index.data(), words, 8);
    const mp4::BackupCheck check =
        board_read_at(fd, 8, index.data() + 8, index.size() - 8) && memcmp(index.data() + 8, "moov", 4) == 0
            ? mp4::check_backup(index.data(), index.size(), moov_size)
            : mp4::BackupCheck::bad;
    if (check == mp4::BackupCheck::bad || (need_check && check != mp4::BackupCheck::ok)) {
        index.clear();
        return IndexFault::bad;
    }
    return IndexFault::none;
}

} // namespace

bool mp4_file_finished(const char *filename)
{
    BoardFd f = open_file(filename, O_RDONLY);
    if (!f)
        return false;
    int64_t size = board_file_size(f.get()), at = 0;
    bool mdat = false, moov = false;
    while (at + 8 <= size) {
        uint8_t head[16];
        if (!board_read_at(f.get(), at, head, 8))
            return false;
        uint64_t box = be32(head);
        if (box == 1) { // a 64-bit size follows the type
            if (!board_read_at(f.get(), at + 8, head + 8, 8))
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
    BoardFd f = open_file(filename, O_RDONLY);
    if (!f)
        return false;
    int64_t mdat = find_mdat(f.get()), size = board_file_size(f.get());
    return mdat < 0 ? size > 0 : size > mdat + 8;
}

int64_t mp4_index_payload(const char *filename, const char *index, bool need_check)
{
    Mdat m = movie_mdat(filename);
    BoardFd f = open_file(index, O_RDONLY);
    std::vector<uint8_t> bytes;
    if (m.at < 0 || !f || load_index(f.get(), m.room, need_check, bytes) != IndexFault::none)
        return -1;
    return be32(bytes.data());
}

int32_t MP4_CheckFileIntegrity(const char *filename)
{
    if (!filename)
        return MP4_ERR_ARG;
    return mp4::find_backup(filename).empty() ? MP4_ERR_ARG : 0;
}

int32_t MP4_ReparieFile(const char *filename)
{
    if (!filename)
        return MP4_ERR_ARG;
    const std::string bak_name = backup_name(filename);
    BoardFd bak = open_file(bak_name.c_str(), O_RDONLY);
    if (!bak) {
        printf("\n ----->> Could not open bak file '%s' \n", bak_name.c_str());
        return MP4_ERR_ARG;
    }
    // From here on a failure deletes the index: it cannot finish this file.
    auto give_up = [&](int32_t code) {
        bak.close();
        bd_remove(bak_name.c_str());
        return code;
    };

    const Mdat mdat = movie_mdat(filename);
    if (!mdat.opened) {
        printf("\n ----->> Could not open output file '%s' \n", filename);
        return give_up(MP4_ERR_ARG);
    }
    if (mdat.at < 0) {
        printf("\n ----->> Could not get MDAT informationts '%s' \n", filename);
        return give_up(MP4_ERR_ARG);
    }
    std::vector<uint8_t> index;
    switch (load_index(bak.get(), mdat.room, false, index)) {
    case IndexFault::none:
        break;
    case IndexFault::memory:
        printf("\n ----->> malloc mem fail \n");
        return give_up(MP4_ERR_ARG);
    case IndexFault::bad:
        printf("\n ----->> Bak File error can't repair mp4 \n");
        return give_up(MP4_ERR_ARG);
    }
    const uint32_t payload = be32(index.data()), moov_size = be32(index.data() + 4);
    const uint8_t mdat_size[4] = {(uint8_t)((payload + 8) >> 24), (uint8_t)((payload + 8) >> 16),
                                  (uint8_t)((payload + 8) >> 8), (uint8_t)(payload + 8)};

    // The moov goes right after the payload the index describes, the mdat
    // box is sized to end there, and the file ends with the moov. A write
    // that fails keeps the index: every step can be done again, by a later
    // try, over whatever a cut left of the ones before.
    const int64_t moov_at = mdat.at + 8 + payload;
    BoardFd mp4 = open_file(filename, O_RDWR);
    if (!mp4) {
        printf("--> openfile error !\n");
        printf("\n ----->> repair file made size fail ! \n");
        return MP4_ERR_WRITE;
    }
    if (!board_write_at(mp4.get(), moov_at, index.data() + 4, moov_size)) {
        printf("\n ----->> repair file moov fail ! \n");
        return MP4_ERR_WRITE;
    }
    if (!board_write_at(mp4.get(), mdat.at, mdat_size, sizeof mdat_size) ||
        bd_ftruncate(mp4.get(), (off_t)(moov_at + moov_size)) != 0 || bd_fsync(mp4.get()) != 0 || !mp4.close()) {
        printf("\n ----->> repair file made size fail ! \n");
        return MP4_ERR_WRITE;
    }
    printf("\n ----->> repair file %s success ! \n", filename);
    return give_up(0);
}
