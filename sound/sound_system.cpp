// Start and end of DirectSound for the sound service: the device object, the primary buffer's
// format, a silent looping buffer, and the device report in the log.
#include "sound/sound_system.h"

#include <math.h>
#include <string.h>

#include "runtime/log.h"
#include "sound/audio_decoder.h"
#include "sound/capture.h"
#include "sound/music_directmusic.h"
#include "sound/music_handle.h"
#include "sound/sound_buffer.h"
#include "sound/sound_handle.h"

namespace {

struct SoundSystem {
    int started;
    IDirectSound* sound;
    IDirectSoundBuffer* primary;
    SoundBuffer silent;
    int loadMode;
};
SoundSystem g_system;

void ReleaseDevice() {
    if (g_system.primary) g_system.primary->Release();
    g_system.primary = nullptr;
    if (g_system.sound) g_system.sound->Release();
    g_system.sound = nullptr;
    EndDirectMusic();  // after the device it handed out
}

// The silent looping buffer keeps the device running, so that effects start without delay.
void StartSilentBuffer() {
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 176400;
    DSBUFFERDESC description;
    memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
    description.dwBufferBytes = 400;
    description.lpwfxFormat = &format;
    if (SoundBufferCreate(&g_system.silent, &description) != 0) {
        WriteLogFormat("無音バッファの作成に失敗しました");
        return;
    }
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstLength = 0, secondLength = 0;
    if (SoundBufferLock(&g_system.silent, 0, 400, &first, &firstLength, &second, &secondLength) != 0) {
        WriteLogFormat("無音バッファのロックに失敗しました");
        SoundBufferRelease(&g_system.silent);
        return;
    }
    if (first) memset(first, 0, firstLength);
    if (second) memset(second, 0, secondLength);
    SoundBufferUnlock(&g_system.silent, first, firstLength, second, secondLength);
    SoundBufferPlay(&g_system.silent, 1);
}

BOOL CALLBACK LogDevice(LPGUID, LPCSTR description, LPCSTR module, LPVOID) {
    WriteLogFormat("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
    return TRUE;
}

void LogDevices(const DSCAPS& caps) {
    WriteLog("DirectSound デバイスを列挙します\n");
    HMODULE library = LoadLibraryA("DSOUND.DLL");
    if (library == nullptr) {
        WriteLog("DSOUND.DLL のロードに失敗しました\n");
    } else {
        typedef HRESULT(WINAPI * EnumerateFunction)(LPDSENUMCALLBACKA, LPVOID);
        EnumerateFunction enumerate = (EnumerateFunction)(void*)GetProcAddress(library, "DirectSoundEnumerateA");
        if (enumerate == nullptr) {
            WriteLog("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
        } else {
            enumerate(LogDevice, nullptr);
        }
        FreeLibrary(library);
    }
    auto ok = [](DWORD flags, DWORD bit) { return (flags & bit) ? "OK" : "NO"; };
    WriteLogFormat("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                   caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
    WriteLogPrintf("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
                   caps.dwFreeHwMemBytes / 1024.0);
    WriteLog("利用可能サンプリング精度\n");
    WriteLogFormat(" プライマリ １６bit = %s  ８bit = %s ", ok(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                   ok(caps.dwFlags, DSCAPS_PRIMARY8BIT));
    WriteLogPrintf(" セカンダリ １６bit = %s  ８bit = %s \n", ok(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                   ok(caps.dwFlags, DSCAPS_SECONDARY8BIT));
    WriteLog("利用可能チャンネル\n");
    WriteLogFormat(" プライマリ MONO = %s  STEREO = %s ", ok(caps.dwFlags, DSCAPS_PRIMARYMONO),
                   ok(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
    WriteLogPrintf(" セカンダリ MONO = %s  STEREO = %s \n", ok(caps.dwFlags, DSCAPS_SECONDARYMONO),
                   ok(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
}

}  // namespace

int InitSoundSystem() {
    if (g_system.started) return -1;

    // The DirectMusic mode takes the device from the performance; without it, or when that
    // fails, DirectSound starts on its own.
    IDirectSound* fromMusic = nullptr;
    if (GetDirectMusicMode() && StartDirectMusic(GetDesktopWindow(), &fromMusic) == 0) {
        g_system.sound = fromMusic;
    } else {
        WriteLog("DirectSound の初期化を行います\n");
        WriteLog("DirectSound インターフェースの取得を行います....  ");
        IDirectSound* sound = nullptr;
        if (FAILED(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                                                    CLSCTX_LOCAL_SERVER,
                                    IID_IDirectSound, (void**)&sound)) ||
            sound == nullptr) {
            WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
            return -1;
        }
        g_system.sound = sound;
        WriteLog("成功\n");
        WriteLog("引き続きインターフェースの初期化処理...  ");
        if (FAILED(sound->Initialize(nullptr))) {
            WriteLog("初期化に失敗しました\n");
            ReleaseDevice();
            return -1;
        }
        WriteLog("成功\n");

        if (FAILED(sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY))) {
            WriteLog("DirectSoundの協調レベルの設定に失敗しました\n");
            ReleaseDevice();
            return -1;
        }
    }
    IDirectSound* sound = g_system.sound;

    DSBUFFERDESC description;
    memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwFlags = DSBCAPS_PRIMARYBUFFER;
    if (FAILED(sound->CreateSoundBuffer(&description, &g_system.primary, nullptr)) || g_system.primary == nullptr) {
        g_system.primary = nullptr;
        WriteLog("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
        ReleaseDevice();
        return -1;
    }

    DSCAPS caps;
    memset(&caps, 0, sizeof(caps));
    caps.dwSize = sizeof(caps);
    sound->GetCaps(&caps);
    WAVEFORMATEX format;
    memset(&format, 0, sizeof(format));
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
    format.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
    DWORD rate = caps.dwMaxSecondarySampleRate;
    format.nSamplesPerSec = (rate == 0 || rate > 44100) ? 44100 : rate;
    format.nBlockAlign = (WORD)(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    if (FAILED(g_system.primary->SetFormat(&format)))
        WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");

    g_system.started = 1;
    StartSilentBuffer();
    g_system.loadMode = 0;
    SetOggOutputSampleWidth(2);

    LogDevices(caps);
    WriteLog("DirectSound の初期化は正常に終了しました\n");
    ReleaseAllSoundsImpl(0);
    return 0;
}

int TerminateSoundSystem() {
    if (!g_system.started) return -1;
    FinishWaveCapture();
    ReleaseAllSoundsImpl(0);
    ClearSoundHandleTable();
    ReleaseAllMusicHandles();
    DeleteTemporaryMusicFile();
    if (g_system.primary) g_system.primary->Stop();
    if (g_system.silent.valid) {
        SoundBufferStop(&g_system.silent);
        SoundBufferRelease(&g_system.silent);
    }
    ReleaseDevice();
    g_system.started = 0;
    WriteLog("DirectSound の終了処理は正常に終了しました\n");
    return 0;
}

int IsSoundSystemStarted() { return g_system.started; }
IDirectSound* GetDirectSoundObject() { return g_system.started ? g_system.sound : nullptr; }
int GetSoundLoadMode() { return g_system.loadMode; }
int SetSoundLoadMode(int mode) {
    if (mode != 0 && mode != 2 && mode != 3) return -1;
    g_system.loadMode = mode;
    return 0;
}

LONG SoundVolumeToAttenuation(int volume) {
    if (volume >= 255) return 0;
    if (volume <= 0) return DSBVOLUME_MIN;
    double attenuation = 1000.0 * log10(volume / 255.0);
    LONG value = (LONG)attenuation;  // toward zero
    return value < DSBVOLUME_MIN ? DSBVOLUME_MIN : value;
}
