// Whether a picture shows in its own colours: an 8-bit screen has one colour table, so a picture's pixels
// show in the colours of the table in force at their indexes, whatever the picture's own table says. The
// data checker compares each picture with the picture the screen takes its table from; the live reload
// compares a saved picture with the table the screen shows.
#pragma once
#include <cstdint>
#include <string>

struct ColourTableDifference {
    int count = 0;               // indexes the pixels use whose colours differ
    int first = -1, last = -1;   // the lowest and highest of them, -1 when none
    bool differs[256] = {};
    bool used[256] = {};         // the indexes compared
};

// The indexes `used` marks at which `picture` and `shownWith` (red, green, blue) differ.
ColourTableDifference CompareColourTables(const bool used[256], const uint8_t picture[256][3],
                                          const uint8_t shownWith[256][3]);
// The differing indexes as ranges, lowest first: "12-40", "3, 7-9, 200" (a range runs on over indexes the
// pixels do not use); after `most` ranges, ", ...".
std::string DifferingIndexes(const ColourTableDifference& difference, int most = 4);
