// Starting other programs and waiting for them.
//
// The child is made with fork() and everything it needs (its argv, its
// environment, its streams' descriptors) is prepared before, so that between
// fork and exec it only makes system calls: the tests fork while other threads
// of theirs run. A pipe that closes on exec tells the parent whether the exec
// happened, and why not when it did not.
#include "process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <utility>

extern char** environ;

namespace velmora
{

namespace
{

using Clock = std::chrono::steady_clock;

// Strings as the NULL-ended array of pointers that exec takes.
class CStrings
{
public:
    explicit CStrings(std::vector<std::string> strings) : mStrings(std::move(strings))
    {
        for (std::string& s : mStrings)
            mPointers.push_back(s.data());
        mPointers.push_back(nullptr);
    }
    char** get() { return mPointers.data(); }

private:
    std::vector<std::string> mStrings;
    std::vector<char*> mPointers;
};

std::vector<std::string> environment(const EnvChanges& changes)
{
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e)
    {
        const char* eq = strchr(*e, '=');
        if (eq)
            env[std::string(*e, (size_t)(eq - *e))] = eq + 1;
    }
    for (const auto& [name, value] : changes)
    {
        if (value)
            env[name] = *value;
        else
            env.erase(name);
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : env)
        entries.push_back(name + "=" + value);
    return entries;
}

// The descriptors of one standard stream: the child's end, and ours when it
// is a pipe. -1 where there is none.
struct Ends
{
    int child = -1;
    int ours = -1;
};

void closeFd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// Opens the ends of stream `number` (0 for input); false with `error` set when it can't.
bool openStream(const Stream& stream, int number, Ends* ends, std::string* error)
{
    const bool input = number == 0;
    switch (stream.kind)
    {
    case Stream::Inherit:
        return true;
    case Stream::Null:
    case Stream::File:
    {
        const std::string path = stream.kind == Stream::Null ? "/dev/null" : stream.text;
        const int flags = input ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
        ends->child = open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (ends->child < 0)
            *error = "cannot open " + path + ": " + strerror(errno);
        return ends->child >= 0;
    }
    case Stream::Text:
    case Stream::Collect:
    case Stream::Pipe:
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
        {
            *error = std::string("cannot make a pipe: ") + strerror(errno);
            return false;
        }
        ends->child = input ? fds[0] : fds[1];
        ends->ours = input ? fds[1] : fds[0];
        return true;
    }
    }
    return true;
}

// What the child reports through the exec pipe when it fails before exec.
struct ChildFailure
{
    int step;  // 0: entering the directory, 1: exec, 2: asking to be traced
    int error;
};

[[noreturn]] void failInChild(int pipeFd, int step)
{
    ChildFailure failure{step, errno};
    ssize_t ignored = write(pipeFd, &failure, sizeof failure);
    (void)ignored;
    _exit(127);
}

// From fork to exec: only system calls.
[[noreturn]] void becomeChild(const Command& command, pid_t parent, const Ends ends[3],
                              const char* program, char** argv, char** envp, int reportFd)
{
    if (command.parentDeathSignal)
    {
        prctl(PR_SET_PDEATHSIG, command.parentDeathSignal);
        if (getppid() != parent)
            _exit(127);
    }
    if (command.ownGroup)
        setpgid(0, 0);
    // What this process ignores or blocks is not the child's business.
    signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (!command.dir.empty() && chdir(command.dir.c_str()) != 0)
        failInChild(reportFd, 0);
    for (int number = 0; number < 3; ++number)
    {
        if (ends[number].child == number)
            fcntl(number, F_SETFD, 0);
        else if (ends[number].child >= 0)
            dup2(ends[number].child, number);
    }
    for (int fd : command.keepFds)
        fcntl(fd, F_SETFD, 0);
    if (command.measurePeak && ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
        failInChild(reportFd, 2);
    execve(program, argv, envp);
    failInChild(reportFd, 1);
}

}

Command shellCommand(const std::string& line)
{
    Command command;
    command.argv = {"/bin/sh", "-c", line};
    return command;
}

std::string quoted(const std::string& text)
{
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

std::string findInPath(const std::string& name)
{
    const char* path = getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
    {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::ostream& operator<<(std::ostream& os, const Outcome& outcome)
{
    if (outcome.timedOut)
        os << "did not end in time and was killed";
    else if (outcome.exited())
        os << "exited with status " << outcome.status;
    else if (outcome.signal)
        os << "was killed by signal " << outcome.signal << " (" << strsignal(outcome.signal) << ")";
    else
        return os << "did not run: " << outcome.errors;
    if (!outcome.output.empty())
        os << "\nstandard output:\n" << outcome.output;
    if (!outcome.errors.empty())
        os << "\nstandard error:\n" << outcome.errors;
    return os;
}

Process::~Process()
{
    if (mPid > 0 && !mOutcome)
    {
        kill(mOwnGroup ? -mPid : mPid, SIGKILL);
        int status;
        waitChild(&status, 0);
    }
    finish();
    for (int& fd : mPipes)
        closeFd(fd);
}

bool Process::start(const Command& command)
{
    if (command.argv.empty())
    {
        mError = "no program to start";
        return false;
    }
    const std::string name = command.argv.front();
    const std::string program = name.find('/') == std::string::npos ? findInPath(name) : name;
    if (program.empty())
    {
        mError = name + " is not installed (not found in PATH)";
        return false;
    }
    CStrings argv(command.argv);
    CStrings envp(environment(command.env));

    Ends ends[3];
    const Stream* streams[3] = {&command.in, &command.out, &command.err};
    int report[2] = {-1, -1};
    bool ready = pipe2(report, O_CLOEXEC) == 0;
    if (!ready)
        mError = std::string("cannot make a pipe: ") + strerror(errno);
    for (int number = 0; number < 3 && ready; ++number)
        ready = openStream(*streams[number], number, &ends[number], &mError);

    const pid_t parent = getpid();
    if (ready && (mPid = fork()) == 0)
        becomeChild(command, parent, ends, program.c_str(), argv.get(), envp.get(), report[1]);
    if (ready && mPid < 0)
        mError = std::string("cannot start ") + name + ": " + strerror(errno);
    for (Ends& e : ends)
        closeFd(e.child);
    closeFd(report[1]);
    if (mPid < 0)
    {
        closeFd(report[0]);
        for (Ends& e : ends)
            closeFd(e.ours);
        return false;
    }
    mOwnGroup = command.ownGroup;
    if (mOwnGroup)
        setpgid(mPid, mPid);

    // The report pipe ends at the exec; anything on it says why there was none.
    ChildFailure failure;
    ssize_t n;
    while ((n = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR)
    {
    }
    closeFd(report[0]);
    if (n == (ssize_t)sizeof failure)
    {
        int status;
        waitpid(mPid, &status, 0);
        mPid = -1;
        mError = failure.step == 0   ? "cannot enter " + command.dir + ": " + strerror(failure.error)
                 : failure.step == 2 ? "cannot measure " + program + "'s memory (ptrace): " + strerror(failure.error)
                                     : "cannot start " + program + ": " + strerror(failure.error);
        for (Ends& e : ends)
            closeFd(e.ours);
        return false;
    }

    // A traced child stops at its exec; from there on it stops again only as it exits.
    if (command.measurePeak)
    {
        int status;
        if (waitpid(mPid, &status, 0) == mPid && WIFSTOPPED(status))
        {
            ptrace(PTRACE_SETOPTIONS, mPid, nullptr, (void*)(long)(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
            ptrace(PTRACE_CONT, mPid, nullptr, nullptr);
            mTraced = true;
        }
        else
        {
            reap(status, false);
        }
    }

    for (int number = 0; number < 3; ++number)
        if (streams[number]->kind == Stream::Pipe)
            mPipes[number] = std::exchange(ends[number].ours, -1);
    if (ends[0].ours >= 0 || ends[1].ours >= 0 || ends[2].ours >= 0)
        mTransfer = std::thread(&Process::transfer, this, ends[0].ours, command.in.text,
                                ends[1].ours, ends[2].ours);
    return true;
}

// Feeds the child's input and collects its output until every stream is closed.
void Process::transfer(int in, std::string input, int out, int err)
{
    // A child that ends before reading its input must not end this process
    // with SIGPIPE: the write fails instead, and the signal stays with this thread.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    size_t written = 0;
    if (in >= 0 && input.empty())
        closeFd(in);
    pollfd fds[3] = {{in, POLLOUT, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0)
    {
        if (poll(fds, 3, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].fd >= 0 && fds[0].revents)
        {
            ssize_t n = write(fds[0].fd, input.data() + written, input.size() - written);
            if (n > 0)
                written += (size_t)n;
            if ((n < 0 && errno != EINTR && errno != EAGAIN) || written == input.size())
                closeFd(fds[0].fd);
        }
        for (int i = 1; i < 3; ++i)
        {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
            {
                std::lock_guard<std::mutex> lock(mMutex);
                (i == 1 ? mOutput : mErrors).append(buffer, (size_t)n);
            }
            else if (n == 0 || errno != EINTR)
            {
                closeFd(fds[i].fd);
            }
        }
    }
    for (pollfd& p : fds)
        closeFd(p.fd);
}

// The peak resident memory of a live process, in KiB, from /proc; -1 when unknown.
static long highWaterKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// waitpid for the child, past the stops of a traced one: at the stop before
// it exits its peak memory is read, and every stop is resumed.
pid_t Process::waitChild(int* status, int options)
{
    for (;;)
    {
        const pid_t got = waitpid(mPid, status, options);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != mPid || !mTraced || !WIFSTOPPED(*status))
            return got;
        const bool exiting = *status >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8);
        if (exiting)
            mPeakKib = highWaterKib(mPid);
        const int pass = exiting || WSTOPSIG(*status) == SIGTRAP ? 0 : WSTOPSIG(*status);
        ptrace(PTRACE_CONT, mPid, nullptr, (void*)(long)pass);
    }
}

void Process::reap(int status, bool timedOut)
{
    Outcome outcome;
    outcome.peakKib = mPeakKib;
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    outcome.timedOut = timedOut;
    mOutcome = outcome;
    // Whatever it left behind in its group would hold the pipes open.
    if (mOwnGroup)
        kill(-mPid, SIGKILL);
}

void Process::finish()
{
    if (mTransfer.joinable())
        mTransfer.join();
}

int Process::takePipe(int stream)
{
    return stream >= 0 && stream < 3 ? std::exchange(mPipes[stream], -1) : -1;
}

bool Process::running()
{
    if (mPid <= 0 || mOutcome)
        return false;
    int status;
    if (waitChild(&status, WNOHANG) != mPid)
        return true;
    reap(status, false);
    return false;
}

Outcome Process::wait(std::optional<Seconds> deadline)
{
    if (mPid <= 0)
    {
        Outcome notStarted;
        notStarted.errors = mError;
        return notStarted;
    }
    if (!mOutcome && deadline)
    {
        const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(*deadline);
        while (running() && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (running())
        {
            kill(mOwnGroup ? -mPid : mPid, SIGKILL);
            int status;
            waitChild(&status, 0);
            reap(status, true);
        }
    }
    if (!mOutcome)
    {
        int status;
        waitChild(&status, 0);
        reap(status, false);
    }
    finish();
    Outcome outcome = *mOutcome;
    outcome.output = output();
    outcome.errors = errors();
    return outcome;
}

Outcome Process::stop(int signal, Seconds grace)
{
    if (running())
        kill(mOwnGroup ? -mPid : mPid, signal);
    Outcome outcome = wait(grace);
    outcome.timedOut = false;
    return outcome;
}

std::string Process::output() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mOutput;
}

std::string Process::errors() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mErrors;
}

Outcome run(const Command& command, std::optional<Seconds> deadline)
{
    Process process;
    process.start(command);
    return process.wait(deadline);
}

Outcome runShell(const std::string& line)
{
    Command command = shellCommand(line);
    command.out.kind = Stream::Collect;
    return run(command);
}

}
