// Hand-off of detection results from the listener threads to the window thread.
//
// Points travel as tickets: the listener writes its point into a slot of a process-wide ring and
// posts the slot's ticket; the window copies the point out and clears the slot if it still holds
// that ticket. A later frame therefore never changes what the window reads, a ticket is good once,
// and since all but the slot number is scrambled with a per-process random key, a message forged or
// replayed by another process names no live slot and is ignored.
//
// The touch and pen outputs take every pen of a frame at once, as one ticket of a ring of their own;
// frames beyond kMaxHandoffPoints pens pass on their first kMaxHandoffPoints.
//
// Frame copies (frame-capture mode) are heap records owned by the receiver; only copies that a
// listener registered are accepted, so a forged address is never dereferenced.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

using PointTicket = uintptr_t;  // the width of lParam; 0 is never issued

PointTicket PublishPoint(const _SDetectPoint& point);
// True and the point the first time a current ticket is taken; false for taken, stale or unknown ones.
bool TakePoint(uintptr_t ticket, _SDetectPoint& point);

constexpr int kMaxHandoffPoints = 64;
PointTicket PublishPoints(const _SDetectPoint* points, int count);
// The count of points copied into `points` (room for kMaxHandoffPoints), or -1 for a ticket not
// current.
int TakePoints(uintptr_t ticket, _SDetectPoint* points);

// Registered with the capture index of the camera it comes from; null when out of memory.
SCapFrame* NewFrameCopy(const SCapFrame& source, int camera = 0);
// Whether `candidate` is a registered copy, and then its camera; ownership stays where it is.
bool FrameCopyCamera(uintptr_t candidate, int& camera);
// Ownership passes to the caller when `candidate` is a registered copy; otherwise null.
SCapFrame* TakeFrameCopy(uintptr_t candidate);
void ReleaseFrameCopy(SCapFrame* frame);
// Frees every registered copy: those still queued to a window that is gone.
void ReleaseAllFrameCopies();
