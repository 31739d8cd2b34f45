// Speech on Windows: a SAPI voice (ISpVoice), made when the first text is to be said; each text is said
// asynchronously and cuts off the one before.
#include <windows.h>
#include <objbase.h>
#include <sapi.h>
#include <cstdio>
#include <string>
#include "platform/win32/win32.h"

namespace {
// The class and interface of the voice, as SAPI 5 names them.
const CLSID CLSID_Voice = {0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
const IID IID_Voice = {0x6C44DF74, 0x72B9, 0x4992, {0xA1, 0xEC, 0xEF, 0x99, 0x6E, 0x04, 0x22, 0xD4}};

struct SapiRecord {
    bool tried = false;
    bool comStarted = false;
    ISpVoice* voice = nullptr;
    std::string failure;
};
SapiRecord sapi;

void MakeVoice() {
    if (sapi.tried) return;
    sapi.tried = true;
    HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    sapi.comStarted = SUCCEEDED(started);  // RPC_E_CHANGED_MODE: started otherwise already, usable as it is
    HRESULT made = CoCreateInstance(CLSID_Voice, nullptr, CLSCTX_ALL, IID_Voice, reinterpret_cast<void**>(&sapi.voice));
    if (FAILED(made) || !sapi.voice) {
        sapi.voice = nullptr;
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(made));
        sapi.failure = std::string("Windows has no speech voice here (SAPI: 0x") + code + ")";
    }
}
}  // namespace

void Win32Say(const char* text) {
    MakeVoice();
    if (!sapi.voice) return;
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return;
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    sapi.voice->Speak(wide.c_str(), SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML, nullptr);
}

int Win32SpeechAvailable(std::string* why) {
    MakeVoice();
    if (sapi.voice) return 1;
    if (why) *why = sapi.failure;
    return 0;
}

void Win32SpeechStop() {
    if (sapi.voice) {
        sapi.voice->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr);
        sapi.voice->Release();
    }
    if (sapi.comStarted) CoUninitialize();
    sapi = SapiRecord{};
}
