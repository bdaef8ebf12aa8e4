// The runtime component staged with DESTDIR: the tree it installs, the launcher
// (its errors, its arguments and status, and the demo it starts under Xvfb),
// the desktop entry, AppStream data, man pages and icons, and uninstalling.
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "launcher.h"

namespace install
{
namespace
{

using namespace e2e;

fs::path staged(const std::string& relative) { return stagedRoot() / "usr" / relative; }

std::string readText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool executable(const fs::path& file)
{
    struct stat st;
    return stat(file.c_str(), &st) == 0 && (st.st_mode & 0111) == 0111;
}

TEST(StagedTree, HoldsEveryFileOfTheProgramAndNothingElse)
{
    EXPECT_EQ(filesBelow(stagedRoot() / "usr"), expectedFiles("bin"));
    std::set<std::string> top;
    for (const fs::directory_entry& entry : fs::directory_iterator(stagedRoot()))
        top.insert(entry.path().filename().string());
    EXPECT_EQ(top, std::set<std::string>{"usr"}) << "everything goes below the prefix";
}

TEST(StagedTree, OnlyTheCommandsAndTheProgramAreExecutable)
{
    const std::set<std::string> programs = {"bin/velmora", "bin/velmora-check", "bin/velmora-artgen", "bin/velmora-import",
                                            "libexec/velmora/velmora"};
    for (const std::string& file : filesBelow(stagedRoot() / "usr"))
        EXPECT_EQ(executable(staged(file)), programs.count(file) == 1) << file;
}

TEST(StagedTree, ArtIsWhatTheBuildDrew)
{
    for (const std::string& art : filesBelow(projectData()))
        EXPECT_TRUE(readText(projectData() / art) == readText(staged("share/velmora/" + art))) << art;
}

// The launcher on a copy of the staged tree whose program is replaced by a
// script that shows where it runs and what it was given.
class Launcher : public testing::Test
{
protected:
    void SetUp() override
    {
        mUsr = copyStagedUsr(mDir.path());
        std::ofstream(mUsr / "libexec/velmora/velmora", std::ios::trunc)
            << "#!/bin/sh\npwd -P\nfor a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n";
    }

    Outcome launch(const std::vector<std::string>& args = {}, const EnvChanges& env = {})
    {
        return runCommand((mUsr / "bin/velmora").string(), args, mElsewhere.path(), env);
    }

    TempDir mDir;
    TempDir mElsewhere;
    fs::path mUsr;
};

TEST_F(Launcher, RunsTheProgramInTheDataDirectoryWithItsArgumentsAndEndsWithItsStatus)
{
    Outcome r = launch({"two words", "", "*"});
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.output, fs::canonical(mUsr / "share/velmora").string() + "\n[two words]\n[]\n[*]\n");
    EXPECT_EQ(r.errors, "");
}

TEST_F(Launcher, FindsItsTreeWhenStartedThroughASymlink)
{
    fs::create_symlink(mUsr / "bin/velmora", mElsewhere.path() / "velmora");
    Outcome r = runCommand((mElsewhere.path() / "velmora").string(), {}, mElsewhere.path());
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.output, fs::canonical(mUsr / "share/velmora").string() + "\n");
}

TEST_F(Launcher, RunsTheProgramInTheDirectoryThatVelmoraDataNames)
{
    fs::create_directory(mElsewhere.path() / "my-art");
    Outcome r = launch({}, {{"VELMORA_DATA", std::string("my-art")}});
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.output, fs::canonical(mElsewhere.path() / "my-art").string() + "\n");
}

TEST_F(Launcher, EndsWithStatusTwoWhenTheDataDirectoryIsMissing)
{
    fs::remove_all(mUsr / "share/velmora");
    Outcome r = launch();
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.output, "") << "the program must not start";
    EXPECT_EQ(r.errors, "velmora: the data directory is missing: " + fs::canonical(mUsr / "bin").string() +
                         "/../share/velmora is not a directory\n");
}

TEST_F(Launcher, EndsWithStatusTwoWhenVelmoraDataNamesNoDirectory)
{
    Outcome r = launch({}, {{"VELMORA_DATA", std::string("/nonexistent/art")}});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(r.errors, "velmora: VELMORA_DATA names no directory: /nonexistent/art\n");
}

TEST_F(Launcher, EndsWithStatus127WhenTheProgramIsMissing)
{
    fs::remove(mUsr / "libexec/velmora/velmora");
    Outcome r = launch();
    EXPECT_EQ(r.status, 127) << r;
    EXPECT_EQ(r.errors, "velmora: the program is missing: " + fs::canonical(mUsr / "bin").string() +
                         "/../libexec/velmora/velmora is not an executable file\n");
}

// The launcher's scaling: what it hands the compatibility layer for each way of
// asking (--scale, the desktop's scale) and what it refuses. The stand-in
// program prints the three variables; stand-ins for swaymsg, gsettings, ldd and ldconfig
// come first on PATH, so the machine's own desktop can't take part.
class LauncherScale : public Launcher
{
protected:
    void SetUp() override
    {
        Launcher::SetUp();
        std::ofstream(mUsr / "libexec/velmora/velmora", std::ios::trunc)
            << "#!/bin/sh\necho \"scaling=${SDL12COMPAT_WINDOW_SCALING-unset}"
               " highdpi=${SDL12COMPAT_HIGHDPI-unset} method=${SDL12COMPAT_SCALE_METHOD-unset}\"\n"
               "for a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n";
        mBin = mDir.path() / "fake-bin";
        fs::create_directories(mBin);
        // A classic library's file, for the ldd stand-in to name.
        std::ofstream(mDir.path() / "libSDL-1.2.so.0.11.4") << "";
        fake("swaymsg", "[ \"$1 $2 $3\" = \"-p -t get_outputs\" ] || exit 1\n"
                        "printf 'Output HEADLESS-1 (focused)\\n  Scale factor: %s\\n' \"$SWAY_SCALE\"\n");
        fake("gsettings", "echo \"uint32 ${GNOME_SCALE:-0}\"\n");
        fake("ldd", "[ -n \"$CLASSIC\" ] && echo \"\tlibSDL-1.2.so.0 => " +
                        (mDir.path() / "libSDL-1.2.so.0.11.4").string() + " (0x1)\"\nexit 0\n");
        // The SDL 2 the layer loads: SDL 2 itself, or (with SDL3 set) the one
        // over SDL 3, which names libSDL3 inside.
        std::ofstream(mDir.path() / "libSDL2-2.0.so.0.2600.5") << "SDL 2.26";
        std::ofstream(mDir.path() / "libSDL2-2.0.so.0.3200.74") << "loads libSDL3.so.0";
        const std::string sdl2 = (mDir.path() / "libSDL2-2.0.so.0.").string();
        fake("ldconfig", "[ \"$1\" = -p ] || exit 1\nlib=" + sdl2 + "2600.5\n[ -n \"$SDL3\" ] && lib=" + sdl2 +
                             "3200.74\nprintf '\\tlibSDL2-2.0.so.0 (libc6,x86-64) => %s\\n' \"$lib\"\n");
    }

    void fake(const std::string& name, const std::string& body)
    {
        std::ofstream(mBin / name) << "#!/bin/sh\n" << body;
        fs::permissions(mBin / name, fs::perms::owner_all, fs::perm_options::add);
    }

    Outcome launchScaled(const std::vector<std::string>& args, EnvChanges env)
    {
        env["PATH"] = mBin.string() + ":" + std::getenv("PATH");
        for (const char* unset : {"GDK_SCALE", "SWAYSOCK", "SDL3", "SDL12COMPAT_WINDOW_SCALING",
                                  "SDL12COMPAT_HIGHDPI", "SDL12COMPAT_SCALE_METHOD"})
            if (!env.count(unset))
                env[unset] = std::nullopt;
        return launch(args, env);
    }

    fs::path mBin;
};

TEST_F(LauncherScale, HandsTheLayerTheScaleAskedForOrTheDesktops)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> args;
        EnvChanges env;
        std::string out;
    };
    const std::string sharp = " highdpi=1 method=nearest\n";
    const Case cases[] = {
        {"no desktop scale", {}, {}, "scaling=unset" + sharp},
        {"--scale N", {"--scale", "3"}, {}, "scaling=3" + sharp},
        {"--scale=N", {"--scale=2", "x"}, {}, "scaling=2" + sharp + "[x]\n"},
        {"only the first argument is the option", {"x", "--scale", "2"}, {},
         "scaling=unset" + sharp + "[x]\n[--scale]\n[2]\n"},
        {"GDK_SCALE", {}, {{"GDK_SCALE", "2"}, {"SDL3", "1"}}, "scaling=2" + sharp},
        {"--scale over GDK_SCALE", {"--scale", "1"}, {{"GDK_SCALE", "2"}}, "scaling=1" + sharp},
        {"sway's focused output", {}, {{"SWAYSOCK", "/x"}, {"SWAY_SCALE", "2.000000"}, {"SDL3", "1"}},
         "scaling=2" + sharp},
        {"sway's fractional scale, rounded down", {}, {{"SWAYSOCK", "/x"}, {"SWAY_SCALE", "1.500000"}, {"SDL3", "1"}},
         "scaling=unset" + sharp},
        {"GNOME's scaling factor", {}, {{"GNOME_SCALE", "2"}, {"SDL3", "1"}}, "scaling=2" + sharp},
        // Over SDL 2 a window is sized in the desktop's units already: the
        // desktop's scale is not applied again, though --scale still is.
        {"the desktop's scale over SDL 2", {}, {{"GDK_SCALE", "2"}, {"SWAYSOCK", "/x"}, {"SWAY_SCALE", "2"}}, "scaling=unset" + sharp},
        {"--scale over SDL 2", {"--scale", "2"}, {{"GDK_SCALE", "2"}}, "scaling=2" + sharp},
        {"the user's own settings stay", {"--scale", "2"},
         {{"SDL12COMPAT_WINDOW_SCALING", "1.5"}, {"SDL12COMPAT_HIGHDPI", "0"},
          {"SDL12COMPAT_SCALE_METHOD", "linear"}},
         "scaling=1.5 highdpi=0 method=linear\n"},
    };
    for (const Case& c : cases)
    {
        Outcome r = launchScaled(c.args, c.env);
        EXPECT_EQ(r.status, 3) << c.what << "\n" << r;
        EXPECT_EQ(r.output, c.out) << c.what;
        EXPECT_EQ(r.errors, "") << c.what;
    }
}

TEST_F(LauncherScale, RefusesAScaleThatIsNoWholeNumberFromOneToEight)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--scale", "0"}, {"--scale", "9"}, {"--scale=1.5"},
                                               {"--scale=-2"}, {"--scale", ""}, {"--scale=two"}, {"--scale", "none"}})
    {
        Outcome r = launchScaled(args, {});
        EXPECT_EQ(r.status, 2) << r;
        EXPECT_EQ(r.output, "") << "the program must not start";
        EXPECT_NE(r.errors.find("velmora: --scale takes a whole number from 1 to 8"), std::string::npos) << r;
    }
    Outcome r = launchScaled({"--scale"}, {});
    EXPECT_EQ(r.status, 2) << r;
    EXPECT_EQ(r.errors, "velmora: --scale needs a number, as in --scale 2\n");
}

TEST_F(LauncherScale, SaysTheClassicLibraryCantScaleAndRunsTheDemoAnyway)
{
    Outcome r = launchScaled({"--scale", "2"}, {{"CLASSIC", "1"}});
    EXPECT_EQ(r.status, 3) << r;
    EXPECT_EQ(r.output, "scaling=2 highdpi=1 method=nearest\n");
    EXPECT_NE(r.errors.find("velmora: can't scale the window by 2: the classic SDL 1.2 library"),
              std::string::npos)
        << r;
    // On the layer, or at scale 1, nothing is said.
    EXPECT_EQ(launchScaled({"--scale", "2"}, {}).errors, "");
    EXPECT_EQ(launchScaled({"--scale", "1"}, {{"CLASSIC", "1"}}).errors, "");
}

// The value of `key` in the [Desktop Entry] group of a desktop file.
std::string desktopValue(const std::string& text, const std::string& key)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return "";
}

TEST(InstalledFiles, DesktopEntryIsValidAndNamesTheInstalledCommandAndIcon)
{
    const fs::path entry = staged("share/applications/velmora.desktop");
    Outcome r = runCommand("desktop-file-validate", {entry.string()});
    EXPECT_TRUE(r.succeeded()) << r;
    EXPECT_EQ(r.output + r.errors, "");

    const std::string text = readText(entry);
    EXPECT_TRUE(fs::exists(staged("bin/" + desktopValue(text, "Exec")))) << desktopValue(text, "Exec");
    EXPECT_TRUE(fs::exists(staged("share/icons/hicolor/48x48/apps/" + desktopValue(text, "Icon") + ".png")));
    // The window's class, which desktops match to the entry, is the program's file name.
    EXPECT_EQ(desktopValue(text, "StartupWMClass"), "velmora");
}

TEST(InstalledFiles, AppStreamDataIsValidAndDescribesThisRelease)
{
    const fs::path file = staged("share/metainfo/" VELMORA_APPSTREAM_ID ".metainfo.xml");
    Outcome r = runCommand("appstreamcli", {"validate", "--no-net", file.string()});
    EXPECT_TRUE(r.succeeded()) << r;
    EXPECT_EQ(r.output.find("E:"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("W:"), std::string::npos) << r.output;

    const std::string text = readText(file);
    EXPECT_NE(text.find("<launchable type=\"desktop-id\">velmora.desktop</launchable>"), std::string::npos);
    // The newest release comes first and must be this version.
    const size_t release = text.find("<release version=\"");
    ASSERT_NE(release, std::string::npos);
    const std::string expected = "<release version=\"" VELMORA_VERSION "\"";
    EXPECT_EQ(text.substr(release, expected.size()), expected);
}

TEST(InstalledFiles, DebianChangelogNamesThisVersionAndCopyrightTheLicence)
{
    Outcome r = runCommand("gzip", {"-dc", staged("share/doc/velmora/changelog.gz").string()});
    ASSERT_TRUE(r.succeeded()) << r;
    EXPECT_EQ(r.output.rfind("velmora (" VELMORA_VERSION ") ", 0), 0u) << r.output.substr(0, r.output.find('\n'));
    const std::string copyright = readText(staged("share/doc/velmora/copyright"));
    EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);
    EXPECT_NE(copyright.find("\nLicense: Expat\n"), std::string::npos);
}

TEST(InstalledFiles, ManPagesRenderWithoutWarningsAndCoverWhatTheyMust)
{
    for (const char* page : {"man6/velmora.6.gz", "man1/velmora-check.1.gz", "man1/velmora-artgen.1.gz",
                             "man1/velmora-import.1.gz"})
    {
        Outcome r = runCommand("man", {"--warnings", "-l", staged(std::string("share/man/") + page).string()},
                                     fs::temp_directory_path(),
                                     {{"LC_ALL", std::string("C.UTF-8")}, {"MANWIDTH", std::string("80")},
                                      {"MANPAGER", std::string("cat")}});
        EXPECT_TRUE(r.succeeded()) << page << "\n" << r;
        EXPECT_EQ(r.errors, "") << page;
        for (const char* part : {"SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES",
                                 "VELMORA_DATA", "SDL_VIDEODRIVER", "FILES: ", "includes/vikings"})
            EXPECT_NE(r.output.find(part), std::string::npos) << page << " says nothing of " << part;
    }
}

TEST(InstalledFiles, IconsAreSquarePngsOfTheirDirectorysSize)
{
    int icons = 0;
    for (const std::string& file : filesBelow(staged("share/icons/hicolor")))
    {
        ++icons;
        const int size = std::stoi(file.substr(0, file.find('x')));
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, staged("share/icons/hicolor/" + file).c_str()))
            << file << ": " << png.message;
        EXPECT_EQ(png.width, static_cast<png_uint_32>(size)) << file;
        EXPECT_EQ(png.height, static_cast<png_uint_32>(size)) << file;
        EXPECT_TRUE(png.format & PNG_FORMAT_FLAG_ALPHA) << file;
        png_image_free(&png);
    }
    EXPECT_EQ(icons, 6);
}

TEST(Uninstall, RemovesWhatTheManifestListsAndOnlyTheProgramsOwnEmptyDirectories)
{
    TempDir root;
    const fs::path usr = copyStagedUsr(root.path());
    std::ofstream manifest(root.path() / "manifest.txt");
    for (const std::string& file : filesBelow(usr))
        manifest << (usr / file).string() << "\n";
    manifest.close();
    // What other programs and the user put beside it stays.
    fs::create_directories(usr / "share/man/man1");
    std::ofstream(usr / "share/man/man1/other.1") << ".TH OTHER 1\n";
    fs::create_directories(usr / "share/velmora/includes/mine");
    std::ofstream(usr / "share/velmora/includes/mine/info") << "FILES: 0\n";

    std::string ownDirs = VELMORA_OWN_INSTALL_DIRS;
    std::replace(ownDirs.begin(), ownDirs.end(), ':', ';');
    Outcome r = runCommand(VELMORA_CMAKE, {"-DMANIFEST=" + (root.path() / "manifest.txt").string(),
                                                 "-DOWN_DIRS=" + ownDirs, "-P", VELMORA_UNINSTALL_SCRIPT});
    EXPECT_TRUE(r.succeeded()) << r;
    EXPECT_EQ(filesBelow(root.path()),
              (std::set<std::string>{"manifest.txt", "usr/share/man/man1/other.1",
                                     "usr/share/velmora/includes/mine/info"}));
    // The program's own directories go once empty; shared ones stay.
    EXPECT_FALSE(fs::exists(usr / "libexec/velmora"));
    EXPECT_FALSE(fs::exists(usr / "share/doc/velmora"));
    EXPECT_FALSE(fs::exists(usr / "share/velmora/includes/sun"));
    EXPECT_TRUE(fs::is_directory(usr / "share/icons/hicolor/48x48/apps"));
    EXPECT_TRUE(fs::is_directory(usr / "bin"));
}

class StagedLauncher : public InstalledLauncherTest
{
};

TEST_F(StagedLauncher, ShowsTheSceneFromAnUnrelatedDirectoryAndEndsWithStatusZeroOnEscape)
{
    expectSceneFrom(staged("bin/velmora"), staged("share/velmora"));
}

TEST_F(StagedLauncher, WithVelmoraDataWithoutTheVikingsShowsTheRestOfTheScene)
{
    TempDir art;
    fs::copy(staged("share/velmora"), art.path(), fs::copy_options::recursive);
    fs::remove_all(art.path() / "includes/vikings");
    expectSceneFrom(staged("bin/velmora"), art.path(), {{"VELMORA_DATA", art.path().string()}});
}

}
}
