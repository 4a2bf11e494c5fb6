// The storyboard of a capture (--storyboard FILE.png): a 160 x 120 thumbnail
// every 2 s of show time, in a grid, each labelled with its half, show time
// and part, so a person sees the whole show at a glance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class qvn_cStoryboard {
public:
    static constexpr int kThumbWidth = 160;
    static constexpr int kThumbHeight = 120;
    static constexpr int kLabelHeight = 11;
    static constexpr int kColumns = 8;
    static constexpr int kEveryMs = 2000;

    // Takes a thumbnail when the frame is the first at or after the next 2 s
    // mark of its half's show clock (5-6-5 frame).
    void OnFrame(const uint16_t* pixels, int width, int height, int pitchPixels, int half, int showMs,
                 const char* part);
    // Writes the grid; false when there is nothing to write or the file
    // cannot be written.
    bool Write(const char* path) const;
    int Count() const { return static_cast<int>(m_Thumbs.size()); }

    // Draws text in the built-in 5 x 7 font (upper case, digits, ". : - _"),
    // one pixel of spacing; returns the x after the text.
    static int DrawText(uint32_t* rgb, int stride, int height, int x, int y, const char* text, uint32_t colour);

private:
    struct SThumb {
        std::vector<uint32_t> rgb;  // 0x00RRGGBB, kThumbWidth x kThumbHeight
        std::string label;
    };
    std::vector<SThumb> m_Thumbs;
    int m_nHalf = 0;
    int m_nNextMs = 0;
};
