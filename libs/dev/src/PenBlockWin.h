// The pen control block as a named mapping: created zeroed by whichever side opens it first.
#pragma once

#include "VcamModel.h"

namespace tavori::dev {

class PenBlockMapping {
public:
    PenBlockMapping() = default;
    ~PenBlockMapping();
    PenBlockMapping(const PenBlockMapping&) = delete;
    PenBlockMapping& operator=(const PenBlockMapping&) = delete;

    bool Open();  // create or open; the creator writes magic and version
    void Close();
    bool IsOpen() const { return view_ != nullptr; }
    void* View() const { return view_; }
    vcam::PenState Read() const { return vcam::ReadPenBlock(view_); }
    // Records the exposure camera applied (cameras 0..7; others are not recorded).
    void WriteExposure(int camera, int value, int flags);
    // Adds to camera's filming time (no sequence bump: readers of the pens need not retry).
    void AddFilmingTime(int camera, double ms);
    // Counts a frame the camera delivered (cameras 0..7); the sequence stays, the pens being unchanged.
    void CountFrame(int camera);

private:
    void* handle_ = nullptr;
    void* view_ = nullptr;
};

// The library's own reference, held for the life of the process once a virtual camera has been
// seen, so that what penctl writes (pens, unplugged cameras) outlives penctl itself.
PenBlockMapping& ProcessPenBlock();

}  // namespace tavori::dev
