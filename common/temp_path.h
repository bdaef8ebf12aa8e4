// Temporary directories, for the bench and the tests.
#ifndef VELMORA_COMMON_TEMP_PATH_H
#define VELMORA_COMMON_TEMP_PATH_H

#include <string>

namespace velmora
{

// Makes a new directory under the system's temporary directory, named
// PREFIX-XXXXXX, and returns its path; empty when it can't be made (errno says
// why). Removing it is the caller's.
std::string makeTempDir(const std::string& prefix);

}

#endif
