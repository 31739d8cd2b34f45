// Resources: data carried inside the executable, found by name and type (case-insensitive).
// Used by LoadDrumSample and the window icon. Null (and size 0) when absent.
#pragma once
#include <cstdint>

const uint8_t* FindEmbeddedResource(const char* name, const char* type, uint32_t* size);
