// The shared test helpers themselves: quoting survives the shell, commands give
// their output and status, temporary directories go away with their contents.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "command.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace
{

TEST(Quoted, EveryWordComesBackFromTheShellAsItWas)
{
    const std::string words[] = {"", "plain", "two words", "it's", "''", "'\\''", "$HOME `id` \"x\"", "a\nb", "*"};
    for (const std::string& word : words)
    {
        testsupport::Outcome outcome = testsupport::run("printf '%s' " + testsupport::quoted(word));
        EXPECT_EQ(outcome.status, 0) << word;
        EXPECT_EQ(outcome.output, word);
    }
}

TEST(Run, GivesStandardOutputAndTheExitStatus)
{
    struct Case
    {
        const char* command;
        int status;
        const char* output;
    } cases[] = {
        {"printf 'a\\nb'", 0, "a\nb"},
        {"echo out; echo err >&2; exit 3", 3, "out\n"},
        {"echo err >&2 2>&1; exit 0", 0, ""},
        {"kill -9 $$", -1, ""},
    };
    for (const Case& c : cases)
    {
        testsupport::Outcome outcome = testsupport::run(c.command);
        EXPECT_EQ(outcome.status, c.status) << c.command;
        EXPECT_EQ(outcome.output, c.output) << c.command;
    }
}

TEST(TempDir, IsNewAndEmptyAndGoesAwayWithItsContents)
{
    std::string first, second;
    {
        testsupport::TempDir dir("velmora-support-test");
        testsupport::TempDir other("velmora-support-test");
        first = dir.path();
        second = other.path();
        ASSERT_TRUE(fs::is_directory(first));
        EXPECT_NE(first, second);
        EXPECT_EQ(fs::path(first).filename().string().rfind("velmora-support-test-", 0), 0u);
        EXPECT_TRUE(fs::is_empty(first));
        fs::create_directories(fs::path(first) / "a" / "b");
        std::ofstream(fs::path(first) / "a" / "b" / "file") << "x";
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
}

}
