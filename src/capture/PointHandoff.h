// Hand-off of detection results from the listener threads to the window thread.
//
// Points travel as tickets: the listener writes its point into a slot of a process-wide ring and
// posts the slot's sequence number; the window copies the point out and checks that the slot still
// holds that sequence. A later frame therefore never changes what the window reads, and a message
// forged by another process names no slot and is ignored.
//
// Frame copies (frame-capture mode) are heap records owned by the receiver; only copies that a
// listener registered are accepted, so a forged address is never dereferenced.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

using PointTicket = uint32_t;  // fits lParam on 32-bit Windows too; 0 is never issued

PointTicket PublishPoint(const _SDetectPoint& point);
// True and the point when the ticket is current; false for stale or unknown tickets.
bool TakePoint(uintptr_t ticket, _SDetectPoint& point);

SCapFrame* NewFrameCopy(const SCapFrame& source);  // registered; null when out of memory
// Ownership passes to the caller when `candidate` is a registered copy; otherwise null.
SCapFrame* TakeFrameCopy(uintptr_t candidate);
void ReleaseFrameCopy(SCapFrame* frame);
