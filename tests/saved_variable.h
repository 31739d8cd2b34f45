// An environment variable put back as it was (or unset again) when the test's scope ends. POSIX: for
// the tests of the Linux build only.
#pragma once
#include <cstdlib>
#include <string>

struct SavedVariable {
    std::string name, value;
    bool set;
    explicit SavedVariable(const char* n) : name(n), set(std::getenv(n) != nullptr) {
        if (set) value = std::getenv(n);
    }
    ~SavedVariable() { set ? setenv(name.c_str(), value.c_str(), 1) : unsetenv(name.c_str()); }
};
