// Temporary directories for the tests.
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_path.h"

namespace fs = std::filesystem;

namespace testsupport
{

TempDir::TempDir(const std::string& prefix)
{
    mPath = velmora::makeTempDir(prefix);
    if (mPath.empty())
        ADD_FAILURE() << "cannot make a temporary directory " << prefix << "-XXXXXX";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!mPath.empty())
        fs::remove_all(mPath, ignored);
}

}
