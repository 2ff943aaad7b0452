// What the boot's repair makes of what a cut leaves: a new index cut off
// after its sync but before its rename finishes the movie as the renamed
// one would, and a cut at any step of the repair itself, on a card that
// loses or tears what it had not synced, leaves a movie that the next boot
// finishes as an uncut repair does.
#include "recorder/mp4/mp4_backup.h"
#include "tests/recorder/mp4/repair_fixture.h"

#include <algorithm>
#include <filesystem>

namespace {

using namespace mp4test;
using testsupport::capture_stdout;
using testsupport::read_file;
using testsupport::write_file;

// More operations on the card than any repair takes: the last cut finds it done.
constexpr unsigned kMaxOperations = 40;

// A recording cut at 5.5 s, its indexes of 4 s and of 5 s, and the movie
// each repairs it to.
struct CutMovie {
    std::string bytes, index4, index5, repaired4, repaired5;
};

class Mp4RepairCut : public Mp4Repair {
protected:
    const std::string name_ = movie("cut.mp4"), index_ = name_ + "_bak.bin", temp_ = index_ + ".new";

    CutMovie make_cut_movie()
    {
        std::vector<Frame> frames = encode_video(Codec::h264, 640, 360, kFps, kFrames, kFps);
        EXPECT_EQ(frames.size(), kFrames);
        CutMovie m;
        record(movie("at4.mp4"), Codec::h264, frames, 1, 4 * kFps + kFps / 2, false);
        record(name_, Codec::h264, frames, 1, 5 * kFps + kFps / 2, false);
        m.bytes = read_file(host(name_));
        m.index4 = read_file(host(movie("at4.mp4_bak.bin")));
        m.index5 = read_file(host(index_));
        for (const char *n : {"at4.mp4", "at4.mp4_bak.bin"})
            std::filesystem::remove(host(movie(n)));
        m.repaired4 = repaired_with(m.bytes, m.index4);
        m.repaired5 = repaired_with(m.bytes, m.index5);
        EXPECT_NE(m.repaired4, m.repaired5);
        return m;
    }

    // The card's movie folder holding the movie, its index and a new index
    // (null: no such file).
    void lay_out(const std::string &bytes, const std::string *index, const std::string *temp)
    {
        std::filesystem::remove_all(host("/mnt/sdcard0/MOVIE"));
        std::filesystem::create_directories(host("/mnt/sdcard0/MOVIE"));
        write_file(host(name_), bytes);
        if (index)
            write_file(host(index_), *index);
        if (temp)
            write_file(host(temp_), *temp);
    }

    std::string repaired_with(const std::string &bytes, const std::string &index)
    {
        lay_out(bytes, &index, nullptr);
        capture_stdout([] { EXPECT_EQ(rec_files_repair_unfinished(), 1); });
        return read_file(host(name_));
    }

    std::vector<std::string> movie_folder() const
    {
        std::vector<std::string> names;
        for (auto &e : std::filesystem::directory_iterator(host("/mnt/sdcard0/MOVIE")))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// An index with its payload length changed and its check made again to fit.
std::string with_payload(const std::string &index, uint32_t payload)
{
    const uint32_t moov = be32_at(index, 4);
    const std::vector<uint8_t> b =
        mp4::backup_bytes(payload, std::vector<uint8_t>(index.begin() + 4, index.begin() + 4 + moov));
    return std::string(b.begin(), b.end());
}

// The index and the new one beside it, as a cut during a backup or damage
// leaves them: the new one takes the index's place only when it is whole
// (its check verified, its payload within the movie) and newer. The start's
// empty index beside a whole new one (a cut at the first backup) gives the
// movie the new one's seconds, as a cut just after the rename does.
TEST_F(Mp4RepairCut, ANewIndexCutOffBeforeItsRenameIsTakenWhenWholeAndNewer)
{
    const CutMovie m = make_cut_movie();
    ASSERT_FALSE(HasFailure());
    std::string bad_crc = m.index5;
    bad_crc[bad_crc.size() / 2] ^= 0x40;
    const std::string beyond = with_payload(m.index5, (uint32_t)m.bytes.size());
    const std::string no_check = m.index5.substr(0, m.index5.size() - 8);
    const std::string empty, torn = m.index5.substr(0, m.index5.size() / 2);
    struct Case {
        const char *name;
        const std::string *index, *temp; // null: none
        const std::string *movie;        // what the movie becomes
        const char *said;
    } cases[] = {
        {"the start's empty index, a whole new one", &empty, &m.index5, &m.repaired5,
         "a whole index cut off before its rename"},
        {"no index, a whole new one", nullptr, &m.index5, &m.repaired5, "a whole index cut off before its rename"},
        {"a whole index, a whole newer one", &m.index4, &m.index5, &m.repaired5,
         "a whole index cut off before its rename"},
        {"a whole index, an empty new one", &m.index4, &empty, &m.repaired4, "an index cut off while written"},
        {"a whole index, a torn new one", &m.index4, &torn, &m.repaired4, "an index cut off while written"},
        {"a whole index, a new one with a bad CRC", &m.index4, &bad_crc, &m.repaired4,
         "an index cut off while written"},
        {"a whole index, a new one whose payload runs past the movie", &m.index4, &beyond, &m.repaired4,
         "an index cut off while written"},
        {"a whole index, a new one without its check", &m.index4, &no_check, &m.repaired4,
         "an index cut off while written"},
        {"a whole index, an older whole new one", &m.index5, &m.index4, &m.repaired5, "no newer than its index"},
        {"the start's empty index, a torn new one", &empty, &torn, &m.bytes,
         "no index can finish it; kept as it is for a computer to salvage"},
        {"no index, an empty new one", nullptr, &empty, &m.bytes,
         "no index can finish it; kept as it is for a computer to salvage"},
        {"no index, a torn new one", nullptr, &torn, &m.bytes,
         "no index can finish it; kept as it is for a computer to salvage"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        lay_out(m.bytes, c.index, c.temp);
        const std::string out = capture_stdout([] { rec_files_repair_unfinished(); });
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
        EXPECT_TRUE(read_file(host(name_)) == *c.movie);
        EXPECT_EQ(movie_folder(), std::vector<std::string>{"cut.mp4"});
    }
    // A whole new index that cannot take the index's place (a folder holds
    // the name) is kept for a later boot, said so; the movie stays as it is.
    lay_out(m.bytes, nullptr, &m.index5);
    std::filesystem::create_directories(host(index_) + "/inside");
    const std::string out = capture_stdout([] { rec_files_repair_unfinished(); });
    EXPECT_NE(out.find("======" + temp_ + " cannot take the place of " + index_), std::string::npos) << out;
    EXPECT_NE(out.find(name_ + ": its index could not finish it at this boot; kept as it is for a computer to "
                               "salvage, its index for the next boot"),
              std::string::npos)
        << out;
    EXPECT_TRUE(read_file(host(temp_)) == m.index5);
    EXPECT_TRUE(read_file(host(name_)) == m.bytes);

    // The movie finished from a new index plays to its end.
    lay_out(m.bytes, &empty, &m.index5);
    capture_stdout([] { rec_files_repair_unfinished(); });
    File got = probe_file(host(name_));
    const Track *v = got.of(AVMEDIA_TYPE_VIDEO), *a = got.of(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->packets.size(), (size_t)5 * kFps);
    EXPECT_EQ(v->decoded, 5 * kFps);
    EXPECT_EQ(v->errors, 0);
    EXPECT_EQ(a->packets.size(), audio_with(5 * kFps));
    EXPECT_EQ(a->errors, 0);
}

// The boot's repair cut by the power after each of its operations on the
// card (the new index's rename, each write, the size change, the sync, the
// close, the index's removal), on a card that drops or tears what it had
// not synced: after the cut the movie's samples are as they were and what
// finishes it is still there, or the movie is finished; the next boot
// finishes it exactly as a repair without a cut does.
TEST_F(Mp4RepairCut, ACutAtEachStepOfTheRepairLeavesWhatTheNextBootFinishes)
{
    const CutMovie m = make_cut_movie();
    ASSERT_FALSE(HasFailure());
    const int64_t mdat = (int64_t)m.bytes.find("mdat") - 4;
    const uint32_t payload = be32_at(m.index5, 0);
    ASSERT_GT(mdat, 0);
    const std::string samples = m.bytes.substr((size_t)mdat + 8, payload);
    const std::string empty;
    struct Start {
        const char *name;
        const std::string *index, *temp;
    } starts[] = {
        {"an index", &m.index5, nullptr},
        {"the start's empty index and a whole new one", &empty, &m.index5},
    };
    for (const Start &s : starts) {
        for (const char *policy : {"drop", "tear"}) {
            SCOPED_TRACE(std::string(s.name) + ", " + policy);
            bool cut = true;
            unsigned n = 1;
            for (; cut && n <= kMaxOperations; ++n) {
                SCOPED_TRACE("cut after operation " + std::to_string(n));
                testsupport::write_conf(root_, std::string("power_cut = ") + policy + "\n");
                sim::start(root_);
                lay_out(m.bytes, s.index, s.temp);
                cut = testsupport::run_until_cut(n, [] { rec_files_repair_unfinished(); });

                const std::string left = read_file(host(name_));
                const bool finished = left == m.repaired5;
                const bool finisher = read_file(host(index_)) == m.index5 || read_file(host(temp_)) == m.index5;
                EXPECT_TRUE(finished || finisher) << "nothing left to finish the movie";
                ASSERT_GE(left.size(), (size_t)mdat + 8 + payload);
                EXPECT_TRUE(left.compare((size_t)mdat + 8, payload, samples) == 0) << "the samples changed";

                sim::start(root_); // the next boot
                capture_stdout([] { rec_files_repair_unfinished(); });
                EXPECT_TRUE(read_file(host(name_)) == m.repaired5);
                EXPECT_EQ(movie_folder(), std::vector<std::string>{"cut.mp4"});
            }
            EXPECT_FALSE(cut) << "the repair was never done";
            EXPECT_GT(n, 4u) << "no cut came before the repair was done";
        }
    }
}

} // namespace
