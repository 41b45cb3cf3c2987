// The TUIO output: the pens each listener finds go out as OSC bundles over UDP to [System] TuioHost
// and TuioPort, beside whatever drives the desktop. Sending never waits: the socket is non-blocking
// and a packet the system cannot take at once is dropped.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "MultiIRLight.h"
#include "output/TuioFrames.h"

class CTuioSender {
public:
    // The process-wide sender, set up on the first call (Winsock started, the host resolved): null
    // when [System] Tuio is off or the host cannot be reached. Call it outside the frame loop.
    static CTuioSender* Instance();

    // One camera's frame: its pens in desktop pixels of the primary monitor's frame (count 0: none).
    // Any listener thread may call it.
    // Points are in the pixels of the camera's screen, whose top left is (originX, originY) on the
    // virtual desktop.
    void SendFrame(int camera, const _SDetectPoint* points, int count, int32_t originX, int32_t originY,
                   uint32_t nowMs);

    ~CTuioSender();

private:
    static std::unique_ptr<CTuioSender> Create();
    CTuioSender(uintptr_t socket, const void* address, int addressSize, const std::string& source);
    std::mutex m_lock;  // the frames of all cameras go through one alive list
    CTuioFrames m_frames;
    uintptr_t m_socket;
    unsigned char m_address[16];
    int m_addressSize;
    uint32_t m_dropped = 0;
};
