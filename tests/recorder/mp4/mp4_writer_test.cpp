#include "recorder/mp4/mp4_writer.h"

#include "tests/recorder/mp4_media.h"
#include "tests/support/board_fixture.h"

#include <filesystem>

namespace {

using namespace mp4test;
using testsupport::capture_stdout;

class Mp4Writer : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        MP4_InitWriter(0);
        std::filesystem::create_directories(bd_path("/mnt/sdcard0/MOVIE"));
    }
    void TearDown() override
    {
        for (MP4_MUX_D &s : MP4_MUX_Data)
            if (s.Stat == 1)
                MP4_DestroyWriter(s.StreamHandel, nullptr);
        MP4_InitWriter(0);
    }
    static std::string movie(const std::string &name) { return "/mnt/sdcard0/MOVIE/" + name; }
    static bool exists(const std::string &name) { return std::filesystem::exists(bd_path(name)); }
    // A movie name with no file left from the case before: the writer never
    // writes over one.
    static std::string fresh(const std::string &name)
    {
        std::filesystem::remove(bd_path(movie(name)));
        return movie(name);
    }
};

// The NAL units of an Annex-B frame, as (type, bytes) with their start codes.
std::vector<std::vector<uint8_t>> nal_units(const std::vector<uint8_t> &f)
{
    std::vector<std::vector<uint8_t>> out;
    size_t i = 0, start = std::string::npos;
    for (; i + 3 <= f.size(); i++) {
        if (f[i] == 0 && f[i + 1] == 0 && f[i + 2] == 1) {
            size_t sc = (i > 0 && f[i - 1] == 0) ? i - 1 : i;
            if (start != std::string::npos)
                out.emplace_back(f.begin() + start, f.begin() + sc);
            start = sc;
            i += 2;
        }
    }
    if (start != std::string::npos)
        out.emplace_back(f.begin() + start, f.end());
    return out;
}

bool contains(const std::vector<uint8_t> &hay, const std::vector<uint8_t> &needle)
{
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

// A recording as the MP4 thread makes one, started in the middle of a group
// of pictures: the frames before the first key frame must not reach the file.
TEST_F(Mp4Writer, RecordingsPlayAtTheirFrameRateWithAudioAlongside)
{
    struct Case {
        const char *name;
        Codec codec;
        int width, height, fps;
        AVCodecID id;
    };
    const Case cases[] = {
        {"1080p30 H.264", Codec::h264, 1920, 1080, 30, AV_CODEC_ID_H264},
        {"1080p30 H.265", Codec::h265, 1920, 1080, 30, AV_CODEC_ID_HEVC},
        {"720p60 H.264", Codec::h264, 1280, 720, 60, AV_CODEC_ID_H264},
        {"720p60 H.265", Codec::h265, 1280, 720, 60, AV_CODEC_ID_HEVC},
        {"720p120 H.264", Codec::h264, 1280, 720, 120, AV_CODEC_ID_H264},
        {"720p120 H.265", Codec::h265, 1280, 720, 120, AV_CODEC_ID_HEVC},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int gops = 3;
        std::vector<Frame> frames = encode_video(c.codec, c.width, c.height, c.fps, gops * c.fps, c.fps);
        ASSERT_EQ(frames.size(), (size_t)(gops * c.fps));
        std::vector<std::vector<uint8_t>> aac = encode_aac(gops * 48 + 8);
        ASSERT_FALSE(aac.empty());
        ASSERT_TRUE(is_adts_like(aac[0]));

        std::string name = movie(std::string(c.name) + ".mp4");
        Recording rec;
        ASSERT_TRUE(rec.open(name, c.codec, c.width, c.height, c.fps));
        const int first = c.fps / 2; // joins mid-group: frames first .. fps-1 precede the first key frame
        std::string out = capture_stdout([&] {
            for (int i = first; i < (int)frames.size(); i++)
                rec.frame(frames[i], aac, i >= c.fps);
        });
        EXPECT_NE(out.find("Discard First  P slice"), std::string::npos);
        uint64_t ms = rec.close();

        File f = probe_file(bd_path(name));
        ASSERT_TRUE(f.opened);
        const Track *v = f.of(AVMEDIA_TYPE_VIDEO);
        const Track *a = f.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(v && a);
        EXPECT_EQ(v->codec, c.id);
        if (c.codec == Codec::h264)
            EXPECT_EQ(v->tag, MKTAG('a', 'v', 'c', '1'));
        else
            EXPECT_TRUE(v->tag == MKTAG('h', 'v', 'c', '1') || v->tag == MKTAG('h', 'e', 'v', '1'));
        EXPECT_EQ(v->width, c.width);
        EXPECT_EQ(v->height, c.height);
        const size_t written = frames.size() - (size_t)c.fps;
        ASSERT_EQ(v->packets.size(), written);
        for (size_t i = 0; i < v->packets.size(); i++)
            ASSERT_EQ(v->packets[i].key, i % (size_t)c.fps == 0) << "sample " << i;
        expect_constant_rate(*v, AVRational{1, c.fps});
        EXPECT_EQ(v->decoded, (int)written);
        EXPECT_EQ(v->errors, 0);

        // The decoder configuration holds the key frame's parameter sets.
        auto units = nal_units(frames[c.fps].bytes);
        size_t sets = c.codec == Codec::h264 ? 2 : 3;
        for (size_t k = 0; k < sets; k++) {
            std::vector<uint8_t> body(units[k].begin() + 4, units[k].end());
            EXPECT_TRUE(contains(v->extradata, body)) << "parameter set " << k;
        }

        EXPECT_EQ(a->codec, AV_CODEC_ID_AAC);
        EXPECT_EQ(a->sample_rate, 48000);
        EXPECT_EQ(a->channels, 1);
        expect_constant_rate(*a, AVRational{1024, 48000});
        EXPECT_NEAR(seconds(*a), seconds(*v), 0.1);
        EXPECT_EQ(a->errors, 0);
        EXPECT_EQ(a->decoded, (int)a->packets.size());
        // Samples are the AAC payloads without their ADTS headers.
        ASSERT_EQ(a->packets.size(), rec.audio_next);
        for (size_t k = 0; k < a->packets.size(); k++)
            ASSERT_EQ(a->packets[k].hash, fnv(aac[k].data() + 7, aac[k].size() - 7)) << "packet " << k;

        // The duration the writer reports is the longest track's, rounded up.
        double longest = std::max(seconds(*v), seconds(*a));
        EXPECT_EQ(ms, (uint64_t)std::ceil(longest * 1000 - 1e-9));
    }
}

// A file can only begin with a key frame that carries its parameter sets;
// before one arrives video is dropped and the configuration stays unset.
TEST_F(Mp4Writer, TheFileBeginsWithTheFirstKeyFrameThatCanStartIt)
{
    struct Case {
        const char *name;
        Codec codec;
        int32_t code; // of the dropped frame
        // Builds the frame handed over first; sets its length.
        std::function<std::vector<uint8_t>(const std::vector<Frame> &, uint32_t *)> make;
    };
    auto without_parameter_sets = [](const std::vector<Frame> &fr, uint32_t *len) {
        auto u = nal_units(fr[0].bytes);
        std::vector<uint8_t> out = u.back(); // the IDR slice alone
        *len = (uint32_t)out.size();
        return out;
    };
    auto p_slice_before_idr = [](const std::vector<Frame> &fr, uint32_t *len) {
        auto u = nal_units(fr[0].bytes);
        auto p = nal_units(fr[1].bytes).back();
        std::vector<uint8_t> out;
        for (size_t k = 0; k + 1 < u.size(); k++)
            out.insert(out.end(), u[k].begin(), u[k].end());
        out.insert(out.end(), p.begin(), p.end());
        out.insert(out.end(), u.back().begin(), u.back().end());
        *len = (uint32_t)out.size();
        return out;
    };
    // The whole key frame lies in the buffer, but the length given ends
    // after the parameter sets: the slice beyond it is not the frame's.
    auto cut_before_idr = [](const std::vector<Frame> &fr, uint32_t *len) {
        auto u = nal_units(fr[0].bytes);
        *len = (uint32_t)(fr[0].bytes.size() - u.back().size());
        return fr[0].bytes;
    };
    auto p_frame_marked_key = [](const std::vector<Frame> &fr, uint32_t *len) {
        *len = (uint32_t)fr[1].bytes.size();
        return fr[1].bytes;
    };
    const Case cases[] = {
        {"H.264 IDR without parameter sets", Codec::h264, 0, without_parameter_sets},
        {"H.265 IDR without parameter sets", Codec::h265, MP4_ERR_WRITE, without_parameter_sets},
        {"H.264 P slice before the IDR", Codec::h264, 0, p_slice_before_idr},
        {"H.265 trailing picture before the IDR", Codec::h265, MP4_ERR_WRITE, p_slice_before_idr},
        {"H.264 length ends before the IDR", Codec::h264, 0, cut_before_idr},
        {"H.265 length ends before the IDR", Codec::h265, MP4_ERR_WRITE, cut_before_idr},
        {"H.264 P frame flagged key", Codec::h264, 0, p_frame_marked_key},
    };
    std::map<Codec, std::vector<Frame>> streams;
    streams[Codec::h264] = encode_video(Codec::h264, 320, 240, 30, 40, 10);
    streams[Codec::h265] = encode_video(Codec::h265, 320, 240, 30, 40, 10);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Frame> &frames = streams[c.codec];
        ASSERT_EQ(frames.size(), 40u);
        std::string name = fresh("first.mp4");
        Recording rec;
        ASSERT_TRUE(rec.open(name, c.codec, 320, 240, 30));
        uint32_t len = 0;
        std::vector<uint8_t> bad = c.make(frames, &len);
        std::string out = capture_stdout([&] { EXPECT_EQ(MP4_WriteFrame(rec.h, 1, 0, bad.data(), len, 1), c.code); });
        EXPECT_NE(out.find("Discard First  P slice"), std::string::npos);
        EXPECT_EQ(MP4_MUX_Data[0].WriteFlg, 0);
        // A P frame before any key frame is dropped as well.
        capture_stdout([&] { MP4_WriteFrame(rec.h, 1, 0, frames[1].bytes.data(), (uint32_t)frames[1].bytes.size(), 0); });
        for (size_t i = 10; i < frames.size(); i++)
            ASSERT_EQ(MP4_WriteFrame(rec.h, 1, 0, frames[i].bytes.data(), (uint32_t)frames[i].bytes.size(),
                                     frames[i].key ? 1 : 0),
                      0);
        EXPECT_EQ(MP4_MUX_Data[0].WriteFlg, 1);
        rec.close();

        File f = probe_file(bd_path(name));
        const Track *v = f.of(AVMEDIA_TYPE_VIDEO);
        ASSERT_TRUE(v);
        ASSERT_EQ(v->packets.size(), 30u);
        EXPECT_TRUE(v->packets[0].key);
        EXPECT_EQ(v->decoded, 30);
        EXPECT_EQ(v->errors, 0);
    }
}

TEST_F(Mp4Writer, CallsRefuseBadArguments)
{
    struct VideoCase {
        const char *name;
        std::function<void(MP4_BITMAPINFOHEADER_S &)> change;
        int32_t code;
    };
    const VideoCase video[] = {
        {"width 0", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BiWidth = 0; }, MP4_ERR_ARG},
        {"width 2593", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BiWidth = 2593; }, MP4_ERR_ARG},
        {"height 2593", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BiHeight = 2593; }, MP4_ERR_ARG},
        {"no frame rate", [](MP4_BITMAPINFOHEADER_S &v) { v.u32samplePerSec = 0; }, MP4_ERR_ARG},
        {"0 bits", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BitCount = 0; }, MP4_ERR_ARG},
        {"33 bits", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BitCount = 33; }, MP4_ERR_ARG},
        {"no bit rate", [](MP4_BITMAPINFOHEADER_S &v) { v.u32avgBitRate = 0; }, MP4_ERR_ARG},
        {"AAC as video", [](MP4_BITMAPINFOHEADER_S &v) { v.eCodeid = MP4_CODEC_ID_AACLC; }, MP4_ERR_CODEC},
        {"2592x2592", [](MP4_BITMAPINFOHEADER_S &v) { v.u32BiWidth = v.u32BiHeight = 2592; }, 0},
    };
    struct AudioCase {
        const char *name;
        std::function<void(MP4_WAVEFORMATEX_S &)> change;
        int32_t code;
    };
    const AudioCase audio[] = {
        {"no channels", [](MP4_WAVEFORMATEX_S &a) { a.u32Channels = 0; }, MP4_ERR_ARG},
        {"17 channels", [](MP4_WAVEFORMATEX_S &a) { a.u32Channels = 17; }, MP4_ERR_ARG},
        {"47999 Hz", [](MP4_WAVEFORMATEX_S &a) { a.u32SamplesPerSec = 47999; }, MP4_ERR_ARG},
        {"7350 Hz", [](MP4_WAVEFORMATEX_S &a) { a.u32SamplesPerSec = 7350; }, MP4_ERR_ARG},
        {"44100 Hz", [](MP4_WAVEFORMATEX_S &a) { a.u32SamplesPerSec = 44100; }, 0},
        {"G.711 mu-law", [](MP4_WAVEFORMATEX_S &a) { a.eCodeid = MP4_CODEC_ID_G711_M; }, MP4_ERR_CODEC},
        {"G.711 A-law", [](MP4_WAVEFORMATEX_S &a) { a.eCodeid = MP4_CODEC_ID_G711_A; }, MP4_ERR_CODEC},
        {"H.264 as audio", [](MP4_WAVEFORMATEX_S &a) { a.eCodeid = MP4_CODEC_ID_H264; }, MP4_ERR_CODEC},
    };
    int32_t n = 0;
    for (const VideoCase &c : video) {
        SCOPED_TRACE(c.name);
        MP4Handle h = nullptr;
        ASSERT_EQ(MP4_CreateWriter(&h, fresh("args.mp4").c_str()), 0);
        MP4_BITMAPINFOHEADER_S v = video_params(Codec::h264, 1920, 1080, 30);
        c.change(v);
        EXPECT_EQ(MP4_SetVideoStreamParams(h, &n, &v), c.code);
        EXPECT_EQ(MP4_DestroyWriter(h, nullptr), 0);
    }
    for (const AudioCase &c : audio) {
        SCOPED_TRACE(c.name);
        MP4Handle h = nullptr;
        ASSERT_EQ(MP4_CreateWriter(&h, fresh("args.mp4").c_str()), 0);
        MP4_WAVEFORMATEX_S a = audio_params();
        c.change(a);
        EXPECT_EQ(MP4_SetAudioStreamParams(h, &n, &a), c.code);
        EXPECT_EQ(MP4_DestroyWriter(h, nullptr), 0);
    }

    // Handles, names and stream numbers.
    MP4Handle h = nullptr;
    MP4_BITMAPINFOHEADER_S v = video_params(Codec::h264, 320, 240, 30);
    MP4_WAVEFORMATEX_S a = audio_params();
    int dummy = 0;
    MP4Handle stranger = &dummy;
    EXPECT_EQ(MP4_CreateWriter(nullptr, movie("x.mp4").c_str()), MP4_ERR_ARG);
    EXPECT_EQ(MP4_CreateWriter(&h, nullptr), MP4_ERR_ARG);
    EXPECT_EQ(MP4_CreateWriter(&h, ("/mnt/sdcard0/" + std::string(490, 'a')).c_str()), MP4_ERR_ARG);
    EXPECT_EQ(MP4_CreateWriter(&h, "/mnt/sdcard0/NODIR/x.mp4"), MP4_ERR_OPEN);
    capture_stdout([&] {
        EXPECT_EQ(MP4_SetVideoStreamParams(stranger, &n, &v), MP4_ERR_ARG);
        EXPECT_EQ(MP4_SetAudioStreamParams(stranger, &n, &a), MP4_ERR_WRITE);
        EXPECT_EQ(MP4_BeginWriting(stranger), MP4_ERR_ARG);
        EXPECT_EQ(MP4_WriteFrame(stranger, 1, 0, (const uint8_t *)"x", 1, 0), MP4_ERR_ARG);
        EXPECT_EQ(MP4_EndWriting(stranger), MP4_ERR_ARG);
        EXPECT_EQ(MP4_DestroyWriter(stranger, nullptr), MP4_ERR_WRITE);
        EXPECT_EQ(MP4_DestroyWriter(nullptr, nullptr), MP4_ERR_ARG);
    });

    ASSERT_EQ(MP4_CreateWriter(&h, fresh("args.mp4").c_str()), 0);
    int32_t vn = 0, an = 0;
    ASSERT_EQ(MP4_SetVideoStreamParams(h, &vn, &v), 0);
    ASSERT_EQ(MP4_SetAudioStreamParams(h, &an, &a), 0);
    EXPECT_EQ(vn, 1);
    EXPECT_EQ(an, 2);
    EXPECT_EQ(MP4_SetVideoStreamParams(h, &n, &v), MP4_ERR_ARG); // a second video stream
    const uint8_t byte = 0;
    EXPECT_EQ(MP4_WriteFrame(h, 1, 0, &byte, 1, 0), MP4_ERR_ARG); // before the header
    EXPECT_EQ(MP4_EndWriting(h), MP4_ERR_ARG);
    ASSERT_EQ(MP4_BeginWriting(h), 0);
    EXPECT_EQ(MP4_BeginWriting(h), MP4_ERR_ARG);
    EXPECT_EQ(MP4_SetAudioStreamParams(h, &n, &a), MP4_ERR_ARG); // after the header
    EXPECT_EQ(MP4_WriteFrame(h, 0, 0, &byte, 1, 0), MP4_ERR_ARG);
    EXPECT_EQ(MP4_WriteFrame(h, 3, 0, &byte, 1, 0), MP4_ERR_ARG);
    EXPECT_EQ(MP4_WriteFrame(h, 1, 0, nullptr, 1, 0), MP4_ERR_ARG);
    EXPECT_EQ(MP4_WriteFrame(h, 1, 0, &byte, 0, 0), MP4_ERR_ARG);
    EXPECT_EQ(MP4_EndWriting(h), 0);
    EXPECT_EQ(MP4_EndWriting(h), MP4_ERR_ARG);
    uint64_t ms = 7;
    EXPECT_EQ(MP4_DestroyWriter(h, &ms), 0);
    EXPECT_EQ(ms, 0u); // nothing was written
}

TEST_F(Mp4Writer, FiveWritersAtOnceAndNoFileForASixth)
{
    MP4Handle h[5] = {};
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(MP4_CreateWriter(&h[i], movie("w" + std::to_string(i) + ".mp4").c_str()), 0);
    MP4Handle sixth = nullptr;
    std::string out = capture_stdout([&] { EXPECT_EQ(MP4_CreateWriter(&sixth, movie("w5.mp4").c_str()), MP4_ERR_WRITE); });
    EXPECT_NE(out.find("---->> Error Handel 215"), std::string::npos);
    EXPECT_FALSE(exists(movie("w5.mp4")));
    ASSERT_EQ(MP4_DestroyWriter(h[2], nullptr), 0);
    EXPECT_EQ(MP4_CreateWriter(&sixth, movie("w5.mp4").c_str()), 0);
    // Failed creations give their slot back.
    EXPECT_EQ(MP4_DestroyWriter(sixth, nullptr), 0);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(MP4_CreateWriter(&h[2], "/mnt/sdcard0/NODIR/x.mp4"), MP4_ERR_OPEN);
    EXPECT_EQ(MP4_CreateWriter(&sixth, movie("w6.mp4").c_str()), 0);
}

// A new writer never takes the place of what is there under its name, nor
// touches the index beside it (an unfinished movie's, that the boot needs);
// the slot it took is given back.
TEST_F(Mp4Writer, AFileThatIsThereIsNeverWrittenOver)
{
    struct Case {
        const char *name;
        bool folder, index; // a folder in the movie's place; an index beside it
    };
    const Case cases[] = {
        {"a movie", false, false},
        {"a movie with its index", false, true},
        {"a folder", true, false},
    };
    MP4_InitWriter(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = movie(std::string(c.name) + ".mp4"), index = name + "_bak.bin";
        if (c.folder)
            std::filesystem::create_directories(bd_path(name) + "/inside");
        else
            testsupport::write_file(bd_path(name), "an older recording");
        if (c.index)
            testsupport::write_file(bd_path(index), "its index");
        MP4Handle h = nullptr;
        std::string out = capture_stdout([&] { EXPECT_EQ(MP4_CreateWriter(&h, name.c_str()), MP4_ERR_OPEN); });
        EXPECT_NE(out.find(name + " is there already: not written over"), std::string::npos) << out;
        if (c.folder) {
            EXPECT_TRUE(std::filesystem::is_directory(bd_path(name) + "/inside"));
        } else {
            EXPECT_EQ(testsupport::read_file(bd_path(name)), "an older recording");
        }
        if (c.index) {
            EXPECT_EQ(testsupport::read_file(bd_path(index)), "its index");
        } else {
            EXPECT_FALSE(exists(index));
        }
    }
    for (const MP4_MUX_D &s : MP4_MUX_Data)
        EXPECT_NE(s.Stat, 1);
}

// Samples last one frame of the stream's rate, NTSC rates included.
TEST_F(Mp4Writer, FrameRatesGiveTheSampleDuration)
{
    struct Case {
        uint32_t rate;
        AVRational each;
    };
    const Case cases[] = {{30, {1, 30}}, {25, {1, 25}}, {2997, {100, 2997}}, {1498, {100, 1498}}};
    std::vector<Frame> frames = encode_video(Codec::h264, 320, 240, 30, 20, 10);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        std::string name = fresh("rate.mp4");
        Recording rec;
        ASSERT_TRUE(rec.open(name, Codec::h264, 320, 240, c.rate));
        for (const Frame &f : frames)
            ASSERT_EQ(MP4_WriteFrame(rec.h, 1, 0, f.bytes.data(), (uint32_t)f.bytes.size(), f.key ? 1 : 0), 0);
        uint64_t ms = rec.close();
        File f = probe_file(bd_path(name));
        const Track *v = f.of(AVMEDIA_TYPE_VIDEO);
        ASSERT_TRUE(v);
        ASSERT_EQ(v->packets.size(), 20u);
        expect_constant_rate(*v, c.each);
        EXPECT_EQ(ms, (uint64_t)av_rescale_rnd(20 * c.each.num, 1000, c.each.den, AV_ROUND_UP));
    }
}

// ADTS headers come off; a header that does not match the stream, or that
// does not frame the packet exactly, is refused rather than written.
TEST_F(Mp4Writer, AudioPacketsLoseTheirAdtsHeaders)
{
    std::vector<std::vector<uint8_t>> aac = encode_aac(4);
    ASSERT_EQ(aac.size(), 4u);
    const std::vector<uint8_t> &good = aac[1];
    struct Case {
        const char *name;
        std::function<std::vector<uint8_t>()> make;
        int32_t code;
    };
    auto changed = [&](int byte, uint8_t mask, uint8_t value) {
        std::vector<uint8_t> p = good;
        p[byte] = (uint8_t)((p[byte] & ~mask) | value);
        return p;
    };
    const Case cases[] = {
        {"ADTS 48 kHz mono", [&] { return good; }, 0},
        {"raw AAC", [&] { return std::vector<uint8_t>(good.begin() + 7, good.end()); }, 0},
        {"44.1 kHz header", [&] { return changed(2, 0x3C, 4 << 2); }, MP4_ERR_WRITE},
        {"stereo header", [&] { return changed(3, 0xC0, 0x80); }, MP4_ERR_WRITE},
        {"AAC Main profile", [&] { return changed(2, 0xC0, 0x00); }, MP4_ERR_WRITE},
        {"two raw blocks", [&] { return changed(6, 0x03, 0x01); }, MP4_ERR_WRITE},
        {"frame longer than the packet", [&] { auto p = good; p.pop_back(); return p; }, MP4_ERR_WRITE},
        {"packet longer than the frame", [&] { auto p = good; p.push_back(0); return p; }, MP4_ERR_WRITE},
    };
    std::vector<Frame> frames = encode_video(Codec::h264, 320, 240, 30, 1, 10);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = fresh("adts.mp4");
        Recording rec;
        ASSERT_TRUE(rec.open(name, Codec::h264, 320, 240, 30));
        ASSERT_EQ(MP4_WriteFrame(rec.h, 1, 0, frames[0].bytes.data(), (uint32_t)frames[0].bytes.size(), 1), 0);
        std::vector<uint8_t> p = c.make();
        capture_stdout([&] { EXPECT_EQ(MP4_WriteFrame(rec.h, 2, 0, p.data(), (uint32_t)p.size(), 0), c.code); });
        rec.close();
        File f = probe_file(bd_path(name));
        const Track *a = f.of(AVMEDIA_TYPE_AUDIO);
        ASSERT_EQ(a ? a->packets.size() : 0u, c.code == 0 ? 1u : 0u);
        if (c.code == 0) {
            EXPECT_EQ(a->packets[0].hash, fnv(good.data() + 7, good.size() - 7));
            EXPECT_EQ(a->errors, 0);
        }
    }
}

} // namespace
