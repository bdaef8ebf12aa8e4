// Running shell command lines, for the bench and the tests.
#ifndef VELMORA_COMMON_SHELL_H
#define VELMORA_COMMON_SHELL_H

#include <string>

namespace velmora
{

struct Outcome
{
    int status;          // the exit status, or -1 when the command did not exit
    std::string output;  // what it wrote to standard output
};

// Runs a shell command line and collects its standard output and exit status
// (add " 2>&1" to the line to collect its errors too).
Outcome run(const std::string& command);

// A word in single quotes for the shell, whatever it holds (quotes too).
std::string quoted(const std::string& text);

}

#endif
