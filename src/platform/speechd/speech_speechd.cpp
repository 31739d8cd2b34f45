// Speech on the Linux desktop: speech-dispatcher through libspeechd. The connection is made on a worker
// thread of its own when the first text is to be said aloud (starting the service may take a while), so
// that a frame never waits on it; the worker says the latest text, cutting off the one before.
#include <libspeechd.h>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include "platform/backend.h"

namespace {
enum class Link { NONE, CONNECTING, CONNECTED, FAILED };

struct SpeechdRecord {
    std::mutex lock;
    std::condition_variable wake;
    std::thread worker;
    Link link = Link::NONE;
    std::string failure;   // why it failed, for SpeechAvailable
    std::string pending;   // the text to say next
    bool hasPending = false;
    bool stopping = false;
    SPDConnection* connection = nullptr;  // the worker's
};
SpeechdRecord* speechd = new SpeechdRecord;  // never freed: a worker may outlive the static destructors

void Work() {
    char* error = nullptr;
    SPDConnection* connection = spd_open2("kirake", "main", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    {
        std::lock_guard<std::mutex> hold(speechd->lock);
        if (!connection) {
            speechd->link = Link::FAILED;
            speechd->failure = std::string("speech-dispatcher does not answer") + (error ? std::string(": ") + error : "");
        } else {
            speechd->link = Link::CONNECTED;
            speechd->connection = connection;
        }
    }
    if (error) free(error);
    if (!connection) return;
    for (;;) {
        std::string text;
        {
            std::unique_lock<std::mutex> hold(speechd->lock);
            speechd->wake.wait(hold, [] { return speechd->stopping || speechd->hasPending; });
            if (speechd->stopping) break;
            text.swap(speechd->pending);
            speechd->hasPending = false;
        }
        spd_cancel(connection);
        if (spd_say(connection, SPD_TEXT, text.c_str()) < 0) {
            std::lock_guard<std::mutex> hold(speechd->lock);
            speechd->link = Link::FAILED;
            speechd->failure = "speech-dispatcher refused a text (the service has stopped?)";
            break;
        }
    }
    spd_cancel(connection);
    spd_close(connection);
    std::lock_guard<std::mutex> hold(speechd->lock);
    speechd->connection = nullptr;
}

// Starts the worker when nothing has been tried yet; under the lock.
void Connect() {
    if (speechd->link != Link::NONE) return;
    speechd->link = Link::CONNECTING;
    speechd->stopping = false;
    speechd->worker = std::thread(Work);
}

void SaySpeechd(const char* text, int, int voiced) {
    if (!voiced) return;
    std::lock_guard<std::mutex> hold(speechd->lock);
    Connect();
    if (speechd->link == Link::FAILED) return;
    speechd->pending = text;
    speechd->hasPending = true;
    speechd->wake.notify_one();
}

int AvailableSpeechd(std::string* why) {
    std::lock_guard<std::mutex> hold(speechd->lock);
    Connect();
    if (speechd->link == Link::CONNECTED) return 1;
    if (why) *why = speechd->link == Link::FAILED ? speechd->failure : "connecting to speech-dispatcher";
    return 0;
}

void StopSpeechd() {
    {
        std::lock_guard<std::mutex> hold(speechd->lock);
        speechd->stopping = true;
        speechd->hasPending = false;
        speechd->wake.notify_one();
    }
    if (speechd->worker.joinable()) speechd->worker.join();
    std::lock_guard<std::mutex> hold(speechd->lock);
    speechd->link = Link::NONE;  // a later start connects again
    speechd->failure.clear();
}
}  // namespace

const SpeechOutput speechDispatcherSpeech = {
    .say = SaySpeechd,
    .available = AvailableSpeechd,
    .stop = StopSpeechd,
};
