// The tools' inputs, read as the game reads its data: only a regular file, and never more than a limit,
// so that a link to a device or a folder named as an input gives a clear error instead of a hang or an
// abort. Also the guard every tool's main runs in, and the escaping of input bytes shown in messages.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

// Sources (songs, pictures) are text written by hand: far below this.
constexpr uint64_t MAX_SOURCE_BYTES = uint64_t(16) << 20;

// "16 MiB", "8 KiB" or "1234 bytes".
inline std::string SizeText(uint64_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// Opens PATH for reading when it is a regular file of at most LIMIT bytes: a descriptor, or -1 with
// *error saying why (to be shown after the file's name; when too large, its size and the limit).
// Never blocks on a FIFO.
#ifdef O_BINARY  // Windows: the bytes as they are (no CR-LF translation); it has no FIFOs to block on
constexpr int INPUT_OPEN_FLAGS = O_RDONLY | O_BINARY;
#else
constexpr int INPUT_OPEN_FLAGS = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif
inline int OpenInputFile(const std::string& path, uint64_t limit, std::string* error) {
    // A FIFO or device (or a link to one) is refused before it is opened: opening some devices does
    // something, and a FIFO with a writer would be read for ever. Looked at again once open.
    struct stat named;
    if (stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
        *error = "not a regular file";
        return -1;
    }
    int fd = open(path.c_str(), INPUT_OPEN_FLAGS);
    if (fd < 0) {
        *error = std::string("cannot be read: ") + std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = "not a regular file";
        close(fd);
        return -1;
    }
    if (uint64_t(info.st_size) > limit) {
        *error = std::to_string(uint64_t(info.st_size)) + " bytes, more than the " + SizeText(limit) + " that is read";
        close(fd);
        return -1;
    }
    return fd;
}

// The whole of PATH into *bytes under the same conditions; false with *error.
inline bool ReadInputFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error) {
    int fd = OpenInputFile(path, limit, error);
    if (fd < 0) return false;
    bytes->clear();
    uint8_t chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = std::string("cannot be read: ") + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        if (bytes->size() + size_t(got) > limit) {  // grown since it was looked at
            *error = "more than the " + SizeText(limit) + " that is read";
            close(fd);
            return false;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    close(fd);
    return true;
}

// The same into a string (a source's text).
inline bool ReadInputText(const std::string& path, uint64_t limit, std::string* text, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!ReadInputFile(path, limit, &bytes, error)) return false;
    text->assign(bytes.begin(), bytes.end());
    return true;
}

// A file's bytes as they may be shown on a terminal: valid UTF-8 and tabs stand, every other control or
// stray byte is written \xNN.
inline std::string EscapeBytes(const std::string& text) {
    std::string out;
    auto escape = [&](unsigned char c) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        out += hex;
    };
    auto plain = [&](size_t at) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        return c >= 0x20 ? c < 0x7F : c == '\t' || c == '\n';
    };
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (!plain(i)) {
                escape(c);
                ++i;
                continue;
            }
            size_t end = i + 1;  // a plain run goes in one piece
            while (end < text.size() && plain(end)) ++end;
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length == 3) {  // no overlong forms, no surrogates
            unsigned char d = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xE0 && d < 0xA0) && !(c == 0xED && d >= 0xA0);
        }
        if (valid && length == 4) {
            unsigned char d = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xF0 && d < 0x90) && !(c == 0xF4 && d >= 0x90);
        }
        if (!valid) {
            escape(c);
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

// Runs a tool's main: whatever the standard library throws (no memory, a failed stream) ends the tool
// with its name, the reason and status 1, never with an abort.
template <class Body>
int GuardToolMain(const char* name, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", name);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    }
    return 1;
}
