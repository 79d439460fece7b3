// Music handles over the MCI sequencer: the MIDI data is written to a temporary file that the
// sequencer opens; the main window's MCI notification plays it again from the start while the
// loop flag is set, else closes the device.
#include "sound/music_handle.h"

#include <string.h>

#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/window.h"
#include "sound/music_directmusic.h"
#include "sound/sound.h"
#include "sound/stream_sound.h"

namespace {

HandleTable<MusicData> g_music(kHandleTypeMusic, kMusicHandleSlots);

struct MciState {
    MCIDEVICEID device;
    int playing;
    int loop;
    int tempFile;
    char tempPath[MAX_PATH];
    int currentHandle;  // started by PlayMusicHandle, -1 none
};
MciState g_mci = {0, 0, 0, 0, "", -1};

void CloseDevice() {
    if (g_mci.device == 0) return;
    mciSendCommandA(g_mci.device, MCI_CLOSE, 0, 0);
    g_mci.device = 0;
    g_mci.playing = 0;
}

}  // namespace

int AddMusicHandle(const void* midi, int size) {
    if (midi == nullptr || size <= 0) return -1;
    if (g_music.isFull()) {
        WriteLog("ミュージックの数が許容量を越えました\n");
        return -1;
    }
    int handle = g_music.add();
    if (handle < 0) return -1;
    MusicData* music = g_music.get(handle);
    music->midiData = KV_ALLOC((size_t)size);
    if (music->midiData == nullptr) {
        g_music.remove(handle);
        return -1;
    }
    memcpy(music->midiData, midi, (size_t)size);
    music->midiSize = (DWORD)size;
    return handle;
}

int PlayMusicHandle(int handle, int playType) {
    MusicData* music = g_music.get(handle);
    if (music == nullptr) return -1;
    if (g_mci.currentHandle != -1) StopMusicHandle(g_mci.currentHandle);

    if (IsDirectMusicStarted()) {
        if (music->segment == nullptr && DirectMusicLoadSegment(music->midiData, music->midiSize, &music->segment) != 0) {
            WriteLog("ＭＩＤＩデータのセグメント作成に失敗しました\n");
            return -1;
        }
        if (DirectMusicPlaySegment(music->segment, playType == kSoundPlayLoop) != 0) return -1;
        music->playing = 1;
        music->loopOrEnded = playType == kSoundPlayLoop;
        g_mci.currentHandle = handle;
        return 0;
    }

    if (!g_mci.tempFile) {
        char folder[MAX_PATH];
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "kvm", 0, g_mci.tempPath) == 0) return -1;
        g_mci.tempFile = 1;
    }
    HANDLE file = CreateFileA(g_mci.tempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, music->midiData, music->midiSize, &written, nullptr);
    CloseHandle(file);
    if (!wrote || written != music->midiSize) return -1;

    MCI_OPEN_PARMSA open;
    memset(&open, 0, sizeof(open));
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = g_mci.tempPath;
    if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (DWORD_PTR)&open) != 0) {
        WriteLog("ＭＩＤＩファイルのオープンに失敗しました\n");
        return -1;
    }
    g_mci.device = open.wDeviceID;
    MCI_PLAY_PARMS play;
    memset(&play, 0, sizeof(play));
    play.dwCallback = (DWORD_PTR)GetMainHwnd();
    if (mciSendCommandA(g_mci.device, MCI_PLAY, MCI_NOTIFY, (DWORD_PTR)&play) != 0) {
        WriteLog("ＭＩＤＩファイルの演奏に失敗しました\n");
        CloseDevice();
        return -1;
    }
    g_mci.playing = 1;
    g_mci.loop = playType == kSoundPlayLoop;
    g_mci.currentHandle = handle;
    music->playing = 1;
    music->loopOrEnded = g_mci.loop;
    return 0;
}

int OnMciNotify(WPARAM /*wparam*/, LPARAM lparam) {
    // Only the device this service opened is answered.
    if (g_mci.device == 0 || (MCIDEVICEID)lparam != g_mci.device) return 0;
    if (g_mci.loop) {
        MCI_PLAY_PARMS play;
        memset(&play, 0, sizeof(play));
        play.dwCallback = (DWORD_PTR)GetMainHwnd();
        play.dwFrom = 0;
        mciSendCommandA(g_mci.device, MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&play);
        g_mci.playing = 1;
    } else if (g_mci.playing) {
        CloseDevice();
        MusicData* music = g_music.get(g_mci.currentHandle);
        if (music) {
            music->playing = 0;
            music->loopOrEnded = 1;
        }
        g_mci.currentHandle = -1;
    }
    return 0;
}

int StopMusicHandle(int handle) {
    MusicData* music = g_music.get(handle);
    if (music == nullptr) return -1;
    if (music->segment) {
        DirectMusicStopSegment(music->segment);
        if (g_mci.currentHandle == handle) g_mci.currentHandle = -1;
    } else if (g_mci.currentHandle == handle) {
        g_mci.loop = 0;
        if (g_mci.device) OnMciNotify(MCI_NOTIFY_SUCCESSFUL, (LPARAM)g_mci.device);
        for (int i = 0; i < 5; ++i) ProcessMessageImpl();
        g_mci.currentHandle = -1;
    }
    music->playing = 0;
    DeleteTemporaryMusicFile();
    return 0;
}

int IsMusicHandlePlaying(int handle) {
    MusicData* music = g_music.get(handle);
    if (music == nullptr) return -1;
    if (music->segment) return music->playing;
    return g_mci.currentHandle == handle && g_mci.playing ? 1 : 0;
}

int ReleaseMusicHandle(int handle) {
    MusicData* music = g_music.get(handle);
    if (music == nullptr) return -1;
    if (IsMusicHandlePlaying(handle) == 1) StopMusicHandle(handle);
    DirectMusicReleaseSegment(music->segment);
    music->segment = nullptr;
    if (music->midiData) {
        memset(music->midiData, 0, music->midiSize);
        KV_FREE(music->midiData);
    }
    return g_music.remove(handle);
}

int ReleaseAllMusicHandles() {
    g_music.forEach([](int handle, MusicData*) { ReleaseMusicHandle(handle); });
    g_music.clear();
    return 0;
}

int GetMusicHandleCount() { return g_music.liveCount(); }
unsigned GetMusicDevice() { return g_mci.device; }

void DeleteTemporaryMusicFile() {
    if (!g_mci.tempFile) return;
    DeleteFileA(g_mci.tempPath);
    g_mci.tempFile = 0;
    g_mci.tempPath[0] = 0;
}

// DirectMusic segments end on their own: each frame the records learn which still play.
int ServiceMusicPlayback() {
    if (!IsDirectMusicStarted()) return 0;
    g_music.forEach([](int handle, MusicData* music) {
        if (!music->playing || music->segment == nullptr) return;
        if (DirectMusicIsSegmentPlaying(music->segment) == 0) {
            music->playing = 0;
            music->loopOrEnded = 1;
            if (g_mci.currentHandle == handle) g_mci.currentHandle = -1;
        }
    });
    return 0;
}

int StopCurrentMusic() {
    if (g_mci.currentHandle == -1) return 0;
    int handle = g_mci.currentHandle;
    StopMusicHandle(handle);
    ReleaseMusicHandle(handle);
    return 0;
}
