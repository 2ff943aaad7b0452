// What a recording shows of the ISP's corrections, decoded: the lens's
// dark corners lifted by the shading tables, the sensor's column pattern
// taken off by a fixed-pattern calibration and correction, the haze taken
// out by dehaze; and the proc text the running ISP writes with every
// module's block in run order. The engine's own pipeline runs on the board:
// the sensor, the ISP with the real 3A libraries, input, processing and a
// 1080p30 H.264 channel.
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/recorder/live_pipeline.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include "board/sim/sim.h"
#include "isp/isp_ctx.h"
#include "recorder/dv_config.h"

#include <cmath>
#include <functional>

namespace {

constexpr u32 kW = 1920, kH = 1080;

// What a test reads off each decoded picture.
struct Look {
    double corners_over_centre = 0; // mean luma of 64 x 64 corner squares over the centre's
    double column_spread = 0;       // of the column means around their neighbours' (15 columns)
    double bar_spread = 0;          // of the colour bars' mean colours around their mean
};

double mean_luma(const AVFrame *f, int x0, int y0, int side)
{
    double sum = 0;
    for (int y = y0; y < y0 + side; y++)
        for (int x = x0; x < x0 + side; x++)
            sum += f->data[0][(size_t)y * f->linesize[0] + x];
    return sum / (side * side);
}

Look look_at(const AVFrame *f)
{
    Look l;
    const int s = 64, w = f->width, h = f->height;
    const double corners = (mean_luma(f, 32, 32, s) + mean_luma(f, w - 96, 32, s) + mean_luma(f, 32, h - 96, s) +
                            mean_luma(f, w - 96, h - 96, s)) / 4;
    l.corners_over_centre = corners / mean_luma(f, w / 2 - s / 2, h / 2 - s / 2, s);

    std::vector<double> col(w, 0);
    for (int y = 100; y < h - 100; y++)
        for (int x = 0; x < w; x++)
            col[x] += f->data[0][(size_t)y * f->linesize[0] + x] / (double)(h - 200);
    double sq = 0;
    for (int x = 7; x + 7 < w; x++) {
        double local = 0;
        for (int k = x - 7; k <= x + 7; k++)
            local += col[k] / 15;
        sq += (col[x] - local) * (col[x] - local);
    }
    l.column_spread = std::sqrt(sq / (w - 14));

    // The bars: six across, from 72% to 82% of the field's height; the
    // middle half of each.
    const int y0 = (int)(0.745 * 1096), y1 = (int)(0.795 * 1096);
    double Y[6], U[6], V[6], my = 0, mu = 0, mv = 0;
    for (int b = 0; b < 6; b++) {
        const int x0 = w * b / 6 + w / 24, x1 = w * (b + 1) / 6 - w / 24;
        double sy = 0, su = 0, sv = 0, n = 0;
        for (int y = y0; y < y1; y += 2)
            for (int x = x0; x < x1; x += 2, n++) {
                sy += f->data[0][(size_t)y * f->linesize[0] + x];
                su += f->data[1][(size_t)(y / 2) * f->linesize[1] + x / 2];
                sv += f->data[2][(size_t)(y / 2) * f->linesize[2] + x / 2];
            }
        Y[b] = sy / n, U[b] = su / n, V[b] = sv / n;
        my += Y[b] / 6, mu += U[b] / 6, mv += V[b] / 6;
    }
    for (int b = 0; b < 6; b++)
        l.bar_spread += std::sqrt((Y[b] - my) * (Y[b] - my) + (U[b] - mu) * (U[b] - mu) + (V[b] - mv) * (V[b] - mv)) / 6;
    return l;
}

// The mean of a measure over the last `n` pictures of a phase.
double last(const std::vector<Look> &looks, size_t end, size_t n, double Look::*m)
{
    double sum = 0;
    for (size_t i = end - n; i < end; i++)
        sum += looks[i].*m;
    return sum / n;
}

class DvPicture : public BoardTest {
protected:
    DvPicture() { conf_ = "isp.proc = 30\n"; }

    void SetUp() override
    {
        BoardTest::SetUp();
        app_.enter();
        livetest::configure(30, {1});
        KX_DV_CONFIG_S &c = gsDvConfig;
        c.sVi.sParam[0].u8Resolution = PIC_HD1080;
        c.sVpss.sParam[1].u8Resolution = PIC_HD1080;
        c.sVenc.sParam[1] = {PT_H264, 1, 1, 0, 30, 7, PIC_HD1080, 0, {0, 0, 0}, 30, 0};
        for (auto &o : c.sOsd.sParam)
            o.bEnable = 0;
    }

    void TearDown() override
    {
        if (!running_)
            return;
        livetest::stop_encoding();
        livetest::stop();
    }

    void start()
    {
        running_ = true;
        livetest::start();
        livetest::start_encoding();
    }

    // Records `n` more pictures; the index of the phase's end.
    size_t record(int n)
    {
        std::vector<videotest::Pack> more = videotest::collect(1, n, 5000);
        packs_.insert(packs_.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
        return packs_.size();
    }

    // A recording while the exposure settles, `change`, and a recording
    // after it, decoded: a measure over the last pictures before and after.
    std::pair<double, double> before_after(const std::function<void()> &change, double Look::*measure)
    {
        start();
        const size_t before = record(kSettle);
        change();
        const size_t after = record(kAfter);
        std::vector<Look> looks;
        int w = 0, h = 0;
        videotest::decode("h264", packs_, &w, &h, [&](const AVFrame *f) { looks.push_back(look_at(f)); });
        EXPECT_EQ(w, (int)kW);
        EXPECT_EQ(h, (int)kH);
        if (looks.size() != after) {
            ADD_FAILURE() << looks.size() << " pictures decoded of " << after;
            return {0, 0};
        }
        return {last(looks, before, kJudged, measure), last(looks, after, kJudged, measure)};
    }

    // Exposure settles in the first recording's pictures: each is judged on
    // its last 30.
    static constexpr int kSettle = 120, kAfter = 60, kJudged = 30;

    pipelinetest::AppStandIn app_;
    std::vector<videotest::Pack> packs_;
    bool running_ = false;
};

} // namespace

TEST_F(DvPicture, TheShadingTablesLiftTheCornersOfTheRecording)
{
    sim::with_world([](sim::World &w) { w.scene_grey = true; });
    // Tables for the board's lens (its corners at 0.4 of the centre's
    // light), about the lens's centre on the ISP's image.
    auto correct = [] {
        ISP_FRAME_FORMAT_S pub;
        ASSERT_EQ(0, DU_DUZ_ISP_GetPubAttr(0, &pub));
        const double half_diagonal2 = 960.0 * 960 + 548.0 * 548, k = 1 / std::sqrt(0.4) - 1;
        ISP_SHADING_ATTR_S a = {};
        a.bEnable = 1;
        a.u32TableNodeNum = SHADING_NODE_NUM;
        for (ISP_SHADING_TAB_S &t : a.astShadingTab) {
            t.u32ChnCfg = (u32)std::lround(128 * 16777216.0 / half_diagonal2);
            t.s32X = 960 - pub.s32OffsetX;
            t.s32Y = 548 - pub.s32OffsetY;
            for (u32 n = 0; n < SHADING_NODE_NUM; n++)
                t.au32Table[n] = (u32)std::lround(4096 * (1 + k * n / 128) * (1 + k * n / 128));
        }
        ASSERT_EQ(0, DU_DUZ_ISP_SetShadingAttr(0, &a));
    };
    const auto [off, on] = before_after(correct, &Look::corners_over_centre);
    EXPECT_LE(off, 0.8);
    EXPECT_NEAR(on, 1.0, 0.05);
}

TEST_F(DvPicture, ACalibrationAndCorrectionTakeTheColumnPatternOff)
{
    // A dim scene: the exposure's gain makes the pattern stand out.
    sim::with_world([](sim::World &w) {
        w.scene_grey = true;
        w.scene_brightness = 0.05;
    });
    auto correct = [] {
        ISP_FPN_CALIBRATE_ATTR_S cal = {};
        cal.enFpnType = ISP_FPN_TYPE_FRAME;
        cal.stFpnFrmInfo.enPixelFormat = 14; // Raw12
        ASSERT_EQ(0, DU_DUZ_ISP_FPNCalibrate(0, &cal));
        ISP_FPN_ATTR_S a = {};
        a.bEnable = 1;
        a.enOpType = OP_TYPE_AUTO;
        a.enFpnType = ISP_FPN_TYPE_FRAME;
        a.stFpnFrmInfo = cal.stFpnFrmInfo;
        ASSERT_EQ(0, DU_DUZ_ISP_SetFPNAttr(0, &a));
    };
    const auto [before, after] = before_after(correct, &Look::column_spread);
    EXPECT_GT(before, 1.0);
    EXPECT_LT(after * 4, before) << before << " -> " << after;
}

TEST_F(DvPicture, DehazeBringsTheBarsBackOutOfTheHaze)
{
    sim::with_world([](sim::World &w) { w.scene_haze = 0.5; });
    auto dehaze = [] {
        ISP_DEFOG_ATTR_S d;
        ASSERT_EQ(0, DU_DUZ_ISP_GetDeFogAttr(0, &d));
        EXPECT_EQ(d.bEnable, 0u);
        d.bEnable = 1;
        ASSERT_EQ(0, DU_DUZ_ISP_SetDeFogAttr(0, &d));
    };
    const auto [hazy, clearer] = before_after(dehaze, &Look::bar_spread);
    EXPECT_GT(clearer, hazy * 1.15) << hazy << " -> " << clearer;
    ISP_INNER_STATE_S inner;
    ASSERT_EQ(0, DU_DUZ_ISP_QueryInnerStateInfo(0, &inner));
    EXPECT_GT(inner.u32DefogStrengthActual, 0u);
}

TEST_F(DvPicture, TheProcTextHoldsEveryModulesBlockInRunOrder)
{
    start();
    record(70);
    const std::string text = testsupport::read_file(sim::root() + "/proc/umap/isp");
    const char *order[] = {"-----AE INFO",  "-----AWB INFO", "-----DRC INFO", "-----DEMOSAIC INFO", "-----NR INFO",
                           "-----SHARPEN INFO", "-----FPN INFO", "-----ACM INFO", "-----SHADING INFO"};
    size_t at = 0;
    for (const char *head : order) {
        SCOPED_TRACE(head);
        size_t found = text.find(head, at);
        ASSERT_NE(found, std::string::npos) << text;
        at = found + 1;
    }
}
