// The sound card as the music player sees it: one looping ring buffer of
// 16-bit stereo PCM with notification positions that fire when the play cursor
// reaches them. The player polls the notifications from the message pump and
// refills the ring itself, so the device never calls back into the engine.
#pragma once

#include <cstdint>

// What the sound card does with the ring: its buffer, how often it asks for
// more, and so how long a sample takes from the ring to the loudspeaker.
struct qvn_SOutputFigures {
    int bufferFrames = 0;     // sample frames the card takes at a time
    int rate = 0;             // of the ring
    double bufferMs = 0.0;
    double callbackMs = 0.0;  // median time between two requests (0: none yet)
    double latencyMs = 0.0;   // from handing a sample over to hearing it
};

class qvn_cStreamDevice {
public:
    virtual ~qvn_cStreamDevice() = default;

    // Opens the device (once per track) and creates the ring of ringBytes at
    // sampleRate, with notifications at the given byte offsets. False when
    // any step fails; what was made stays until ReleaseBuffer or deletion.
    virtual bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) = 0;
    // Starts playing the ring, looping, from its start.
    virtual void Play() = 0;
    // The index of a notification that fired since the last poll (the lowest
    // first), or -1. Each firing is reported once.
    virtual int PollNotification() = 0;
    // Gives write access to bytes at offset (wrapping into a second region).
    virtual bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) = 0;
    virtual void Unlock(void* region1, int bytes1, void* region2, int bytes2) = 0;
    // Stops and frees the ring (the device itself stays open).
    virtual void ReleaseBuffer() = 0;
    virtual bool HasBuffer() const = 0;
    // Sample frames of the ring heard since Play, as of now; false when
    // nothing is heard (no sound card) or the device cannot tell.
    virtual bool HeardFrames(double* frames) {
        (void)frames;
        return false;
    }
    virtual bool OutputFigures(qvn_SOutputFigures* figures) const {
        (void)figures;
        return false;
    }
};

// Lock's regions over a ring held in memory: bytes from offset, the part
// past the end wrapping to the start. False when they do not fit the ring.
inline bool qvn_RingRegions(uint8_t* ring, int size, int offset, int bytes, void** region1, int* bytes1,
                            void** region2, int* bytes2) {
    if (!ring || size <= 0 || offset < 0 || offset >= size || bytes <= 0 || bytes > size) return false;
    const int first = bytes < size - offset ? bytes : size - offset;
    *region1 = ring + offset;
    *bytes1 = first;
    *region2 = first < bytes ? ring : nullptr;
    *bytes2 = bytes - first;
    return true;
}

// The device's buffer in milliseconds (--audio-buffer; 0: its default).
extern int g_nQvnAudioBufferMs;

// The backend's device, or the capture one in capture mode.
qvn_cStreamDevice* qvn_CreateStreamDevice();
