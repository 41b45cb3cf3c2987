// A media source the test controls: one video stream offering the given native types, delivering
// the frame bytes it is handed, and able to stall (hold requests) or end its stream on demand.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <mutex>
#include <vector>

struct NativeType {
    GUID subtype;
    UINT32 width, height, fps;
};

// The event-generator half that source and stream share: each has a queue of its own.
template <class Interface>
class EventSource : public Interface {
public:
    EventSource() { MFCreateEventQueue(&queue_); }
    virtual ~EventSource() { queue_->Release(); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IMFMediaEventGenerator || iid == __uuidof(Interface) ? this : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG n = InterlockedDecrement(&refs_);
        if (!n) delete this;
        return n;
    }
    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** e) override { return queue_->GetEvent(flags, e); }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* cb, IUnknown* st) override { return queue_->BeginGetEvent(cb, st); }
    STDMETHODIMP EndGetEvent(IMFAsyncResult* r, IMFMediaEvent** e) override { return queue_->EndGetEvent(r, e); }
    STDMETHODIMP QueueEvent(MediaEventType t, REFGUID g, HRESULT hr, const PROPVARIANT* v) override {
        return queue_->QueueEventParamVar(t, g, hr, v);
    }
    // Queues an event carrying an object, or nothing.
    void Post(MediaEventType type, IUnknown* object = nullptr) {
        PROPVARIANT v;
        PropVariantInit(&v);
        if (object) v.vt = VT_UNKNOWN, v.punkVal = object;
        queue_->QueueEventParamVar(type, GUID_NULL, S_OK, &v);
    }
    IMFMediaEventQueue* queue_ = nullptr;

private:
    volatile LONG refs_ = 1;
};

class TestMediaSource final : public EventSource<IMFMediaSource> {
public:
    // Null when Media Foundation refuses the descriptors.
    static TestMediaSource* Create(const std::vector<NativeType>& types);
    void SetFrame(const std::vector<BYTE>& bytes);
    void SetStalled(bool stalled);
    void EndStream();
    bool Current(NativeType& out);  // the type the reader chose

    STDMETHODIMP GetCharacteristics(DWORD* c) override {
        *c = MFMEDIASOURCE_IS_LIVE;
        return S_OK;
    }
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** pd) override { return pd_->Clone(pd); }
    STDMETHODIMP Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override { return MF_E_INVALID_STATE_TRANSITION; }
    STDMETHODIMP Shutdown() override;
    void Deliver(IUnknown* token);  // the stream's sample request

private:
    ~TestMediaSource() override;
    IMFPresentationDescriptor* pd_ = nullptr;
    IMFStreamDescriptor* sd_ = nullptr;
    EventSource<IMFMediaStream>* stream_ = nullptr;
    std::mutex m_;
    std::vector<BYTE> frame_;
    std::vector<IUnknown*> held_;  // requests not answered while stalled (null tokens too)
    bool stalled_ = false, started_ = false, ended_ = false, shutdown_ = false;
    LONGLONG time_ = 0;
};
