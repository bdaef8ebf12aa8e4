// Temporary directories for the tests.
#ifndef VELMORA_TESTS_SUPPORT_TEMP_DIR_H
#define VELMORA_TESTS_SUPPORT_TEMP_DIR_H

#include <string>

namespace testsupport
{

// A new directory under the system's temporary directory, named PREFIX-XXXXXX,
// removed with everything in it at the end of its scope. A directory that
// can't be made fails the test, and path() is then empty.
class TempDir
{
public:
    explicit TempDir(const std::string& prefix = "velmora-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return mPath; }
    const char* c_str() const { return mPath.c_str(); }

private:
    std::string mPath;
};

}

#endif
