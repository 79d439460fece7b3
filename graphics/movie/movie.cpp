// Movies into graphs: the movie table, opening a file through the platform's multimedia streaming (a file inside
// an archive is copied to a temporary file first), the per-draw frame update, play and pause, and the release and
// reopening around a device loss. Every stream is released before its temporary file is deleted.
#include <cstdio>
#include <cstring>

#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/movie.h"
#include "graphics/movie/movie_internal.h"
#include "graphics/movie/movie_rules.h"
#include "runtime/file.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/text.h"
#include "runtime/window.h"

// mingw-w64's headers leave it undeclared; libstrmiids defines it.
extern "C" const CLSID CLSID_FilterGraph;

namespace {

HandleTable<MovieRecord> g_movies(kHandleTypeMovie, kMovieSlots);

BOOL PlainWrite(HANDLE file, const void* data, DWORD size, DWORD* written) {
    return WriteFile(file, data, size, written, nullptr);
}
MovieTempWriteFunction g_tempWrite = PlainWrite;

template <typename T>
void ReleaseCom(T*& p) {
    if (p != nullptr) p->Release();
    p = nullptr;
}

// Releases the stream and everything made on it; the record, its file name and its time stay.
void ReleaseMovieStream(MovieRecord* m) {
    if (m->multiStream != nullptr) m->multiStream->SetState(STREAMSTATE_STOP);
    if (m->sample != nullptr && m->updatePending) m->sample->CompletionStatus(COMPSTAT_NOUPDATEOK | COMPSTAT_ABORT, 0);
    m->updatePending = 0;
    ReleaseCom(m->sample);
    ReleaseCom(m->sampleSurface);
    ReleaseCom(m->overlaySurface);
    ReleaseCom(m->ddStream);
    ReleaseCom(m->mediaStream);
    ReleaseCom(m->audio);
    ReleaseCom(m->seeking);
    ReleaseCom(m->control);
    ReleaseCom(m->multiStream);
    ReleaseCom(m->filterGraph);
    ReleaseCom(m->directDraw4);
    if (m->updateEvent != nullptr) CloseHandle(m->updateEvent);
    m->updateEvent = nullptr;
    TrackedFree(m->frame);
    m->frame = nullptr;
    m->hasSurfaces = 0;
    m->playing = 0;
}

// Deletes the temporary copy once nothing holds it any more.
void DeleteTempCopy(MovieRecord* m) {
    if (!m->deleteTempFile) return;
    if (!DeleteFileA(m->fileName)) WriteLogFormat("テンポラリファイル %s の削除に失敗しました", m->fileName);
    m->deleteTempFile = 0;
}

// Copies a file of the file layer (one inside an archive) into a new temporary file; its name replaces the
// record's. False, with nothing left on disk, when a read or a write comes up short.
bool CopyToTempFile(MovieRecord* m, const char* name) {
    const FileHandle in = FileLayerOpen(name, 0, 1);
    if (in == 0) return false;
    char tempName[MAX_PATH] = {0};
    HANDLE out = CreateTempFile(tempName);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        FileLayerClose(in);
        return false;
    }
    constexpr size_t kPiece = 1024 * 1024;
    FileLayerSeek(in, 0, SEEK_END);
    const int size = FileLayerTell(in);
    FileLayerSeek(in, 0, SEEK_SET);
    uint8_t* buffer = static_cast<uint8_t*>(KV_ALLOC(kPiece));
    bool ok = buffer != nullptr && size >= 0;
    for (size_t done = 0; ok && done < static_cast<size_t>(size);) {
        const size_t want = static_cast<size_t>(size) - done < kPiece ? static_cast<size_t>(size) - done : kPiece;
        const size_t got = FileLayerRead(buffer, 1, want, in);
        DWORD written = 0;
        // A short read or a short write: the copy would be a truncated movie.
        ok = got == want && g_tempWrite(out, buffer, static_cast<DWORD>(got), &written) && written == got;
        done += got;
    }
    TrackedFree(buffer);
    CloseHandle(out);
    FileLayerClose(in);
    if (!ok) {
        DeleteFileA(tempName);
        return false;
    }
    std::memcpy(m->fileName, tempName, MAX_PATH);
    m->fileName[MAX_PATH - 1] = '\0';
    m->deleteTempFile = 1;
    return true;
}

// A file that starts like a picture is a damaged picture, not a movie; the streaming is not asked about it, since
// it can wait forever on a cut-short one.
bool StartsLikeAPicture(const char* name) {
    const FileHandle file = FileLayerOpen(name, 0, 1);
    if (file == 0) return false;
    unsigned char head[8] = {0};
    const size_t got = FileLayerRead(head, 1, sizeof(head), file);
    FileLayerClose(file);
    static const struct {
        const char* bytes;
        size_t size;
    } kSignatures[] = {{"\x89PNG\r\n\x1a\n", 8}, {"\xFF\xD8\xFF", 3}, {"BM", 2}, {"DDS ", 4}, {"GIF8", 4}};
    for (const auto& sig : kSignatures) {
        if (got >= sig.size && std::memcmp(head, sig.bytes, sig.size) == 0) return true;
    }
    return false;
}

bool OpenStreamFile(MovieRecord* m) {
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, m->fileName, -1, wide, MAX_PATH) == 0) return false;
    return SUCCEEDED(m->multiStream->OpenFile(wide, 0));
}

// Logs the failed step and undoes the open: the stream first, then the temporary copy it held.
int Fail(MovieRecord* m, const char* text) {
    WriteLog(text);
    ReleaseMovieStream(m);
    DeleteTempCopy(m);
    return -1;
}

// The surface the frames are decoded into, of the stream's frame size, in the mode's format.
bool DescribeFrameSurface(const MovieRecord* m, int width, int height, DDSURFACEDESC2* desc) {
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(*desc);
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc->dwWidth = width;
    desc->dwHeight = height;
    desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    DDPIXELFORMAT& pf = desc->ddpfPixelFormat;
    if (m->mode == 2) {
        pf.dwSize = sizeof(pf);
        pf.dwFlags = DDPF_RGB;
        pf.dwRGBBitCount = 24;
        pf.dwRBitMask = 0xFF0000;
        pf.dwGBitMask = 0xFF00;
        pf.dwBBitMask = 0xFF;
        return true;
    }
    const DDPIXELFORMAT* format = nullptr;
    if (m->mode == 1) {
        format = GetOverlayPixelFormat();
        desc->ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
    } else if (IsMemImgDrawMode()) {
        format = GetMemImageColorFormatB(GetScreenColorBits() == 16 ? kMemImgColor16 : kMemImgColor32, 0, 0);
    } else {
        format = GetScreenDDPixelFormatImpl();
    }
    if (format == nullptr) return false;
    pf = *format;
    return true;
}

}  // namespace

// Opens the record's stream on its file in the record's mode. 0, or -1 with the failing step's line and nothing
// of the stream left (a temporary copy made here is deleted after the stream is gone).
int OpenMovieStream(IDirectDraw7* display, MovieRecord* m, const char* name, int* width, int* height) {
    if (m->mode == 1 && GetOverlayPixelFormat() == nullptr) m->mode = 2;
    if (m->mode == 2 && GetScreenColorBits() == 32) m->mode = 0;
    if (name != m->fileName) {
        std::snprintf(m->fileName, sizeof(m->fileName), "%s", name);
    }

    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&m->filterGraph)))) {
        m->filterGraph = nullptr;
        return Fail(m, "CLSID_FilterGraph の作成に失敗しました\n");
    }
    if (FAILED(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                                reinterpret_cast<void**>(&m->multiStream)))) {
        m->multiStream = nullptr;
        return Fail(m, "IAMMultimediaインターフェイスを取得できませんでした！\n");
    }
    if (FAILED(m->multiStream->Initialize(STREAMTYPE_READ, 0, m->filterGraph))) {
        return Fail(m, "ストリームを読み取り用にセットアップできませんでした！\n");
    }
    if (FAILED(m->filterGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m->control)))) {
        m->control = nullptr;
        return Fail(m, "IID_IMediaControlインターフェイスの取得に失敗しました\n");
    }
    if (display == nullptr ||
        FAILED(display->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&m->directDraw4)))) {
        m->directDraw4 = nullptr;
        return Fail(m, "DirectDraw4オブジェクトを取得できませんでした\n");
    }
    if (FAILED(m->multiStream->AddMediaStream(m->directDraw4, &MSPID_PrimaryVideo, 0, nullptr))) {
        return Fail(m, "プライマリビデオストリームを追加できませんでした！\n");
    }
    if (FAILED(m->multiStream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr))) {
        WriteLog("デフォルトサウンドレンダラを追加できませんでした！\n");
    }

    char message[MAX_PATH + 64];
    std::snprintf(message, sizeof(message), "ファイル:%s が開けませんでした\n", m->fileName);
    if (!m->deleteTempFile && StartsLikeAPicture(m->fileName)) return Fail(m, message);
    if (!OpenStreamFile(m)) {
        // Not on disk as it is (inside an archive): play a temporary copy.
        if (m->deleteTempFile || !CopyToTempFile(m, m->fileName) || !OpenStreamFile(m)) {
            return Fail(m, message);
        }
    }

    if (FAILED(m->filterGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m->seeking)))) {
        m->seeking = nullptr;
        return Fail(m, "メディアシーキングインターフェースの取得に失敗しました\n");
    }
    if (FAILED(m->filterGraph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&m->audio)))) {
        m->audio = nullptr;
        return Fail(m, "BasicAudio インターフェースの取得に失敗しました\n");
    }
    if (FAILED(m->multiStream->GetMediaStream(MSPID_PrimaryVideo, &m->mediaStream))) {
        m->mediaStream = nullptr;
        return Fail(m, "プライマリビデオストリームインターフェイスを取得できませんでした！\n");
    }
    IAMMediaStream* amStream = nullptr;
    if (FAILED(m->mediaStream->QueryInterface(IID_IAMMediaStream, reinterpret_cast<void**>(&amStream)))) {
        return Fail(m, "AMMediaStreamインターフェイスの取得に失敗しました\n");
    }
    amStream->Release();
    if (FAILED(m->mediaStream->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&m->ddStream)))) {
        m->ddStream = nullptr;
        return Fail(m, "DirectDrawメディアストリームインターフェイスを取得できませんでした！\n");
    }

    // A file without pictures (sound only) has no video format: the same as a size of 0.
    DDSURFACEDESC format;
    std::memset(&format, 0, sizeof(format));
    format.dwSize = sizeof(format);
    if (FAILED(m->ddStream->GetFormat(&format, nullptr, nullptr, nullptr))) format.dwWidth = format.dwHeight = 0;
    if (format.dwWidth == 0 || format.dwHeight == 0) return Fail(m, "動画ファイルではない可能性があります！\n");

    DDSURFACEDESC2 desc;
    IDirectDrawSurface4* surface = nullptr;
    if (!DescribeFrameSurface(m, static_cast<int>(format.dwWidth), static_cast<int>(format.dwHeight), &desc) ||
        FAILED(m->directDraw4->CreateSurface(&desc, &surface, nullptr))) {
        return Fail(m, "DirectDrawSurface オブジェクトの作成に失敗しました\n");
    }
    IDirectDrawSurface* surface1 = nullptr;
    HRESULT hr = surface->QueryInterface(IID_IDirectDrawSurface, reinterpret_cast<void**>(&surface1));
    if (SUCCEEDED(hr)) hr = m->ddStream->CreateSample(surface1, nullptr, 0, &m->sample);
    if (surface1 != nullptr) surface1->Release();
    surface->Release();
    if (FAILED(hr) && FAILED(m->ddStream->CreateSample(nullptr, nullptr, 0, &m->sample))) {
        m->sample = nullptr;
        return Fail(m, "ストリームサンプルを作成できませんでした！\n");
    }
    IDirectDrawSurface* sampleSurface = nullptr;
    RECT rect = {0, 0, 0, 0};
    if (FAILED(m->sample->GetSurface(&sampleSurface, &rect)) || sampleSurface == nullptr) {
        return Fail(m, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！\n");
    }
    hr = sampleSurface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&m->sampleSurface));
    sampleSurface->Release();
    if (FAILED(hr)) {
        m->sampleSurface = nullptr;
        return Fail(m, "IDirectDrawSurface4インターフェイスを取得できませんでした！\n");
    }
    if (m->mode == 1 &&
        FAILED(m->sampleSurface->QueryInterface(IID_IDirectDrawSurface7, reinterpret_cast<void**>(&m->overlaySurface)))) {
        m->overlaySurface = nullptr;
        return Fail(m, "IDirectDrawSurface7インターフェイスを取得できませんでした！\n");
    }
    DDSURFACEDESC2 actual;
    std::memset(&actual, 0, sizeof(actual));
    actual.dwSize = sizeof(actual);
    m->sampleSurface->GetSurfaceDesc(&actual);
    m->surfaceInSystemMemory = (actual.ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY) != 0;
    const DDPIXELFORMAT& pf = actual.ddpfPixelFormat;
    SetColorFormatFromMasksImpl(&m->frameFormat, static_cast<int>(pf.dwRGBBitCount), pf.dwRBitMask, pf.dwGBitMask,
                                pf.dwBBitMask, 0);
    m->width = rect.right - rect.left;
    m->height = rect.bottom - rect.top;
    m->bytesPerPixel = static_cast<int>(pf.dwRGBBitCount / 8);
    m->framePitch = (m->width * m->bytesPerPixel + 3) / 4 * 4;
    m->frame = static_cast<uint8_t*>(KV_ALLOC_ZEROED(static_cast<size_t>(m->framePitch) * m->height));
    if (m->frame == nullptr) return Fail(m, "メモリの確保に失敗しました in OpenMovieStream\n");

    if (width != nullptr) *width = m->width;
    if (height != nullptr) *height = m->height;
    m->updateEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m->lastCopyMs = GetMillisecondCounter();
    m->lastFrameTime = -1;
    STREAM_TIME perFrame = 0;
    if (SUCCEEDED(m->ddStream->GetTimePerFrame(&perFrame))) m->timePerFrame = perFrame;
    m->hasSurfaces = 1;
    m->playing = 0;
    return 0;
}

MovieRecord* MovieHandleToRecord(int movie) { return g_movies.get(movie); }

int OpenMovieToGraph(const char* name, int* width, int* height, int mode) {
    if (name == nullptr) return -1;
    if (g_movies.isFull()) {
        WriteLog("ムービーハンドルの数が許容量を越えました\n");
        return -1;
    }
    const int movie = g_movies.add();
    if (movie == -1) {
        WriteLog("メモリの確保に失敗しました in OpenMovieToGraph\n");
        return -1;
    }
    MovieRecord* m = g_movies.get(movie);
    m->mode = mode;
    if (OpenMovieStream(GetDisplayObject(), m, name, width, height) != 0) {
        g_movies.remove(movie);
        if (g_movies.liveCount() == 0) g_movies.clear();  // an empty table keeps no memory
        WriteLog("ムービーファイルオープン処理時にエラーが発生しました\n");
        return -1;
    }
    return movie;
}

int GetMovieMode(int movie) {
    const MovieRecord* m = g_movies.get(movie);
    return m != nullptr ? m->mode : -1;
}

int CloseMovie(int movie) {
    MovieRecord* m = g_movies.get(movie);
    if (m == nullptr) return -1;
    // The stream first: the temporary file can only go once nothing holds it.
    ReleaseMovieStream(m);
    DeleteTempCopy(m);
    const int removed = g_movies.remove(movie);
    if (g_movies.liveCount() == 0) g_movies.clear();  // an empty table keeps no memory
    return removed;
}

int AddMovieGraph(int movie) {
    MovieRecord* m = g_movies.get(movie);
    if (m == nullptr) return -1;
    ++m->graphCount;
    return 0;
}

int CloseMovieHandle(int movie) {
    MovieRecord* m = g_movies.get(movie);
    if (m == nullptr) return -1;
    if (--m->graphCount > 0) return 0;
    return CloseMovie(movie);
}

int CloseAllMovies() {
    g_movies.forEach([](int handle, MovieRecord*) { CloseMovie(handle); });
    g_movies.clear();
    return 0;
}

void MovieFrameAsImage(const MovieRecord* m, GraphImage* image) {
    std::memset(image, 0, sizeof(*image));
    image->format = m->frameFormat;
    image->width = m->width;
    image->height = m->height;
    image->pitch = m->framePitch;
    image->pixels = m->frame;
}

namespace {

// Copies the sample surface into the private frame and on into the graph's pieces.
int TakeFrame(MovieRecord* m, GraphRecord* g) {
    if (m->sampleSurface == nullptr) return -1;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(m->sampleSurface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return -1;
    const size_t rowBytes = static_cast<size_t>(m->width) * m->bytesPerPixel;
    for (int y = 0; y < m->height; ++y) {
        std::memcpy(m->frame + static_cast<size_t>(y) * m->framePitch,
                    static_cast<const uint8_t*>(desc.lpSurface) + static_cast<size_t>(y) * desc.lPitch, rowBytes);
    }
    m->sampleSurface->Unlock(nullptr);
    STREAM_TIME start = 0, end = 0;
    if (SUCCEEDED(m->sample->GetSampleTimes(&start, &end, nullptr))) m->shownFrameTime = start;
    const int uploaded = g->creation[kCreateTexture] == 1 ? UpdateMovieFrameToTextures3D(m, g)
                                                          : UpdateMovieFrameToSurface2D(m, g);
    STREAM_TIME now = 0;
    if (m->multiStream != nullptr && SUCCEEDED(m->multiStream->GetTime(&now))) m->lastFrameTime = now;
    m->lastCopyMs = GetMillisecondCounter();
    ResetEvent(m->updateEvent);
    m->updatePending = 0;
    ++m->framesCopied;
    return uploaded;
}

// Asks the sample for a frame: 1 when one is ready now, 0 when it is pending or the stream has ended.
int RequestFrame(MovieRecord* m, int force) {
    ResetEvent(m->updateEvent);
    const HRESULT hr = force ? m->sample->Update(0, nullptr, nullptr, 0)
                             : m->sample->Update(SSUPDATE_ASYNC, m->updateEvent, nullptr, 0);
    if (hr == S_OK) return 1;
    if (hr == MS_S_PENDING) {
        m->updatePending = 1;
        return 0;
    }
    m->playing = 0;  // the end of the stream, or a failure
    return 0;
}

// The pending frame has been signalled (or waited for): 1 when it is a frame, 0 at the end of the stream.
int CollectPending(MovieRecord* m, DWORD waitMs) {
    const HRESULT hr = m->sample->CompletionStatus(waitMs != 0 ? COMPSTAT_WAIT : 0, waitMs);
    if (hr == MS_S_PENDING) return 0;
    m->updatePending = 0;
    if (hr == S_OK) return 1;
    m->playing = 0;
    return 0;
}

MovieRecord* MovieOfGraph(int graph, GraphRecord** out) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || g->movieHandle == -1) return nullptr;
    if (out != nullptr) *out = g;
    return g_movies.get(g->movieHandle);
}

bool StreamRunning(MovieRecord* m) {
    STREAM_STATE state = STREAMSTATE_STOP;
    return m->multiStream != nullptr && SUCCEEDED(m->multiStream->GetState(&state)) && state == STREAMSTATE_RUN;
}

void Play(MovieRecord* m) {
    if (!m->hasSurfaces || m->playing) return;
    m->multiStream->SetState(STREAMSTATE_RUN);
    m->control->Run();  // a paused graph does not run again through the stream's state alone
    m->playing = 1;
}

void Pause(MovieRecord* m) {
    if (!m->playing) return;
    m->control->Pause();
    m->playing = 0;
}

}  // namespace

int UpdateMovieFrame(int graph, int force) {
    GraphRecord* g = nullptr;
    MovieRecord* m = MovieOfGraph(graph, &g);
    if (m == nullptr || !m->hasSurfaces || m->sample == nullptr) return 0;
    MovieDueInput in = {};
    in.force = force;
    in.playing = m->playing;
    in.running = StreamRunning(m);
    STREAM_TIME now = 0;
    if (m->multiStream->GetTime(&now) == S_OK) in.streamTime = now;
    in.lastFrameTime = m->lastFrameTime;
    in.nowMs = GetMillisecondCounter();
    in.lastCopyMs = m->lastCopyMs;
    in.pending = m->updatePending;
    in.eventSet = m->updatePending && WaitForSingleObject(m->updateEvent, 0) == WAIT_OBJECT_0;

    int ready = 0;
    switch (DecideMovieUpdate(in)) {
        case MovieUpdateStep::kNothing:
            return 0;
        case MovieUpdateStep::kCollectPending:
            ready = CollectPending(m, 0);
            break;
        case MovieUpdateStep::kWaitPending:
            ready = CollectPending(m, 2000);
            break;
        case MovieUpdateStep::kRequestFrame:
            ready = RequestFrame(m, force);
            break;
    }
    if (!ready) return 0;
    if (m->mode == 1) {  // an overlay shows the sample surface itself
        m->updatePending = 0;
        return 0;
    }
    if (TakeFrame(m, g) != 0) return -1;
    // Catch up: a second frame that is ready at once is taken too; otherwise it stays asked for.
    if (!force && m->playing && RequestFrame(m, 0) == 1) TakeFrame(m, g);
    return 0;
}

int PlayMovieHandle(int graph) {
    MovieRecord* m = MovieOfGraph(graph, nullptr);
    if (m == nullptr) return -1;
    Play(m);
    return 0;
}

int PauseMovieHandle(int graph) {
    MovieRecord* m = MovieOfGraph(graph, nullptr);
    if (m == nullptr) return -1;
    Pause(m);
    return 0;
}

int PlayAllMovies() {
    g_movies.forEach([](int, MovieRecord* m) { Play(m); });
    return 0;
}

int PauseAllMovies() {
    g_movies.forEach([](int, MovieRecord* m) { Pause(m); });
    return 0;
}

int ReleaseAllMovieSurfaces() {
    g_movies.forEach([](int, MovieRecord* m) {
        if (!m->hasSurfaces) return;
        // Where the picture stands: the time of the frame last shown (the decoder runs ahead of it), else the
        // stream's time.
        STREAM_TIME now = 0;
        if (m->framesCopied > 0) {
            m->savedTime = m->shownFrameTime;
        } else {
            m->savedTime = m->multiStream != nullptr && m->multiStream->GetTime(&now) == S_OK ? now : 0;
        }
        m->restart = m->playing;
        ReleaseMovieStream(m);
    });
    return 0;
}

int ReopenAllMovies() {
    int result = 0;
    g_movies.forEach([&result](int, MovieRecord* m) {
        if (result != 0 || m->hasSurfaces) return;
        if (OpenMovieStream(GetDisplayObject(), m, m->fileName, nullptr, nullptr) != 0) {
            result = -1;
            return;
        }
        m->multiStream->Seek(m->savedTime);
        if (m->restart) Play(m);
    });
    return result;
}

int RestoreMovieSurfaces(int movie) {
    MovieRecord* m = g_movies.get(movie);
    if (m == nullptr) return -1;
    if (m->sampleSurface != nullptr && m->sampleSurface->IsLost() == DDERR_SURFACELOST) m->sampleSurface->Restore();
    return 0;
}

int DrawMovieFrameDirect(int x, int y, int scale, int movie, int show) {
    MovieRecord* m = g_movies.get(movie);
    if (m == nullptr || m->mode != 1 || m->overlaySurface == nullptr) return -1;
    IDirectDrawSurface7* primary = GetOutputPrimarySurface();
    if (primary == nullptr) return -1;
    if (!show) {
        m->overlaySurface->UpdateOverlay(nullptr, primary, nullptr, DDOVER_HIDE, nullptr);
        return 0;
    }
    DDCAPS caps;
    std::memset(&caps, 0, sizeof(caps));
    CopyDisplayCaps(&caps);
    OverlayAlignment align = {};
    if (caps.dwCaps & DDCAPS_ALIGNBOUNDARYSRC) align.sourceBoundary = static_cast<int>(caps.dwAlignBoundarySrc);
    if (caps.dwCaps & DDCAPS_ALIGNSIZESRC) align.sourceSize = static_cast<int>(caps.dwAlignSizeSrc);
    if (caps.dwCaps & DDCAPS_ALIGNBOUNDARYDEST) align.destBoundary = static_cast<int>(caps.dwAlignBoundaryDest);
    if (caps.dwCaps & DDCAPS_ALIGNSIZEDEST) align.destSize = static_cast<int>(caps.dwAlignSizeDest);
    RECT client = {0, 0, 0, 0};
    HWND window = GetMainHwnd();
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&client, origin.x, origin.y);
    RECT source, dest;
    if (!PlaceMovieOverlay(x, y, scale, m->width, m->height, client, align, &source, &dest)) return 0;
    return SUCCEEDED(m->overlaySurface->UpdateOverlay(&source, primary, &dest, DDOVER_SHOW, nullptr)) ? 0 : -1;
}

void SetMovieTempWriteForTest(MovieTempWriteFunction write) { g_tempWrite = write != nullptr ? write : PlainWrite; }

int GetLiveMovieCountForTest() { return g_movies.liveCount(); }

int OccupyFreeMovieSlotsForTest(int* handles) {
    int count = 0;
    while (!g_movies.isFull()) {
        const int handle = g_movies.add();
        if (handle == -1) break;
        handles[count++] = handle;
    }
    return count;
}
