// Board-side audio helpers: frame blocks, routes along the bind table, WAV
// files.
#include "board/sim/audio/audio.h"
#include "mpi/audio/ai/ai_requests.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace sim::audio {

int bind_channel(void *arg, uint32_t count, uint32_t mod, uint32_t *chn)
{
    uint32_t c;
    if (!get_user(c, arg))
        return fail(EFAULT);
    if (c >= count)
        return mpi_status(mod, ERR_INVALID_CHNID);
    *chn = c;
    return 0;
}

int release_held(std::vector<FramePtr> &held, const AI_FRAME_REC_S &rec, uint32_t mod)
{
    auto it = std::find_if(held.begin(), held.end(), [&](const FramePtr &f) {
        return f->rec.u32PhyAddr[0] == rec.stFrm.u32PhyAddr[0];
    });
    if (it == held.end())
        return mpi_status(mod, ERR_ILLEGAL_PARAM);
    held.erase(it);
    return 0;
}

AI_FRAME_REC_S frame_record(const Frame &f)
{
    AI_FRAME_REC_S rec{};
    rec.stFrm = f.rec;
    if (f.ref) {
        rec.stRefFrm.stRefFrame = f.ref->rec;
        rec.stRefFrm.bValid = 1;
        rec.stRefFrm.u32RefFlag = 1;
    }
    return rec;
}

bool attr_valid(const AIO_ATTR_S &a, uint32_t max_samples, uint32_t max_chns)
{
    static const uint32_t rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    return std::find(std::begin(rates), std::end(rates), a.enSamplerate) != std::end(rates) &&
           a.enBitwidth <= kWidth16 && a.enSoundmode <= kStereo && a.u32FrmNum >= 2 &&
           a.u32FrmNum <= 50 && a.u32PtNumPerFrm >= 80 && a.u32PtNumPerFrm <= max_samples && a.u32ChnCnt >= 1 &&
           a.u32ChnCnt <= max_chns;
}

// ---- WAV ----------------------------------------------------------------------------------

namespace {

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t le16(const uint8_t *p) { return (uint16_t)(p[0] | p[1] << 8); }

void put32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}
void put16(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

} // namespace

namespace {

// Reads exactly `n` bytes at `at`: false on a short read (the file shrank).
bool read_at(int fd, void *dst, size_t n, uint64_t at)
{
    uint8_t *p = static_cast<uint8_t *>(dst);
    while (n > 0) {
        ssize_t got = pread(fd, p, n, (off_t)at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= (size_t)got;
        at += (uint64_t)got;
    }
    return true;
}

// Why a file cannot be the board's sound, "" when it may be read: only a
// regular file is, so that a FIFO, a device or a folder never stalls or
// floods the reader.
std::string refusal(const struct stat &st)
{
    if (S_ISDIR(st.st_mode))
        return "is a folder";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if ((uint64_t)st.st_size > kWavMaxBytes)
        return "larger than " + std::to_string(kWavMaxBytes >> 20) + " MB";
    return "";
}

// The samples of a WAV file open on `fd`, `size` bytes long.
bool wav_parse(int fd, uint64_t size, WavData &out, std::string &why)
{
    uint8_t head[12];
    if (size < sizeof head || !read_at(fd, head, sizeof head, 0) || memcmp(head, "RIFF", 4) != 0 ||
        memcmp(head + 8, "WAVE", 4) != 0) {
        why = "not a WAV file";
        return false;
    }
    bool have_fmt = false;
    uint64_t pos = 12;
    for (unsigned chunks = 0; pos + 8 <= size; chunks++) {
        uint8_t chunk[8 + 16];
        if (chunks == kWavMaxChunks || !read_at(fd, chunk, 8, pos)) {
            why = "no data chunk";
            return false;
        }
        uint32_t len = le32(chunk + 4);
        uint64_t body = pos + 8, avail = size - body;
        if (memcmp(chunk, "fmt ", 4) == 0 && len >= 16 && avail >= 16 && read_at(fd, chunk + 8, 16, body)) {
            uint16_t format = le16(chunk + 8);
            out.channels = le16(chunk + 10);
            out.rate = le32(chunk + 12);
            if (format != 1 || le16(chunk + 22) != 16 || out.channels == 0 || out.rate == 0) {
                why = "only 16-bit PCM is played";
                return false;
            }
            have_fmt = true;
        } else if (memcmp(chunk, "data", 4) == 0) {
            if (!have_fmt) {
                why = "data before format";
                return false;
            }
            // A header written before the data was complete may overstate it.
            size_t n = (size_t)(std::min<uint64_t>(len, avail) / 2);
            n -= n % out.channels;
            out.samples.resize(n);
            if (n == 0 || !read_at(fd, out.samples.data(), n * 2, body)) {
                why = "no samples";
                return false;
            }
            return true;
        }
        pos = body + len + (len & 1);
    }
    why = "no data chunk";
    return false;
}

} // namespace

bool wav_read(const std::string &host_path, WavData &out, std::string &why)
{
    // Looked at before it is opened: opening a device may do something.
    struct stat st;
    if (::stat(host_path.c_str(), &st) != 0) {
        why = std::string("cannot open: ") + strerror(errno);
        return false;
    }
    why = refusal(st);
    if (!why.empty())
        return false;
    int fd = ::open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot open: ") + strerror(errno);
        return false;
    }
    // The name may have been given to something else in between.
    why = fstat(fd, &st) != 0 ? "cannot open" : refusal(st);
    bool ok = why.empty() && wav_parse(fd, (uint64_t)st.st_size, out, why);
    ::close(fd);
    return ok;
}

WavWriter::~WavWriter() { close(); }

bool WavWriter::open(const std::string &host_path, uint32_t rate, unsigned channels, unsigned bits)
{
    close();
    f_ = fopen(host_path.c_str(), "wb");
    if (!f_)
        return false;
    uint8_t h[44] = {};
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, (uint16_t)channels);
    put32(h + 24, rate);
    put32(h + 28, rate * channels * (bits / 8));
    put16(h + 32, (uint16_t)(channels * (bits / 8)));
    put16(h + 34, (uint16_t)bits);
    memcpy(h + 36, "data", 4);
    fwrite(h, 1, sizeof h, f_);
    fflush(f_);
    data_bytes_ = 0;
    return true;
}

void WavWriter::write(const void *data, size_t bytes)
{
    if (!f_ || bytes == 0)
        return;
    fseek(f_, 0, SEEK_END);
    fwrite(data, 1, bytes, f_);
    data_bytes_ += (uint32_t)bytes;
    uint8_t w[4];
    put32(w, 36 + data_bytes_);
    fseek(f_, 4, SEEK_SET);
    fwrite(w, 1, 4, f_);
    put32(w, data_bytes_);
    fseek(f_, 40, SEEK_SET);
    fwrite(w, 1, 4, f_);
    fflush(f_);
}

void WavWriter::close()
{
    if (f_)
        fclose(f_);
    f_ = nullptr;
    data_bytes_ = 0;
}

} // namespace sim::audio
