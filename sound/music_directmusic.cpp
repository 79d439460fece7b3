// DirectMusic side of the sound service: start and end of the performance, and the segments that
// music handles play on it.
#include "sound/music_directmusic.h"

#include <initguid.h>
#include <dmusici.h>
#include <string.h>

#include "runtime/log.h"

namespace {

struct DirectMusicState {
    int mode;
    IDirectMusicLoader8* loader;
    IDirectMusicPerformance8* performance;
    IDirectMusic8* music;
    int audioStarted;
};
DirectMusicState g_dm;

void ReleaseAll() {
    if (g_dm.performance) {
        if (g_dm.audioStarted) g_dm.performance->CloseDown();
        g_dm.performance->Release();
    }
    if (g_dm.music) g_dm.music->Release();
    if (g_dm.loader) g_dm.loader->Release();
    g_dm.performance = nullptr;
    g_dm.music = nullptr;
    g_dm.loader = nullptr;
    g_dm.audioStarted = 0;
}

void LogPorts() {
    DMUS_PORTCAPS caps;
    for (DWORD index = 0;; ++index) {
        memset(&caps, 0, sizeof(caps));
        caps.dwSize = sizeof(caps);
        if (g_dm.music->EnumPort(index, &caps) != S_OK) break;
        char name[DMUS_MAX_DESCRIPTION * 2 + 1];
        int length = WideCharToMultiByte(CP_ACP, 0, caps.wszDescription, -1, name, sizeof(name) - 1, nullptr, nullptr);
        name[length > 0 ? length : 0] = 0;
        WriteLogFormat("%s  Device%d:%s ", caps.dwClass == DMUS_PC_OUTPUTCLASS ? "出力ポート" : "入力ポート", (int)index,
                       name);
    }
}

}  // namespace

void SetDirectMusicMode(int flag) { g_dm.mode = flag ? 1 : 0; }
int GetDirectMusicMode() { return g_dm.mode; }
int IsDirectMusicStarted() { return g_dm.audioStarted; }

int StartDirectMusic(HWND window, IDirectSound** sound) {
    *sound = nullptr;
    if (g_dm.audioStarted) return -1;
    WriteLog("DirectSound8 の初期化を行います\n");
    if (FAILED(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_INPROC, IID_IDirectMusicLoader8,
                                (void**)&g_dm.loader))) {
        g_dm.loader = nullptr;
        WriteLog("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
        WriteLog("前バージョンでの初期化処理に移ります\n");
        return -1;
    }
    if (FAILED(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_INPROC, IID_IDirectMusicPerformance8,
                                (void**)&g_dm.performance))) {
        g_dm.performance = nullptr;
        WriteLog("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
        ReleaseAll();
        return -1;
    }
    IDirectMusic* music = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC, IID_IDirectMusic, (void**)&music))) {
        WriteLog("DirectMusic オブジェクトの取得に失敗しました\n");
        ReleaseAll();
        return -1;
    }
    HRESULT hr = music->QueryInterface(IID_IDirectMusic8, (void**)&g_dm.music);
    music->Release();
    if (FAILED(hr)) {
        g_dm.music = nullptr;
        WriteLog("DirectMusic8 オブジェクトの取得に失敗しました\n");
        ReleaseAll();
        return -1;
    }
    LogPorts();

    DMUS_AUDIOPARAMS params;
    memset(&params, 0, sizeof(params));
    params.dwSize = sizeof(params);
    params.dwValidData = DMUS_AUDIOPARAMS_SAMPLERATE;
    params.dwSampleRate = 44100;
    IDirectMusic* given = g_dm.music;
    IDirectSound* created = nullptr;
    if (FAILED(g_dm.performance->InitAudio(&given, &created, window, DMUS_APATH_SHARED_STEREOPLUSREVERB, 64,
                                           DMUS_AUDIOF_ALL, &params)) ||
        created == nullptr) {
        WriteLog("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
        ReleaseAll();
        return -1;
    }
    g_dm.audioStarted = 1;
    long volume = 0;  // hundredths of a decibel: full
    g_dm.performance->SetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume));
    *sound = created;
    return 0;
}

void EndDirectMusic() {
    if (g_dm.performance && g_dm.audioStarted) g_dm.performance->Stop(nullptr, nullptr, 0, 0);
    ReleaseAll();
}

int DirectMusicLoadSegment(const void* midi, DWORD size, void** segment) {
    *segment = nullptr;
    if (!g_dm.audioStarted || midi == nullptr || size == 0) return -1;
    DMUS_OBJECTDESC description;
    memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
    description.guidClass = CLSID_DirectMusicSegment;
    description.pbMemData = (BYTE*)midi;
    description.llMemLength = size;
    IDirectMusicSegment8* loaded = nullptr;
    if (FAILED(g_dm.loader->GetObject(&description, IID_IDirectMusicSegment8, (void**)&loaded)) || loaded == nullptr)
        return -1;
    loaded->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr);
    if (FAILED(loaded->Download(g_dm.performance))) {
        loaded->Release();
        return -1;
    }
    *segment = loaded;
    return 0;
}

int DirectMusicPlaySegment(void* segment, int loop) {
    if (!g_dm.audioStarted || segment == nullptr) return -1;
    IDirectMusicSegment8* played = (IDirectMusicSegment8*)segment;
    played->SetRepeats(loop ? DMUS_SEG_REPEAT_INFINITE : 0);
    return FAILED(g_dm.performance->PlaySegmentEx(played, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr)) ? -1 : 0;
}

int DirectMusicStopSegment(void* segment) {
    if (!g_dm.audioStarted || segment == nullptr) return -1;
    return FAILED(g_dm.performance->StopEx((IDirectMusicSegment8*)segment, 0, 0)) ? -1 : 0;
}

int DirectMusicIsSegmentPlaying(void* segment) {
    if (!g_dm.audioStarted || segment == nullptr) return -1;
    return g_dm.performance->IsPlaying((IDirectMusicSegment8*)segment, nullptr) == S_OK ? 1 : 0;
}

void DirectMusicReleaseSegment(void* segment) {
    if (segment == nullptr) return;
    IDirectMusicSegment8* released = (IDirectMusicSegment8*)segment;
    if (g_dm.audioStarted) released->Unload(g_dm.performance);
    released->Release();
}
