// Starting other programs and waiting for them, for the bench and the tests:
// the program and its arguments (a shell only when asked for), changes to the
// environment, a working directory, standard streams on pipes or files, a
// deadline after which the program is killed, and how it ended.
#ifndef VELMORA_COMMON_PROCESS_H
#define VELMORA_COMMON_PROCESS_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora
{

using Seconds = std::chrono::duration<double>;

// Changes to this process's environment for a child: a value sets the
// variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Where one of a child's standard streams goes.
struct Stream
{
    enum Kind
    {
        Inherit,  // this process's own
        Null,     // /dev/null
        File,     // the file `text` names: read as input; made (or emptied) for output
        Text,     // input only: the child reads `text`, then the end of its input
        Collect,  // output only: collected into the outcome
        Pipe,     // a pipe whose other end the caller takes (Process::takePipe)
    };
    Kind kind = Inherit;
    std::string text;
};

// What to start and how.
struct Command
{
    Command() = default;
    explicit Command(std::vector<std::string> words) : argv(std::move(words)) {}

    // The program and its arguments; a program named without a '/' is looked
    // up in PATH.
    std::vector<std::string> argv;
    EnvChanges env;
    std::string dir;  // where it runs; empty for this process's directory
    Stream in, out, err;
    // Descriptors of this process that the child keeps, under their numbers.
    std::vector<int> keepFds;
    // A process group of its own, so that a kill reaches whatever it starts too.
    bool ownGroup = false;
    // The signal it gets when this process ends first; 0 for none.
    int parentDeathSignal = 0;
    // Its peak resident memory, read as it exits (Outcome::peakKib). The
    // kernel's own tally (ru_maxrss) is no measure of a child: it starts from
    // the peak of the process that forked it. The child runs traced for this.
    bool measurePeak = false;
};

// A shell command line as a command, where the line's pipes and redirections
// are the point.
Command shellCommand(const std::string& line);

// A word in single quotes for the shell, whatever it holds (quotes too).
std::string quoted(const std::string& text);

// The executable `name` in one of PATH's directories; empty when there is none.
std::string findInPath(const std::string& name);

// How a child ended, and what it wrote to the streams that were collected.
struct Outcome
{
    int status = -1;        // its exit status, or -1 when it did not exit
    int signal = 0;         // the signal that ended it, if one did
    bool timedOut = false;  // it was killed at its deadline
    std::string output;     // its standard output, when collected
    std::string errors;     // its standard error when collected; why it did not start
    long peakKib = -1;      // its peak resident memory in KiB, when measured
    bool exited() const { return status >= 0; }
    bool succeeded() const { return status == 0; }
};
// How it ended, in words ("exited with status 3"), then what it wrote to the
// collected streams.
std::ostream& operator<<(std::ostream& os, const Outcome& outcome);

// A started child.
class Process
{
public:
    Process() = default;
    // Kills it (with its group, when it has one) if it still runs.
    ~Process();

    // Starts the command; false when it can't (no such program, directory or
    // file), with error() saying why.
    bool start(const Command& command);
    const std::string& error() const { return mError; }

    pid_t pid() const { return mPid; }
    // This end of stream 0, 1 or 2 when it was given as Stream::Pipe; whoever
    // takes it closes it. -1 otherwise, or when it was taken.
    int takePipe(int stream);
    // True until it has ended (it is reaped here when it has).
    bool running();
    // Waits for its end, and kills it at the deadline when one is given. What
    // it wrote to collected streams is complete then.
    Outcome wait(std::optional<Seconds> deadline = std::nullopt);
    // Asks it to end with `signal`, and kills it when it has not after `grace`.
    Outcome stop(int signal, Seconds grace);
    // What it has written to collected streams so far.
    std::string output() const;
    std::string errors() const;

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

private:
    void transfer(int in, std::string input, int out, int err);
    pid_t waitChild(int* status, int options);
    void reap(int status, bool timedOut);
    void finish();

    pid_t mPid = -1;
    bool mOwnGroup = false;
    bool mTraced = false;
    long mPeakKib = -1;
    std::string mError;
    int mPipes[3] = {-1, -1, -1};
    std::optional<Outcome> mOutcome;
    std::thread mTransfer;
    mutable std::mutex mMutex;
    std::string mOutput;
    std::string mErrors;
};

// Starts a command and waits for its end (see Process::wait). A command that
// can't start has status -1, with the reason in `errors`.
Outcome run(const Command& command, std::optional<Seconds> deadline = std::nullopt);

// Runs a shell command line and collects its standard output (add " 2>&1" to
// the line to collect its errors too).
Outcome runShell(const std::string& line);

}

#endif
