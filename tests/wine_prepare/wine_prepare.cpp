// Readies a build's Wine for its test programs before they start side by side. Run through scripts/wine-run.sh it
// boots the prefix template every program's prefix is copied from; rendering a file through the media filter graph
// then starts GStreamer behind Wine's media filters, which scans its plug-ins into the registry that all of the
// build's programs share (one per architecture). Programs that each found the registry missing would all scan at
// once, slowly, and race to write it.
#include <windows.h>

#include <dshow.h>

#include <cstdio>

extern "C" const CLSID CLSID_FilterGraph;

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "wine_prepare: COM did not start\n");
        return 1;
    }
    IGraphBuilder* graph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph)))) {
        std::fprintf(stderr, "wine_prepare: no filter graph\n");
        CoUninitialize();
        return 1;
    }
    // A short WAVE file: Wine parses it with GStreamer, which starts and builds the registry on the way.
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"kvp", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const DWORD samples = 2205;  // a tenth of a second of silence, 22050 Hz, mono, 16-bit
        const DWORD dataBytes = samples * 2;
        const DWORD header[] = {0x46464952u, 36 + dataBytes, 0x45564157u,      // "RIFF" size "WAVE"
                                0x20746d66u, 16, 0x00010001u, 22050, 44100,   // "fmt " PCM, 1 channel
                                0x00100002u, 0x61746164u, dataBytes};         // align 2, 16 bits, "data"
        DWORD written = 0;
        WriteFile(file, header, sizeof(header), &written, nullptr);
        static const short silence[2205] = {};
        WriteFile(file, silence, dataBytes, &written, nullptr);
        CloseHandle(file);
    }
    const DWORD start = GetTickCount();
    const HRESULT rendered = graph->RenderFile(path, nullptr);
    graph->Release();
    DeleteFileW(path);
    std::printf("wine_prepare: media filters ready in %lu ms (a short sound: 0x%08lx)\n",
                static_cast<unsigned long>(GetTickCount() - start), static_cast<unsigned long>(rendered));
    CoUninitialize();
    return 0;
}
