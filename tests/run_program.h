// Starting programs from the tests without a shell: an argument vector, standard output and error to
// files, captured or discarded, the exit status and a time limit. POSIX and Windows.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ProcessOptions {
    std::string output;  // a file for standard output; "" discards it
    std::string errors;  // a file for standard error; "" discards it; the same name as output: both in it
    bool capture = false;  // standard output and error together into ProcessResult::output instead
    double seconds = 0;    // killed when still running after this long (status -1); 0: no limit
    uint64_t addressSpace = 0;  // the program's address space limit in bytes, 0: none (POSIX only)
    std::vector<std::string> environment;  // "NAME=value" sets, "NAME" removes, over the tests' own
};

struct ProcessResult {
    int status = -1;        // the exit code; -1 when it crashed, was killed or could not be started
    bool timedOut = false;  // killed at the time limit
    std::string output;     // with capture
};

// A program running in the background.
struct Process {
    intptr_t id = 0;  // the process id on POSIX, its handle on Windows; 0: none
    std::string captureFile;
    double seconds = 0;
};

// Runs a program to its end. The first argument is the program: a path, or a name looked up on the PATH.
ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {});
// Starts a program; Process::id stays 0 when it cannot be started.
Process StartProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {});
// Waits for a started program up to `seconds` (< 0: the time limit it was started with), killing it
// after that; its result. The process is gone afterwards.
ProcessResult FinishProcess(Process* process, double seconds = -1);
// Asks a started program to end (SIGTERM; on Windows it is terminated).
void StopProcess(const Process& process);
// Whether a program of this name is on the PATH.
bool OnPath(const std::string& name);
// The running test program's own file, and its process id.
std::string ThisProgram();
unsigned long ThisProcessId();
// The executable file name of a program built in this tree ("kirake" -> "kirake.exe" on Windows).
std::string ExecutableName(const std::string& name);
