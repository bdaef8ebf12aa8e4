// What the install tests share.
#include "support.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace install
{

fs::path stagedRoot() { return VELMORA_STAGE_DIR; }
fs::path projectData() { return VELMORA_DATA; }

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

Outcome runCommand(const std::string& program, const std::vector<std::string>& args,
                   const fs::path& dir, const EnvChanges& env, Seconds timeout)
{
    velmora::Command command{{program}};
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.dir = dir.string();
    command.env = env;
    command.out.kind = command.err.kind = velmora::Stream::Collect;
    return velmora::run(command, timeout);
}

void expectLintianClean(const fs::path& deb)
{
    if (velmora::findInPath("lintian").empty())
        GTEST_SKIP() << "lintian is not installed (scripts/install-deps.sh --test installs it)";
    Outcome r = runCommand("lintian", {deb.string()}, fs::temp_directory_path(), {}, Seconds(600));
    std::cout << "lintian " << deb.filename().string() << ":\n" << r.output << std::flush;
    EXPECT_TRUE(r.succeeded()) << r;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_TRUE(line.rfind("E: ", 0) != 0 && line.rfind("W: ", 0) != 0) << line;
}

}
