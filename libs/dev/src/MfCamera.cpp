#include "MfCamera.h"

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <strmif.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace tavori::dev {
namespace {

// Minimal owning pointer for COM interfaces.
template <class T>
class Com {
public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T** Put() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// COM on the calling thread for the duration of a call; a thread that already has its own
// apartment keeps it.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

bool MfReady() {
    // Started once for the process and never shut down: cameras may be opened at any time.
    static const bool ok = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET));
    return ok;
}

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
    if (!MfReady()) return false;
    Com<IMFAttributes> attr;
    if (FAILED(MFCreateAttributes(attr.Put(), 1))) return false;
    if (FAILED(attr->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID)))
        return false;
    if (FAILED(MFEnumDeviceSources(attr.Get(), &list.items, &list.count))) {
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

struct SourceFormat {
    UINT32 width = 0, height = 0;
    LONG stride = 0;  // negative: bottom row first
    double fps = 30;
};

bool ReadFormat(IMFSourceReader* reader, SourceFormat& f) {
    Com<IMFMediaType> type;
    if (FAILED(reader->GetCurrentMediaType(static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM), type.Put())))
        return false;
    if (FAILED(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &f.width, &f.height)) || f.width == 0 ||
        f.height == 0 || f.width > 16384 || f.height > 16384)
        return false;
    UINT32 s = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &s))) {
        f.stride = static_cast<LONG>(s);
    } else if (FAILED(MFGetStrideForBitmapInfoHeader(MFVideoFormat_RGB24.Data1, f.width, &f.stride))) {
        f.stride = -static_cast<LONG>((f.width * 3 + 3) & ~3u);
    }
    UINT32 num = 0, den = 0;
    if (SUCCEEDED(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &num, &den)) && num > 0 && den > 0)
        f.fps = std::clamp(static_cast<double>(num) / den, 1.0, 240.0);
    return true;
}

class MfCamera final : public DevCamera {
public:
    MfCamera(IMFMediaSource* source, int width, int height) : source_(source), reqW_(width), reqH_(height) {}
    ~MfCamera() override {
        Stop();
        reader_.Reset();
        if (source_) {
            source_->Shutdown();
            source_->Release();
        }
    }

    bool Init() override {
        if (reader_) return true;
        ComScope com;
        Com<IMFAttributes> attr;
        if (FAILED(MFCreateAttributes(attr.Put(), 1))) return false;
        attr->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
        Com<IMFSourceReader> reader;
        if (FAILED(MFCreateSourceReaderFromMediaSource(source_, attr.Get(), reader.Put()))) return false;
        const DWORD stream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        ChooseNativeType(reader.Get());
        UINT32 nw = 0, nh = 0;
        {
            Com<IMFMediaType> cur;
            if (SUCCEEDED(reader->GetCurrentMediaType(stream, cur.Put())))
                MFGetAttributeSize(cur.Get(), MF_MT_FRAME_SIZE, &nw, &nh);
        }
        Com<IMFMediaType> out;
        if (FAILED(MFCreateMediaType(out.Put()))) return false;
        out->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        out->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB24);
        if (nw && nh) MFSetAttributeSize(out.Get(), MF_MT_FRAME_SIZE, nw, nh);
        if (FAILED(reader->SetCurrentMediaType(stream, nullptr, out.Get()))) return false;
        if (!ReadFormat(reader.Get(), fmt_)) return false;
        outW_ = reqW_ > 0 && reqH_ > 0 ? reqW_ : static_cast<int>(fmt_.width);
        outH_ = reqW_ > 0 && reqH_ > 0 ? reqH_ : static_cast<int>(fmt_.height);
        const size_t bytes = FrameStride(outW_) * static_cast<size_t>(outH_);
        periodMs_ = static_cast<long long>(1000.0 / fmt_.fps) + 1;
        latest_.assign(bytes, 0);
        back_.assign(bytes, 0);
        *reader_.Put() = reader.Get();
        reader_->AddRef();
        return true;
    }

    bool SetControl(const SCapControl& c) override {
        if (c.nProperty != DEV_PROP_EXPOSURE || (c.nFlags != DEV_FLAG_AUTO && c.nFlags != DEV_FLAG_MANUAL)) return false;
        ComScope com;
        Com<IAMCameraControl> cc;
        if (FAILED(source_->QueryInterface(IID_IAMCameraControl, reinterpret_cast<void**>(cc.Put())))) return false;
        long mn = 0, mx = 0, step = 0, def = 0, caps = 0;
        const bool ranged = SUCCEEDED(cc->GetRange(CameraControl_Exposure, &mn, &mx, &step, &def, &caps)) && mn <= mx;
        long value = c.nValue;
        if (c.nFlags == DEV_FLAG_AUTO) {
            long cur = 0, flags = 0;
            value = SUCCEEDED(cc->Get(CameraControl_Exposure, &cur, &flags)) ? cur : def;
            return SUCCEEDED(cc->Set(CameraControl_Exposure, value, CameraControl_Flags_Auto));
        }
        if (ranged) value = std::clamp(value, mn, mx);
        return SUCCEEDED(cc->Set(CameraControl_Exposure, value, CameraControl_Flags_Manual));
    }

    bool Play() override {
        if (!reader_ || lost_) return false;
        if (running_) return true;
        running_ = true;
        thread_ = std::thread([this] { ReadLoop(); });
        return true;
    }

    bool GetFrame(unsigned char* data, long* size) override {
        const unsigned long bytes = static_cast<unsigned long>(latest_.size());
        if (!reader_ || !BufferFits(data, size, bytes) || !running_) return false;
        const auto period = std::chrono::milliseconds(periodMs_);
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, period, [&] { return seq_ != delivered_ || lost_; });
        if (lost_) {
            // Unplugged: black frames at the camera's rate until the caller stops the stream.
            lock.unlock();
            std::this_thread::sleep_for(period);
            std::memset(data, 0, bytes);
        } else {
            if (seq_ == 0) return false;  // no frame has come yet
            std::memcpy(data, latest_.data(), bytes);
            delivered_ = seq_;
        }
        *size = static_cast<long>(bytes);
        return true;
    }

    void Stop() override {
        if (!running_) return;
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    // Prefers the native format of the requested size with the highest frame rate; without one,
    // the nearest size (frames are then scaled).
    void ChooseNativeType(IMFSourceReader* reader) {
        const DWORD stream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        DWORD best = MAXDWORD;
        double bestScore = 0;
        for (DWORD i = 0; i < 512; ++i) {
            Com<IMFMediaType> t;
            if (FAILED(reader->GetNativeMediaType(stream, i, t.Put()))) break;
            UINT32 w = 0, h = 0, num = 0, den = 0;
            if (FAILED(MFGetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, &w, &h)) || !w || !h) continue;
            double fps = 0;
            if (SUCCEEDED(MFGetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, &num, &den)) && den) fps = double(num) / den;
            const double dw = reqW_ > 0 ? double(w) - reqW_ : 0, dh = reqH_ > 0 ? double(h) - reqH_ : 0;
            const double score = -(dw * dw + dh * dh) * 1000.0 + std::min(fps, 240.0);
            if (best == MAXDWORD || score > bestScore) {
                best = i;
                bestScore = score;
            }
        }
        if (best == MAXDWORD) return;
        Com<IMFMediaType> t;
        if (SUCCEEDED(reader->GetNativeMediaType(stream, best, t.Put())))
            reader->SetCurrentMediaType(stream, nullptr, t.Get());
    }

    void ReadLoop() {
        ComScope com;
        const DWORD stream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
        while (running_) {
            DWORD index = 0, flags = 0;
            LONGLONG ts = 0;
            Com<IMFSample> sample;
            const HRESULT hr = reader_->ReadSample(stream, 0, &index, &flags, &ts, sample.Put());
            if (FAILED(hr) || (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM))) {
                std::lock_guard<std::mutex> lock(m_);
                lost_ = true;
                cv_.notify_all();
                return;
            }
            if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
                SourceFormat f;
                if (ReadFormat(reader_.Get(), f)) fmt_ = f;
            }
            if (!sample || !Convert(sample.Get())) continue;
            std::lock_guard<std::mutex> lock(m_);
            latest_.swap(back_);
            ++seq_;
            cv_.notify_all();
        }
    }

    // RGB24 of the source (either row order, any pitch) -> our top-down, 4-byte-padded rows at
    // the delivered size, nearest sample when the sizes differ.
    bool Convert(IMFSample* sample) {
        Com<IMFMediaBuffer> buf;
        if (FAILED(sample->ConvertToContiguousBuffer(buf.Put()))) return false;
        const int sw = static_cast<int>(fmt_.width), sh = static_cast<int>(fmt_.height);
        Com<IMF2DBuffer> buf2d;
        BYTE* scan0 = nullptr;
        LONG pitch = 0;
        BYTE* base = nullptr;
        DWORD maxLen = 0, curLen = 0;
        const bool is2d = SUCCEEDED(buf->QueryInterface(IID_IMF2DBuffer, reinterpret_cast<void**>(buf2d.Put()))) &&
                          SUCCEEDED(buf2d->Lock2D(&scan0, &pitch));
        if (!is2d) {
            if (FAILED(buf->Lock(&base, &maxLen, &curLen))) return false;
            pitch = fmt_.stride;
            const size_t absPitch = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
            if (absPitch < static_cast<size_t>(sw) * 3 || static_cast<size_t>(curLen) < absPitch * static_cast<size_t>(sh)) {
                buf->Unlock();
                return false;
            }
            scan0 = pitch < 0 ? base + absPitch * static_cast<size_t>(sh - 1) : base;
        }
        const size_t stride = FrameStride(outW_);
        for (int y = 0; y < outH_; ++y) {
            const int sy = outH_ == sh ? y : static_cast<int>(static_cast<long long>(y) * sh / outH_);
            const BYTE* src = scan0 + static_cast<ptrdiff_t>(sy) * pitch;
            uint8_t* dst = back_.data() + static_cast<size_t>(y) * stride;
            if (outW_ == sw) {
                std::memcpy(dst, src, static_cast<size_t>(sw) * 3);
            } else {
                for (int x = 0; x < outW_; ++x) {
                    const int sx = static_cast<int>(static_cast<long long>(x) * sw / outW_);
                    std::memcpy(dst + 3 * x, src + 3 * sx, 3);
                }
            }
        }
        if (is2d)
            buf2d->Unlock2D();
        else
            buf->Unlock();
        return true;
    }

    IMFMediaSource* source_;
    Com<IMFSourceReader> reader_;
    const int reqW_, reqH_;
    int outW_ = 0, outH_ = 0;
    SourceFormat fmt_;
    long long periodMs_ = 34;

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<uint8_t> latest_, back_;
    uint64_t seq_ = 0, delivered_ = 0;
    std::atomic<bool> lost_{false};
};

}  // namespace

int MfCameraCount() {
    ComScope com;
    DeviceList list;
    return EnumVideoDevices(list) ? static_cast<int>(list.count) : 0;
}

bool MfCameraInfo(int index, DeviceInfo& info) {
    ComScope com;
    DeviceList list;
    if (!EnumVideoDevices(list) || index < 0 || static_cast<UINT32>(index) >= list.count) return false;
    info.name = AttrString(list.items[index], MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME);
    info.path = AttrString(list.items[index], MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK);
    return true;
}

std::unique_ptr<DevCamera> CreateMfCamera(int index, int width, int height) {
    ComScope com;
    DeviceList list;
    if (!EnumVideoDevices(list) || index < 0 || static_cast<UINT32>(index) >= list.count) return nullptr;
    IMFMediaSource* source = nullptr;
    if (FAILED(list.items[index]->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(&source))) || !source)
        return nullptr;
    return std::make_unique<MfCamera>(source, width, height);
}

}  // namespace tavori::dev
