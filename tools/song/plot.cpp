// kirake-song plot SONG OUT.png: a picture of a song. A piano roll of its four tracks (steps across, the
// 24 voices of each instrument and the drums on their own lanes down, each note's sounding length shaded
// after its strike), the loop point and the song's end marked, and beside it each instrument's wave,
// envelope and numbers. SONG is a source (.song) or a compiled song (.pmd).
#include <cairo.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>
#include "read_input.h"
#include "song_tool.h"
#include "songlang.h"
#include "sound/sound.h"

namespace {

const char* const noteNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
struct Colour {
    double r, g, b;
};
const Colour trackColours[4] = {{0.96, 0.60, 0.76}, {0.56, 0.77, 1.0}, {0.58, 0.90, 0.62}, {1.0, 0.76, 0.40}};
const Colour background = {0.08, 0.085, 0.11}, panel = {0.12, 0.125, 0.16}, ink = {0.91, 0.90, 0.95},
             dim = {0.55, 0.54, 0.63}, grid = {0.20, 0.21, 0.26}, loopColour = {1.0, 0.37, 0.43};

// The drum lanes: voice pairs (hard, soft) 0-1, 2-3, 4-5, 8-9, 10-11, 12-13; anything else strikes nothing
// of the kit and goes on the last lane.
const char* const drumLanes[] = {"bd", "bd2", "sd", "oh", "hh", "cy", "other"};
int DrumLane(int voice) {
    switch (voice) {
    case 0: case 1: return 0;
    case 2: case 3: return 1;
    case 4: case 5: return 2;
    case 8: case 9: return 3;
    case 10: case 11: return 4;
    case 12: case 13: return 5;
    default: return 6;
    }
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A compiled song's bytes as the compiler's record; 0 with the reason when they are not a playable song.
int DecodeSong(const std::vector<uint8_t>& bytes, CompiledSong* song, std::string* why) {
    if (bytes.size() < SONG_HEADER_BYTES) {
        *why = "the file is shorter than the 1048-byte header of a song";
        return 0;
    }
    SongHeader h;
    DecodeSongHeader(bytes.data(), &h);
    if (const char* problem = SongHeaderProblem(h, bytes.size())) {
        *why = problem;
        return 0;
    }
    song->stepInterval = h.stepInterval;
    song->loopStep = h.loopStep;
    song->songLength = h.songLength;
    song->trackLength = h.trackLength;
    song->drumLevel = h.drumLevel;
    for (int t = 0; t < 3; ++t) {
        song->instruments[t].octave = h.instruments[t].octaveShift;
        song->instruments[t].noteLength = h.instruments[t].noteLength;
        song->instruments[t].volume = h.instruments[t].volumeLevel;
        std::copy(std::begin(h.instruments[t].wave), std::end(h.instruments[t].wave), song->instruments[t].wave);
        std::copy(std::begin(h.instruments[t].envelope), std::end(h.instruments[t].envelope),
                  song->instruments[t].envelope);
    }
    for (int t = 0; t < 4; ++t) {
        song->tracks[t].resize(size_t(h.trackLength));
        for (size_t s = 0; s < size_t(h.trackLength); ++s)
            song->tracks[t][s] = Le32(bytes, SONG_HEADER_BYTES + 4 * (size_t(t) * size_t(h.trackLength) + s));
    }
    return 1;
}

void SetColour(cairo_t* cr, Colour c, double alpha = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void Text(cairo_t* cr, double x, double y, const std::string& text, double size, Colour c, bool bold = false,
          bool right = false) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    SetColour(cr, c);
    cairo_move_to(cr, right ? x - e.x_advance : x, y);
    cairo_show_text(cr, text.c_str());
}

// A curve of `count` signed values from -range to range in the box.
void Curve(cairo_t* cr, double x, double y, double w, double h, const int8_t* values, int count, double low,
           double high, Colour c) {
    SetColour(cr, grid);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    if (low < 0) {
        SetColour(cr, dim, 0.5);
        cairo_move_to(cr, x, y + h * high / (high - low));
        cairo_line_to(cr, x + w, y + h * high / (high - low));
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    for (int i = 0; i < count; ++i) {
        double px = x + w * (i + 0.5) / count, py = y + h * (high - values[i]) / (high - low);
        if (i == 0) cairo_move_to(cr, px, py);
        else cairo_line_to(cr, px, py);
    }
    SetColour(cr, c);
    cairo_set_line_width(cr, 1.6);
    cairo_stroke(cr);
}

std::string NoteName(int octave, int voice) {
    return noteNames[voice % 12] + std::to_string(octave + 1 + voice / 12);
}

// A long song's roll is drawn in rows of this many steps, one under the other, at most PLOT_MAX_ROWS of
// them (a picture of some 8700 x 5600 pixels): longer songs are refused with the limit.
constexpr int PLOT_ROW_STEPS = 8192, PLOT_MAX_ROWS = 8;
constexpr int PLOT_MAX_STEPS = PLOT_ROW_STEPS * PLOT_MAX_ROWS;

// Where the parts of the picture go: the roll on the left (in rows), the instruments on the right.
struct PlotLayout {
    int steps = 0, rowSteps = 0, rows = 1;
    double stepWidth = 0;
    double voiceHeight = 6, drumHeight = 12, trackGap = 26, top = 112, left = 78, rowGap = 90;
    double rollWidth = 0, instrumentHeight = 0, drumsHeight = 0, rollHeight = 0;
    double sideX = 0, sideWidth = 360;
    int width = 0, height = 0;
};

// The steps of one row of the roll, [from, to), drawn `dy` below the first row.
struct PlotRow {
    int from = 0, to = 0;
    double dy = 0;
    double X(double step) const { return step - from; }  // in steps from the row's left edge
};

PlotLayout LayOut(const CompiledSong& song) {
    PlotLayout l;
    l.steps = std::min(song.songLength, song.trackLength);
    l.stepWidth = std::clamp(1800.0 / std::max(l.steps, 1), 1.0, 14.0);
    if (l.stepWidth * l.steps < 600) l.stepWidth = std::min(600.0 / std::max(l.steps, 1), 48.0);  // a short song
    l.rowSteps = std::min(l.steps, PLOT_ROW_STEPS);
    l.rows = std::max(1, (l.steps + PLOT_ROW_STEPS - 1) / PLOT_ROW_STEPS);
    l.rollWidth = l.stepWidth * l.rowSteps;
    l.instrumentHeight = 24 * l.voiceHeight;
    l.drumsHeight = 7 * l.drumHeight;
    l.rollHeight = 3 * (l.instrumentHeight + l.trackGap) + l.drumsHeight;
    l.sideX = l.left + l.rollWidth + 40;
    l.width = int(l.sideX + l.sideWidth + 30);
    l.height = int(std::max(l.top + (l.rows - 1) * (l.rollHeight + l.rowGap) + l.rollHeight + 50,
                            l.top + 3 * 186.0 + 40));
    return l;
}

// The song's file name and its numbers.
void DrawTitle(cairo_t* cr, const PlotLayout& l, const CompiledSong& song, std::string name) {
    if (name.rfind('/') != std::string::npos) name = name.substr(name.rfind('/') + 1);
    Text(cr, l.left, 36, name, 22, ink, true);
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "%u ms a step (played %.0f ms)  \xc2\xb7  %d steps (%.1f s)  \xc2\xb7  loop from step %d  \xc2\xb7  "
                  "drum level %d",
                  song.stepInterval, PlayedStepMs(song.stepInterval), l.steps,
                  l.steps * PlayedStepMs(song.stepInterval) / 1000.0, song.loopStep, song.drumLevel);
    Text(cr, l.left, 60, summary, 13, dim);
}

// A track's panel from `y`, `h` high: octave rows or drum lanes, bar and beat lines, and its labels.
void DrawTrackPanel(cairo_t* cr, const PlotLayout& l, const PlotRow& row, const CompiledSong& song, int t, double y,
                    double h) {
    const bool drums = t == 3;
    const double laneHeight = drums ? l.drumHeight : l.voiceHeight;
    const int lanes = drums ? 7 : 24;
    const double rowWidth = (row.to - row.from) * l.stepWidth;
    SetColour(cr, panel);
    cairo_rectangle(cr, l.left, y, rowWidth, h);
    cairo_fill(cr);
    for (int lane = 0; lane < lanes; ++lane) {
        bool mark = drums ? lane % 2 == 0 : (lane % 12 == 0);
        if (!mark) continue;
        SetColour(cr, grid, 0.7);
        cairo_rectangle(cr, l.left, y + h - (lane + 1) * laneHeight, rowWidth, laneHeight);
        cairo_fill(cr);
    }
    for (int s = row.from; s <= row.to; s += 4) {
        SetColour(cr, s % 16 == 0 ? dim : grid, s % 16 == 0 ? 0.45 : 0.8);
        cairo_move_to(cr, l.left + row.X(s) * l.stepWidth + 0.5, y);
        cairo_line_to(cr, l.left + row.X(s) * l.stepWidth + 0.5, y + h);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    if (drums) {
        Text(cr, l.left + 6, y - 6, "drums", 12, trackColours[t], true);
        for (int lane = 0; lane < 7; ++lane)
            Text(cr, l.left - 8, y + h - lane * laneHeight - 2.5, drumLanes[lane], 10, dim, false, true);
    } else {
        const SongInstrument& in = song.instruments[t];
        Text(cr, l.left + 6, y - 6,
             "track " + std::to_string(t) + "  \xc2\xb7  " + NoteName(in.octave, 0) + " to " + NoteName(in.octave, 23),
             12, trackColours[t], true);
        Text(cr, l.left - 8, y + h - 1, NoteName(in.octave, 0), 10, dim, false, true);
        Text(cr, l.left - 8, y + h - 12 * laneHeight - 1, NoteName(in.octave, 12), 10, dim, false, true);
    }
}

// A track's notes in its panel from `y`, `h` high: the strike, then the rest of the note's length shaded.
void DrawTrackNotes(cairo_t* cr, const PlotLayout& l, const PlotRow& row, const CompiledSong& song, int t, double y,
                    double h) {
    const bool drums = t == 3;
    const double laneHeight = drums ? l.drumHeight : l.voiceHeight;
    double noteSteps = 1;
    if (!drums && song.stepInterval > 0)
        noteSteps = song.instruments[t].noteLength / (22.05 * PlayedStepMs(song.stepInterval));
    const Colour c = trackColours[t];
    const double rowWidth = (row.to - row.from) * l.stepWidth;
    for (int s = row.from; s < row.to && s < int(song.tracks[t].size()); ++s) {
        uint32_t word = song.tracks[t][size_t(s)];
        for (int v = 0; v < 24; ++v) {
            if (!(word & (1u << v))) continue;
            int lane = drums ? DrumLane(v) : v;
            double ly = y + h - (lane + 1) * laneHeight;
            if (!drums) {
                SetColour(cr, c, 0.28);
                cairo_rectangle(cr, l.left + row.X(s) * l.stepWidth, ly + 0.5,
                                std::min(noteSteps * l.stepWidth, rowWidth - row.X(s) * l.stepWidth), laneHeight - 1);
                cairo_fill(cr);
            }
            bool soft = drums && (v % 2 == 1);
            SetColour(cr, c, soft ? 0.55 : 1);
            cairo_rectangle(cr, l.left + row.X(s) * l.stepWidth, ly + 0.5, std::max(l.stepWidth - 1, 1.0), laneHeight - 1);
            cairo_fill(cr);
        }
    }
}

// The loop point and the end (the song goes on from the loop step after its last step), and the step
// numbers above the roll.
void DrawLoopAndEnd(cairo_t* cr, const PlotLayout& l, const PlotRow& row, const CompiledSong& song) {
    double top = l.top + row.dy, bottom = top + l.rollHeight;
    double lx = l.left + row.X(song.loopStep) * l.stepWidth, ex = l.left + row.X(l.steps) * l.stepWidth;
    int every = 16;  // step numbers no closer than 48 pixels
    while (every * l.stepWidth < 48) every *= 2;
    for (int s = (row.from + every - 1) / every * every; s < row.to; s += every)
        Text(cr, l.left + row.X(s) * l.stepWidth + 3, top - 26, std::to_string(s), 10, dim);
    cairo_set_line_width(cr, 2);
    if (song.loopStep >= row.from && (song.loopStep < row.to || row.to == l.steps)) {
        double dash[] = {6, 4};
        cairo_set_dash(cr, dash, 2, 0);
        SetColour(cr, loopColour);
        cairo_move_to(cr, lx, top - 40);
        cairo_line_to(cr, lx, bottom + 6);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        Text(cr, lx + 4, bottom + 20, "\xe2\x86\xba loop (step " + std::to_string(song.loopStep) + ")", 12, loopColour, true);
    }
    if (row.to != l.steps) return;
    SetColour(cr, ink, 0.8);
    cairo_move_to(cr, ex, top - 40);
    cairo_line_to(cr, ex, bottom + 6);
    cairo_stroke(cr);
    Text(cr, ex - 4, bottom + 20, "end", 12, ink, false, true);
}

// Each instrument's numbers, wave and envelope, beside the roll.
void DrawInstruments(cairo_t* cr, const PlotLayout& l, const CompiledSong& song) {
    static const char* const labels[3] = {"instrument 0", "instrument 1", "instrument 2"};
    for (int t = 0; t < 3; ++t) {
        const SongInstrument& in = song.instruments[t];
        double py = l.top - 40 + t * 186.0;
        SetColour(cr, panel);
        cairo_rectangle(cr, l.sideX, py, l.sideWidth, 174);
        cairo_fill(cr);
        Text(cr, l.sideX + 12, py + 22, labels[t], 13, trackColours[t], true);
        char numbers[160];
        std::snprintf(numbers, sizeof numbers, "%s\xe2\x80\x93%s  \xc2\xb7  %.0f ms  \xc2\xb7  volume %d",
                      NoteName(in.octave, 0).c_str(), NoteName(in.octave, 23).c_str(), in.noteLength / 22.05,
                      in.volume);
        Text(cr, l.sideX + 12, py + 40, numbers, 11, dim);
        Text(cr, l.sideX + 12, py + 62, "wave", 10, dim);
        Curve(cr, l.sideX + 12, py + 68, 160, 92, in.wave, 256, -128, 127, trackColours[t]);
        Text(cr, l.sideX + 188, py + 62, "envelope", 10, dim);
        Curve(cr, l.sideX + 188, py + 68, 160, 92, in.envelope, 64, 0, 127, trackColours[t]);
    }
}

}  // namespace

int ReadSongToPlot(const char* path, CompiledSong* song) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadInputFile(path, MAX_SONG_FILE_BYTES, &bytes, &why)) {
        std::fprintf(stderr, "kirake-song plot: %s: %s\n", path, why.c_str());
        return 0;
    }
    size_t head = std::min(bytes.size(), size_t(SONG_HEADER_BYTES));
    if (std::find(bytes.begin(), bytes.begin() + long(head), 0) == bytes.begin() + long(head)) {
        std::vector<std::string> messages;  // text: a source
        bool ok = CompileSongText(std::string(bytes.begin(), bytes.end()), path, song, &messages);
        for (const std::string& m : messages) std::fprintf(stderr, "%s\n", EscapeBytes(m).c_str());
        return ok ? 1 : 0;
    }
    if (!DecodeSong(bytes, song, &why)) {
        std::fprintf(stderr, "kirake-song plot: %s is not a playable song: %s\n", path, EscapeBytes(why).c_str());
        return 0;
    }
    return 1;
}

int SongPlotMain(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kirake-song plot SONG.song|SONG.pmd OUT.png\n");
        return 2;
    }
    CompiledSong song{};
    if (!ReadSongToPlot(argv[1], &song)) return 1;

    const PlotLayout l = LayOut(song);
    if (l.steps > PLOT_MAX_STEPS) {
        std::fprintf(stderr,
                     "kirake-song plot: %s: %d steps; a plot draws at most %d (%d rows of %d): plot the song's parts "
                     "as songs of their own\n",
                     argv[1], l.steps, PLOT_MAX_STEPS, PLOT_MAX_ROWS, PLOT_ROW_STEPS);
        return 1;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, l.width, l.height);
    cairo_t* cr = cairo_create(surface);
    SetColour(cr, background);
    cairo_paint(cr);
    DrawTitle(cr, l, song, argv[1]);
    for (int r = 0; r < l.rows; ++r) {
        PlotRow row;
        row.from = r * l.rowSteps;
        row.to = std::min(l.steps, row.from + l.rowSteps);
        row.dy = r * (l.rollHeight + l.rowGap);
        double y = l.top + row.dy;
        for (int t = 0; t < 4; ++t) {
            const double h = t == 3 ? l.drumsHeight : l.instrumentHeight;
            DrawTrackPanel(cr, l, row, song, t, y, h);
            DrawTrackNotes(cr, l, row, song, t, y, h);
            y += h + l.trackGap;
        }
        DrawLoopAndEnd(cr, l, row, song);
    }
    DrawInstruments(cr, l, song);

    cairo_destroy(cr);
    cairo_status_t status = cairo_surface_write_to_png(surface, argv[2]);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "kirake-song plot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
