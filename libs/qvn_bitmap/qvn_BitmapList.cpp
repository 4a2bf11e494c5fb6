#include "qvn_BitmapList.h"

#include <new>

#include "qvn_MessageLog.h"

namespace {
// Shared by every list, so a layer ID never names an entry of another list.
int32_t g_nLastBitmapListID = 0;
}  // namespace

qvn_cBitmapList::qvn_cBitmapList() : m_pFirst(nullptr), m_nCount(0) {}

qvn_cBitmapList::~qvn_cBitmapList() { clear(); }

SBitmapList* qvn_cBitmapList::findEntry(int32_t nID) const {
    // Walks the links rather than the count: add looks up its new entry before
    // counting it.
    for (SBitmapList* e = m_pFirst; e; e = e->m_pNext)
        if (e->m_nID == nID) return e;
    return nullptr;
}

SBitmapList* qvn_cBitmapList::entryAt(int32_t nIndex) const {
    SBitmapList* e = m_pFirst;
    for (int32_t i = 0; e && i < nIndex; ++i) e = e->m_pNext;
    return e;
}

int32_t qvn_cBitmapList::add(qvn_cBitmap* pBitmap, void* pUserData, int32_t nPosition) {
    const int32_t id = ++g_nLastBitmapListID;
    if (!pBitmap) {
        qvn_MessageLogPrintf(g_pMessageLog, "qvn_cBitmapList::add() : Not enough memory to add a new bitmap.\n");
        return -1;
    }
    SBitmapList* entry = new (std::nothrow) SBitmapList;
    if (!entry) {
        qvn_MessageLogPrintf(g_pMessageLog, "qvn_cBitmapList::add() : Not enough memory to add a new entry in list.\n");
        return -1;
    }
    entry->m_nID = id;
    entry->m_pBitmap = pBitmap;
    entry->m_pUserData = pUserData;
    entry->m_pNext = nullptr;
    SBitmapList* last = m_pFirst;
    while (last && last->m_pNext) last = last->m_pNext;
    entry->m_pPrev = last;
    if (last)
        last->m_pNext = entry;
    else
        m_pFirst = entry;
    if (nPosition != -1) moveTo(id, nPosition);
    ++m_nCount;
    return id;
}

bool qvn_cBitmapList::moveTo(int32_t nID, int32_t nIndex) {
    if (nIndex < 0 || nIndex >= m_nCount) {
        qvn_MessageLogPrintf(g_pMessageLog, "qvn_cBitmapList::moveTo() : Bad index float <%d / %d>.\n", nIndex,
                             m_nCount);
        return false;
    }
    SBitmapList* entry = findEntry(nID);
    if (!entry) {
        qvn_MessageLogPrintf(g_pMessageLog, "qvn_cBitmapList::moveTo() : Can't get SBitmapList with ID <%d>.\n", nID);
        return false;
    }
    SBitmapList* target = entryAt(nIndex);
    const bool toEnd = nIndex == m_nCount - 1;
    if (toEnd ? entry->m_pNext == nullptr : target == entry) return true;
    // Unlink.
    if (entry->m_pPrev) entry->m_pPrev->m_pNext = entry->m_pNext;
    if (entry->m_pNext) entry->m_pNext->m_pPrev = entry->m_pPrev;
    if (m_pFirst == entry) m_pFirst = entry->m_pNext;
    entry->m_pPrev = entry->m_pNext = nullptr;
    if (toEnd || !target) {
        SBitmapList* last = m_pFirst;
        while (last && last->m_pNext) last = last->m_pNext;
        entry->m_pPrev = last;
        if (last)
            last->m_pNext = entry;
        else
            m_pFirst = entry;
    } else {
        entry->m_pNext = target;
        entry->m_pPrev = target->m_pPrev;
        if (target->m_pPrev) target->m_pPrev->m_pNext = entry;
        target->m_pPrev = entry;
    }
    while (m_pFirst && m_pFirst->m_pPrev) m_pFirst = m_pFirst->m_pPrev;
    return true;
}

qvn_cBitmap* qvn_cBitmapList::find(int32_t nID) const {
    SBitmapList* e = findEntry(nID);
    return e ? e->m_pBitmap : nullptr;
}

qvn_cBitmap* qvn_cBitmapList::getFirst() const { return m_pFirst ? m_pFirst->m_pBitmap : nullptr; }

qvn_cBitmap* qvn_cBitmapList::getAt(int32_t nIndex) const {
    if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
    SBitmapList* e = entryAt(nIndex);
    return e ? e->m_pBitmap : nullptr;
}

void qvn_cBitmapList::remove(int32_t nID) {
    SBitmapList* e = findEntry(nID);
    if (!e) return;
    if (e->m_pPrev) e->m_pPrev->m_pNext = e->m_pNext;
    if (e->m_pNext) e->m_pNext->m_pPrev = e->m_pPrev;
    if (m_pFirst == e) m_pFirst = e->m_pNext;
    delete e;
    --m_nCount;
}

void qvn_cBitmapList::clear() {
    SBitmapList* e = m_pFirst;
    while (e) {
        SBitmapList* next = e->m_pNext;
        delete e;
        e = next;
    }
    m_pFirst = nullptr;
    m_nCount = 0;
}
