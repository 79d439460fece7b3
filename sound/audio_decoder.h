// Audio decoders: turn a sound file read through a stream table into PCM with a WAVEFORMATEX.
// Readers are tried in a fixed order (PCM WAV, compressed WAV through the audio compression
// manager, Ogg Vorbis, MP3 through the audio compression manager). The sound loader decodes a
// whole file at once; stream sounds decode piecewise and seek.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include "runtime/stream.h"

struct OggVorbis_File;

enum AudioDecoderKind {
    kAudioDecoderWavPcm = 0,
    kAudioDecoderAcm = 1,
    kAudioDecoderOgg = 2,
};

struct AudioDecoder {
    int valid;
    int endFlag;  // set when a read found no more data
    int kind;     // AudioDecoderKind

    // The stream the decoder reads: its function table (copied) and its handle.
    StreamFunctionTable stream;
    StreamHandle streamHandle;

    // WAV: position and length of the "fmt " chunk body.
    LONGLONG formatChunkPos;
    DWORD formatChunkLength;

    // Byte offset of the sound data in the stream and its size in bytes.
    LONGLONG dataStart;
    DWORD dataSize;

    WAVEFORMATEX outFormat;  // PCM

    // Compression-manager state (compressed WAV and MP3).
    WAVEFORMATEX* sourceFormat;  // owned, at least sizeof(WAVEFORMATEX) bytes
    HACMSTREAM mainStream;
    HACMSTREAM spareStream;  // stands at the start of the data, for seeks backwards; null until a restart
    BYTE* sourceData;        // the whole compressed data, owned
    DWORD sourceSize;
    DWORD sourcePos;          // next source byte the main stream converts
    LONGLONG totalSamples;   // -1 when unknown

    // Ogg state (the vorbisfile reader, owned).
    OggVorbis_File* ogg;
    int oggOpened;
    int oggSampleWidth;  // bytes per output sample

    // Decode buffer: decoded bytes waiting to be handed out.
    BYTE* buffer;
    DWORD bufferSize;
    DWORD bufferHeld;    // bytes valid in the buffer
    DWORD bufferOffset;  // read offset in the buffer
    LONGLONG outPosition;  // output bytes handed out (or skipped by a seek) so far
    DWORD pcmSourceRead;   // PCM WAV: data bytes already read from the stream
};

// Opens a decoder on a stream. The decoder must stay where it is until closed (readers keep
// pointers to it). 0, or -1 when no reader understands it (nothing is left open).
int AudioDecoderOpen(const StreamFunctionTable* table, StreamHandle handle, AudioDecoder* decoder);
// Copies up to `bytes` decoded bytes. Bytes delivered (fewer at the end, 0 once ended), -1 when
// the decoder is not valid.
int AudioDecoderRead(AudioDecoder* decoder, void* buffer, int bytes);
// Moves the output to a sample position. 0, or -1 when the decoder is not valid or cannot seek.
int AudioDecoderSeek(AudioDecoder* decoder, LONGLONG sample);
int AudioDecoderGetFormat(const AudioDecoder* decoder, WAVEFORMATEX* format);
// Bytes of PCM the whole sound takes (for Ogg, a second of slack on top). -1 when not valid.
LONGLONG AudioDecoderGetPcmSize(AudioDecoder* decoder);
// Decodes the whole sound into a new tracked block. The size handed out is never more than
// was really decoded, in whole sample frames. 0, or -1 when the decoder is not valid or memory
// runs out. A sound that decodes to nothing gives 0 with a null block and a size of 0.
int AudioDecoderReadAll(AudioDecoder* decoder, WAVEFORMATEX* format, void** pcm, DWORD* pcmSize);
// Frees what the decoder holds (the stream itself stays open). -1 when not valid.
int AudioDecoderClose(AudioDecoder* decoder);

// Output sample width for Ogg decoders opened from now on (the sound system sets 2).
void SetOggOutputSampleWidth(int bytes);
int GetOggOutputSampleWidth();

// A RIFF WAVE image in a new tracked block: header, "fmt " chunk with the format, "data" chunk
// with the PCM. Null when memory runs out.
void* BuildWaveImage(const WAVEFORMATEX* format, DWORD formatLength, const void* pcm, DWORD pcmSize,
                     DWORD* imageSize);
// Reads a whole stream from its start into a new tracked block. 0, or -1 (logged when memory runs out).
int ReadWholeStream(const StreamFunctionTable* table, StreamHandle handle, void** image, DWORD* size);

// MPEG audio frame header.
struct Mp3FrameHeader {
    int mpeg1;          // 1 MPEG-1, 0 MPEG-2 (low sampling frequencies)
    int layer;          // 1..3
    int bitrateKbps;
    int sampleRate;
    int padding;
    int channels;
    int frameLength;    // bytes, header included
    int samplesPerFrame;
};
// Parses 4 header bytes. 0, -1 for a field that makes no frame (reserved layer, bitrate or rate,
// free format), -2 when the bytes are no frame sync (also MPEG 2.5).
int ParseMp3FrameHeader(const BYTE* bytes, Mp3FrameHeader* header);
