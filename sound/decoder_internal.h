// Shared pieces of the audio decoder's readers: byte-level access to the decoder's stream and
// the compression-manager set-up that the compressed WAV and MP3 readers both use.
#pragma once

#include "runtime/memory.h"
#include "sound/audio_decoder.h"

// Source bytes fed to the compression manager per conversion step.
constexpr DWORD kAcmSourceChunk = 2048;
// Upper bound for one decode buffer, whatever a file's header claims.
constexpr DWORD kMaxDecodeBuffer = 8u << 20;

// Stream access through the decoder's copied table; reads always count bytes (element size 1).
LONGLONG DecoderStreamTell(AudioDecoder* decoder);
int DecoderStreamSeek(AudioDecoder* decoder, LONGLONG offset, int origin);
DWORD DecoderStreamRead(AudioDecoder* decoder, void* buffer, DWORD bytes);
// Reads exactly `bytes`; 0, or -1 when the stream ended first.
int DecoderStreamReadExact(AudioDecoder* decoder, void* buffer, DWORD bytes);
// Length of the stream (seeks to the end and back). -1 when it cannot tell.
LONGLONG DecoderStreamLength(AudioDecoder* decoder);

// The readers. Each starts with the stream at 0, fills the decoder on success (kind, formats,
// data position, buffer size wanted) and returns 0; on failure it returns -1 having freed what
// it took.
int OpenWavPcmReader(AudioDecoder* decoder);
int OpenAcmWavReader(AudioDecoder* decoder);
int OpenOggReader(AudioDecoder* decoder);
int OpenMp3Reader(AudioDecoder* decoder);

// Ogg operations behind the decoder's common part.
DWORD OggDecodeInto(AudioDecoder* decoder, BYTE* buffer, DWORD bytes);  // bytes decoded, 0 at the end
int OggSeekSample(AudioDecoder* decoder, LONGLONG sample);              // 0 / -1
LONGLONG OggTotalSamples(AudioDecoder* decoder);                        // -1 when unknown
void CloseOggReader(AudioDecoder* decoder);

// Compression-manager tail of a reader: suggests the PCM output for decoder->sourceFormat, opens
// the main and the spare conversion streams over decoder->sourceData. 0, or -1 (nothing opened).
int OpenAcmConversion(AudioDecoder* decoder);
// Frees every compression-manager resource the decoder holds.
void ReleaseAcmState(AudioDecoder* decoder);

// Decode buffer size for kinds 0 and 1: one second of output, at least one block, and for the
// compression manager large enough for the output of one source chunk.
DWORD DecodeBufferSizeFor(const AudioDecoder* decoder);
