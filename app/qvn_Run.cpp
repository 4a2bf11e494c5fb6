#include "qvn_Run.h"

#include <algorithm>
#include <vector>

namespace {

// A handful of observers at most; the list is read on every frame and
// changes only between runs.
std::vector<qvn_cRunObserver*>& Observers() {
    static std::vector<qvn_cRunObserver*> list;
    return list;
}

}  // namespace

namespace qvn_run {

void Add(qvn_cRunObserver* observer) {
    if (observer && std::find(Observers().begin(), Observers().end(), observer) == Observers().end())
        Observers().push_back(observer);
}

void Remove(qvn_cRunObserver* observer) {
    Observers().erase(std::remove(Observers().begin(), Observers().end(), observer), Observers().end());
}

void Clear() { Observers().clear(); }

void Phase(int phase) {
    for (qvn_cRunObserver* o : Observers()) o->OnPhase(phase);
}

void PartBegins(const char* className) {
    for (qvn_cRunObserver* o : Observers()) o->OnPartBegins(className);
}

void PartEnds() {
    for (qvn_cRunObserver* o : Observers()) o->OnPartEnds();
}

bool Holding() {
    for (qvn_cRunObserver* o : Observers())
        if (o->Holds()) return true;
    return false;
}

bool Interrupting() {
    for (qvn_cRunObserver* o : Observers())
        if (o->EndsRun()) return true;
    return false;
}

void Waiting() {
    for (qvn_cRunObserver* o : Observers()) o->OnWait();
}

eQvnFrame BeginFrame(int32_t showMs) {
    // Every observer sees every frame: the start point keeps the timeline
    // the stop point then reads.
    eQvnFrame verdict = eQvnFrame::kShown;
    for (qvn_cRunObserver* o : Observers()) {
        const eQvnFrame v = o->OnFrameBegins(showMs);
        if (v == eQvnFrame::kStop || (v == eQvnFrame::kUnseen && verdict == eQvnFrame::kShown)) verdict = v;
    }
    return verdict;
}

bool Presenting() {
    for (qvn_cRunObserver* o : Observers())
        if (!o->Presents()) return false;
    return true;
}

void FrameShown() {
    for (qvn_cRunObserver* o : Observers()) o->OnFrameShown();
}

void FrameSkipped() {
    for (qvn_cRunObserver* o : Observers()) o->OnFrameSkipped();
}

void Pumped() {
    for (qvn_cRunObserver* o : Observers()) o->OnPump();
}

bool Key(int key) {
    for (qvn_cRunObserver* o : Observers())
        if (o->OnKey(key)) return true;
    return false;
}

}  // namespace qvn_run
