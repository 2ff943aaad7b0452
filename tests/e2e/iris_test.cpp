// The lens's DC iris in the camera. Indoors the exposure alone keeps the
// picture's brightness and the iris stands wide open; in daylight far too
// bright for the shortest exposure the exposure hands over to the iris,
// which closes until the picture is back at its brightness, and opens again
// when the light falls; switched off, the iris's drive is cut. The board's
// PWM duty (events.log), its aperture (status) and the recorded pictures'
// luma tell the same story.
#include "board/sim/lens.h"
#include "tests/e2e/e2e_support.h"

using namespace e2e;

namespace {

constexpr double kDaylight = 10000; // the scene's brightness, indoors 1

// The mean luma of a picture, on every 8th pixel of every 8th row.
double mean_luma(const AVFrame *f)
{
    double sum = 0;
    long n = 0;
    for (int y = 0; y < f->height; y += 8)
        for (int x = 0; x < f->width; x += 8, n++)
            sum += f->data[0][(size_t)y * f->linesize[0] + x];
    return n ? sum / n : 0;
}

// The recording's pictures: seconds since its first one, and their luma.
struct Luma {
    std::vector<double> t, luma;

    // Mean, lowest and highest over [from, to) seconds.
    struct Span {
        double mean = 0, low = 256, high = -1;
        int n = 0;
    };
    Span over(double from, double to) const
    {
        Span s;
        double sum = 0;
        for (size_t i = 0; i < t.size(); i++) {
            if (t[i] < from || t[i] >= to)
                continue;
            sum += luma[i];
            s.low = std::min(s.low, luma[i]);
            s.high = std::max(s.high, luma[i]);
            s.n++;
        }
        s.mean = s.n ? sum / s.n : 0;
        return s;
    }
};

Luma recorded_luma(const std::string &path, bool *decoded)
{
    av_log_set_level(AV_LOG_QUIET);
    std::vector<int64_t> pts;
    Luma l;
    const mp4test::File f = mp4test::probe_file(path, [&](const AVFrame *frame) {
        pts.push_back(frame->best_effort_timestamp);
        l.luma.push_back(mean_luma(frame));
    });
    const mp4test::Track *v = f.of(AVMEDIA_TYPE_VIDEO);
    *decoded = f.opened && v && v->errors == 0 && !pts.empty();
    if (!*decoded)
        return l;
    for (int64_t p : pts)
        l.t.push_back((double)(p - pts.front()) * av_q2d(v->time_base));
    return l;
}

// The duties written to the PWM output in events.log lines [from, to).
std::vector<int> duties(Camera &cam, size_t from, size_t to = SIZE_MAX)
{
    std::vector<int> d;
    const std::vector<std::string> lines = cam.events();
    for (size_t i = from; i < lines.size() && i < to; i++) {
        const size_t at = lines[i].find(" pwm 0 duty ");
        if (at != std::string::npos)
            d.push_back(std::stoi(lines[i].substr(at + 12)));
    }
    return d;
}

double stops(Camera &cam)
{
    const std::string s = cam.status("iris_stops");
    return s.empty() ? -1 : std::stod(s);
}

// Seconds of the recording at the board's time `ms` (events.log).
double at(long ms, long started_ms) { return (ms - started_ms) / 1000.0; }

} // namespace

TEST(Iris, TheDcIrisClosesInDaylightAndOpensWhenTheLightFalls)
{
    Camera cam("iris", "iris = dc\n");
    cam.boot("gpio 10_5 1"); // record mode 1
    const size_t mark = rec_start(cam);
    std::this_thread::sleep_for(std::chrono::seconds(4));
    EXPECT_EQ(stops(cam), 0.0) << "indoors the iris stands wide open";

    const size_t day = cam.event_count();
    cam.send("scene brightness " + std::to_string((int)kDaylight));
    EXPECT_TRUE(cam.wait_until(10, [&] { return stops(cam) > 3; })) << stops(cam);
    std::this_thread::sleep_for(std::chrono::seconds(4));
    // The light is 10000 times the indoor light the exposure met at a
    // time of hundreds of lines, the shortest time two lines: what the
    // exposure cannot take, some four stops, the iris takes.
    const double closed = stops(cam);
    EXPECT_GT(closed, 3.5);
    EXPECT_LT(closed, 5.5);

    const size_t dusk = cam.event_count();
    cam.send("scene brightness 1");
    EXPECT_TRUE(cam.wait_until(10, [&] { return stops(cam) == 0; })) << stops(cam);
    // The iris opens at once; the exposure then climbs back from its
    // shortest time.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    rec_stop(cam, mark);
    const size_t off = cam.event_count();
    cam.send("key power tap");
    ASSERT_TRUE(cam.wait_power_off(20));

    // The drive: below the hold duty as the iris closes, about the hold
    // while it holds, above it as the iris opens; cut at switch-off.
    const std::vector<int> daylight_duty = duties(cam, day, dusk), opening = duties(cam, dusk, off),
                           last = duties(cam, off);
    ASSERT_FALSE(daylight_duty.empty());
    EXPECT_LT(daylight_duty.front(), sim::kDcIrisHoldDuty);
    EXPECT_NEAR(daylight_duty.back(), sim::kDcIrisHoldDuty, 40);
    ASSERT_FALSE(opening.empty());
    EXPECT_GT(*std::max_element(opening.begin(), opening.end()), sim::kDcIrisHoldDuty + 200);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last.back(), 0);

    // The pictures: the daylight first floods them, then the iris brings
    // them back to the indoor brightness; as the light falls the closed
    // iris darkens them until it opens.
    const std::vector<std::string> movies = cam.movies();
    ASSERT_EQ(movies.size(), 1u);
    ASSERT_TRUE(wait_complete(cam, movies[0]));
    bool decoded = false;
    const Luma luma = recorded_luma(movies[0], &decoded);
    ASSERT_TRUE(decoded);
    const long started = cam.event_times("venc chn 1 start").back();
    const double t_day = at(cam.event_times("scene brightness " + std::to_string((int)kDaylight)).back(), started);
    const double t_dusk = at(cam.event_times("scene brightness 1").back(), started);
    const double t_end = at(cam.event_times("venc chn 1 stop").back(), started);
    const Luma::Span indoors = luma.over(t_day - 2, t_day - 0.5);
    const Luma::Span flooded = luma.over(t_day, t_day + 1.5);
    const Luma::Span daylight = luma.over(t_dusk - 2, t_dusk - 0.5);
    const Luma::Span darkened = luma.over(t_dusk, t_dusk + 1.5);
    const Luma::Span dusk_settled = luma.over(t_end - 2, t_end - 0.5);
    for (const Luma::Span *s : {&indoors, &flooded, &daylight, &darkened, &dusk_settled})
        ASSERT_GT(s->n, 10) << "pictures missing from a span";
    EXPECT_GT(flooded.high, indoors.mean + 60);
    EXPECT_NEAR(daylight.mean, indoors.mean, 8);
    EXPECT_LT(daylight.high - daylight.low, 6);
    EXPECT_LT(darkened.low, indoors.mean - 60);
    EXPECT_NEAR(dusk_settled.mean, indoors.mean, 8);
    EXPECT_LT(dusk_settled.high - dusk_settled.low, 6);
}
