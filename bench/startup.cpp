// Start-up time of the real program, measured by spawning it with a preloaded
// library that timestamps its first presented frame (first_frame_shim.cpp).
#include "startup.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace
{

long long nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Waits for the child for at most timeoutMs, then kills it. Returns its wait status,
// or -1 when it had to be killed.
int waitWithTimeout(pid_t pid, int timeoutMs)
{
    long long deadline = nowNs() + (long long)timeoutMs * 1000000LL;
    int status = 0;
    while (true)
    {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0 || nowNs() > deadline)
            break;
        timespec nap = {0, 1000000};
        nanosleep(&nap, NULL);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

std::vector<std::string> childEnvironment(const std::string& shim, const std::string& out)
{
    std::vector<std::string> env;
    // The shim goes first; whatever else is preloaded (such as the SDL 1.2
    // compatibility layer, to time the program on it) stays behind it.
    std::string preload = shim;
    for (char** e = environ; *e; ++e)
    {
        std::string entry = *e;
        if (entry.rfind("LD_PRELOAD=", 0) == 0)
        {
            if (entry.size() > 11)
                preload += ":" + entry.substr(11);
            continue;
        }
        if (entry.rfind("VELMORA_FIRST_FRAME_OUT=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back("VELMORA_FIRST_FRAME_OUT=" + out);
    return env;
}

}

std::vector<StartupRun> measureStartup(const std::string& program, const std::string& shim,
                                       const std::string& dataDir, int runs)
{
    std::vector<StartupRun> results;
    char outTemplate[] = "/tmp/velmora-first-frame-XXXXXX";
    int outFd = mkstemp(outTemplate);
    if (outFd < 0)
    {
        perror("velmora-bench: mkstemp");
        return results;
    }
    close(outFd);
    std::string out = outTemplate;

    std::vector<std::string> env = childEnvironment(shim, out);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};

    for (int run = 0; run < runs; ++run)
    {
        std::filesystem::remove(out);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, dataDir.c_str());
        // The program's messages, and the complaints of audio libraries that find
        // no sound card, are not part of the measurement.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

        long long startNs = nowNs();
        pid_t pid = 0;
        int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (err != 0)
        {
            fprintf(stderr, "velmora-bench: cannot start %s: error %d\n", program.c_str(), err);
            break;
        }

        int status = waitWithTimeout(pid, 30000);
        long long loaded = 0, init = 0, mode = 0, frame = 0;
        std::ifstream in(out);
        if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            !(in >> loaded >> init >> mode >> frame))
        {
            fprintf(stderr,
                    "velmora-bench: start-up run %d of %s presented no frame (status %d)\n",
                    run + 1, program.c_str(), status);
            continue;
        }
        results.push_back({(loaded - startNs) / 1e6, (init - startNs) / 1e6,
                           (mode - startNs) / 1e6, (frame - startNs) / 1e6});
    }
    std::filesystem::remove(out);
    return results;
}
