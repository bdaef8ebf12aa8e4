// Temporary directories.
#include "temp_path.h"

#include <stdlib.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace velmora
{

std::string makeTempDir(const std::string& prefix)
{
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        base = "/tmp";
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    return mkdtemp(buffer.data()) ? std::string(buffer.data()) : std::string();
}

}
