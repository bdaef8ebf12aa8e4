// Runs velmora-check, or any command line, from the checker's tests.
#ifndef VELMORA_TESTS_CHECKER_COMMAND_H
#define VELMORA_TESTS_CHECKER_COMMAND_H

#include <string>

namespace checkertest
{

struct Outcome
{
    int status;          // the exit status, or -1 when the command did not exit
    std::string output;  // what it wrote to standard output
};

// Runs a shell command line and collects its standard output and exit status.
Outcome run(const std::string& command);

// A word in single quotes for the shell.
std::string quoted(const std::string& text);

}

#endif
