// A child process that the bench talks to line by line: its standard input and
// output are pipes, and so is its standard error when asked for.
#ifndef VELMORA_BENCH_CHILD_H
#define VELMORA_BENCH_CHILD_H

#include <stdio.h>

#include <string>
#include <vector>

#include "process.h"

class Child
{
public:
    Child() {}
    ~Child();  // closes the pipes and waits for the child
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts argv[0] (searched in PATH) with `env` changed in this process's
    // environment. 0 on success, -1 with a message on stderr otherwise.
    int start(const std::vector<std::string>& argv, const velmora::EnvChanges& env,
              bool pipeStderr);
    // The next line of its output without the newline; false at its end.
    bool readLine(std::string* line);
    // Writes a line to its input; false when it can't take it.
    bool writeLine(const std::string& line);
    // The read end of its standard error, when piped: whoever takes it closes it.
    int takeStderr() { return mProcess.takePipe(2); }
    // Closes its input and waits for it: its exit status, or -1.
    int wait();

private:
    velmora::Process mProcess;
    FILE* mIn = nullptr;
    FILE* mOut = nullptr;
};

#endif
