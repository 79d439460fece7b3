// The stream part of a sound handle's record: up to three sources decoded in play order into one
// 6-second ring buffer kept 3 seconds ahead of the play position, and the link by which handles
// of one format share a ring. Lives inside SoundData so the decoders never move while open.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include "runtime/handle.h"
#include "runtime/stream.h"
#include "sound/audio_decoder.h"

constexpr int kMaxStreamSources = 3;
constexpr int kStreamRingNotStarted = -800;  // write position before the first fill

enum StreamSourceKind {
    kStreamSourceDecoded = 0,  // decoded up front, held as a WAV image
    kStreamSourceImage = 2,    // file image held in memory, decoded while playing
    kStreamSourceDirect = 3,   // the stream itself, decoded while playing
};

struct StreamSource {
    signed char loopCount;  // -1 for ever
    int kind;               // StreamSourceKind
    void* image;            // held image (kinds 0 and 2), tracked memory
    DWORD imageSize;
    StreamHandle memoryStream;  // over the image (kinds 0 and 2)
    const StreamFunctionTable* streamTable;
    StreamHandle stream;  // what the decoder reads
    AudioDecoder decoder;
    int ownsFile;  // the handle closes `stream` on release (kind 3)
    DWORD pcmSize;
};

struct StreamState {
    StreamSource sources[kMaxStreamSources];
    int sourceCount;
    int currentSource;
    int playCount;  // of the current source

    int endOfData;          // the last source has run out; silence follows in the ring
    int endReached;         // the play position passed the end and the buffer stopped
    DWORD endPosition;      // ring offset where the data ends
    DWORD endRemaining;     // bytes still to be played up to the end position
    DWORD lastPlayPosition;

    int writePosition;  // ring offset of the next write, kStreamRingNotStarted before the first fill
    int readPosition;   // kept 4 seconds behind the write position
    LONGLONG bytesPlayed;
    LONGLONG bytesWritten;  // every byte written into the ring since the last restart

    int linkHandle;      // handle whose ring this one uses, -1 for its own
    int linkCount;       // handles sharing this one's ring
    int releasePending;  // released while others still share the ring
    int holder;          // handle that currently holds this ring, -1 none

    LONGLONG totalSamples;
    int listed;  // in the stream-sound list
    HandleChainNode listNode;
};
