// Files and frame traces for the tests and the benchmarks: whole files read and written, the lines of a
// text, and the fields of a trace line. Paths are std::filesystem paths, so that a plain string and a
// path both do, on Windows too.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A file's bytes; empty when it cannot be read.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
// A file's bytes as a string; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);
// A file's lines, without their ends.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
// The lines of a text, without their ends.
std::vector<std::string> TextLines(const std::string& text);
// Writes the bytes as the whole file. 1, or 0 when it cannot be written.
int WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
int WriteText(const std::filesystem::path& path, const std::string& text);

// The value of the first field `key` of a trace line (or of a record taken from one), as written: a
// number, null, a string with its quotes, a list or a record with its brackets; "" when there is none.
// A field of a record: TraceField(TraceField(line, "song"), "step").
std::string TraceField(const std::string& line, const std::string& key);
// The value of a number field; `missing` when there is none.
long TraceNumber(const std::string& line, const std::string& key, long missing = -1);
