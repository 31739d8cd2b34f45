// The executable's own resources, looked up by name and type without regard to case.
#include <strings.h>
#include "platform/core/resource_table.h"
#include "platform/resources.h"

const uint8_t* FindEmbeddedResource(const char* name, const char* type, uint32_t* size) {
    for (const ResourceEntry* entry = resourceTable; entry->name; ++entry) {
        if (strcasecmp(entry->name, name) == 0 && strcasecmp(entry->type, type) == 0) {
            if (size) *size = entry->size;
            return entry->bytes;
        }
    }
    if (size) *size = 0;
    return nullptr;
}
