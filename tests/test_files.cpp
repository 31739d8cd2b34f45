#include "test_files.h"
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return out ? 1 : 0;
}

int WriteText(const std::filesystem::path& path, const std::string& text) {
    return WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string TraceField(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return "";
    at += key.size() + 3;
    size_t end = line.size();
    if (at >= line.size()) return "";
    if (line[at] == '"') end = line.find('"', at + 1);
    else if (line[at] == '[') end = line.find(']', at);
    else if (line[at] == '{') end = line.find('}', at);
    else return line.substr(at, line.find_first_of(",}]", at) - at);
    return end == std::string::npos ? line.substr(at) : line.substr(at, end + 1 - at);
}

long TraceNumber(const std::string& line, const std::string& key, long missing) {
    std::string value = TraceField(line, key);
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    return value.empty() || end == value.c_str() ? missing : number;
}
