// Stub until the decoder lands: no stream can be opened.
#include "qvn_MP3Decoder.h"

void mp3InitTables() {}
SMP3Stream* mp3Open(const char*) { return nullptr; }
void mp3Close(SMP3Stream*) {}
int mp3DecodeFrame(SMP3Stream*) { return -1; }
int mp3SkipFrames(SMP3Stream*, int) { return 0; }
int mp3GetFrameIndex(const SMP3Stream*) { return -1; }
int mp3GetSampleRate(const SMP3Stream*) { return 0; }
int mp3GetChannels(const SMP3Stream*) { return 0; }
int mp3GetBitrate(const SMP3Stream*) { return 0; }
void mp3SetOutput(mp3OutputFn) {}
