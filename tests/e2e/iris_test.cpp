// The lens's DC iris in the camera. Indoors the exposure alone keeps the
// picture's brightness and the iris stands wide open; in daylight far too
// bright for the shortest exposure the exposure hands over to the iris,
// which closes until the picture is back at its brightness, and opens again
// when the light falls; switched off, the iris's drive is cut. The board's
// PWM duty (events.log), its aperture (status) and the recorded pictures'
// luma tell the same story.
#include "board/sim/picture/lens.h"
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

// Mean, lowest and highest luma of the recording's pictures [from, to).
struct Span {
    double mean = 0, low = 256, high = -1;
    int n = 0;
};
Span over(const std::vector<double> &luma, long from, long to)
{
    Span s;
    double sum = 0;
    for (long i = std::max(0l, from); i < to && i < (long)luma.size(); i++, s.n++) {
        sum += luma[(size_t)i];
        s.low = std::min(s.low, luma[(size_t)i]);
        s.high = std::max(s.high, luma[(size_t)i]);
    }
    s.mean = s.n ? sum / s.n : 0;
    return s;
}

// The first picture from `from` on whose luma `holds`; -1 when none.
long first(const std::vector<double> &luma, long from, const std::function<bool(double)> &holds)
{
    for (long i = std::max(0l, from); i < (long)luma.size(); i++)
        if (holds(luma[(size_t)i]))
            return i;
    return -1;
}

// The luma of every picture of a recording that decodes whole (empty when
// it does not).
std::vector<double> recorded_luma(const std::string &path)
{
    av_log_set_level(AV_LOG_QUIET);
    std::vector<double> luma;
    const mp4test::File f = mp4test::probe_file(path, [&](const AVFrame *frame) { luma.push_back(mean_luma(frame)); });
    const mp4test::Track *v = f.of(AVMEDIA_TYPE_VIDEO);
    if (!f.opened || !v || v->errors)
        luma.clear();
    return luma;
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
    std::this_thread::sleep_for(std::chrono::seconds(6));
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
    // iris darkens them until it opens. A loaded host may drop pictures, so
    // the phases are found in the pictures themselves: the first flooded
    // one, the first darkened one after it, and a second (60 pictures at
    // 60 fps) before each and at the end.
    const std::vector<std::string> movies = cam.movies();
    ASSERT_EQ(movies.size(), 1u);
    ASSERT_TRUE(wait_complete(cam, movies[0]));
    const std::vector<double> luma = recorded_luma(movies[0]);
    ASSERT_GT(luma.size(), 300u) << "the recording does not decode whole, or holds too little";
    const double start = over(luma, 0, 30).mean;
    const long flooded = first(luma, 0, [&](double y) { return y > start + 60; });
    ASSERT_GT(flooded, 0) << "the daylight never reached the pictures";
    const long darkened = first(luma, flooded, [&](double y) { return y < start - 60; });
    ASSERT_GT(darkened, flooded) << "the closed iris never darkened the pictures";
    const long n = (long)luma.size();
    constexpr long kSecond = 60, kMargin = 5;
    const Span indoors = over(luma, flooded - kMargin - kSecond, flooded - kMargin);
    const Span daylight = over(luma, darkened - kMargin - kSecond, darkened - kMargin);
    const Span evening = over(luma, n - kMargin - kSecond, n - kMargin);
    for (const Span *s : {&indoors, &daylight, &evening})
        ASSERT_EQ(s->n, kSecond) << "a phase too short";
    EXPECT_NEAR(daylight.mean, indoors.mean, 8);
    EXPECT_LT(daylight.high - daylight.low, 6);
    EXPECT_NEAR(evening.mean, indoors.mean, 8);
    EXPECT_LT(evening.high - evening.low, 6);
}
