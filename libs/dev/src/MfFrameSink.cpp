#include "MfFrameSink.h"

#include <mfapi.h>
#include <mferror.h>

#include <cstring>

#include "ComPtr.h"
#include "DevCamera.h"

namespace tavori::dev {
namespace {

constexpr DWORD kStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
constexpr auto kStallAfter = std::chrono::milliseconds(500);

}  // namespace

STDMETHODIMP MfFrameSink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMFSourceReaderCallback) {
        *out = static_cast<IMFSourceReaderCallback*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MfFrameSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) MfFrameSink::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

void MfFrameSink::Attach(IMFSourceReader* reader, const StreamFormat& format, int outW, int outH) {
    std::lock_guard<std::recursive_mutex> lock(requestMutex_);
    outW_ = outW;
    outH_ = outH;
    const size_t bytes = FrameStride(outW) * static_cast<size_t>(outH);
    back_.assign(bytes, 0);
    std::lock_guard<std::mutex> frameLock(frameMutex_);
    latest_.assign(bytes, 0);
    reader_ = reader;
    format_ = format;
}

void MfFrameSink::Detach() {
    std::lock_guard<std::recursive_mutex> lock(requestMutex_);
    running_ = false;
    reader_ = nullptr;
}

bool MfFrameSink::Start() {
    {
        std::lock_guard<std::mutex> lock(frameMutex_);
        ended_ = false;
        flushed_ = false;
        taken_ = seq_;
        lastFrame_ = Clock::now();
    }
    std::lock_guard<std::recursive_mutex> lock(requestMutex_);
    if (!reader_) return false;
    running_ = true;
    return RequestLocked();
}

bool MfFrameSink::RequestLocked() {
    if (!running_ || !reader_) return false;
    if (SUCCEEDED(reader_->ReadSample(kStream, 0, nullptr, nullptr, nullptr, nullptr))) return true;
    running_ = false;
    MarkEnded();
    return false;
}

void MfFrameSink::Stop(DWORD waitMs) {
    IMFSourceReader* reader = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(requestMutex_);
        if (!running_) return;
        running_ = false;
        reader = reader_;
        if (reader) reader->AddRef();
    }
    if (!reader) return;
    // Asynchronous: a camera that never answers again cannot hold us here.
    const bool flushing = SUCCEEDED(reader->Flush(kStream));
    reader->Release();
    if (!flushing) return;
    std::unique_lock<std::mutex> lock(frameMutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return flushed_; });
}

FrameOutcome MfFrameSink::Take(uint8_t* dst, DWORD waitMs) {
    std::unique_lock<std::mutex> lock(frameMutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return seq_ != taken_ || ended_; });
    if (seq_ != taken_) {
        std::memcpy(dst, latest_.data(), latest_.size());
        taken_ = seq_;
        return FrameOutcome::Frame;
    }
    if (ended_) return FrameOutcome::Ended;
    return Clock::now() - lastFrame_ >= kStallAfter ? FrameOutcome::Stalled : FrameOutcome::None;
}

void MfFrameSink::MarkEnded() {
    std::lock_guard<std::mutex> lock(frameMutex_);
    ended_ = true;
    changed_.notify_all();
}

STDMETHODIMP MfFrameSink::OnReadSample(HRESULT status, DWORD, DWORD flags, LONGLONG, IMFSample* sample) {
    std::lock_guard<std::recursive_mutex> lock(requestMutex_);
    if (!running_) return S_OK;  // a request cancelled by Stop's flush
    if (FAILED(status) || (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM))) {
        running_ = false;
        MarkEnded();
        return S_OK;
    }
    if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) && reader_) {
        StreamFormat f = format_;
        if (!ReadOutputFormat(reader_, f)) {
            running_ = false;
            MarkEnded();
            return S_OK;
        }
        f.native = format_.native;
        format_ = f;
    }
    if (sample && Convert(sample)) {
        std::lock_guard<std::mutex> frameLock(frameMutex_);
        latest_.swap(back_);
        ++seq_;
        lastFrame_ = Clock::now();
        changed_.notify_all();
    }
    RequestLocked();
    return S_OK;
}

STDMETHODIMP MfFrameSink::OnFlush(DWORD) {
    std::lock_guard<std::mutex> lock(frameMutex_);
    flushed_ = true;
    changed_.notify_all();
    return S_OK;
}

STDMETHODIMP MfFrameSink::OnEvent(DWORD, IMFMediaEvent*) { return S_OK; }

void MfFrameSink::Finish(const SourceImage& img) {
    const size_t stride = FrameStride(outW_);
    if (img.width == outW_ && img.height == outH_) {
        ConvertToBgr24(img, back_.data(), stride);
        return;
    }
    // A camera without the requested size: converted at its own, then sampled to ours.
    const size_t own = FrameStride(img.width);
    scratch_.resize(own * static_cast<size_t>(img.height));
    ConvertToBgr24(img, scratch_.data(), own);
    ResizeBgr24(scratch_.data(), img.width, img.height, own, back_.data(), outW_, outH_, stride);
}

bool MfFrameSink::Decode(const uint8_t* data, size_t len) {
    const int w = static_cast<int>(format_.width), h = static_cast<int>(format_.height);
    if (w == outW_ && h == outH_) return jpeg_.Decode(data, len, w, h, back_.data(), FrameStride(outW_));
    const size_t own = FrameStride(w);
    scratch_.resize(own * static_cast<size_t>(h));
    if (!jpeg_.Decode(data, len, w, h, scratch_.data(), own)) return false;
    ResizeBgr24(scratch_.data(), w, h, own, back_.data(), outW_, outH_, FrameStride(outW_));
    return true;
}

// The sample in the negotiated format -> BGR24 at the delivered size. A sample that does not hold
// a whole image of that format is dropped.
bool MfFrameSink::Convert(IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buf;
    if (FAILED(sample->ConvertToContiguousBuffer(buf.Put()))) return false;
    const int w = static_cast<int>(format_.width), h = static_cast<int>(format_.height);
    SourceImage img;
    bool described = false;
    if (format_.jpeg) {
        BYTE* data = nullptr;
        DWORD maxLen = 0, curLen = 0;
        if (FAILED(buf->Lock(&data, &maxLen, &curLen))) return false;
        const bool ok = Decode(data, curLen);
        buf->Unlock();
        return ok;
    }
    ComPtr<IMF2DBuffer> buf2d;
    BYTE* scan0 = nullptr;
    LONG pitch = 0;
    if (SUCCEEDED(buf->QueryInterface(IID_IMF2DBuffer, reinterpret_cast<void**>(buf2d.Put()))) &&
        SUCCEEDED(buf2d->Lock2D(&scan0, &pitch))) {
        // The buffer's own layout: scan0 is the top row whatever the row order.
        const size_t absPitch = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
        const size_t rows = static_cast<size_t>(h) + (format_.pixels == PixelFormat::Nv12 ? (h + 1) / 2 : 0);
        const BYTE* base = pitch < 0 ? scan0 - absPitch * static_cast<size_t>(h - 1) : scan0;
        described = DescribeBuffer(format_.pixels, w, h, base, absPitch * rows, pitch, img);
        if (described) Finish(img);
        buf2d->Unlock2D();
        return described;
    }
    BYTE* base = nullptr;
    DWORD maxLen = 0, curLen = 0;
    if (FAILED(buf->Lock(&base, &maxLen, &curLen))) return false;
    described = DescribeBuffer(format_.pixels, w, h, base, curLen, format_.stride, img);
    if (described) Finish(img);
    buf->Unlock();
    return described;
}

}  // namespace tavori::dev
