// The microphone's sound from a file: only a regular WAV file of bounded size
// is taken, from the `audio` command and from board.conf alike. Anything else
// is refused with its reason, and the board keeps the sound it had (at boot,
// the default tone).
#include "board/sim/audio/ai.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using sim::capture::Sound;

std::string le32(uint32_t v) { return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)}; }
std::string le16(uint16_t v) { return std::string{(char)v, (char)(v >> 8)}; }

// A WAV header of 16-bit PCM, then `chunks`, then a data chunk claiming
// `data_len` bytes.
std::string wav_head(uint32_t data_len, const std::string &chunks = "")
{
    return "RIFF" + le32(36 + data_len) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(1) + le32(8000) +
           le32(16000) + le16(2) + le16(16) + chunks + "data" + le32(data_len);
}

Sound sound_now()
{
    sim::capture::Ai &s = sim::capture::ai();
    std::lock_guard<std::mutex> lock(s.lock);
    return s.sound;
}

class AudioFileTest : public BoardTest {
protected:
    struct Case {
        const char *name;
        std::string path;
        const char *why; // the reason given, null when the file is taken
        size_t samples;
    };

    // Hostile and honest files, made in this test's root.
    std::vector<Case> files()
    {
        const std::string dir = root_ + "/files";
        mkdir(dir.c_str(), 0755);
        mkfifo((dir + "/fifo.wav").c_str(), 0644);
        testsupport::write_file(dir + "/good.wav", wav_head(8) + std::string("\1\0\2\0\3\0\4\0", 8));
        // A header written before the recording ended claims more than is there.
        testsupport::write_file(dir + "/short.wav", wav_head(0xFFFFFFF0u) + std::string(6, '\0'));
        testsupport::write_file(dir + "/text.wav", "hello, this is not a sound\n");
        std::string junk;
        for (int i = 0; i < 100; i++)
            junk += "junk" + le32(0);
        testsupport::write_file(dir + "/chunks.wav", wav_head(2, junk) + std::string(2, '\0'));
        // Larger than the board takes, without taking the disk: a sparse file.
        testsupport::write_file(dir + "/huge.wav", wav_head(0xFFFFFFF0u));
        EXPECT_EQ(0, truncate((dir + "/huge.wav").c_str(), (off_t)17 << 20));
        testsupport::write_file(dir + "/largest.wav", wav_head(0xFFFFFFF0u));
        EXPECT_EQ(0, truncate((dir + "/largest.wav").c_str(), (off_t)16 << 20));
        return {
            {"a folder", dir, "is a folder", 0},
            {"a FIFO", dir + "/fifo.wav", "not a regular file", 0},
            {"an endless device", "/dev/zero", "not a regular file", 0},
            {"a file over the size limit", dir + "/huge.wav", "larger than 16 MB", 0},
            {"text", dir + "/text.wav", "not a WAV file", 0},
            {"no such file", dir + "/none.wav", "cannot open", 0},
            {"chunk after chunk", dir + "/chunks.wav", "no data chunk", 0},
            {"a WAV file", dir + "/good.wav", nullptr, 4},
            {"a WAV file whose header overstates its data", dir + "/short.wav", nullptr, 3},
            {"the largest WAV file taken", dir + "/largest.wav", nullptr, ((16u << 20) - 44) / 2},
        };
    }
};

TEST_F(AudioFileTest, TheAudioCommandTakesOnlyRegularWavFiles)
{
    for (const Case &c : files()) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ("ok", sim::control("audio tone 440"));
        std::string answer = sim::control("audio file " + c.path);
        Sound now = sound_now();
        if (c.why) {
            EXPECT_EQ("error: audio file " + c.path + ": " + c.why, answer.substr(0, answer.find(c.why) + strlen(c.why)));
            EXPECT_TRUE(now.kind == Sound::tone && now.hz == 440) << "the sound was kept";
        } else {
            EXPECT_EQ("ok", answer);
            EXPECT_EQ(Sound::file, now.kind);
            EXPECT_EQ(c.samples, now.wav.samples.size());
        }
    }
}

// A board.conf naming a file the board cannot take boots with the default
// tone and says why in events.log, the line refused.
TEST_F(AudioFileTest, BoardConfWithABadFileBootsWithTheDefaultTone)
{
    for (const Case &c : files()) {
        SCOPED_TRACE(c.name);
        std::string root = testsupport::fresh_root("conf");
        testsupport::write_conf(root, "audio = file " + c.path + "\n");
        sim::start(root);
        Sound now = sound_now();
        if (c.why) {
            EXPECT_TRUE(now.kind == Sound::tone && now.hz == 1000);
            EXPECT_EQ(1u, testsupport::events(std::string("refused: audio file ") + c.path + ": " + c.why).size());
        } else {
            EXPECT_EQ(Sound::file, now.kind);
            EXPECT_EQ(c.samples, now.wav.samples.size());
        }
    }
}

} // namespace
