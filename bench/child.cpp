// A child process with its standard streams on pipes.
#include "child.h"

Child::~Child()
{
    wait();
}

int Child::start(const std::vector<std::string>& argv, const velmora::EnvChanges& env,
                 bool pipeStderr)
{
    velmora::Command command;
    command.argv = argv;
    command.env = env;
    command.in.kind = command.out.kind = velmora::Stream::Pipe;
    if (pipeStderr)
        command.err.kind = velmora::Stream::Pipe;
    if (!mProcess.start(command))
    {
        fprintf(stderr, "velmora-bench: %s\n", mProcess.error().c_str());
        return -1;
    }
    mIn = fdopen(mProcess.takePipe(0), "w");
    mOut = fdopen(mProcess.takePipe(1), "r");
    return 0;
}

bool Child::readLine(std::string* line)
{
    line->clear();
    if (!mOut)
        return false;
    int c;
    while ((c = fgetc(mOut)) != EOF && c != '\n')
        *line += (char)c;
    return c == '\n' || !line->empty();
}

bool Child::writeLine(const std::string& line)
{
    return mIn && fputs((line + "\n").c_str(), mIn) >= 0 && fflush(mIn) == 0;
}

int Child::wait()
{
    if (mIn)
        fclose(mIn);
    mIn = nullptr;
    int status = mProcess.pid() > 0 ? mProcess.wait().status : -1;
    if (mOut)
        fclose(mOut);
    mOut = nullptr;
    return status;
}
