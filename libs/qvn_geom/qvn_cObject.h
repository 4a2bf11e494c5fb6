// Scene nodes and their animation: key frames, tracks, activity ranges.
#pragma once

#include <cstdint>

#include "qvn_Math.h"

// One key: a position and a rotation, each allocated on first use.
class qvn_cAnimFrame {
public:
    virtual ~qvn_cAnimFrame();
    bool SetPos(float x, float y, float z);
    bool SetRot(float angle, float ax, float ay, float az);

    qvn_cVector* m_pPos = nullptr;
    qvn_cRotation* m_pRot = nullptr;
    void* m_pExtra = nullptr;  // never set
};

class qvn_cAnim {
public:
    static constexpr int kNameBytes = 1024;

    qvn_cAnim();
    virtual ~qvn_cAnim();
    // n keys plus one spare frame that nothing selects.
    bool AllocAnimFrame(int n);

    char m_szName[kNameBytes];
    int32_t m_nFrameCount = 0;
    int32_t m_nCurrentFrame = 0;
    qvn_cAnimFrame* m_pFrames = nullptr;
    uint8_t m_bStatic = 0;
};

// Ranges of frames in which an object is active; the list repeats with the end
// frame of its last range as the period.
class qvn_cActivity {
public:
    struct SRange {
        int32_t first;
        int32_t end;  // exclusive
        float value;  // active when > 0
    };

    virtual ~qvn_cActivity();
    bool Alloc(int count);
    bool IsActive(int frame) const;

    SRange* m_pRanges = nullptr;
    int32_t m_nCount = 0;
};

class qvn_cObject {
public:
    static constexpr int kNameBytes = 1028;

    qvn_cObject();
    virtual ~qvn_cObject();
    bool AddAnim();

    int32_t m_nUnused0 = 0;
    char m_szName[kNameBytes];
    int32_t m_nParentIndex = -1;
    qvn_cObject* m_pParent = nullptr;
    qvn_cMatrix m_Matrix;
    qvn_cVector m_Pivot;
    qvn_cRotation m_Rotation;
    qvn_cRotation m_Scale;  // angle unused; ax, ay, az are the x, y, z scale factors
    int32_t m_nUnused1 = 0, m_nUnused2 = 0, m_nUnused3 = 0;
    int32_t m_nAnimCount = 0;
    qvn_cAnim** m_pAnim = nullptr;
    qvn_cAnim* m_pCurrentAnim = nullptr;
    qvn_cActivity m_Activity;
};

class qvn_cTarget {
public:
    virtual ~qvn_cTarget() = default;
    int32_t m_nObjectIndex = -1;
};
