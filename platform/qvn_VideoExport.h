// Video export of a capture run (--video FILE): the run's frames, each pixel
// made an N x N block, and exactly the sound audio.wav gets, in one file a
// video site takes. .mkv is lossless (FFV1 in 8-bit RGB, FLAC); .mp4 is
// H.264 and AAC, written in fragments so a killed run still leaves a file
// that plays. Frame k sits at its run time (virtual_ms in frames.txt), sound
// sample n at n / rate seconds, so picture and sound stay in step. Built on
// the FFmpeg libraries when they are found; without them the export says so.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qvn_Capture.h"
#include "qvn_PictureFilter.h"

enum class qvn_eVideoContainer { kUnknown, kMkv, kMp4 };

// By the file name's extension (any case).
qvn_eVideoContainer qvn_VideoContainerOf(const std::string& path);
// Whether this program has the video export.
bool qvn_VideoExportBuilt();

constexpr int kQvnVideoMaxScale = 8;

struct qvn_SVideoSettings {
    std::string path;
    int scale = 4;
    // The frame's look (--filter): nearest keeps each pixel an exact block.
    qvn_eFilter filter = qvn_eFilter::kNearest;
    int fps = 60;
    // The run's planned length (for the progress line; -1: unknown).
    int64_t plannedMs = -1;
    // A progress line on stderr, rewritten in place about four times a second.
    bool progress = false;
};

class qvn_cVideoExport : public qvn_cCaptureSink {
public:
    // Opens the file for writing; null with a message in *error when it
    // cannot, or when the program has no video export.
    static std::unique_ptr<qvn_cVideoExport> Open(const qvn_SVideoSettings& settings, std::string* error);
    // Encodes what the encoders still hold and writes the file's end; false
    // with a message when the file is not whole (a write failed on the way).
    virtual bool Finish(std::string* error) = 0;
    virtual uint32_t FramesWritten() const = 0;
};

// The progress line (without the leading carriage return).
struct qvn_SVideoProgress {
    uint32_t frames = 0;
    uint32_t runMs = 0;       // run time reached
    int64_t plannedMs = -1;   // -1: unknown, no percentage nor time left
    double wallSeconds = 0;   // real time spent
};
std::string qvn_VideoProgressLine(const qvn_SVideoProgress& progress);

