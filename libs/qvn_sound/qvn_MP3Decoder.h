// MPEG-1 Layer III decoding of a file held in memory.
//
// One SMP3Stream per open file; its whole decoding state (reservoir, overlap,
// filterbank history) lives in the stream, so streams are independent. The
// PCM goes to one process-wide output function, a granule (576 samples per
// channel) at a time.
//
// Robustness: the stream never reads outside its buffers. Damaged frames are
// decoded as well as their data allows (values clamped to the tables) or, when
// their main data is missing, as silence; a file with no frame at all is
// refused by mp3Open. Streams that are not MPEG-1 end the program through
// FatalError("MPEG2.0 unsupported"), Layer I/II ones through
// FatalError("layer2 unsupported") at their first decoded frame.
#pragma once

#include <cstddef>
#include <cstdint>

struct SMP3Stream;

// Computes the decoder's generated tables; called before every mp3Open (and
// by mp3Open itself when nobody did).
void mp3InitTables();
// Reads the whole file and positions at its first frame; null when the file
// cannot be read or holds no frame (logged).
SMP3Stream* mp3Open(const char* fileName);
// The same on a copy of a memory buffer.
SMP3Stream* mp3OpenMemory(const void* data, size_t size);
// Why mp3OpenChecked refused a file.
enum EMp3Refusal {
    kMp3Accepted = 0,
    kMp3CannotRead,    // missing, unreadable, or too large to hold
    kMp3NoAudioFrame,  // no MPEG audio frame anywhere in it
    kMp3Mpeg2,         // the first frame is MPEG-2 or MPEG-2.5
    kMp3LayerI,        // MPEG-1, but Layer I
    kMp3LayerII,       // MPEG-1, but Layer II
};
// mp3Open for tools that report refusals themselves: null with *why set
// where mp3Open would return null or end the program through FatalError
// (every later frame shares the first one's version and layer, so a stream
// accepted here never reaches those fatal ends). Nothing is logged.
SMP3Stream* mp3OpenChecked(const char* fileName, EMp3Refusal* why);
// Frees a stream and its file buffer (null is fine).
void mp3Close(SMP3Stream* stream);
// 1152 after a decoded frame (two granules sent to the output function), -1
// once no further frame can be found before the end of the data.
int mp3DecodeFrame(SMP3Stream* stream);
// Frames skipped (0 when n < 1); nothing is output.
int mp3SkipFrames(SMP3Stream* stream, int n);
// Frames decoded or skipped since open.
int mp3GetFrameIndex(const SMP3Stream* stream);
int mp3GetSampleRate(const SMP3Stream* stream);
int mp3GetChannels(const SMP3Stream* stream);
// kbit/s of the first frame (0 for a free-format stream).
int mp3GetBitrate(const SMP3Stream* stream);
// Frames whose main data could not be used (output as silence).
int mp3GetBadFrames(const SMP3Stream* stream);

// Receives each granule: count samples per channel, full scale +-1.0, right
// null for a mono stream. Values beyond +-1.0 are passed on unclipped.
using mp3OutputFn = void (*)(int count, const float* left, const float* right);
void mp3SetOutput(mp3OutputFn output);
// Optional hook called per granule and channel with the spectrum before the
// transform (channel index, 576 values); nothing in the engine sets it.
using mp3GranuleHookFn = void (*)(int channel, const float* spectrum);
void mp3SetGranuleHook(mp3GranuleHookFn hook);
