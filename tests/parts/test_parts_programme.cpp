// The show's one table of parts: the sequencer's programme and the names the
// options and the viewer use are drawn from it and must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "qvn_ShowParts.h"

namespace {

bool IsPermutation(const int* order, int count) {
    std::vector<int> v(order, order + count);
    std::sort(v.begin(), v.end());
    for (int i = 0; i < count; ++i)
        if (v[i] != i) return false;
    return true;
}

TEST(Programme, OneTableGivesTheSequencerAndThePlacesTheSameShow) {
    const qvn_SShow show = qvn_DefaultShow();
    ASSERT_NE(show.programme, nullptr);
    ASSERT_EQ(show.partCount, 14);
    const qvn_SProgramme& p = *show.programme;
    EXPECT_STREQ(p.half[0].track, "datas/fantom.mp3");
    EXPECT_STREQ(p.half[1].track, "datas/tarnelle.mp3");
    ASSERT_NE(p.createLoadingScreen, nullptr);
    ASSERT_NE(p.createInterlude, nullptr);

    // The places, in programme order, are the halves' run orders end to end.
    int place = 0;
    for (int half = 0; half < 2; ++half) {
        const qvn_SHalfProgramme& h = p.half[half];
        ASSERT_GT(h.count, 0);
        ASSERT_LE(h.count, kQvnMaxPartsPerHalf);
        EXPECT_TRUE(IsPermutation(h.loadOrder, h.count)) << "half " << half + 1;
        EXPECT_TRUE(IsPermutation(h.runOrder, h.count)) << "half " << half + 1;
        for (int i = 0; i < h.count; ++i) {
            const qvn_SPartSlot& slot = h.parts[h.runOrder[i]];
            ASSERT_NE(slot.create, nullptr) << slot.name;
            ASSERT_LT(place, show.partCount);
            EXPECT_STREQ(slot.name, show.parts[place].className);
            EXPECT_EQ(show.parts[place].half, half + 1) << slot.name;
            ++place;
        }
    }
    EXPECT_EQ(place, show.partCount);

    // The orders the first half has always had: built titles, pillars,
    // digits, credits, travel, smileys, tube, glon; loaded with the travel
    // third and the digits fifth; run in programme order.
    const qvn_SHalfProgramme& h1 = p.half[0];
    std::vector<std::string> built, loaded;
    for (int i = 0; i < h1.count; ++i) {
        built.push_back(h1.parts[i].name);
        loaded.push_back(h1.parts[h1.loadOrder[i]].name);
    }
    EXPECT_EQ(built, (std::vector<std::string>{"qvn_cPartTitles", "qvn_cPartPillars", "qvn_cPartDigits",
                                               "qvn_cPartCredits", "qvn_cPartTravel", "qvn_cPartSmileys",
                                               "qvn_cPartTube", "qvn_cPartGlon"}));
    EXPECT_EQ(loaded, (std::vector<std::string>{"qvn_cPartTitles", "qvn_cPartPillars", "qvn_cPartTravel",
                                                "qvn_cPartCredits", "qvn_cPartDigits", "qvn_cPartSmileys",
                                                "qvn_cPartTube", "qvn_cPartGlon"}));

    // Names are unique, and the estimates of where parts begin go forward.
    std::set<std::string> shortNames, classNames;
    for (int i = 0; i < show.partCount; ++i) {
        EXPECT_TRUE(shortNames.insert(show.parts[i].shortName).second) << show.parts[i].shortName;
        EXPECT_TRUE(classNames.insert(show.parts[i].className).second) << show.parts[i].className;
        if (i) {
            EXPECT_GT(show.parts[i].beginsMs, show.parts[i - 1].beginsMs) << show.parts[i].shortName;
        }
    }
}

}  // namespace
