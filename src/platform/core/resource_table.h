// The executable's resource table, generated at build time from res/CMakeLists.txt.
#pragma once
#include <cstdint>

struct ResourceEntry {
    const char* name;
    const char* type;
    const uint8_t* bytes;
    uint32_t size;
};

extern const ResourceEntry resourceTable[];  // ends with a null name
