// What every camera kind (Media Foundation, virtual) offers the Dev* calls.
#pragma once

#include <string>

#include "Dev.h"

namespace tavori::dev {

class DevCamera {
public:
    virtual ~DevCamera() = default;
    virtual bool Init() = 0;
    virtual bool SetControl(const SCapControl& control) = 0;
    virtual bool Play() = 0;
    virtual bool GetFrame(unsigned char* data, long* size) = 0;
    virtual void Stop() = 0;
};

struct DeviceInfo {
    std::string name;
    std::string path;
};

// Rows padded to 4 bytes, 3 bytes per pixel.
inline unsigned long FrameStride(int width) {
    return ((static_cast<unsigned long>(width) * 24ul + 31ul) & ~31ul) / 8ul;
}

// Checks the caller's buffer against a frame's byte size; on refusal reports the size needed.
inline bool BufferFits(unsigned char* data, long* size, unsigned long needed) {
    if (!data || !size) return false;
    if (*size < 0 || static_cast<unsigned long>(*size) < needed) {
        *size = static_cast<long>(needed);
        return false;
    }
    return true;
}

}  // namespace tavori::dev
