// Helpers for the authoring tool tests: running a built tool, scratch folders, little-endian bytes.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "run_program.h"

namespace authoring {

namespace fs = std::filesystem;

// The built tool `name` (tools/<folder>/<name> in the build tree, or tools/<name>).
inline std::string ToolPath(const std::string& folder, const std::string& name) {
    fs::path nested = fs::path(KIRAKE_TOOLS_DIR) / folder / ExecutableName(name);
    if (fs::exists(nested)) return nested.string();
    return (fs::path(KIRAKE_TOOLS_DIR) / ExecutableName(name)).string();
}

// status: the exit code, or -1 when the tool did not exit normally; output: standard output and error.
using RunResult = ProcessResult;

inline RunResult RunTool(const std::vector<std::string>& args, ProcessOptions options = {}) {
    options.capture = true;
    return RunProcess(args, options);
}

// A fresh, empty folder under the system's temporary folder, removed when the object goes.
class ScratchDir {
public:
    ScratchDir() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("kirake-authoring-" + std::to_string(ThisProcessId()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
inline void WriteText(const fs::path& path, const std::string& text) {
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}
inline std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
inline void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
}
inline void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

}  // namespace authoring
