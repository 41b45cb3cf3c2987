#include "TestMediaSource.h"

#include <mferror.h>

class Stream final : public IMFMediaStream {
public:
    Stream(TestMediaSource* source, IMFStreamDescriptor* sd) : source_(source), sd_(sd) {
        MFCreateEventQueue(&queue_);
        sd_->AddRef();
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IMFMediaEventGenerator || iid == IID_IMFMediaStream) {
            *out = static_cast<IMFMediaStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (!n) {
            queue_->Release();
            sd_->Release();
            delete this;
        }
        return n;
    }
    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** e) override { return queue_->GetEvent(flags, e); }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* cb, IUnknown* st) override { return queue_->BeginGetEvent(cb, st); }
    STDMETHODIMP EndGetEvent(IMFAsyncResult* r, IMFMediaEvent** e) override { return queue_->EndGetEvent(r, e); }
    STDMETHODIMP QueueEvent(MediaEventType t, REFGUID g, HRESULT hr, const PROPVARIANT* v) override {
        return queue_->QueueEventParamVar(t, g, hr, v);
    }
    STDMETHODIMP GetMediaSource(IMFMediaSource** s) override {
        *s = source_;
        source_->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetStreamDescriptor(IMFStreamDescriptor** sd) override {
        *sd = sd_;
        sd_->AddRef();
        return S_OK;
    }
    STDMETHODIMP RequestSample(IUnknown* token) override {
        source_->Deliver(token);
        return S_OK;
    }
    IMFMediaEventQueue* Queue() const { return queue_; }

private:
    volatile LONG refs_ = 1;
    TestMediaSource* source_;  // the source outlives its stream's use
    IMFStreamDescriptor* sd_;
    IMFMediaEventQueue* queue_ = nullptr;
};

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
    bool ok = SUCCEEDED(MFCreateEventQueue(&s->queue_)) &&
              SUCCEEDED(MFCreateStreamDescriptor(0, static_cast<DWORD>(mts.size()), mts.data(), &s->sd_));
    IMFMediaTypeHandler* h = nullptr;
    ok = ok && SUCCEEDED(s->sd_->GetMediaTypeHandler(&h)) && SUCCEEDED(h->SetCurrentMediaType(mts[0]));
    if (h) h->Release();
    ok = ok && SUCCEEDED(MFCreatePresentationDescriptor(1, &s->sd_, &s->pd_)) && SUCCEEDED(s->pd_->SelectStream(0));
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
    if (stream_) stream_->Release();
    if (pd_) pd_->Release();
    if (sd_) sd_->Release();
    if (queue_) queue_->Release();
}

STDMETHODIMP_(ULONG) TestMediaSource::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (!n) delete this;
    return n;
}

STDMETHODIMP TestMediaSource::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IMFMediaEventGenerator || iid == IID_IMFMediaSource) {
        *out = static_cast<IMFMediaSource*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP TestMediaSource::GetCharacteristics(DWORD* c) {
    *c = MFMEDIASOURCE_IS_LIVE;
    return S_OK;
}

STDMETHODIMP TestMediaSource::CreatePresentationDescriptor(IMFPresentationDescriptor** pd) {
    return pd_->Clone(pd);
}

STDMETHODIMP TestMediaSource::Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) {
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = static_cast<IMFMediaStream*>(stream_);
    const bool again = started_;
    started_ = true;
    queue_->QueueEventParamVar(again ? MEUpdatedStream : MENewStream, GUID_NULL, S_OK, &v);
    PROPVARIANT empty;
    PropVariantInit(&empty);
    stream_->Queue()->QueueEventParamVar(MEStreamStarted, GUID_NULL, S_OK, &empty);
    return queue_->QueueEventParamVar(MESourceStarted, GUID_NULL, S_OK, &empty);
}

STDMETHODIMP TestMediaSource::Stop() {
    PROPVARIANT empty;
    PropVariantInit(&empty);
    stream_->Queue()->QueueEventParamVar(MEStreamStopped, GUID_NULL, S_OK, &empty);
    return queue_->QueueEventParamVar(MESourceStopped, GUID_NULL, S_OK, &empty);
}

STDMETHODIMP TestMediaSource::Shutdown() {
    std::lock_guard<std::mutex> lock(m_);
    shutdown_ = true;
    queue_->Shutdown();
    stream_->Queue()->Shutdown();
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
        if (stalled) return;
        release.swap(held_);
    }
    for (IUnknown* t : release) {
        Deliver(t);
        if (t) t->Release();
    }
}

void TestMediaSource::EndStream() {
    std::lock_guard<std::mutex> lock(m_);
    ended_ = true;
    PROPVARIANT empty;
    PropVariantInit(&empty);
    stream_->Queue()->QueueEventParamVar(MEEndOfStream, GUID_NULL, S_OK, &empty);
    queue_->QueueEventParamVar(MEEndOfPresentation, GUID_NULL, S_OK, &empty);
}

bool TestMediaSource::Current(NativeType& out) {
    IMFMediaTypeHandler* h = nullptr;
    IMFMediaType* mt = nullptr;
    bool ok = SUCCEEDED(sd_->GetMediaTypeHandler(&h)) && SUCCEEDED(h->GetCurrentMediaType(&mt));
    UINT32 num = 0, den = 1;
    ok = ok && SUCCEEDED(mt->GetGUID(MF_MT_SUBTYPE, &out.subtype)) &&
         SUCCEEDED(MFGetAttributeSize(mt, MF_MT_FRAME_SIZE, &out.width, &out.height)) &&
         SUCCEEDED(MFGetAttributeRatio(mt, MF_MT_FRAME_RATE, &num, &den));
    out.fps = den ? num / den : 0;
    if (mt) mt->Release();
    if (h) h->Release();
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
    IMFMediaBuffer* buf = nullptr;
    IMFSample* sample = nullptr;
    BYTE* p = nullptr;
    if (FAILED(MFCreateMemoryBuffer(static_cast<DWORD>(frame_.size()), &buf))) return;
    buf->Lock(&p, nullptr, nullptr);
    memcpy(p, frame_.data(), frame_.size());
    buf->Unlock();
    buf->SetCurrentLength(static_cast<DWORD>(frame_.size()));
    MFCreateSample(&sample);
    sample->AddBuffer(buf);
    sample->SetSampleTime(time_);
    sample->SetSampleDuration(333333);
    time_ += 333333;
    if (token) sample->SetUnknown(MFSampleExtension_Token, token);
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = sample;
    stream_->Queue()->QueueEventParamVar(MEMediaSample, GUID_NULL, S_OK, &v);
    sample->Release();
    buf->Release();
}
