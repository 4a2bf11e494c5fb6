// An ordered list of bitmaps with IDs and a user-data pointer per entry: the
// frames of an animated picture, or the layers of a compositor. The list never
// owns the bitmaps or the user data.
#pragma once

#include <cstdint>

class qvn_cBitmap;

struct SBitmapList {
    int32_t m_nID;
    qvn_cBitmap* m_pBitmap;  // not owned
    void* m_pUserData;       // not owned
    SBitmapList* m_pPrev;    // null on the first entry
    SBitmapList* m_pNext;    // null on the last entry
};

class qvn_cBitmapList {
public:
    qvn_cBitmapList();
    ~qvn_cBitmapList();  // frees the entries, never the bitmaps
    qvn_cBitmapList(const qvn_cBitmapList&) = delete;
    qvn_cBitmapList& operator=(const qvn_cBitmapList&) = delete;

    // Appends pBitmap (or places it at nPosition, counted in the list as it was
    // before this add; -1 keeps it at the end). The ID, unique among all lists
    // of the program, or -1.
    int32_t add(qvn_cBitmap* pBitmap, void* pUserData = nullptr, int32_t nPosition = -1);
    // Moves entry nID in front of the entry now at nIndex; nIndex = count - 1
    // moves it to the end.
    bool moveTo(int32_t nID, int32_t nIndex);
    qvn_cBitmap* find(int32_t nID) const;
    qvn_cBitmap* getFirst() const;
    qvn_cBitmap* getAt(int32_t nIndex) const;
    SBitmapList* findEntry(int32_t nID) const;
    void remove(int32_t nID);
    void clear();
    int32_t getCount() const { return m_nCount; }

    SBitmapList* m_pFirst;
    int32_t m_nCount;

private:
    SBitmapList* entryAt(int32_t nIndex) const;
};
