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
                                            "libexec/velmora/velmora", "libexec/velmora/velmora-output-scale"};
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
// program prints the variables it was given; stand-ins for swaymsg, gsettings,
// ldd and ldconfig come first on PATH, and one for velmora-output-scale prints
// $OUTPUTS, so the machine's own desktop can't take part.
class LauncherScale : public Launcher
{
protected:
    void SetUp() override
    {
        Launcher::SetUp();
        std::ofstream(mUsr / "libexec/velmora/velmora", std::ios::trunc)
            << "#!/bin/sh\necho \"scaling=${SDL12COMPAT_WINDOW_SCALING-unset}"
               " highdpi=${SDL12COMPAT_HIGHDPI-unset} method=${SDL12COMPAT_SCALE_METHOD-unset}"
               " driver=${SDL_VIDEODRIVER-unset} libpath=${LD_LIBRARY_PATH-unset}\"\n"
               "for a in \"$@\"; do echo \"[$a]\"; done\nexit 3\n";
        fake(mUsr / "libexec/velmora/velmora-output-scale", "[ -n \"$OUTPUTS\" ] || exit 1\nprintf \"$OUTPUTS\"\n");
        mBin = mDir.path() / "fake-bin";
        fs::create_directories(mBin);
        // A classic library's file, for the ldd stand-in to name: alone
        // (CLASSIC=1), or with the layer installed beside it (CLASSIC=layer).
        std::ofstream(mDir.path() / "libSDL-1.2.so.0.11.4") << "";
        fs::create_directories(layerDir());
        std::ofstream(layerDir() / ".." / "libSDL-1.2.so.0.11.4") << "";
        std::ofstream(layerDir() / "libSDL-1.2.so.0") << "";
        fake("swaymsg", "[ \"$1 $2 $3\" = \"-p -t get_outputs\" ] || exit 1\n"
                        "printf 'Output HEADLESS-1 (focused)\\n  Scale factor: %s\\n' \"$SWAY_SCALE\"\n");
        fake("gsettings", "echo \"uint32 ${GNOME_SCALE:-0}\"\n");
        fake("ldd", "case $CLASSIC in 1) dir=" + mDir.path().string() + " ;; layer) dir=" +
                        (layerDir() / "..").lexically_normal().string() +
                        " ;; *) exit 0 ;; esac\necho \"\tlibSDL-1.2.so.0 => $dir/libSDL-1.2.so.0.11.4 (0x1)\"\n");
        // The SDL 2 the layer loads: SDL 2 itself, or (with SDL3 set) the one
        // over SDL 3, which names libSDL3 inside.
        std::ofstream(mDir.path() / "libSDL2-2.0.so.0.2600.5") << "SDL 2.26";
        std::ofstream(mDir.path() / "libSDL2-2.0.so.0.3200.74") << "loads libSDL3.so.0";
        const std::string sdl2 = (mDir.path() / "libSDL2-2.0.so.0.").string();
        fake("ldconfig", "[ \"$1\" = -p ] || exit 1\nlib=" + sdl2 + "2600.5\n[ -n \"$SDL3\" ] && lib=" + sdl2 +
                             "3200.74\nprintf '\\tlibSDL2-2.0.so.0 (libc6,x86-64) => %s\\n' \"$lib\"\n");
    }

    void fake(const fs::path& file, const std::string& body)
    {
        const fs::path path = file.has_parent_path() ? file : mBin / file;
        std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    }

    fs::path layerDir() const { return mDir.path() / "with-layer/sdl12-compat"; }

    Outcome launchScaled(const std::vector<std::string>& args, EnvChanges env)
    {
        env["PATH"] = mBin.string() + ":" + std::getenv("PATH");
        for (const char* unset : {"GDK_SCALE", "SWAYSOCK", "SDL3", "SDL12COMPAT_WINDOW_SCALING",
                                  "SDL12COMPAT_HIGHDPI", "SDL12COMPAT_SCALE_METHOD", "WAYLAND_DISPLAY",
                                  "OUTPUTS", "SDL_VIDEODRIVER", "LD_LIBRARY_PATH", "CLASSIC"})
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
    const std::string sharp = " highdpi=1 method=nearest driver=unset libpath=unset\n";
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
         "scaling=1.5 highdpi=0 method=linear driver=unset libpath=unset\n"},
    };
    for (const Case& c : cases)
    {
        Outcome r = launchScaled(c.args, c.env);
        EXPECT_EQ(r.status, 3) << c.what << "\n" << r;
        EXPECT_EQ(r.output, c.out) << c.what;
        EXPECT_EQ(r.errors, "") << c.what;
    }
}

// On a Wayland desktop, what velmora-output-scale says decides: the window
// system, the library (the layer beside a classic one) and the scale.
TEST_F(LauncherScale, FollowsTheWaylandDesktopsScaleWithANativeWindowOfTheLayer)
{
    struct Case
    {
        const char* what;
        std::vector<std::string> args;
        EnvChanges env;
        std::string scaling, driver, libpath;
        std::string err;
    };
    const std::string layer = layerDir().string();
    const std::string at2 = "compositor other\noutput 2 2.00 1280 800\n";
    const std::string at15 = "compositor other\noutput 2 1.50 1706 1066\n";
    const std::string at125 = "compositor other\noutput 2 1.25 2048 1280\n";
    const std::string at175 = "compositor other\noutput 2 1.75 1462 914\n";
    const std::string small2 = "compositor other\noutput 2 2.00 960 540\n";
    const std::string classicAlone =
        "velmora: the desktop is at scale 2, which the classic SDL 1.2 library can't follow, so its window is "
        "shown blurred or small; the SDL 1.2 compatibility layer (libsdl1.2-compat) shows it sharp at its usual "
        "size\n";
    auto wl = [](const std::string& outputs, EnvChanges more = {}) {
        more["WAYLAND_DISPLAY"] = "wayland-9";
        more["OUTPUTS"] = outputs;
        return more;
    };
    const Case cases[] = {
        // Debian 12: the classic library, and the layer beside it.
        {"classic, layer beside, scale 2", {}, wl(at2, {{"CLASSIC", "layer"}}), "unset", "wayland", layer, ""},
        {"classic, layer beside, scale 1.5", {}, wl(at15, {{"CLASSIC", "layer"}}), "unset", "wayland", layer, ""},
        {"classic, layer beside, scale 1", {}, wl("compositor other\noutput 1 1.00 2560 1600\n", {{"CLASSIC", "layer"}}),
         "unset", "unset", "unset", ""},
        {"classic alone says why", {}, wl(at2, {{"CLASSIC", "1"}}), "unset", "unset", "unset", classicAlone},
        {"the user's library path goes after the layer", {},
         wl(at2, {{"CLASSIC", "layer"}, {"LD_LIBRARY_PATH", "/opt/x"}}), "unset", "wayland", layer + ":/opt/x", ""},
        {"the user's video driver stays", {}, wl(at2, {{"CLASSIC", "layer"}, {"SDL_VIDEODRIVER", "x11"}}), "unset",
         "x11", "unset", ""},
        {"sway keeps the classic library on X11", {}, wl(at2, {{"CLASSIC", "layer"}, {"SWAYSOCK", "/x"}}), "unset",
         "unset", "unset", ""},
        {"weston keeps the classic library on X11", {},
         wl("compositor weston\noutput 2 2.00 1280 800\n", {{"CLASSIC", "layer"}}), "unset", "unset", "unset", ""},
        {"no output told: as off Wayland", {}, wl("", {{"CLASSIC", "layer"}}), "unset", "unset", "unset", ""},
        // Debian 13: the layer over SDL 2, which sizes the window in the desktop's units.
        {"layer over SDL 2, scale 2", {}, wl(at2), "unset", "wayland", "unset", ""},
        {"layer over SDL 2, weston", {}, wl("compositor weston\noutput 2 2.00 1280 800\n"), "unset", "unset",
         "unset", ""},
        {"layer over SDL 2, sway", {}, wl(at2, {{"SWAYSOCK", "/x"}}), "unset", "unset", "unset", ""},
        {"layer over SDL 2, a screen smaller than 1024 x 768 units", {}, wl(small2), "0.5", "wayland", "unset", ""},
        {"--scale 2 over SDL 2 that can't fit", {"--scale", "2"}, wl(at2), "1", "wayland", "unset",
         "velmora: --scale 2 makes the window larger than the screen's 1280 x 800; it is shown at scale 1\n"},
        // Unstable: the layer over SDL 3, which sizes the window in pixels.
        {"layer over SDL 3, scale 2", {}, wl(at2, {{"SDL3", "1"}}), "2", "wayland", "unset", ""},
        {"layer over SDL 3, scale 1.5: the nearest whole scale", {}, wl(at15, {{"SDL3", "1"}}), "2", "wayland",
         "unset", ""},
        {"layer over SDL 3, scale 1.25", {}, wl(at125, {{"SDL3", "1"}}), "unset", "wayland", "unset", ""},
        {"layer over SDL 3, scale 1.75", {}, wl(at175, {{"SDL3", "1"}}), "2", "wayland", "unset", ""},
        {"layer over SDL 3 under sway", {}, wl(at2, {{"SDL3", "1"}, {"SWAYSOCK", "/x"}}), "2", "wayland", "unset",
         ""},
        {"layer over SDL 3, a small screen", {}, wl(small2, {{"SDL3", "1"}}), "unset", "wayland", "unset", ""},
        {"--scale 3 over SDL 3 that can't fit", {"--scale", "3"}, wl(at2, {{"SDL3", "1"}}), "2", "wayland", "unset",
         "velmora: --scale 3 makes the window larger than the screen's 1280 x 800; it is shown at scale 2\n"},
        {"--scale 2 over SDL 3 that fits", {"--scale", "2"}, wl(at2, {{"SDL3", "1"}}), "2", "wayland", "unset", ""},
    };
    for (const Case& c : cases)
    {
        Outcome r = launchScaled(c.args, c.env);
        EXPECT_TRUE(r.status == 3) << c.what << "\n" << r;
        EXPECT_EQ(r.output, "scaling=" + c.scaling + " highdpi=1 method=nearest driver=" + c.driver +
                             " libpath=" + c.libpath + "\n")
            << c.what;
        EXPECT_EQ(r.errors, c.err) << c.what;
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
    EXPECT_TRUE(r.status == 3) << r;
    EXPECT_EQ(r.output, "scaling=2 highdpi=1 method=nearest driver=unset libpath=unset\n");
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
