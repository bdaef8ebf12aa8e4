// A child process that the bench talks to line by line: its standard input and
// output are pipes, and so is its standard error when asked for.
#ifndef VELMORA_BENCH_CHILD_H
#define VELMORA_BENCH_CHILD_H

#include <stdio.h>
#include <sys/types.h>

#include <string>
#include <vector>

class Child
{
public:
    Child() {}
    ~Child();  // closes the pipes and waits for the child
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Starts argv[0] (searched in PATH) with `env` added to this process's
    // environment. 0 on success, -1 with a message on stderr otherwise.
    int start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              bool pipeStderr);
    // The next line of its output without the newline; false at its end.
    bool readLine(std::string* line);
    // Writes a line to its input; false when it can't take it.
    bool writeLine(const std::string& line);
    // The read end of its standard error, when piped: whoever takes it closes it.
    int takeStderr();
    // Closes its input and waits for it: its exit status, or -1.
    int wait();

private:
    pid_t mPid = -1;
    FILE* mIn = nullptr;
    FILE* mOut = nullptr;
    int mErr = -1;
};

#endif
