// Which font family a "font" line really gets. cairo asks fontconfig for the family by name and draws
// with whatever it substitutes when that family is not installed; a picture drawn in a fallback family
// looks different (wider text runs into the picture), so the source is refused instead.
#include <fontconfig/fontconfig.h>

#include <cctype>

#include "art.h"

namespace {

// Family names compared as fontconfig compares them: blanks and the case of ASCII letters aside.
bool SameFamily(const char* a, const char* b) {
    for (;; ++a, ++b) {
        while (*a == ' ') ++a;
        while (*b == ' ') ++b;
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
        if (!*a) return true;
    }
}

}  // namespace

std::string SubstitutedFontFamily(const std::string& family, bool bold) {
    if (!FcInit()) return "(fontconfig could not start)";
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return "(no memory)";
    // As cairo's own font selection asks: the family, the weight and an upright slant.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_MEDIUM);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return "(no font at all)";
    // A font may carry its family under several names (one per language): any of them will do, compared
    // as fontconfig compares them.
    std::string given;
    FcChar8* name = nullptr;
    for (int n = 0; FcPatternGetString(match, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
        if (SameFamily(reinterpret_cast<const char*>(name), family.c_str())) {
            given.clear();
            break;
        }
        if (n == 0) given = reinterpret_cast<const char*>(name);
    }
    FcPatternDestroy(match);
    return given;
}
