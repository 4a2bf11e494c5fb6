// The run's observers: every one hears every event, in the order they were
// added, and the frame loop's questions combine their answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvn_Run.h"

namespace {

std::vector<std::string> g_Heard;

class cRecorder : public qvn_cRunObserver {
public:
    explicit cRecorder(std::string name) : m_Name(std::move(name)) {}
    void OnPhase(int phase) override { Hear("phase " + std::to_string(phase)); }
    void OnPartBegins(const char* className) override { Hear(std::string("begins ") + className); }
    void OnPartEnds() override { Hear("ends"); }
    bool Holds() override { return holds; }
    bool EndsRun() override { return ends; }
    eQvnFrame OnFrameBegins(int32_t showMs) override {
        Hear("frame " + std::to_string(showMs));
        return verdict;
    }
    bool Presents() override { return verdict != eQvnFrame::kUnseen; }
    void OnFrameShown() override { Hear("shown"); }
    void OnFrameSkipped() override { Hear("skipped"); }
    void OnPump() override { Hear("pump"); }
    bool OnKey(int key) override {
        Hear("key " + std::to_string(key));
        return takesKeys;
    }

    bool holds = false, ends = false, takesKeys = false;
    eQvnFrame verdict = eQvnFrame::kShown;

private:
    void Hear(const std::string& what) { g_Heard.push_back(m_Name + ": " + what); }
    std::string m_Name;
};

class RunObservers : public testing::Test {
protected:
    void SetUp() override {
        g_Heard.clear();
        qvn_run::Clear();
    }
    void TearDown() override { qvn_run::Clear(); }
};

TEST_F(RunObservers, EveryObserverHearsEveryEventInTheOrderAdded) {
    cRecorder a("a"), b("b");
    qvn_run::Add(&a);
    qvn_run::Add(&b);
    qvn_run::Add(&a);  // once only
    qvn_run::Phase(1);
    qvn_run::PartBegins("qvn_cPartTitles");
    EXPECT_EQ(qvn_run::BeginFrame(40), eQvnFrame::kShown);
    qvn_run::FrameShown();
    qvn_run::FrameSkipped();
    qvn_run::Pumped();
    qvn_run::PartEnds();
    EXPECT_EQ(g_Heard, (std::vector<std::string>{"a: phase 1", "b: phase 1", "a: begins qvn_cPartTitles",
                                                 "b: begins qvn_cPartTitles", "a: frame 40", "b: frame 40",
                                                 "a: shown", "b: shown", "a: skipped", "b: skipped", "a: pump",
                                                 "b: pump", "a: ends", "b: ends"}));
    g_Heard.clear();
    qvn_run::Remove(&a);
    qvn_run::Pumped();
    EXPECT_EQ(g_Heard, (std::vector<std::string>{"b: pump"}));
}

TEST_F(RunObservers, AnyStopStopsAnyUnseenHidesAndEveryoneIsAskedAnyway) {
    // With nobody listening, the show plays as written.
    EXPECT_EQ(qvn_run::BeginFrame(0), eQvnFrame::kShown);
    EXPECT_TRUE(qvn_run::Presenting());
    EXPECT_FALSE(qvn_run::Holding());
    EXPECT_FALSE(qvn_run::Interrupting());
    EXPECT_FALSE(qvn_run::Key(' '));

    cRecorder start("start"), stop("stop"), last("last");
    for (cRecorder* r : {&start, &stop, &last}) qvn_run::Add(r);
    start.verdict = eQvnFrame::kUnseen;
    EXPECT_EQ(qvn_run::BeginFrame(10), eQvnFrame::kUnseen);
    EXPECT_FALSE(qvn_run::Presenting());
    // A stop wins over an unseen frame on either side of it, and the ones
    // after it still see the frame (the stop point reads what the start
    // point has just computed, so nobody may be skipped).
    stop.verdict = eQvnFrame::kStop;
    g_Heard.clear();
    EXPECT_EQ(qvn_run::BeginFrame(20), eQvnFrame::kStop);
    EXPECT_EQ(g_Heard.size(), 3u);
    start.verdict = eQvnFrame::kShown;
    last.verdict = eQvnFrame::kUnseen;
    EXPECT_EQ(qvn_run::BeginFrame(30), eQvnFrame::kStop);

    last.holds = true;
    EXPECT_TRUE(qvn_run::Holding());
    start.ends = true;
    EXPECT_TRUE(qvn_run::Interrupting());
}

TEST_F(RunObservers, TheFirstObserverThatUsesAKeyTakesIt) {
    cRecorder a("a"), b("b"), c("c");
    for (cRecorder* r : {&a, &b, &c}) qvn_run::Add(r);
    b.takesKeys = true;
    EXPECT_TRUE(qvn_run::Key(9));
    EXPECT_EQ(g_Heard, (std::vector<std::string>{"a: key 9", "b: key 9"}));
    b.takesKeys = false;
    g_Heard.clear();
    EXPECT_FALSE(qvn_run::Key(9));
    EXPECT_EQ(g_Heard.size(), 3u);
}

}  // namespace
