// Temporary directories for the tests.
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace testsupport
{

TempDir::TempDir(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()))
        mPath = buffer.data();
    else
        ADD_FAILURE() << "cannot make a temporary directory " << pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!mPath.empty())
        fs::remove_all(mPath, ignored);
}

}
