// The resource table's file paths as data: entry n of kImagePaths / kSoundPaths is the file behind image or
// sound entry n. Read by the game's Loader and by the resource generator in tools/, which must agree on them;
// this header and its .cpp stay free of anything Windows so the host tool can compile them too.
#pragma once

constexpr int kImageEntryCount = 447;
constexpr int kSoundEntryCount = 47;

// Entries 0-2 (loading background, turning mark, loading text) are loaded by the common group from these fixed
// paths; their rows in kImagePaths are null.
extern const char* const kLoadingImagePaths[3];
extern const char* const kImagePaths[kImageEntryCount];
extern const char* const kSoundPaths[kSoundEntryCount];
