// Test helper: the syntax elements of an H.264 or H.265 access unit as
// FFmpeg's trace_headers bitstream filter reads them (parameter sets, slice
// headers), so that tests check what a stream says rather than what its
// encoder was told.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavutil/log.h>
}

namespace syntaxtest {

// One traced line: a syntax element and its value, or a section heading
// ("Slice Header", "Picture Parameter Set", ...) with `heading` set.
struct Element {
    std::string name;
    int64_t value = 0;
    bool heading = false;
};

namespace detail {

inline std::mutex &lock()
{
    static std::mutex m;
    return m;
}
inline const void *&filter() // the filter whose lines are gathered
{
    static const void *f = nullptr;
    return f;
}
inline std::string &text()
{
    static std::string t;
    return t;
}

inline void gather(void *avcl, int level, const char *fmt, va_list vl)
{
    if (!avcl || avcl != filter())
        return;
    char line[1024];
    vsnprintf(line, sizeof line, fmt, vl);
    text() += line;
}

inline std::vector<Element> parse(const std::string &all)
{
    std::vector<Element> out;
    std::istringstream in(all);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.rfind(" = ");
        std::istringstream words(line);
        Element e;
        if (eq == std::string::npos) {
            e.heading = true;
            e.name = line;
        } else {
            std::string position;
            words >> position >> e.name;
            e.value = std::stoll(line.substr(eq + 3));
        }
        out.push_back(e);
    }
    return out;
}

} // namespace detail

// The elements of each access unit (Annex B) of a stream, read in order as
// a decoder would (the slices of a picture need the parameter sets before
// them); an access unit the filter refuses has none.
inline std::vector<std::vector<Element>> trace(AVCodecID codec, const std::vector<std::vector<uint8_t>> &aus)
{
    std::lock_guard<std::mutex> guard(detail::lock());
    const AVBitStreamFilter *f = av_bsf_get_by_name("trace_headers");
    AVBSFContext *bsf = nullptr;
    if (!f || av_bsf_alloc(f, &bsf) < 0)
        return {};
    bsf->par_in->codec_type = AVMEDIA_TYPE_VIDEO;
    bsf->par_in->codec_id = codec;
    std::vector<std::vector<Element>> out;
    AVPacket *pkt = av_packet_alloc();
    if (av_bsf_init(bsf) == 0) {
        detail::filter() = bsf;
        av_log_set_callback(detail::gather);
        for (const std::vector<uint8_t> &au : aus) {
            detail::text().clear();
            bool ok = av_new_packet(pkt, (int)au.size()) == 0;
            if (ok) {
                memcpy(pkt->data, au.data(), au.size());
                ok = av_bsf_send_packet(bsf, pkt) == 0 && av_bsf_receive_packet(bsf, pkt) == 0;
            }
            av_packet_unref(pkt);
            out.push_back(ok ? detail::parse(detail::text()) : std::vector<Element>{});
        }
        av_log_set_callback(av_log_default_callback);
        detail::filter() = nullptr;
    }
    av_packet_free(&pkt);
    av_bsf_free(&bsf);
    return out;
}

// The values of element `name`, in order.
inline std::vector<int64_t> values(const std::vector<Element> &els, const std::string &name)
{
    std::vector<int64_t> v;
    for (const Element &e : els)
        if (!e.heading && e.name == name)
            v.push_back(e.value);
    return v;
}

// How many sections have a heading that starts with `heading`.
inline size_t sections(const std::vector<Element> &els, const std::string &heading)
{
    size_t n = 0;
    for (const Element &e : els)
        n += e.heading && e.name.compare(0, heading.size(), heading) == 0;
    return n;
}

// Whether each access unit is an IDR picture, by its slices' NAL unit type
// (H.264 5; H.265 19 and 20).
inline std::vector<bool> idr_pictures(AVCodecID codec, const std::vector<std::vector<Element>> &aus)
{
    std::vector<bool> idr;
    for (const auto &au : aus) {
        bool any = false;
        for (int64_t t : values(au, "nal_unit_type"))
            any = any || (codec == AV_CODEC_ID_H264 ? t == 5 : t == 19 || t == 20);
        idr.push_back(any);
    }
    return idr;
}

// Whether the pictures marked in `key` are exactly every `gop`-th from the
// first picture to the last.
inline ::testing::AssertionResult every(const std::vector<bool> &key, size_t gop)
{
    std::string at;
    bool ok = true;
    for (size_t i = 0; i < key.size(); i++) {
        if (key[i])
            at += " " + std::to_string(i);
        ok = ok && key[i] == (i % gop == 0);
    }
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "key pictures at" << at << " of " << key.size() << ", not every " << gop;
}

} // namespace syntaxtest
