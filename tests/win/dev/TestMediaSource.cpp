#include "TestMediaSource.h"

#include "ComPtr.h"

using tavori::dev::ComPtr;

namespace {

class Stream final : public EventSource<IMFMediaStream> {
public:
    Stream(TestMediaSource* source, IMFStreamDescriptor* sd) : source_(source), sd_(sd) {}
    STDMETHODIMP GetMediaSource(IMFMediaSource** s) override { return source_->QueryInterface(IID_IMFMediaSource, reinterpret_cast<void**>(s)); }
    STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor** sd) override {
        (*sd = sd_)->AddRef();
        return S_OK;
    }
    STDMETHODIMP RequestSample(IUnknown* token) override {
        source_->Deliver(token);
        return S_OK;
    }

private:
    TestMediaSource* source_;  // outlives its stream's use; both are the source's
    IMFStreamDescriptor* sd_;
};

}  // namespace

TestMediaSource* TestMediaSource::Create(const std::vector<NativeType>& types) {
    std::vector<IMFMediaType*> mts;
    for (const NativeType& t : types) {
        IMFMediaType* mt = nullptr;
        MFCreateMediaType(&mt);
        mt->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        mt->SetGUID(MF_MT_SUBTYPE, t.subtype);
        MFSetAttributeSize(mt, MF_MT_FRAME_SIZE, t.width, t.height);
        MFSetAttributeRatio(mt, MF_MT_FRAME_RATE, t.fps, 1);
        MFSetAttributeRatio(mt, MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
        mt->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
        mt->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
        mts.push_back(mt);
    }
    auto* s = new TestMediaSource();
    ComPtr<IMFMediaTypeHandler> h;
    const bool ok = SUCCEEDED(MFCreateStreamDescriptor(0, static_cast<DWORD>(mts.size()), mts.data(), &s->sd_)) &&
                    SUCCEEDED(s->sd_->GetMediaTypeHandler(h.Put())) && SUCCEEDED(h->SetCurrentMediaType(mts[0])) &&
                    SUCCEEDED(MFCreatePresentationDescriptor(1, &s->sd_, &s->pd_)) && SUCCEEDED(s->pd_->SelectStream(0));
    for (IMFMediaType* mt : mts) mt->Release();
    if (!ok) {
        s->Release();
        return nullptr;
    }
    s->stream_ = new Stream(s, s->sd_);
    return s;
}

TestMediaSource::~TestMediaSource() {
    for (IUnknown* t : held_)
        if (t) t->Release();
    for (IUnknown* u : {static_cast<IUnknown*>(stream_), static_cast<IUnknown*>(pd_), static_cast<IUnknown*>(sd_)})
        if (u) u->Release();
}

STDMETHODIMP TestMediaSource::Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) {
    Post(started_ ? MEUpdatedStream : MENewStream, static_cast<IMFMediaStream*>(stream_));
    started_ = true;
    stream_->Post(MEStreamStarted);
    Post(MESourceStarted);
    return S_OK;
}

STDMETHODIMP TestMediaSource::Stop() {
    stream_->Post(MEStreamStopped);
    Post(MESourceStopped);
    return S_OK;
}

STDMETHODIMP TestMediaSource::Shutdown() {
    std::lock_guard<std::mutex> lock(m_);
    shutdown_ = true;
    queue_->Shutdown();
    stream_->queue_->Shutdown();
    return S_OK;
}

void TestMediaSource::SetFrame(const std::vector<BYTE>& bytes) {
    std::lock_guard<std::mutex> lock(m_);
    frame_ = bytes;
}

void TestMediaSource::SetStalled(bool stalled) {
    std::vector<IUnknown*> release;
    {
        std::lock_guard<std::mutex> lock(m_);
        stalled_ = stalled;
        if (!stalled) release.swap(held_);
    }
    for (IUnknown* t : release) {
        Deliver(t);
        if (t) t->Release();
    }
}

void TestMediaSource::EndStream() {
    std::lock_guard<std::mutex> lock(m_);
    ended_ = true;
    stream_->Post(MEEndOfStream);
    Post(MEEndOfPresentation);
}

bool TestMediaSource::Current(NativeType& out) {
    ComPtr<IMFMediaTypeHandler> h;
    ComPtr<IMFMediaType> mt;
    UINT32 num = 0, den = 1;
    const bool ok = SUCCEEDED(sd_->GetMediaTypeHandler(h.Put())) && SUCCEEDED(h->GetCurrentMediaType(mt.Put())) &&
                    SUCCEEDED(mt->GetGUID(MF_MT_SUBTYPE, &out.subtype)) &&
                    SUCCEEDED(MFGetAttributeSize(mt.Get(), MF_MT_FRAME_SIZE, &out.width, &out.height)) &&
                    SUCCEEDED(MFGetAttributeRatio(mt.Get(), MF_MT_FRAME_RATE, &num, &den));
    out.fps = den ? num / den : 0;
    return ok;
}

void TestMediaSource::Deliver(IUnknown* token) {
    std::lock_guard<std::mutex> lock(m_);
    if (shutdown_ || ended_) return;
    if (stalled_) {
        if (token) token->AddRef();
        held_.push_back(token);
        return;
    }
    Sleep(5);  // a camera paces its frames; this one only keeps the reader from spinning
    ComPtr<IMFMediaBuffer> buf;
    ComPtr<IMFSample> sample;
    BYTE* p = nullptr;
    if (FAILED(MFCreateMemoryBuffer(static_cast<DWORD>(frame_.size()), buf.Put())) || FAILED(MFCreateSample(sample.Put()))) return;
    buf->Lock(&p, nullptr, nullptr);
    memcpy(p, frame_.data(), frame_.size());
    buf->Unlock();
    buf->SetCurrentLength(static_cast<DWORD>(frame_.size()));
    sample->AddBuffer(buf.Get());
    sample->SetSampleTime(time_ += 333333);
    sample->SetSampleDuration(333333);
    if (token) sample->SetUnknown(MFSampleExtension_Token, token);
    stream_->Post(MEMediaSample, sample.Get());
}
