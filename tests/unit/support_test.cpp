// The shared helpers themselves: quoting survives the shell, programs started
// as asked end as they did, temporary directories go away with their contents.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "process.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

using velmora::Command;
using velmora::Outcome;
using velmora::Seconds;
using velmora::Stream;

namespace
{

TEST(Quoted, EveryWordComesBackFromTheShellAsItWas)
{
    const std::string words[] = {"", "plain", "two words", "it's", "''", "'\\''", "$HOME `id` \"x\"", "a\nb", "*"};
    for (const std::string& word : words)
    {
        Outcome outcome = velmora::runShell("printf '%s' " + velmora::quoted(word));
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
        Outcome outcome = velmora::runShell(c.command);
        EXPECT_EQ(outcome.status, c.status) << c.command;
        EXPECT_EQ(outcome.output, c.output) << c.command;
    }
}

// A command that runs `script` in sh, its output collected.
Command script(const std::string& text)
{
    Command command{{"sh", "-c", text}};
    command.out.kind = Stream::Collect;
    command.err.kind = Stream::Collect;
    return command;
}

TEST(Process, EndsAsTheCommandAsked)
{
    velmora::TempDir dir("velmora-process-test");
    const std::string file = dir.str() + "/written";
    setenv("VELMORA_PROCESS_TEST_KEPT", "kept", 1);
    setenv("VELMORA_PROCESS_TEST_GONE", "here", 1);
    struct Case
    {
        const char* what;
        Command command;
        std::optional<Seconds> deadline;
        Outcome expected;
        std::function<void()> check;
    };
    Case cases[] = {
        {"exit status and both streams apart", script("echo out; echo err >&2; exit 3"), {},
         {3, 0, false, "out\n", "err\n"}, {}},
        {"a signal ends it", script("echo before; kill -TERM $$; echo after"), {},
         {-1, SIGTERM, false, "before\n", ""}, {}},
        {"killed at the deadline, with what it wrote by then",
         script("echo started; exec sleep 60"), Seconds(0.3), {-1, SIGKILL, true, "started\n", ""}, {}},
        {"killed at the deadline with its group",
         [] {
             Command c = script("sleep 60 & echo started; wait");
             c.ownGroup = true;
             return c;
         }(),
         Seconds(0.3), {-1, SIGKILL, true, "started\n", ""}, {}},
        {"environment set, kept and removed",
         [] {
             Command c = script("printf '%s,%s,%s' \"$NEW\" \"$VELMORA_PROCESS_TEST_KEPT\" "
                                "\"${VELMORA_PROCESS_TEST_GONE-unset}\"");
             c.env = {{"NEW", std::string("a b=c")}, {"VELMORA_PROCESS_TEST_GONE", std::nullopt}};
             return c;
         }(),
         {}, {0, 0, false, "a b=c,kept,unset", ""}, {}},
        {"working directory",
         [&] {
             Command c = script("pwd -P");
             c.dir = dir.str();
             return c;
         }(),
         {}, {0, 0, false, fs::canonical(dir.path()).string() + "\n", ""}, {}},
        {"input from text, through a pipe",
         [] {
             Command c = script("tr a-z A-Z");
             c.in = {Stream::Text, "shout\n"};
             return c;
         }(),
         {}, {0, 0, false, "SHOUT\n", ""}, {}},
        {"input it never reads",
         [] {
             Command c = script("exit 0");
             c.in = {Stream::Text, std::string(1 << 20, 'x')};
             return c;
         }(),
         {}, {0, 0, false, "", ""}, {}},
        {"output to a file, errors to nowhere",
         [&] {
             Command c = script("echo into; echo lost >&2");
             c.out = {Stream::File, file};
             c.err.kind = Stream::Null;
             return c;
         }(),
         {}, {0, 0, false, "", ""},
         [&] {
             std::ifstream in(file);
             std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
             EXPECT_EQ(text, "into\n");
         }},
        {"a program not in PATH does not start", Command{{"velmora-no-such-program"}}, {},
         {-1, 0, false, "", "velmora-no-such-program is not installed (not found in PATH)"}, {}},
        {"a program that can't be run does not start", Command{{file}}, {},
         {-1, 0, false, "", "cannot start " + file + ": Permission denied"}, {}},
        {"a directory that is not there",
         [] {
             Command c{{"true"}};
             c.dir = "/nonexistent-velmora-dir";
             return c;
         }(),
         {}, {-1, 0, false, "", "cannot enter /nonexistent-velmora-dir: No such file or directory"}, {}},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const Outcome outcome = velmora::run(c.command, c.deadline);
        EXPECT_EQ(outcome.status, c.expected.status) << outcome;
        EXPECT_EQ(outcome.signal, c.expected.signal) << outcome;
        EXPECT_EQ(outcome.timedOut, c.expected.timedOut) << outcome;
        EXPECT_EQ(outcome.output, c.expected.output);
        EXPECT_EQ(outcome.errors, c.expected.errors);
        if (c.check)
            c.check();
    }
    unsetenv("VELMORA_PROCESS_TEST_KEPT");
    unsetenv("VELMORA_PROCESS_TEST_GONE");
}

// A child's peak memory is its own, though this process's peak is far above it
// (the kernel's own tally would start from this process's).
TEST(Process, MeasuresTheChildsOwnPeakMemory)
{
    std::vector<char> ballast((size_t)160 << 20, 1);
    Command command = script("x=$(seq 3000000)");  // about 20 MB held by the shell
    command.measurePeak = true;
    const Outcome outcome = velmora::run(command);
    if (outcome.errors.find("(ptrace)") != std::string::npos)
        GTEST_SKIP() << outcome.errors << " (as under an emulator)";
    ASSERT_TRUE(outcome.succeeded()) << outcome;
    EXPECT_GT(outcome.peakKib, 20000) << "KiB";
    EXPECT_LT(outcome.peakKib, 100000) << "KiB";
    EXPECT_EQ(ballast[ballast.size() / 2], 1);
}

TEST(TempDir, IsNewAndEmptyAndGoesAwayWithItsContents)
{
    fs::path first, second;
    {
        velmora::TempDir dir("velmora-support-test");
        velmora::TempDir other("velmora-support-test");
        first = dir.path();
        second = other.path();
        ASSERT_TRUE(fs::is_directory(first));
        EXPECT_NE(first, second);
        EXPECT_EQ(first.filename().string().rfind("velmora-support-test-", 0), 0u);
        EXPECT_EQ(dir.str(), first.string());
        EXPECT_TRUE(fs::is_empty(first));
        fs::create_directories(first / "a" / "b");
        std::ofstream(first / "a" / "b" / "file") << "x";
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
}

}
