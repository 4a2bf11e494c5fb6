// The ordered bitmap list: IDs, positions and moves.
#include <gtest/gtest.h>

#include <string>

#include "bitmap_test_util.h"
#include "qvn_BitmapList.h"

namespace {

// The list's order as letters, bitmaps being named by their place in `pics`.
std::string Order(const qvn_cBitmapList& list, qvn_cBitmap* pics) {
    std::string s;
    for (int i = 0; i < list.getCount(); ++i) s += char('A' + (list.getAt(i) - pics));
    // The links must agree backwards too.
    std::string back;
    SBitmapList* e = list.m_pFirst;
    while (e && e->m_pNext) e = e->m_pNext;
    for (; e; e = e->m_pPrev) back.insert(back.begin(), char('A' + (e->m_pBitmap - pics)));
    EXPECT_EQ(s, back);
    EXPECT_TRUE(list.m_pFirst == nullptr || list.m_pFirst->m_pPrev == nullptr);
    return s;
}

struct ListOf4 {
    qvn_cBitmap pics[4];
    qvn_cBitmapList list;
    int32_t id[4];
    ListOf4() {
        for (int i = 0; i < 4; ++i) id[i] = list.add(&pics[i]);
    }
};

TEST(BitmapList, IdsAreUniqueAcrossLists) {
    qvn_cBitmap pic;
    qvn_cBitmapList a, b;
    const int32_t first = a.add(&pic);
    const int32_t second = b.add(&pic);
    const int32_t third = a.add(&pic);
    EXPECT_GT(first, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(third, first + 2);
    // A failed add still uses up an ID.
    EXPECT_EQ(a.add(nullptr), -1);
    EXPECT_EQ(b.add(&pic), first + 4);
    EXPECT_EQ(a.getCount(), 2);
}

TEST(BitmapList, LookupsOutsideTheListGiveNull) {
    ListOf4 l;
    EXPECT_EQ(l.list.getAt(4), nullptr);
    EXPECT_EQ(l.list.getAt(-1), nullptr);
    EXPECT_EQ(l.list.getAt(3), &l.pics[3]);
    EXPECT_EQ(l.list.getFirst(), &l.pics[0]);
    EXPECT_EQ(l.list.find(l.id[2]), &l.pics[2]);
    EXPECT_EQ(l.list.find(-7), nullptr);
    qvn_cBitmapList empty;
    EXPECT_EQ(empty.getFirst(), nullptr);
    EXPECT_EQ(empty.getAt(0), nullptr);
}

TEST(BitmapList, MovesTowardsTheEndLandOneBeforeTheIndex) {
    ListOf4 l;
    EXPECT_TRUE(l.list.moveTo(l.id[0], 2));
    EXPECT_EQ(Order(l.list, l.pics), "BACD");
}

TEST(BitmapList, MovesTowardsTheFrontLandAtTheIndex) {
    ListOf4 l;
    EXPECT_TRUE(l.list.moveTo(l.id[3], 1));
    EXPECT_EQ(Order(l.list, l.pics), "ADBC");
    EXPECT_TRUE(l.list.moveTo(l.id[2], 0));
    EXPECT_EQ(Order(l.list, l.pics), "CADB");
}

TEST(BitmapList, LastIndexAlwaysMeansTheEnd) {
    ListOf4 l;
    EXPECT_TRUE(l.list.moveTo(l.id[3], 3));
    EXPECT_EQ(Order(l.list, l.pics), "ABCD");
    EXPECT_TRUE(l.list.moveTo(l.id[0], 3));
    EXPECT_EQ(Order(l.list, l.pics), "BCDA");
    EXPECT_TRUE(l.list.moveTo(l.id[2], 1));  // in front of itself
    EXPECT_EQ(Order(l.list, l.pics), "BCDA");
}

TEST(BitmapList, BadMovesAreRefusedWithTheirMessage) {
    CapturedLog log;
    qvn_cBitmap pics[3];
    qvn_cBitmapList list;
    const int32_t id = list.add(&pics[0]);
    list.add(&pics[1]);
    list.add(&pics[2]);
    EXPECT_FALSE(list.moveTo(id, 3));
    EXPECT_TRUE(log.Has("qvn_cBitmapList::moveTo() : Bad index float <3 / 3>.\n"));
    EXPECT_FALSE(list.moveTo(id, -1));
    EXPECT_FALSE(list.moveTo(-5, 0));
    EXPECT_TRUE(log.Has("qvn_cBitmapList::moveTo() : Can't get SBitmapList with ID <-5>.\n"));
    EXPECT_EQ(Order(list, pics), "ABC");
}

TEST(BitmapList, AddAtAPositionCountsTheListBeforeTheAdd) {
    CapturedLog log;
    qvn_cBitmap pics[4];
    qvn_cBitmapList list;
    list.add(&pics[0]);
    list.add(&pics[1], nullptr, 0);  // one entry: position 0 is the last one
    EXPECT_EQ(Order(list, pics), "AB");
    list.add(&pics[2], nullptr, 0);
    EXPECT_EQ(Order(list, pics), "CAB");
    list.add(&pics[3], nullptr, 7);  // refused move: stays at the end
    EXPECT_EQ(Order(list, pics), "CABD");
    EXPECT_TRUE(log.Has("qvn_cBitmapList::moveTo() : Bad index float <7 / 3>.\n"));
}

TEST(BitmapList, RemoveAndClearKeepTheListConsistent) {
    ListOf4 l;
    l.list.remove(l.id[0]);
    EXPECT_EQ(l.list.getCount(), 3);
    EXPECT_EQ(Order(l.list, l.pics), "BCD");
    l.list.remove(l.id[2]);
    EXPECT_EQ(Order(l.list, l.pics), "BD");
    l.list.remove(12345);  // unknown: nothing happens
    EXPECT_EQ(l.list.getCount(), 2);
    l.list.clear();
    EXPECT_EQ(l.list.getCount(), 0);
    EXPECT_EQ(l.list.getFirst(), nullptr);
    EXPECT_NE(l.list.add(&l.pics[1]), -1);
    EXPECT_EQ(Order(l.list, l.pics), "B");
}

}  // namespace
