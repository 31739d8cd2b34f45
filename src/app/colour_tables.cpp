// The comparison of a picture's colour table with the one it is shown with (colour_tables.h).
#include "app/colour_tables.h"
#include <cstring>

ColourTableDifference CompareColourTables(const bool used[256], const uint8_t picture[256][3],
                                          const uint8_t shownWith[256][3]) {
    ColourTableDifference d;
    std::memcpy(d.used, used, sizeof d.used);
    for (int i = 0; i < 256; ++i) {
        if (!used[i] || std::memcmp(picture[i], shownWith[i], 3) == 0) continue;
        d.differs[i] = true;
        if (d.count++ == 0) d.first = i;
        d.last = i;
    }
    return d;
}

std::string DifferingIndexes(const ColourTableDifference& difference, int most) {
    std::string text;
    int ranges = 0;
    for (int i = 0; i < 256; ++i) {
        if (!difference.differs[i]) continue;
        int end = i;
        for (int next = i + 1; next < 256 && (difference.differs[next] || !difference.used[next]); ++next)
            if (difference.differs[next]) end = next;
        if (ranges++ == most) return text + ", ...";
        if (!text.empty()) text += ", ";
        text += std::to_string(i);
        if (end > i) text += '-' + std::to_string(end);
        i = end;
    }
    return text;
}
