// MPEG-1 Layer III decoding of a file held in memory (placeholder interface;
// the decoder proper replaces the stub implementation).
#pragma once

#include <cstdint>

struct SMP3Stream;

// Computes the decoder's generated tables; called before every mp3Open.
void mp3InitTables();
// Reads the whole file and positions at its first frame; null on failure.
SMP3Stream* mp3Open(const char* fileName);
// Frees a stream and its file buffer.
void mp3Close(SMP3Stream* stream);
// 1152 after a decoded frame, -1 at the end of the data.
int mp3DecodeFrame(SMP3Stream* stream);
// Frames skipped (0 when n < 1).
int mp3SkipFrames(SMP3Stream* stream, int n);
int mp3GetFrameIndex(const SMP3Stream* stream);
int mp3GetSampleRate(const SMP3Stream* stream);
int mp3GetChannels(const SMP3Stream* stream);
int mp3GetBitrate(const SMP3Stream* stream);

// Receives each granule: count samples per channel, full scale +-1.0, right
// null for a mono stream.
using mp3OutputFn = void (*)(int count, const float* left, const float* right);
void mp3SetOutput(mp3OutputFn output);
