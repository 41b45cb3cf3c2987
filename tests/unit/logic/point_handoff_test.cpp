#include <gtest/gtest.h>

#include "capture/PointHandoff.h"

namespace {
bool Take(PointTicket t) {
    _SDetectPoint p{};
    return TakePoint(t, p) && p.x == 321;
}
}  // namespace

// A ticket names one point, once, until its slot is reused; nothing else another process can post
// reaches a point, and such tries do not spoil the live ticket.
TEST(PointHandoff, OnlyACurrentUntakenTicketYieldsItsPoint) {
    const struct {
        const char* name;
        int publishedAfter, takenBefore;
        bool expected;
    } cases[] = {
        {"fresh", 0, 0, true},
        {"fresh among later ones", 1023, 0, true},
        {"taken once already", 0, 1, false},
        {"its slot reused", 1024, 0, false},
    };
    for (const auto& c : cases) {
        const PointTicket ticket = PublishPoint({1, 321, 200, 1});
        for (int i = 0; i < c.publishedAfter; ++i) PublishPoint({1, i, 200, 1});
        int forged = 0;
        for (uintptr_t t = 0; t <= 6000; ++t) forged += Take(t);
        forged += Take(ticket + 1) + Take(ticket - 1) + Take(ticket ^ (uintptr_t{1} << 12));
        EXPECT_EQ(forged, 0) << c.name;
        for (int i = 0; i < c.takenBefore; ++i) Take(ticket);
        EXPECT_EQ(Take(ticket), c.expected) << c.name;
    }
}

TEST(PointHandoff, OnlyRegisteredFrameCopiesChangeHandsAndOnlyOnce) {
    SCapFrame source{};
    ASSERT_EQ(SCapFrameCreate(&source, 8, 4, nullptr), 1);
    SCapFrame* copy = NewFrameCopy(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(&source)), nullptr);  // never registered
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(copy)), copy);
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(copy)), nullptr);  // the second message of a replay
    ReleaseFrameCopy(copy);
    SCapFrame* other = NewFrameCopy(source);
    ReleaseFrameCopy(other);  // let go of without being taken: its address is dead now
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(other)), nullptr);
    // Copies still queued when the window goes: freed (the leak check sees any left), and dead.
    SCapFrame* queued = NewFrameCopy(source);
    ReleaseAllFrameCopies();
    EXPECT_EQ(TakeFrameCopy(reinterpret_cast<uintptr_t>(queued)), nullptr);
    SCapFrameFree(&source);
}
