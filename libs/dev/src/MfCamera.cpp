#include "MfCamera.h"

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <strmif.h>

#include <algorithm>
#include <cstring>

#include "ComApartment.h"
#include "ComPtr.h"
#include "MfFormat.h"
#include "MfFrameSink.h"
#include "MfRuntime.h"

namespace tavori::dev {
namespace {

struct DeviceList {
    IMFActivate** items = nullptr;
    UINT32 count = 0;
    DeviceList() = default;
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    ~DeviceList() {
        for (UINT32 i = 0; i < count; ++i)
            if (items[i]) items[i]->Release();
        CoTaskMemFree(items);
    }
};

bool EnumVideoDevices(DeviceList& list) {
    JoinApartment();
    const MfFunctions* mf = MediaFoundation();
    if (!mf) return false;
    ComPtr<IMFAttributes> attr;
    if (FAILED(mf->CreateAttributes(attr.Put(), 1))) return false;
    if (FAILED(attr->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)))
        return false;
    if (FAILED(mf->EnumDeviceSources(attr.Get(), &list.items, &list.count))) {
        list.items = nullptr;
        list.count = 0;
        return false;
    }
    if (!list.items) list.count = 0;
    return true;
}

std::string AttrString(IMFActivate* a, const GUID& key) {
    WCHAR* w = nullptr;
    UINT32 len = 0;
    if (FAILED(a->GetAllocatedString(key, &w, &len)) || !w) return {};
    std::string out;
    const int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
        out.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, w, -1, &out[0], n, nullptr, nullptr);
        out.resize(static_cast<size_t>(n - 1));
    }
    CoTaskMemFree(w);
    return out;
}

void CALLBACK ReleaseReader(PTP_CALLBACK_INSTANCE, void* reader, PTP_TIMER timer) {
    static_cast<IMFSourceReader*>(reader)->Release();
    CloseThreadpoolTimer(timer);
}

// The reader's work items (the flush's among them) hold references of their own until just after
// their callback returns. If one of them drops the last reference, the reader shuts its work queue
// down from inside that queue, which deadlocks every Media Foundation queue of the process (seen
// under Wine). So our reference is dropped a second later, from a timer thread, when those items
// are long done and ours is the last.
void ReleaseReaderLater(IMFSourceReader* reader) {
    PTP_TIMER timer = CreateThreadpoolTimer(ReleaseReader, reader, nullptr);
    if (!timer) {
        reader->Release();
        return;
    }
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-10'000'000LL);  // relative, in 100 ns units
    FILETIME ft{due.LowPart, due.HighPart};
    SetThreadpoolTimer(timer, &ft, 0, 0);
}

class MfCamera final : public DevCamera {
public:
    MfCamera(IMFMediaSource* source, int width, int height) : source_(source), reqW_(width), reqH_(height) {}
    ~MfCamera() override {
        Stop();
        if (sink_) sink_->Detach();
        if (reader_) {
            IMFSourceReader* reader = reader_.Get();
            reader->AddRef();
            reader_.Reset();
            // A reader that may still hold a request is left alone: letting it go could end it
            // inside its own work item.
            if (quiet_) ReleaseReaderLater(reader);
        }
        if (sink_) sink_->Release();
        source_->Shutdown();
        source_->Release();
    }

    bool Init() override {
        if (reader_) return true;
        JoinApartment();
        auto* sink = new MfFrameSink();
        ComPtr<IMFSourceReader> reader;
        StreamFormat fmt;
        if (!CreateReader(sink, reader) || !NegotiateFormat(reader.Get(), reqW_, reqH_, fmt)) {
            sink->Release();
            return false;
        }
        const int outW = reqW_ > 0 ? reqW_ : static_cast<int>(fmt.width);
        const int outH = reqH_ > 0 ? reqH_ : static_cast<int>(fmt.height);
        sink->Attach(reader.Get(), fmt, outW, outH);
        const std::string line = "Tavori: " + Describe(fmt) + " " + std::to_string(outW) + "x" + std::to_string(outH) + "\n";
        OutputDebugStringA(line.c_str());
        periodMs_ = static_cast<DWORD>(1000.0 / fmt.fps) + 1;
        sink_ = sink;
        *reader_.Put() = reader.Get();
        reader_->AddRef();
        return true;
    }

    bool SetControl(const SCapControl& c) override {
        if (c.nProperty != DEV_PROP_EXPOSURE || (c.nFlags != DEV_FLAG_AUTO && c.nFlags != DEV_FLAG_MANUAL)) return false;
        JoinApartment();
        ComPtr<IAMCameraControl> cc;
        if (FAILED(source_->QueryInterface(IID_IAMCameraControl, reinterpret_cast<void**>(cc.Put())))) return false;
        long mn = 0, mx = 0, step = 0, def = 0, caps = 0;
        const bool ranged = SUCCEEDED(cc->GetRange(CameraControl_Exposure, &mn, &mx, &step, &def, &caps)) && mn <= mx;
        if (c.nFlags == DEV_FLAG_AUTO) {
            long cur = 0, flags = 0;
            const long value = SUCCEEDED(cc->Get(CameraControl_Exposure, &cur, &flags)) ? cur : def;
            return SUCCEEDED(cc->Set(CameraControl_Exposure, value, CameraControl_Flags_Auto));
        }
        long value = c.nValue;
        if (ranged) value = std::clamp(value, mn, mx);
        return SUCCEEDED(cc->Set(CameraControl_Exposure, value, CameraControl_Flags_Manual));
    }

    bool Play() override {
        if (!sink_) return false;
        if (playing_) return true;
        playing_ = sink_->Start();
        return playing_;
    }

    bool GetFrame(unsigned char* data, long* size) override {
        if (!sink_ || !BufferFits(data, size, static_cast<unsigned long>(sink_->FrameBytes())) || !playing_)
            return false;
        switch (sink_->Take(data, periodMs_)) {
        case FrameOutcome::Frame: *size = static_cast<long>(sink_->FrameBytes()); return true;
        case FrameOutcome::Ended: *size = DEV_FRAME_ENDED; return false;
        case FrameOutcome::Stalled: *size = DEV_FRAME_STALLED; return false;
        case FrameOutcome::None: break;
        }
        *size = DEV_FRAME_NONE;
        return false;
    }

    void Stop() override {
        if (!playing_) return;
        playing_ = false;
        quiet_ = sink_->Stop(2 * periodMs_);
    }

private:
    bool CreateReader(MfFrameSink* sink, ComPtr<IMFSourceReader>& reader) {
        const MfFunctions* mf = MediaFoundation();
        ComPtr<IMFAttributes> attr;
        if (!mf || FAILED(mf->CreateAttributes(attr.Put(), 3))) return false;
        // The source is ours to shut down, after the reader is gone.
        attr->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
        // Lets the reader turn MJPG (after its decoder) and unknown formats into RGB32.
        attr->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
        attr->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, static_cast<IMFSourceReaderCallback*>(sink));
        return SUCCEEDED(mf->CreateSourceReaderFromMediaSource(source_, attr.Get(), reader.Put()));
    }

    IMFMediaSource* const source_;
    const int reqW_, reqH_;
    ComPtr<IMFSourceReader> reader_;
    MfFrameSink* sink_ = nullptr;
    DWORD periodMs_ = 34;
    bool playing_ = false;
    bool quiet_ = true;  // no request left in the reader since the last Stop
};

}  // namespace

std::vector<DeviceInfo> MfCameraList() {
    std::vector<DeviceInfo> out;
    DeviceList list;
    if (!EnumVideoDevices(list)) return out;
    for (UINT32 i = 0; i < list.count; ++i)
        out.push_back({AttrString(list.items[i], MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME),
                       AttrString(list.items[i], MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK)});
    return out;
}

std::unique_ptr<DevCamera> CreateMfCamera(int index, int width, int height, int& realCount) {
    DeviceList list;
    realCount = EnumVideoDevices(list) ? static_cast<int>(list.count) : 0;
    if (index < 0 || index >= realCount) return nullptr;
    IMFMediaSource* source = nullptr;
    if (FAILED(list.items[index]->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(&source))) || !source)
        return nullptr;
    return CreateMfCameraOn(source, width, height);
}

std::unique_ptr<DevCamera> CreateMfCameraOn(IMFMediaSource* source, int width, int height) {
    JoinApartment();
    if (!source) return nullptr;
    if (!MediaFoundation()) {
        source->Release();
        return nullptr;
    }
    return std::make_unique<MfCamera>(source, width, height);
}

}  // namespace tavori::dev
