// Temporary directories, for the bench and the tests.
#ifndef VELMORA_COMMON_TEMP_DIR_H
#define VELMORA_COMMON_TEMP_DIR_H

#include <errno.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace velmora
{

// A new directory under the system's temporary directory (TMPDIR, else /tmp),
// named PREFIX-XXXXXX, removed with everything in it at the end of its scope.
// Throws std::system_error, naming the directory, when it can't be made.
class TempDir
{
public:
    explicit TempDir(const std::string& prefix = "velmora")
    {
        std::error_code error;
        std::filesystem::path base = std::filesystem::temp_directory_path(error);
        if (error)
            base = "/tmp";
        const std::string pattern = (base / (prefix + "-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data()))
            throw std::system_error(errno, std::generic_category(),
                                    "cannot make a temporary directory " + pattern);
        mText = buffer.data();
        mPath = mText;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return mPath; }
    // The path as text, for C interfaces and for joining with "/name".
    const std::string& str() const { return mText; }
    const char* c_str() const { return mText.c_str(); }

private:
    std::filesystem::path mPath;
    std::string mText;
};

}

#endif
