// The asynchronous source reader's callback and the hand-off of converted frames to DevGetFrame.
// The reader owns the sink (COM reference), so a late callback after the camera is gone only ever
// touches the sink's own state. Every sample request is made under one lock that Stop also takes,
// so no request follows a Stop.
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "MfFormat.h"
#include "MjpegDecoder.h"

namespace tavori::dev {

enum class FrameOutcome { Frame, None, Stalled, Ended };

class MfFrameSink final : public IMFSourceReaderCallback {
public:
    MfFrameSink() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnReadSample(HRESULT status, DWORD stream, DWORD flags, LONGLONG time, IMFSample* sample) override;
    STDMETHODIMP OnFlush(DWORD stream) override;
    STDMETHODIMP OnEvent(DWORD stream, IMFMediaEvent* event) override;

    // The reader is not referenced (it references us); Detach before it is released.
    // Sizes the frames: outW x outH BGR24 whatever the camera's own size.
    void Attach(IMFSourceReader* reader, const StreamFormat& format, int outW, int outH);
    void Detach();
    bool Start();
    // Ends the requests and waits for the reader's flush at most waitMs.
    void Stop(DWORD waitMs);
    // Copies a frame newer than the last one taken, waiting at most waitMs for it.
    FrameOutcome Take(uint8_t* dst, DWORD waitMs);
    size_t FrameBytes() const { return latest_.size(); }

private:
    using Clock = std::chrono::steady_clock;
    bool RequestLocked();
    bool Convert(IMFSample* sample);
    void Finish(const SourceImage& img);
    bool Decode(const uint8_t* data, size_t len);
    void MarkEnded();

    volatile LONG refs_ = 1;
    int outW_ = 0, outH_ = 0;  // set by Attach before any request

    std::recursive_mutex requestMutex_;  // reader_, format_, running_; a request may call back
    IMFSourceReader* reader_ = nullptr;
    StreamFormat format_;
    bool running_ = false;
    std::vector<uint8_t> back_, scratch_;  // written by callbacks only
    MjpegDecoder jpeg_;

    std::mutex frameMutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> latest_;
    uint64_t seq_ = 0, taken_ = 0;
    bool ended_ = false, flushed_ = false;
    Clock::time_point lastFrame_;
};

}  // namespace tavori::dev
