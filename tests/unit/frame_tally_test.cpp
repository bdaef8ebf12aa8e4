// What the bench counts as frames shown: damage batches on X11, buffer commits
// in a Wayland client's logged requests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_tally.h"

namespace
{

const unsigned long kWindow = 0x400007;

// One step a watcher takes: a damage report, or the end of a batch ("|").
struct Damage
{
    unsigned long drawable;
    int w, h;
};
struct DamageCase
{
    const char* name;
    std::vector<std::vector<Damage>> batches;
    long frames;
    long reports;
};

TEST(DamageTally, CountsBatchesWithDamageOnTheWindowAsFrames)
{
    const Damage full{kWindow, 1024, 768}, sprite{kWindow, 144, 144};
    const Damage other{0x500001, 1024, 768}, empty{kWindow, 0, 768};
    const DamageCase cases[] = {
        {"nothing drawn", {}, 0, 0},
        {"a batch with nothing in it", {{}, {}}, 0, 0},
        {"one flip per batch", {{full}, {full}, {full}}, 3, 3},
        {"several rectangles of one present are one frame",
         {{sprite, sprite, sprite, sprite}},
         1,
         4},
        {"presents merged before the subtract are one frame", {{full, full}, {sprite}}, 2, 3},
        {"another window's damage is not the program's", {{other}, {other, full}, {other}}, 1, 1},
        {"an empty area is no damage", {{empty}, {empty, sprite}}, 1, 1},
    };
    for (const DamageCase& c : cases)
    {
        DamageTally tally(kWindow);
        for (const auto& batch : c.batches)
        {
            for (const Damage& d : batch)
                tally.damaged(d.drawable, d.w, d.h);
            tally.endBatch();
        }
        EXPECT_EQ(tally.frames(), c.frames) << c.name;
        EXPECT_EQ(tally.reports(), c.reports) << c.name;
    }
}

struct CommitCase
{
    const char* name;
    std::vector<std::string> log;
    long frames;
    long commits;
};

TEST(CommitTally, CountsCommitsThatCarryANewBuffer)
{
    // libwayland 1.21 (Debian 12) writes wl_surface@N, 1.23 wl_surface#N after the queue's name.
    const std::string attach = "[1000.001]  -> wl_surface@3.attach(wl_buffer@20, 0, 0)";
    const std::string commit = "[1000.002]  -> wl_surface@3.commit()";
    const std::string damage = "[1000.003]  -> wl_surface@3.damage_buffer(0, 0, 1024, 768)";
    const CommitCase cases[] = {
        {"no requests", {}, 0, 0},
        {"attach then commit", {attach, damage, commit}, 1, 1},
        {"a commit without a new buffer", {attach, commit, commit}, 1, 2},
        {"an attach not yet committed", {attach, commit, attach}, 1, 1},
        {"two attaches, one commit", {attach, attach, commit}, 1, 1},
        {"detaching shows nothing",
         {"[1.0]  -> wl_surface@3.attach(nil, 0, 0)", commit}, 0, 1},
        {"a detach after an attach takes the buffer back",
         {attach, "[1.0]  -> wl_surface@3.attach(nil, 0, 0)", commit}, 0, 1},
        {"each surface has its own buffer",
         {attach, "[1.0]  -> wl_surface@9.commit()", commit}, 1, 2},
        {"newer libwayland's format",
         {"[77.5] {Default Queue}  -> wl_surface#12.attach(wl_buffer#40, 0, 0)",
          "[77.6] {Default Queue}  -> wl_surface#12.commit()"},
         1, 1},
        {"events and other objects' requests",
         {"[1.0]  wl_callback@30.done(1234)", "[1.0]  -> wl_subsurface@5.commit()",
          "[1.0]  -> xdg_surface@4.ack_configure(7)", attach,
          "[1.0] wl_surface@3.enter(wl_output@9)", commit},
         1, 1},
        {"text that only looks like a request",
         {"warning: -> wl_surface@3.commit()", "[1.0]  -> wl_surface@x.commit()",
          "[1.0]  -> wl_surface@3.commit(", "[1.0]  -> @3.commit()"},
         0, 0},
    };
    for (const CommitCase& c : cases)
    {
        CommitTally tally;
        for (const std::string& line : c.log)
            tally.line(line);
        EXPECT_EQ(tally.frames(), c.frames) << c.name;
        EXPECT_EQ(tally.commits(), c.commits) << c.name;
    }
}

TEST(CommitTally, TellsTheLogFromOtherTextSoThatTheRestCanBePassedOn)
{
    CommitTally tally;
    EXPECT_TRUE(tally.line("[1.0]  -> wl_surface@3.commit()"));
    EXPECT_TRUE(tally.line("[1.0]  -> wl_compositor@4.create_surface(new id wl_surface@3)"));
    EXPECT_TRUE(tally.line("[2373596.082] wl_registry@2.global(21, \"wl_seat\", 7)"));
    EXPECT_TRUE(tally.line("[77.6] {Default Queue} wl_callback#30.done(1234)"));
    EXPECT_FALSE(tally.line("[warning] something"));
    EXPECT_FALSE(tally.line("velmora-bench: repeat 1 of 5 done after 2.0 s"));
    EXPECT_FALSE(tally.line("MESA: error: ZINK: failed to choose pdev"));
    EXPECT_FALSE(tally.line(""));
}

TEST(FrameMark, NamesRoundTripAndOtherLinesAreNoMarks)
{
    const struct
    {
        std::string line;
        std::string name;
    } cases[] = {
        {frameMarkLine("rated-start"), "rated-start"},
        {frameMarkLine("own-12") + "\n", "own-12"},
        {"velmora-bench: mark ", ""},
        {"velmora-bench: repeat 1 of 5 done", ""},
        {"[1.0]  -> wl_surface@3.commit()", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frameMarkName(c.line), c.name) << c.line;
}

}
