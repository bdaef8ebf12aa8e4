// What the install tests share.
#include "support.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace install
{

using namespace e2e;

fs::path stagedRoot() { return VELMORA_STAGE_DIR; }

fs::path packageFile()
{
    const fs::path dir = VELMORA_PACKAGE_DIR;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec))
    {
        const std::string name = entry.path().filename().string();
        if (name.rfind("velmora_", 0) == 0 && entry.path().extension() == ".deb")
            return entry.path();
    }
    return {};
}

std::set<std::string> expectedFiles(const std::string& commandDir)
{
    std::set<std::string> files = {
        commandDir + "/velmora",
        commandDir + "/velmora-check",
        commandDir + "/velmora-artgen",
        commandDir + "/velmora-import",
        "libexec/velmora/velmora",
        "libexec/velmora/velmora-output-scale",
        "share/applications/velmora.desktop",
        "share/metainfo/" VELMORA_APPSTREAM_ID ".metainfo.xml",
        "share/man/man6/velmora.6.gz",
        "share/man/man1/velmora-check.1.gz",
        "share/man/man1/velmora-artgen.1.gz",
        "share/man/man1/velmora-import.1.gz",
        "share/doc/velmora/copyright",
        "share/doc/velmora/changelog.gz",
    };
    for (int size : {16, 32, 48, 64, 128, 256})
        files.insert("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                     "/apps/velmora.png");
    // The art, as the build drew it.
    for (const std::string& art : filesBelow(projectData()))
        files.insert("share/velmora/" + art);
    return files;
}

std::set<std::string> filesBelow(const fs::path& root)
{
    std::set<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec))
    {
        if (!it->is_directory() || it->is_symlink())
            files.insert(fs::relative(it->path(), root).string());
    }
    return files;
}

fs::path copyStagedUsr(const fs::path& dir)
{
    fs::copy(stagedRoot() / "usr", dir / "usr",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return dir / "usr";
}

std::ostream& operator<<(std::ostream& os, const CommandResult& r)
{
    return os << r.exit << "\nstandard output:\n" << r.out << "standard error:\n" << r.err;
}

CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& dir, const EnvChanges& env, Seconds timeout)
{
    const fs::path path = program.find('/') == std::string::npos ? findInPath(program) : fs::path(program);
    Process process(path, args, dir, env);
    CommandResult result;
    result.exit = process.wait(timeout);
    result.out = process.out();
    result.err = process.err();
    return result;
}

void expectLintianClean(const fs::path& deb)
{
    try
    {
        findInPath("lintian");
    }
    catch (const std::runtime_error&)
    {
        GTEST_SKIP() << "lintian is not installed (scripts/install-deps.sh --test installs it)";
    }
    CommandResult r = runCommand("lintian", {deb.string()}, fs::temp_directory_path(), {}, Seconds(600));
    std::cout << "lintian " << deb.filename().string() << ":\n" << r.out << std::flush;
    EXPECT_TRUE(r.succeeded()) << r;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_TRUE(line.rfind("E: ", 0) != 0 && line.rfind("W: ", 0) != 0) << line;
}

namespace
{

// A set's frames, every BMP of its directory; none when the set is not there.
std::vector<Picture> framesOf(const fs::path& set)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(set, ec))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<Picture> frames;
    for (const fs::path& file : files)
        frames.push_back(Picture::loadBmp(file));
    return frames;
}

}

void InstalledLauncherTest::expectSceneFrom(const fs::path& launcher, const fs::path& data,
                                            const EnvChanges& env)
{
    const Picture background = Picture::loadBmp(data / "bg.bmp");
    ASSERT_FALSE(background.empty()) << data / "bg.bmp";
    ExpectedPicture expected(kWindowWidth, kWindowHeight);
    expected.background(background);
    struct Placed
    {
        const char* set;
        Point at;
        int width = 0;
        int height = 0;
    };
    std::vector<Placed> drawn;
    for (Placed p : {Placed{"sun", kSunAt}, Placed{"vikings", kVikings1At}, Placed{"vikings", kVikings2At}})
    {
        const std::vector<Picture> frames = framesOf(data / "includes" / p.set);
        if (frames.empty())
            continue;
        expected.sprite(frames, kKey, p.at.x, p.at.y);
        p.width = frames.front().width();
        p.height = frames.front().height();
        drawn.push_back(p);
    }

    RunOptions options;
    options.program = launcher;
    options.env = env;
    Session& s = start(options);
    ASSERT_TRUE(s.waitForWindow());
    EXPECT_TRUE(s.waitForScene(expected));
    for (const Placed& p : drawn)
    {
        const Picture under = background.crop(p.at.x, p.at.y, p.width, p.height);
        EXPECT_TRUE(s.waitForPicture([&](const Picture& shot) {
            return shot.crop(p.at.x, p.at.y, p.width, p.height) != under;
        })) << p.set << " is not drawn at (" << p.at.x << "," << p.at.y << ")";
    }
    expectCleanEndAfterEscape();
}

}
