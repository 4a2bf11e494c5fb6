// The sequencer with fake parts and a fake player: orders, failures, quits.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_CaptureRun.h"
#include "qvn_Display_capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_Run.h"
#include "qvn_Sequencer.h"
#include "qvn_SoundPlayer.h"
#include "qvn_System.h"
#include "qvn_Window.h"

namespace {

std::vector<std::string> g_Events;
std::string g_FailLoad;   // the part whose load fails
std::string g_QuitInRun;  // the part during whose run the viewer quits
qvn_cCaptureRun* g_pScript = nullptr;  // the capture's script of keys

void Event(const std::string& e) { g_Events.push_back(e); }

class cFakePart : public qvn_cPart {
public:
    explicit cFakePart(std::string name) : m_Name(std::move(name)) { Event("new " + m_Name); }
    ~cFakePart() override { Event("delete " + m_Name); }
    bool load() override {
        Event("load " + m_Name);
        return m_Name != g_FailLoad;
    }
    void run() override {
        Event("run " + m_Name);
        if (m_Name == g_QuitInRun) {
            g_pScript->SetQuitAt(0);
            // The frame loop: pump until told to stop.
            while (g_pWindow->PumpMessages()) {
            }
        }
    }
    void finish() override { Event("finish " + m_Name); }

private:
    std::string m_Name;
};

template <const char* Name>
qvn_cPart* Make() {
    return new cFakePart(Name);
}

class cFakePlayer : public qvn_cSoundPlayer {
public:
    bool Open(const char* fileName, int) override {
        Event(std::string("open ") + fileName);
        m_pDecoder = nullptr;
        return std::string(fileName) != missingTrack;
    }
    bool InitDevice() override {
        Event("device");
        return true;
    }
    void Play() override {
        Event("play");
        qvn_cSoundPlayer::Play();
    }
    void Release() override { Event("release"); }
    std::string missingTrack;
};

class cCountingServices : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return 0; }
    void DebugOutput(const char*) override {}
    void ShowMessageBox(const char* text, const char* caption, unsigned) override {
        Event(std::string("box ") + caption + ": " + text);
    }
    void SetCursorVisible(bool) override {}
};

constexpr char A1[] = "A1", A2[] = "A2", A3[] = "A3", B1[] = "B1", B2[] = "B2", LS[] = "loading", IL[] = "interlude";

// Construction A1 A2 A3; load A1 A3 A2; run A2 A1 A3.
const qvn_SProgramme kProgramme = {
    {
        {"one.mp3", 3, {{A1, Make<A1>}, {A2, Make<A2>}, {A3, Make<A3>}}, {0, 2, 1}, {1, 0, 2}},
        {"two.mp3", 2, {{B1, Make<B1>}, {B2, Make<B2>}}, {0, 1}, {0, 1}},
    },
    Make<LS>,
    Make<IL>,
};

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_Events.clear();
        g_FailLoad.clear();
        g_QuitInRun.clear();
        qvn_sys::Install(&m_Services);
        m_pPlayer = new cFakePlayer;
        g_pMusic = m_pPlayer;
        // Capture mode with no quit scripted: the pump never reports one.
        g_pCapture = &m_Capture;
        qvn_run::Add(&m_CaptureRun);
        m_Window.SetInput(&m_CaptureRun);
        g_pScript = &m_CaptureRun;
    }
    void TearDown() override {
        g_pMusic = nullptr;
        delete m_pPlayer;
        g_pCapture = nullptr;
        qvn_run::Clear();
        g_pScript = nullptr;
        qvn_sys::Install(nullptr);
    }
    std::vector<std::string> Run() {
        RunShow(kProgramme);
        return g_Events;
    }

    cCountingServices m_Services;
    qvn_cCaptureSession m_Capture;
    qvn_cCaptureRun m_CaptureRun{&m_Capture};
    qvn_cWindow m_Window;
    cFakePlayer* m_pPlayer = nullptr;
};

using Events = std::vector<std::string>;

TEST_F(SequencerTest, PlaysBothHalvesInTheProgrammesOrders) {
    Events expected = {
        "new interlude",
        "open one.mp3", "device",
        "new A1", "new A2", "new A3",
        "new loading", "load loading", "run loading",
        "load A1", "load A3", "load A2",
        "run loading", "finish loading", "delete loading",
        "play",
        "run A2", "finish A2", "run A1", "finish A1", "run A3", "finish A3",
        "release",
        "load interlude", "run interlude",
        "delete A1", "delete A2", "delete A3",
        "open two.mp3", "device",
        "new B1", "new B2",
        "load B1", "load B2",
        "run interlude", "finish interlude",
        "play",
        "run B1", "finish B1", "run B2", "finish B2",
        "release",
        "delete B1", "delete B2",
        "delete interlude",
    };
    EXPECT_EQ(Run(), expected);
}

TEST_F(SequencerTest, FailingLoadShowsOneBoxAndSkipsOnlyItsHalf) {
    g_FailLoad = "A3";
    Events events = Run();
    int boxes = 0;
    for (const auto& e : events) boxes += e.rfind("box ", 0) == 0;
    EXPECT_EQ(boxes, 1);
    EXPECT_NE(std::find(events.begin(), events.end(), "box Error: Error while loading"), events.end());
    // A2 never loads (it comes after A3), no part of the first half runs, and
    // everything constructed is freed again.
    for (const char* absent : {"load A2", "run A1", "run A2", "run A3"})
        EXPECT_EQ(std::find(events.begin(), events.end(), absent), events.end()) << absent;
    for (const char* present : {"delete A1", "delete A2", "delete A3", "delete loading", "run B1", "run B2"})
        EXPECT_NE(std::find(events.begin(), events.end(), present), events.end()) << present;
}

TEST_F(SequencerTest, MissingFirstTrackSkipsTheFirstHalfSilently) {
    m_pPlayer->missingTrack = "one.mp3";
    Events events = Run();
    for (const auto& e : events) {
        EXPECT_NE(e.rfind("box ", 0), 0u) << e;
        EXPECT_EQ(e.find("A"), std::string::npos) << e;  // no first-half part is even made
    }
    // The interlude was never shown, so it fades in for the second half's load.
    Events tail(events.begin() + 2, events.end());
    Events expected = {"open two.mp3", "device", "new B1", "new B2", "load interlude", "run interlude",
                       "load B1", "load B2", "run interlude", "finish interlude", "play",
                       "run B1", "finish B1", "run B2", "finish B2", "release", "delete B1", "delete B2",
                       "delete interlude"};
    EXPECT_EQ(tail, expected);
}

TEST_F(SequencerTest, QuitStopsTheRestOfTheShow) {
    g_QuitInRun = "A1";
    Events events = Run();
    Events expectedTail = {"run A2", "finish A2", "run A1", "finish A1", "release",
                           "delete A1", "delete A2", "delete A3", "delete interlude"};
    ASSERT_GE(events.size(), expectedTail.size());
    EXPECT_EQ(Events(events.end() - expectedTail.size(), events.end()), expectedTail);
    EXPECT_EQ(std::find(events.begin(), events.end(), "open two.mp3"), events.end());
}

TEST_F(SequencerTest, FailedConstructionSkipsTheHalfWithoutABox) {
    static const qvn_SProgramme broken = {
        {
            {"one.mp3", 2, {{A1, Make<A1>}, {"none", [] { return static_cast<qvn_cPart*>(nullptr); }}}, {0, 1}, {0, 1}},
            {"two.mp3", 1, {{B1, Make<B1>}}, {0}, {0}},
        },
        nullptr,
        nullptr,
    };
    RunShow(broken);
    Events expected = {"open one.mp3", "device", "new A1", "release", "delete A1",
                       "open two.mp3", "device", "new B1", "load B1", "play", "run B1", "finish B1",
                       "release", "delete B1"};
    EXPECT_EQ(g_Events, expected);
}

// A show that does not play says why in the error log: the part's class name
// for a failed construction or load, the track for a missing one.
TEST_F(SequencerTest, EverySkippedHalfNamesItsCauseInTheLog) {
    const std::string path = testing::TempDir() + "qvn_sequencer.errorlog";
    auto logOf = [&](auto&& play) {
        {
            qvn_cErrorLog log(path.c_str());
            play();
        }
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    g_FailLoad = "A3";
    std::string text = logOf([&] { Run(); });
    EXPECT_NE(text.find("the part A3 failed to load; half 1 is skipped.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("B1"), std::string::npos) << text;  // the second half played

    static const qvn_SProgramme broken = {
        {
            {"one.mp3", 2, {{A1, Make<A1>}, {"qvn_cPartBroken", [] { return static_cast<qvn_cPart*>(nullptr); }}}, {0, 1}, {0, 1}},
            {"two.mp3", 1, {{B1, Make<B1>}}, {0}, {0}},
        },
        nullptr,
        nullptr,
    };
    g_FailLoad.clear();
    text = logOf([&] { RunShow(broken); });
    EXPECT_NE(text.find("cannot create the part qvn_cPartBroken; half 1 is skipped.\n"), std::string::npos) << text;

    m_pPlayer->missingTrack = "two.mp3";
    text = logOf([&] { Run(); });
    EXPECT_NE(text.find("cannot play the track two.mp3; half 2 is skipped.\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("one.mp3"), std::string::npos) << text;
    std::remove(path.c_str());
}

}  // namespace
