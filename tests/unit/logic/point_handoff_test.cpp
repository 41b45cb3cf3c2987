#include <gtest/gtest.h>

#include <vector>

#include "capture/PointHandoff.h"

namespace {
_SDetectPoint Pen(int x) { return {1, x, 200, 1}; }
bool Take(PointTicket t) {
    _SDetectPoint p{};
    return TakePoint(t, p);
}
}  // namespace

// Each case publishes points, then names the ticket a window message would carry.
TEST(PointHandoff, OnlyACurrentUntakenTicketYieldsItsPoint) {
    struct Case {
        const char* name;
        int publishedAfter;  // points published after the one under test
        int takenBefore;     // how often the ticket was taken already
        bool expected;
    };
    const Case cases[] = {
        {"fresh", 0, 0, true},
        {"fresh among later ones", 1023, 0, true},
        {"taken once already", 0, 1, false},
        {"its slot reused", 1024, 0, false},
    };
    for (const Case& c : cases) {
        const PointTicket ticket = PublishPoint(Pen(321));
        for (int i = 0; i < c.publishedAfter; ++i) PublishPoint(Pen(i));
        for (int i = 0; i < c.takenBefore; ++i) Take(ticket);
        _SDetectPoint got{};
        EXPECT_EQ(TakePoint(ticket, got), c.expected) << c.name;
        if (c.expected) EXPECT_EQ(got.x, 321) << c.name;
    }
}

// Another program posting small numbers, or neighbours of a ticket it saw, reaches no point, and
// does not spoil the live ticket either.
TEST(PointHandoff, ForgedAndReplayedTicketsTakeNothing) {
    std::vector<PointTicket> live;
    for (int i = 0; i < 50; ++i) live.push_back(PublishPoint(Pen(i)));
    int forgedHits = 0;
    for (uintptr_t forged = 0; forged <= 6000; ++forged) forgedHits += Take(forged);
    for (PointTicket t : live) forgedHits += Take(t + 1) + Take(t - 1) + Take(t ^ (uintptr_t{1} << 12));
    EXPECT_EQ(forgedHits, 0);
    int taken = 0;
    for (PointTicket t : live) taken += Take(t);
    EXPECT_EQ(taken, 50);
    taken = 0;
    for (PointTicket t : live) taken += Take(t);  // the replay after the pen lifted
    EXPECT_EQ(taken, 0);
}

TEST(PointHandoff, OnlyRegisteredFrameCopiesChangeHandsAndOnlyOnce) {
    SCapFrame source{};
    ASSERT_EQ(SCapFrameCreate(&source, 8, 4, nullptr), 1);
    SCapFrame* copy = NewFrameCopy(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(&source)), nullptr);  // never registered
    EXPECT_EQ(TakeFrameCopy(0), nullptr);
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(copy)), copy);
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(copy)), nullptr);  // the second message of a replay
    ReleaseFrameCopy(copy);
    SCapFrame* other = NewFrameCopy(source);
    ReleaseFrameCopy(other);  // let go of without being taken: its address is dead now
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(other)), nullptr);
    SCapFrameFree(&source);
}
