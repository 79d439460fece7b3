// The runtime's own public entries: each takes the API lock, calls its Impl twin and returns the result
// unchanged. ShutDownLibrary also takes the lock apart once the shutdown sequence has run.
#include "runtime/runtime.h"

#include <windows.h>

#include <mmsystem.h>

#include "runtime/api_lock.h"
#include "runtime/archive/archive.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/window.h"

int StartUpLibrary() {
    ApiLockScope lock;
    return LibraryStartUpSequence();
}

int ShutDownLibrary() {
    LockApi();
    const int result = LibraryShutDownSequence();
    UnlockApi();
    ApiLockTearDown();
    return result;
}

int ProcessMessage() {
    ApiLockScope lock;
    return ProcessMessageImpl();
}

int ChangeWindowMode(int windowed) {
    ApiLockScope lock;
    return ChangeWindowModeImpl(windowed);
}

int SetWindowCaption(const char* caption) {
    ApiLockScope lock;
    return SetWindowCaptionImpl(caption);
}

int SetWindowIcon(int iconId) {
    ApiLockScope lock;
    return SetWindowIconImpl(iconId);
}

int SetCursorVisible(int flag) {
    ApiLockScope lock;
    return SetCursorVisibleImpl(flag);
}

int SetLogFileEnabled(int flag) {
    ApiLockScope lock;
    return SetLogFileEnabledImpl(flag);
}

int ArchiveSetExtension(const char* extension) {
    ApiLockScope lock;
    return ArchiveSetExtensionImpl(extension);
}

int GetMillisecondCount() {
    ApiLockScope lock;
    return static_cast<int>(timeGetTime());
}

int RandomInt(int max) {
    ApiLockScope lock;
    return RandomIntImpl(max);
}

int RandomSetSeed(int seed) {
    ApiLockScope lock;
    return RandomSetSeedImpl(seed);
}
