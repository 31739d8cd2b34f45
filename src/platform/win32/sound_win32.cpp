// The Windows backend's sound device: WASAPI in shared mode at the system mixer's rate, or waveOut where
// WASAPI cannot open. A thread of its own asks the portable mixer for samples whenever the device has
// room, and converts them to the device's sample format and channels. Pausing fades the output out over
// a few milliseconds and holds it; resuming fades in where it stopped.
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "platform/win32/win32.h"

namespace {
constexpr int FADE_MS = 8;
constexpr REFERENCE_TIME BUFFER_HNS = 300000;  // 30 ms of device buffer
constexpr int WAVE_BLOCKS = 4, WAVE_BLOCK_MS = 10;

struct AudioRecord {
    void (*render)(int16_t* out, int frames);
    CRITICAL_SECTION lock;
    bool lockMade;
    HANDLE thread, wake, stop;
    // WASAPI
    IAudioClient* client;
    IAudioRenderClient* renderClient;
    UINT32 bufferFrames;
    int channels;
    bool floatSamples;
    // waveOut
    HWAVEOUT waveOut;
    WAVEHDR headers[WAVE_BLOCKS];
    std::vector<int16_t> waveData[WAVE_BLOCKS];
    int rate;
    volatile LONG paused;
    int gain, fadeFrames;  // device thread: 0 (silent, held) to fadeFrames (full)
    std::vector<int16_t> block;
};
AudioRecord audio;

// Renders frames of stereo 16-bit samples with the pause fade; false when held (silence, nothing moves).
bool RenderStereo(int16_t* out, int frames) {
    bool paused = InterlockedCompareExchange(&audio.paused, 0, 0) != 0;
    if (paused && audio.gain == 0) {
        std::fill(out, out + 2 * frames, int16_t(0));
        return false;
    }
    EnterCriticalSection(&audio.lock);
    audio.render(out, frames);
    LeaveCriticalSection(&audio.lock);
    if (!paused && audio.gain == audio.fadeFrames) return true;
    for (int i = 0; i < frames; ++i) {
        audio.gain = std::clamp(audio.gain + (paused ? -1 : 1), 0, audio.fadeFrames);
        for (int c = 0; c < 2; ++c) out[2 * i + c] = int16_t(out[2 * i + c] * audio.gain / audio.fadeFrames);
    }
    return true;
}

void FillWasapi() {
    UINT32 padding = 0;
    if (FAILED(audio.client->GetCurrentPadding(&padding))) return;
    int frames = int(audio.bufferFrames - padding);
    if (frames <= 0) return;
    BYTE* data = nullptr;
    if (FAILED(audio.renderClient->GetBuffer(UINT32(frames), &data))) return;
    audio.block.resize(size_t(frames) * 2);
    RenderStereo(audio.block.data(), frames);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < audio.channels; ++c) {
            int16_t sample = c < 2 ? audio.block[size_t(i) * 2 + c] : 0;
            if (audio.channels == 1) sample = int16_t((audio.block[size_t(i) * 2] + audio.block[size_t(i) * 2 + 1]) / 2);
            size_t at = size_t(i) * audio.channels + c;
            if (audio.floatSamples)
                reinterpret_cast<float*>(data)[at] = float(sample) / 32768.0f;
            else
                reinterpret_cast<int16_t*>(data)[at] = sample;
        }
    }
    audio.renderClient->ReleaseBuffer(UINT32(frames), 0);
}

void FillWaveBlocks() {
    for (int b = 0; b < WAVE_BLOCKS; ++b) {
        WAVEHDR& header = audio.headers[b];
        if (header.dwFlags & WHDR_PREPARED && !(header.dwFlags & WHDR_DONE)) continue;
        int frames = int(audio.waveData[b].size() / 2);
        RenderStereo(audio.waveData[b].data(), frames);
        header.dwFlags &= ~DWORD(WHDR_DONE);
        waveOutWrite(audio.waveOut, &header, sizeof header);
    }
}

DWORD WINAPI AudioThread(void*) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    HANDLE events[2] = {audio.stop, audio.wake};
    for (;;) {
        DWORD woke = WaitForMultipleObjects(2, events, FALSE, 100);
        if (woke == WAIT_OBJECT_0) {
            if (SUCCEEDED(com)) CoUninitialize();
            return 0;
        }
        if (audio.client) FillWasapi();
        else if (audio.waveOut) FillWaveBlocks();
    }
}

template <typename T>
void Release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

std::string HResultText(const char* what, HRESULT result) {
    char text[96];
    std::snprintf(text, sizeof text, "%s (0x%08lX)", what, static_cast<unsigned long>(result));
    return text;
}

bool OpenWasapi(std::string* reason) {
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    WAVEFORMATEX* mix = nullptr;
    HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                      reinterpret_cast<void**>(&enumerator));
    if (FAILED(result)) return *reason = HResultText("no audio device enumerator", result), false;
    result = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
    Release(enumerator);
    if (FAILED(result)) return *reason = HResultText("no default audio output", result), false;
    result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&audio.client));
    Release(device);
    if (FAILED(result)) return *reason = HResultText("the audio output cannot be opened", result), false;
    if (FAILED(result = audio.client->GetMixFormat(&mix))) {
        Release(audio.client);
        return *reason = HResultText("the audio output has no format", result), false;
    }
    audio.rate = int(mix->nSamplesPerSec);
    audio.channels = mix->nChannels;
    bool extensible = mix->wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix->cbSize >= 22;
    const GUID* sub = extensible ? &reinterpret_cast<WAVEFORMATEXTENSIBLE*>(mix)->SubFormat : nullptr;
    // An extensible format's sub-format starts with the plain format tag it stands for.
    int tag = sub ? int(sub->Data1) : mix->wFormatTag;
    audio.floatSamples = tag == WAVE_FORMAT_IEEE_FLOAT;
    bool pcm16 = mix->wBitsPerSample == 16 && tag == WAVE_FORMAT_PCM;
    if (!(audio.floatSamples && mix->wBitsPerSample == 32) && !pcm16) {
        CoTaskMemFree(mix);
        Release(audio.client);
        return *reason = "the audio output's sample format is neither 16-bit nor float", false;
    }
    result = audio.client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, BUFFER_HNS, 0,
                                      mix, nullptr);
    CoTaskMemFree(mix);
    if (FAILED(result) || FAILED(audio.client->SetEventHandle(audio.wake)) ||
        FAILED(audio.client->GetBufferSize(&audio.bufferFrames)) ||
        FAILED(audio.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&audio.renderClient)))) {
        Release(audio.client);
        return *reason = HResultText("the audio output refused the stream", result), false;
    }
    return true;
}

bool OpenWaveOut(int wantedRate, std::string* reason) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(wantedRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * 4;
    MMRESULT result = waveOutOpen(&audio.waveOut, WAVE_MAPPER, &format, DWORD_PTR(audio.wake), 0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        audio.waveOut = nullptr;
        *reason += "; waveOut: no output device (error " + std::to_string(result) + ")";
        return false;
    }
    audio.rate = wantedRate;
    int frames = wantedRate * WAVE_BLOCK_MS / 1000;
    for (int b = 0; b < WAVE_BLOCKS; ++b) {
        audio.waveData[b].assign(size_t(frames) * 2, 0);
        WAVEHDR& header = audio.headers[b];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(audio.waveData[b].data());
        header.dwBufferLength = DWORD(frames * 4);
        waveOutPrepareHeader(audio.waveOut, &header, sizeof header);
        header.dwFlags |= WHDR_DONE;  // to be filled
    }
    return true;
}
}  // namespace

int Win32AudioOpen(int wantedRate, void (*render)(int16_t* out, int frames), int* rate, std::string* reason,
                   std::string* name) {
    audio = AudioRecord{};
    audio.render = render;
    InitializeCriticalSection(&audio.lock);
    audio.lockMade = true;
    audio.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    audio.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (OpenWasapi(reason)) {
        *name = "WASAPI (shared)";
    } else if (OpenWaveOut(wantedRate, reason)) {
        *name = "waveOut";
    } else {
        if (SUCCEEDED(com)) CoUninitialize();
        Win32AudioClose();
        return 0;
    }
    reason->clear();
    audio.fadeFrames = std::max(1, audio.rate * FADE_MS / 1000);
    audio.gain = audio.fadeFrames;
    *rate = audio.rate;
    if (audio.client) {
        FillWasapi();  // the first buffer, before the stream starts
        audio.client->Start();
    }
    audio.thread = CreateThread(nullptr, 0, AudioThread, nullptr, 0, nullptr);
    if (audio.thread) SetThreadPriority(audio.thread, THREAD_PRIORITY_TIME_CRITICAL);
    if (audio.waveOut) SetEvent(audio.wake);
    return 1;
}

void Win32AudioClose() {
    if (audio.thread) {
        SetEvent(audio.stop);
        WaitForSingleObject(audio.thread, INFINITE);
        CloseHandle(audio.thread);
        audio.thread = nullptr;
    }
    if (audio.client) audio.client->Stop();
    Release(audio.renderClient);
    Release(audio.client);
    if (audio.waveOut) {
        waveOutReset(audio.waveOut);
        for (WAVEHDR& header : audio.headers) waveOutUnprepareHeader(audio.waveOut, &header, sizeof header);
        waveOutClose(audio.waveOut);
        audio.waveOut = nullptr;
    }
    if (audio.wake) CloseHandle(audio.wake);
    if (audio.stop) CloseHandle(audio.stop);
    audio.wake = audio.stop = nullptr;
    if (audio.lockMade) DeleteCriticalSection(&audio.lock);
    audio.lockMade = false;
}

void Win32AudioPause(int paused) { InterlockedExchange(&audio.paused, paused ? 1 : 0); }

void Win32AudioLock(int locked) {
    if (!audio.lockMade) return;
    if (locked) EnterCriticalSection(&audio.lock);
    else LeaveCriticalSection(&audio.lock);
}
