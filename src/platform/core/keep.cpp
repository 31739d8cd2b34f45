// Kept files: the names checked here, the files kept by the running backend's store (or the main
// backend's, as the headless one takes its text).
#include <string>
#include "platform/backend.h"
#include "platform/keep.h"

namespace {
constexpr size_t MAX_NAME = 64;

// Letters, digits, '-', '_' and '.', not starting with '.': never a path, never a hidden or parent name.
int NameAllowed(const char* name) {
    if (!name || !*name || *name == '.') return 0;
    size_t length = 0;
    for (const char* c = name; *c; ++c, ++length) {
        bool ok = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') || *c == '-' ||
                  *c == '_' || *c == '.';
        if (!ok || length >= MAX_NAME) return 0;
    }
    return 1;
}

const KeptStore* Store() {
    const Backend* backend = CurrentBackend();
    if (backend && backend->kept) return backend->kept;
    return buildBackends[0] ? buildBackends[0]->kept : nullptr;
}

int Refuse(const char* name, const KeptStore* store, std::string* why) {
    if (!NameAllowed(name)) {
        if (why) *why = std::string("\"") + (name ? name : "") + "\" is no name for a kept file";
        return 1;
    }
    if (!store) {
        if (why) *why = "this build keeps no files";
        return 1;
    }
    return 0;
}
}  // namespace

int ReadKept(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    why->clear();
    bytes->clear();
    const KeptStore* store = Store();
    if (Refuse(name, store, why)) {
        if (!store && NameAllowed(name)) why->clear();  // nothing kept: simply none
        return 0;
    }
    return store->read(kind, name, maxBytes, bytes, why);
}

int WriteKept(KeptKind kind, const char* name, const std::string& bytes, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    why->clear();
    const KeptStore* store = Store();
    if (Refuse(name, store, why)) return 0;
    return store->write(kind, name, bytes, why);
}

int SetKeptAside(KeptKind kind, const char* name) {
    const KeptStore* store = Store();
    if (Refuse(name, store, nullptr)) return 0;
    return store->setAside(kind, name);
}

std::string KeptPlace(KeptKind kind, const char* name) {
    const KeptStore* store = Store();
    if (!store || !NameAllowed(name)) return std::string(kind == KEPT_SETTINGS ? "settings/" : "state/") + (name ? name : "");
    return store->place(kind, name);
}
