// The compositor of the picture parts: a stack of still or animated layers,
// each with a position, a visibility flag, a strength per channel and a merge
// mode, painted in the order they were added into a 16-bit destination.
#pragma once

#include <cstdint>

#include "qvn_BitmapList.h"

class qvn_cBitmap;

enum {
    QVN_FX_NORMAL = 0,
    QVN_FX_ADDITIVE = 1,
    QVN_FX_COLORDODGE = 2,
    QVN_FX_CHROMAKEY = 3,
};

enum {
    QVN_ANIM_ONCE = 0,
    QVN_ANIM_LOOP = 1,
    QVN_ANIM_PINGPONG = 2,
};

struct SBitmapLayer {
    int32_t m_nID;                // the layer's entry in the bitmap list
    qvn_cBitmapList* m_pAnimList; // frames of an animated layer (not owned); null for a still one
    float m_fAnimPos;             // current frame position
    int32_t m_nAnimDir;           // ping-pong: +1 forward, -1 backward
    int32_t m_eAnimType;          // QVN_ANIM_*
    qvn_cBitmap* m_pBitmap;       // drawn now (not owned); null once a play-once animation ended
    int32_t m_eFX;                // QVN_FX_*
    float m_fScaleR, m_fScaleG, m_fScaleB;  // strengths, never negative
    uint8_t m_bVisible;
    float m_fPosX, m_fPosY;       // destination position of the top-left corner
};

class qvn_cBitmapLayers {
public:
    qvn_cBitmapLayers();
    ~qvn_cBitmapLayers();  // frees the records and the list, never the bitmaps
    qvn_cBitmapLayers(const qvn_cBitmapLayers&) = delete;
    qvn_cBitmapLayers& operator=(const qvn_cBitmapLayers&) = delete;

    // A still layer; nPosition -1 appends its entry to the bitmap list, another
    // value moves it there. The layer ID, or -1.
    int32_t add(qvn_cBitmap* pBitmap, int32_t eFX = QVN_FX_NORMAL, float fScaleR = 1.0f, float fScaleG = 1.0f,
                float fScaleB = 1.0f, int32_t nPosition = -1);
    // An animated layer showing the bitmaps of pBitmapList, from its first.
    int32_t add(qvn_cBitmapList* pBitmapList, int32_t eAnimType, int32_t eFX = QVN_FX_NORMAL, float fScaleR = 1.0f,
                float fScaleG = 1.0f, float fScaleB = 1.0f, int32_t nPosition = -1);
    // Forgets the layer: its entry leaves the bitmap list and it is no longer drawn.
    void remove(int32_t nID);
    // Moves the layer's entry in the bitmap list; only which layer counts as
    // the background changes, not the drawing order.
    bool moveTo(int32_t nID, int32_t nIndex);
    // Puts the layer on top of the drawing order (and leaves the list alone).
    bool drawLast(int32_t nID);

    qvn_cBitmap* getBitmap(int32_t nID);
    SBitmapLayer* getBitmapLayer(int32_t nID);

    float getScaleR(int32_t nID);
    uint8_t getVisible(int32_t nID);
    float getPosX(int32_t nID);
    float getPosY(int32_t nID);
    bool setFX(int32_t nID, int32_t eFX);
    bool setScaleR(int32_t nID, float fScale);
    bool setScaleG(int32_t nID, float fScale);
    bool setScaleB(int32_t nID, float fScale);
    bool setScaleRGB(int32_t nID, float fScaleR, float fScaleG, float fScaleB);
    bool setVisible(int32_t nID, uint8_t bVisible);
    bool setPosX(int32_t nID, float fPosX);
    bool setPosY(int32_t nID, float fPosY);
    bool setPosXY(int32_t nID, float fPosX, float fPosY);

    // Advances every animated layer by fStep frames.
    bool updateLayersAnims(float fStep);
    // Paints every visible layer into p16bitsPixels, nSizeX pixels wide (also
    // the row stride) and nSizeY high; nothing outside it is ever written.
    bool getMerged(uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY);


    SBitmapLayer** m_pBitmapLayersInfosList;  // drawing order
    int32_t m_nNbLayers;
    qvn_cBitmapList* m_pBitmapList;  // created by the first add
    // Colour-dodge factors, 16.16: about 65536 * 256 / (256 - i).
    int32_t m_pColorDodgeTable[256];

private:
    bool normal_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY);
    bool additive_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY);
    bool colorDodge_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY);
    bool chromakey_merge(SBitmapLayer* pBitmapLayer, uint16_t* p16bitsPixels, int32_t nSizeX, int32_t nSizeY);

    // Per-channel blend tables for the colour dodge and for a layer merged into
    // its own pixels (the other merges compute their results in vector lanes):
    // entry (src field << bits | dst field) holds the result field already in
    // place. A few are kept, keyed by mode, channel and strength, so layers
    // whose settings do not change cost no setup.
    struct SChannelTable {
        uint32_t m_nKey;  // 0: free
        // Two more than the largest table: vector look-ups read 32 bits at an
        // entry, the last one's neighbour too.
        uint16_t m_Entries[64 * 64 + 2];
    };
    static constexpr int kChannelTables = 16;
    SChannelTable* m_pChannelTables;  // allocated with the first layer
    int32_t m_nNextChannelTable;
    const uint16_t* channelTable(uint32_t nKey);
    bool allocChannelTables();
};

