// Choosing what a camera delivers: among its native media types the one nearest the requested
// size at the best rate up to 60 frames a second, in a format we convert ourselves (YUY2, NV12,
// RGB24, RGB32) or MJPG, decoded by the source reader to RGB32 where it can and by us otherwise.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <string>

#include "PixelConvert.h"

namespace tavori::dev {

struct StreamFormat {
    PixelFormat pixels = PixelFormat::Rgb24;  // what the reader hands us, unless jpeg
    bool jpeg = false;                        // MJPG frames for us to decode
    UINT32 width = 0, height = 0;
    LONG stride = 0;  // negative: bottom row first
    double fps = 30;
    std::string native;  // the camera's own format, for the trace ("MJPG" when decoded for us)
};

// Sets the reader's current types and describes the result; false when nothing usable was found.
bool NegotiateFormat(IMFSourceReader* reader, int wantW, int wantH, StreamFormat& out);

// Re-reads the output type after the reader reports a change; false when it is not usable.
bool ReadOutputFormat(IMFSourceReader* reader, StreamFormat& f);

std::string Describe(const StreamFormat& f);

}  // namespace tavori::dev
