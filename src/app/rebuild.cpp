// Story projects: the sources in a data folder (pictures/*.pic with their palettes and includes,
// songs/*.song) are rebuilt into the data files the game reads when they are saved while it runs. The
// rebuild runs on a worker thread, off the frame path; the files it writes are taken by the live reload
// like any saved data file. Where the picture compiler is not built in (the web and Windows builds) no
// source is rebuilt: each one saved is named once over the page.
//
// Every source is read as the tools read theirs (a regular file, of a bounded size, never waiting on a
// FIFO), and the compilers' budgets bound a build's work. Quitting still never waits for a build: the
// worker owns its record, and it is told to stop (the compilers stop at their next include or command)
// and waited for one frame at most; a worker still busy then is left to end on its own.
#include "app/app.h"

#ifdef KIRAKE_PROJECT_REBUILD
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <thread>
#include "art/art.h"
#include "common/read_input.h"
#include "song/songlang.h"

namespace {

// Shared by the main thread and the worker; the last one to let go of it deletes it.
struct RebuildRecord {
    std::mutex lock;
    std::condition_variable wake;
    std::thread worker;
    std::deque<std::string> jobs;  // sources to build, each once
    std::vector<RebuildResult> done;
    bool stopping = false;
    bool workerEnded = false;
    std::atomic<bool> abandon{false};  // the build under way stops (SetArtStop)
    bool inlineBuilds = false;  // build at once in the caller (the headless backend's virtual time)
};
std::shared_ptr<RebuildRecord> rebuild;

bool EndsWith(const std::string& s, const char* suffix) {
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }
std::string Stem(const std::string& path) {
    std::string base = BaseName(path);
    return base.substr(0, base.rfind('.'));
}

// A source's text, read as the tools read theirs; false with *error ("FILE: why").
bool ReadText(const std::string& path, uint64_t limit, std::string* text, std::string* error) {
    std::string why;
    if (ReadInputText(path, limit, text, &why)) return true;
    *error = path + ": " + why;
    return false;
}

// Writes by a temporary file and a rename, so the game never reads half a file.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temp = path + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The files a picture source reads: itself, its palette (and the palettes that one builds on) and its
// includes, found by their "palette", "base" and "include" lines.
// A file that cannot be read is listed and not followed: building the picture says why. The text read
// is bounded as the compiler bounds it (each file at most once here).
void CollectDependencies(const std::string& file, std::set<std::string>* seen, uint64_t* textRead, int depth = 0) {
    if (depth > 16 || !seen->insert(file).second || *textRead > MAX_PICTURE_SOURCE_BYTES) return;
    ArtStopPoint();
    std::string text, error;
    if (!ReadText("pictures/" + file, MAX_PICTURE_SOURCE_BYTES, &text, &error)) return;
    *textRead += text.size();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string command, name;
        if (!(words >> command >> name)) continue;
        if (name.size() > 1 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
        if (command == "include") CollectDependencies(name, seen, textRead, depth + 1);
        if (command == "palette" || command == "base")
            CollectDependencies(EndsWith(name, ".pal") ? name : name + ".pal", seen, textRead, depth + 1);
    }
}

std::vector<std::string> PictureSources() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("pictures", error)) {
        std::string name = entry.path().filename().string();
        if (EndsWith(name, ".pic")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

RebuildResult BuildPicture(const std::string& pic) {
    RebuildResult result{"pictures/" + pic, {}, ""};
    try {
        Program program;
        LoadProgram("pictures/" + pic, program);
        std::string out = "bmp/" + Stem(pic) + ".BMP";
        std::vector<uint8_t> bytes = EncodeBmp(Render(program), *program.palette);
        ArtStopPoint();  // abandoned: nothing is written
        if (!WriteAtomically(out, bytes)) throw ArtError("cannot write " + out);
        result.built.push_back(out);
    } catch (const ArtError& e) {
        result.error = e.what();
    } catch (const std::bad_alloc&) {
        result.error = result.source + ": out of memory";
    }
    return result;
}

RebuildResult BuildSong(const std::string& path) {
    RebuildResult result{path, {}, ""};
    CompiledSong song;
    std::vector<std::string> messages;
    std::string text;
    if (!ReadText(path, MAX_SOURCE_BYTES, &text, &result.error)) return result;
    bool ok = false;
    try {
        ok = CompileSongText(text, path, &song, &messages);
    } catch (const std::bad_alloc&) {
        result.error = path + ": out of memory";
        return result;
    }
    for (const std::string& m : messages)
        if (m.find(": error") != std::string::npos) {
            result.error = m;
            break;
        }
    std::string out = Stem(path) + ".pmd";
    try {
        ArtStopPoint();  // abandoned: nothing is written
    } catch (const ArtError& e) {
        result.error = path + ": " + e.what();
        return result;
    }
    if (ok && !WriteAtomically(out, EncodeSong(song))) result.error = "cannot write " + out;
    if (ok && result.error.empty()) result.built.push_back(out);
    if (!ok && result.error.empty()) result.error = path + ": does not compile";
    return result;
}

// The sources saved since the last look and everything built from them, each picture once however many
// of its includes were saved together (a branch checked out saves many at once).
std::vector<RebuildResult> BuildAll(const std::vector<std::string>& sources) {
    std::vector<RebuildResult> results;
    std::set<std::string> built, read;  // pictures built; palettes and includes saved
    for (const std::string& source : sources) {
        if (EndsWith(source, ".song")) {
            results.push_back(BuildSong(source));
        } else if (EndsWith(source, ".pic")) {
            if (built.insert(BaseName(source)).second) results.push_back(BuildPicture(BaseName(source)));
        } else {
            read.insert(BaseName(source));
        }
    }
    if (read.empty()) return results;
    for (const std::string& pic : PictureSources()) {  // every picture that reads one of them
        if (built.count(pic)) continue;
        std::set<std::string> uses;
        uint64_t textRead = 0;
        try {
            CollectDependencies(pic, &uses, &textRead);
        } catch (const ArtError&) {  // stopped
            break;
        }
        bool reads = false;
        for (const std::string& name : read) reads = reads || uses.count(name);
        if (reads) results.push_back(BuildPicture(pic));
    }
    return results;
}

std::vector<RebuildResult> Build(const std::vector<std::string>& sources) {
    try {
        return BuildAll(sources);
    } catch (const std::exception& e) {  // out of memory listing the pictures: the jobs are dropped
        return {{sources.front(), {}, sources.front() + ": " + e.what()}};
    }
}

// The worker, with its own hold on the record: it may outlive StopRebuilds.
void Work(std::shared_ptr<RebuildRecord> record) {
    SetArtStop(&record->abandon);
    std::unique_lock<std::mutex> hold(record->lock);
    for (;;) {
        record->wake.wait(hold, [&] { return record->stopping || !record->jobs.empty(); });
        if (record->stopping) break;
        std::vector<std::string> sources(record->jobs.begin(), record->jobs.end());
        record->jobs.clear();
        hold.unlock();
        std::vector<RebuildResult> results = Build(sources);
        hold.lock();
        for (RebuildResult& r : results) record->done.push_back(std::move(r));
    }
    SetArtStop(nullptr);
    record->workerEnded = true;
    record->wake.notify_all();
}

bool IsSource(const std::string& path) {
    if (path.rfind("pictures/", 0) == 0) return EndsWith(path, ".pic") || EndsWith(path, ".pal") || EndsWith(path, ".inc");
    return path.rfind("songs/", 0) == 0 && EndsWith(path, ".song");
}

}  // namespace

int ProjectRebuildAvailable() { return 1; }

void StartRebuilds(int inlineBuilds) {
    StopRebuilds();
    rebuild = std::make_shared<RebuildRecord>();
    rebuild->inlineBuilds = inlineBuilds;
    if (!inlineBuilds) rebuild->worker = std::thread(Work, rebuild);
}

// The build under way is abandoned (nothing more is written); the worker is waited for one frame at
// most (it stops at the compilers' next include or command, well within that) and otherwise left to end
// on its own, holding the record.
void StopRebuilds() {
    if (!rebuild) return;
    std::shared_ptr<RebuildRecord> record = std::move(rebuild);
    if (!record->worker.joinable()) return;  // builds made in the caller: nothing under way
    std::unique_lock<std::mutex> hold(record->lock);
    record->stopping = true;
    record->abandon = true;
    record->wake.notify_all();
    bool ended = record->wake.wait_for(hold, std::chrono::milliseconds(16), [&] { return record->workerEnded; });
    hold.unlock();
    if (ended) record->worker.join();
    else record->worker.detach();
}

int QueueSourceRebuild(const std::string& path) {
    if (!rebuild || !IsSource(path)) return 0;
    {
        std::lock_guard<std::mutex> hold(rebuild->lock);
        if (std::find(rebuild->jobs.begin(), rebuild->jobs.end(), path) == rebuild->jobs.end())
            rebuild->jobs.push_back(path);
    }
    if (!rebuild->inlineBuilds) rebuild->wake.notify_one();
    return 1;
}

void TakeFinishedRebuilds(std::vector<RebuildResult>* results) {
    results->clear();
    if (!rebuild) return;
    std::lock_guard<std::mutex> hold(rebuild->lock);
    if (rebuild->inlineBuilds && !rebuild->jobs.empty()) {  // the frame's sources, built now in the caller
        std::vector<std::string> sources(rebuild->jobs.begin(), rebuild->jobs.end());
        rebuild->jobs.clear();
        for (RebuildResult& r : Build(sources)) rebuild->done.push_back(std::move(r));
    }
    results->swap(rebuild->done);
}

#else  // no picture compiler in this build: a saved source is named once, as a result with no files

#include <set>

namespace {
struct RebuildRecord {
    bool started;
    std::set<std::string> named;  // the sources said so far
    std::vector<RebuildResult> notes;
};
RebuildRecord rebuild;

// What a build with the compilers makes of a saved path: "pictures", "songs", or null for none.
const char* SourceKind(const std::string& path) {
    auto endsWith = [&](const char* suffix) {
        size_t n = std::char_traits<char>::length(suffix);
        return path.size() >= n && path.compare(path.size() - n, n, suffix) == 0;
    };
    if (path.rfind("pictures/", 0) == 0 && (endsWith(".pic") || endsWith(".pal") || endsWith(".inc"))) return "pictures";
    if (path.rfind("songs/", 0) == 0 && endsWith(".song")) return "songs";
    return nullptr;
}
}  // namespace

int ProjectRebuildAvailable() { return 0; }
void StartRebuilds(int) { rebuild = RebuildRecord{true, {}, {}}; }
void StopRebuilds() { rebuild = RebuildRecord{}; }

int QueueSourceRebuild(const std::string& path) {
    const char* kind = SourceKind(path);
    if (rebuild.started && kind && rebuild.named.size() < 1024 && rebuild.named.insert(path).second)
        rebuild.notes.push_back({path, {}, path + " saved: this build cannot compile " + kind});
    return 0;
}

void TakeFinishedRebuilds(std::vector<RebuildResult>* results) {
    results->clear();
    results->swap(rebuild.notes);
}

#endif
