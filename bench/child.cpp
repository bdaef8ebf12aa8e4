// A child process with its standard streams on pipes.
#include "child.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

Child::~Child()
{
    wait();
    if (mErr >= 0)
        close(mErr);
}

int Child::start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 bool pipeStderr)
{
    int in[2], out[2], err[2] = {-1, -1};
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
        (pipeStderr && pipe2(err, O_CLOEXEC) != 0))
    {
        perror("velmora-bench: pipe");
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (pipeStderr)
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::vector<std::string> environment(env);
    for (char** e = environ; *e; ++e)
        environment.push_back(*e);
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The entries given come first, so they win over the inherited ones.
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int failed = posix_spawnp(&mPid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (pipeStderr)
        close(err[1]);
    mIn = fdopen(in[1], "w");
    mOut = fdopen(out[0], "r");
    mErr = err[0];
    if (failed)
    {
        mPid = -1;
        fprintf(stderr, "velmora-bench: cannot start %s\n", argv[0].c_str());
        return -1;
    }
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

int Child::takeStderr()
{
    int fd = mErr;
    mErr = -1;
    return fd;
}

int Child::wait()
{
    if (mIn)
        fclose(mIn);
    mIn = nullptr;
    int status = -1;
    if (mPid > 0 && waitpid(mPid, &status, 0) == mPid)
        status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    else
        status = -1;
    mPid = -1;
    if (mOut)
        fclose(mOut);
    mOut = nullptr;
    return status;
}
