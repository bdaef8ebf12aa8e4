// velmora-bench on a real X server: the frames it counts as shown come from a
// second client watching the window's damage. Only that the count is there and
// plausible is checked here; how fast anything is belongs to the bench's report.
#include <fstream>
#include <map>
#include <sstream>

#include "xsession.h"

namespace e2e
{
namespace
{

// The CSV's per-repeat figures of one scenario, by figure name.
std::map<std::string, double> repeatFigures(const std::filesystem::path& csv,
                                            const std::string& scenario, std::string* passes)
{
    std::map<std::string, double> figures;
    std::ifstream in(csv);
    std::string line;
    while (std::getline(in, line))
    {
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ','))
            f.push_back(field);
        // scenario,strategy,sprites,size,target,passes,repeat,figure,value,unit
        if (f.size() == 10 && f[0] == scenario && f[6] == "1")
        {
            figures[f[7]] = std::stod(f[8]);
            *passes = f[5];
        }
    }
    return figures;
}

TEST(BenchFramesShown, TheSceneOnXvfbShowsSomeFramesAndNoMoreThanItsPasses)
{
    XServer server;
    velmora::TempDir dir;
    const std::filesystem::path csv = dir.path() / "bench.csv";
    velmora::Command bench{{VELMORA_BENCH, "--x11", "--only", "scene", "--repeats", "1", "--passes",
                            "100", "--startup-runs", "0", "--csv", csv.string()}};
    bench.dir = dir.str();
    bench.env = {{"DISPLAY", server.display()}};
    bench.out.kind = bench.err.kind = velmora::Stream::Collect;
    const Outcome end = velmora::run(bench, Seconds(240));
    ASSERT_EQ(end.status, 0) << end;
    EXPECT_NE(end.output.find("shown/s"), std::string::npos) << end.output;

    std::string passes;
    std::map<std::string, double> figures = repeatFigures(csv, "scene (drawScene)", &passes);
    ASSERT_EQ(passes, "100") << end.output;
    ASSERT_TRUE(figures.count("frames_shown")) << "no frames shown in the CSV\n" << end.errors;
    EXPECT_GT(figures["frames_shown"], 0);
    EXPECT_LE(figures["frames_shown"], 100);
    EXPECT_GT(figures["shown_rate"], 0);
    EXPECT_GT(figures["cpu_per_shown"], 0);
}

}
}
