// The tests' process runner: posix_spawn on POSIX (fork when a resource limit is to be set in the child),
// CreateProcessW on Windows. Captured output goes through a temporary file, so a program that writes a
// lot never blocks on a full pipe.
#include "run_program.h"
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#ifdef _WIN32
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

std::string CaptureFileName() {
    static std::atomic<int> counter{0};
    std::string name = "kirake-run-" + std::to_string(ThisProcessId()) + "-" + std::to_string(counter++) + ".txt";
    return (fs::temp_directory_path() / name).string();
}

// This program's environment with the changes made: "NAME=value" replaces or adds, "NAME" removes.
template <typename Text, typename Same>
std::vector<Text> ChangedEnvironment(std::vector<Text> all, const std::vector<Text>& changes, Same same) {
    for (const Text& change : changes) {
        Text name = change.substr(0, change.find('='));
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [&](const Text& entry) {
                                     return entry.size() > name.size() && entry[name.size()] == '=' &&
                                            same(entry.substr(0, name.size()), name);
                                 }),
                  all.end());
        if (change.size() > name.size()) all.push_back(change);
    }
    return all;
}

std::string ReadAndRemove(const std::string& path) {
    std::string text;
    {
        std::ifstream in(path, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code error;
    fs::remove(path, error);
    return text;
}

#ifdef _WIN32
std::wstring Wide(const std::string& text) {
    if (text.empty()) return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), n, nullptr, nullptr);
    return narrow;
}

// One argument written so that the C runtime's command-line parser gives it back as it is.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') ++i, ++backslashes;
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(argument[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += argument[i];
    }
    return quoted + L"\"";
}

HANDLE Open(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    std::wstring name = path.empty() ? L"NUL" : Wide(path);
    return CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::vector<wchar_t> EnvironmentBlock(const std::vector<std::string>& changes) {
    std::vector<std::wstring> all, wideChanges;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) all.emplace_back(p);
        FreeEnvironmentStringsW(strings);
    }
    for (const std::string& change : changes) wideChanges.push_back(Wide(change));
    auto folded = [](std::wstring s) {
        for (wchar_t& c : s) c = wchar_t(towupper(c));
        return s;
    };
    all = ChangedEnvironment(all, wideChanges, [&](const std::wstring& a, const std::wstring& b) {
        return folded(a) == folded(b);
    });
    std::sort(all.begin(), all.end(), [&](const std::wstring& a, const std::wstring& b) { return folded(a) < folded(b); });
    std::vector<wchar_t> block;
    for (const std::wstring& entry : all) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    block.push_back(L'\0');
    return block;
}
#endif

}  // namespace

std::string ExecutableName(const std::string& name) {
#ifdef _WIN32
    return name + ".exe";
#else
    return name;
#endif
}

Process StartProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
    Process process;
    process.seconds = options.seconds;
    if (arguments.empty()) return process;
    std::string out = options.output, err = options.errors;
    if (options.capture) out = err = process.captureFile = CaptureFileName();
#ifdef _WIN32
    HANDLE input = Open("", false), output = Open(out, true);
    HANDLE errors = err == out ? output : Open(err, true);
    std::wstring line;
    for (const std::string& argument : arguments) line += (line.empty() ? L"" : L" ") + Quoted(Wide(argument));
    std::vector<wchar_t> environment = EnvironmentBlock(options.environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION started{};
    if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE && errors != INVALID_HANDLE_VALUE &&
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                       environment.data(), nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        process.id = reinterpret_cast<intptr_t>(started.hProcess);
    }
    for (HANDLE h : {input, output, errors == output ? INVALID_HANDLE_VALUE : errors})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
#else
    int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int output = open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int errors = err == out ? output : open(err.empty() ? "/dev/null" : err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
    environment = ChangedEnvironment(environment, options.environment,
                                     [](const std::string& a, const std::string& b) { return a == b; });
    std::vector<char*> argv, envp;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (input >= 0 && output >= 0 && errors >= 0) {
        if (options.addressSpace) {  // a limit posix_spawn cannot set: in the child, between fork and exec
            pid = fork();
            if (pid == 0) {
                rlimit limit{rlim_t(options.addressSpace), rlim_t(options.addressSpace)};
                if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
                dup2(input, 0), dup2(output, 1), dup2(errors, 2);
                environ = envp.data();
                execvp(argv[0], argv.data());
                _exit(127);
            }
        } else {
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, input, 0);
            posix_spawn_file_actions_adddup2(&actions, output, 1);
            posix_spawn_file_actions_adddup2(&actions, errors, 2);
            if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
            posix_spawn_file_actions_destroy(&actions);
        }
    }
    for (int fd : {input, output, errors == output ? -1 : errors})
        if (fd >= 0) close(fd);
    if (pid > 0) process.id = pid;
#endif
    return process;
}

ProcessResult FinishProcess(Process* process, double seconds) {
    ProcessResult result;
    if (seconds < 0) seconds = process->seconds > 0 ? process->seconds : -1;  // -1: as long as it takes
    if (process->id) {
#ifdef _WIN32
        HANDLE handle = reinterpret_cast<HANDLE>(process->id);
        DWORD wait = seconds < 0 ? INFINITE : DWORD(seconds * 1000);
        if (WaitForSingleObject(handle, wait) == WAIT_TIMEOUT) {
            TerminateProcess(handle, 1);
            WaitForSingleObject(handle, INFINITE);
            result.timedOut = true;
        }
        DWORD code = 0;
        // Codes from 0xC0000000 on are exceptions that ended the program: a crash, like a signal.
        if (!result.timedOut && GetExitCodeProcess(handle, &code) && code < 0xC0000000u) result.status = int(code);
        CloseHandle(handle);
#else
        pid_t pid = pid_t(process->id), done = 0;
        int status = 0;
        if (seconds < 0) {
            while ((done = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
            }
        } else {
            auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
            auto pause = std::chrono::milliseconds(1);
            while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(pause);
                pause = std::min(pause * 2, std::chrono::milliseconds(20));
            }
            if (done == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                result.timedOut = true;
            }
        }
        if (!result.timedOut && done == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
#endif
    }
    process->id = 0;
    if (!process->captureFile.empty()) result.output = ReadAndRemove(process->captureFile);
    process->captureFile.clear();
    return result;
}

ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options) {
    Process process = StartProcess(arguments, options);
    return FinishProcess(&process);
}

void StopProcess(const Process& process) {
    if (!process.id) return;
#ifdef _WIN32
    TerminateProcess(reinterpret_cast<HANDLE>(process.id), 1);
#else
    kill(pid_t(process.id), SIGTERM);
#endif
}

bool OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
#ifdef _WIN32
    const char separator = ';';
#else
    const char separator = ':';
#endif
    std::string dirs = path ? path : "";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = std::min(dirs.find(separator, at), dirs.size());
        fs::path candidate = fs::path(dirs.substr(at, end - at)) / ExecutableName(name);
        std::error_code error;
#ifdef _WIN32
        if (end > at && fs::is_regular_file(candidate, error)) return true;
#else
        if (end > at && access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate, error)) return true;
#endif
        at = end + 1;
    }
    return false;
}

std::string ThisProgram() {
#ifdef _WIN32
    std::wstring name(32768, L'\0');
    name.resize(GetModuleFileNameW(nullptr, name.data(), DWORD(name.size())));
    return Narrow(name);
#else
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).string();
#endif
}

unsigned long ThisProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}
