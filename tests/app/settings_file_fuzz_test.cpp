// Replays the settings parser's saved fuzz corpus through the fuzz harness,
// under the sanitizers of the test build.
#include "tests/app/settings_file_fuzz.h"

#include <algorithm>
#include <vector>

#include "tests/support/board_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path corpus_dir() { return fs::path(__FILE__).parent_path() / "data" / "settings_file_corpus"; }

class SettingsFileFuzzTest : public BoardTest {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        BoardTest::SetUp();
    }
};

TEST_F(SettingsFileFuzzTest, SavedCorpusReplays)
{
    std::vector<fs::path> inputs;
    for (const auto &entry : fs::directory_iterator(corpus_dir()))
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << corpus_dir();

    for (const fs::path &input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const std::string bytes = testsupport::read_file(input.string());
        std::string broke;
        testsupport::capture_stdout([&] {
            broke = settings_fuzz::parse_one(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        });
        EXPECT_EQ(broke, "");
    }
}

} // namespace
