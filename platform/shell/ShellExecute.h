#pragma once

#include <QString>
#include <memory>

// Starting a program the way the Windows shell does, and waiting for it to end.
namespace Platform {

inline constexpr unsigned SEE_MASK_NOCLOSEPROCESS = 0x40;

// Values of ShellExecuteInfo::instApp; anything above 32 means the program was started.
inline constexpr long SE_ERR_FNF = 2;
inline constexpr long SE_ERR_PNF = 3;
inline constexpr long SE_ERR_ACCESSDENIED = 5;
inline constexpr long SE_ERR_NOASSOC = 31;
inline constexpr long SE_STARTED = 42;

// A started program. Dropping the handle leaves the program running.
class ProcessHandle
{
public:
    ProcessHandle(long long pid, int pidFd);
    ~ProcessHandle();
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    long long Pid() const noexcept { return pid_; }

    // Blocks the calling thread, without a time limit, until the program has ended.
    void WaitForExit() const;
    bool HasExited() const;

private:
    long long pid_;
    int pidFd_; // -1 when the system has no process descriptors or the program had already ended
};

struct ShellExecuteInfo
{
    unsigned mask = 0;
    QString verb;       // "open", or empty for the same
    QString file;       // the program to start
    QString parameters; // its arguments as one text (see CommandLineToArgv)
    QString directory;  // working folder; empty keeps the caller's

    long instApp = 0;                       // out: above 32 when started, else an SE_ERR_ value
    std::unique_ptr<ProcessHandle> process; // out: with SEE_MASK_NOCLOSEPROCESS, when started
};

// Starts the program and returns at once: true with instApp above 32 when it runs, false with an
// SE_ERR_ value when the file is missing, is not an executable program, or cannot be started.
// The program inherits the caller's environment and standard streams.
bool ShellExecuteEx(ShellExecuteInfo& info);

} // namespace Platform
