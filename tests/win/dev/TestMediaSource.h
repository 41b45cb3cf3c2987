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

class TestMediaSource final : public IMFMediaSource {
public:
    // Null when Media Foundation refuses the descriptors.
    static TestMediaSource* Create(const std::vector<NativeType>& types);

    void SetFrame(const std::vector<BYTE>& bytes);
    void SetStalled(bool stalled);
    void EndStream();
    // The subtype and size the reader chose (the stream's current type).
    bool Current(NativeType& out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** e) override { return queue_->GetEvent(flags, e); }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* cb, IUnknown* st) override { return queue_->BeginGetEvent(cb, st); }
    STDMETHODIMP EndGetEvent(IMFAsyncResult* r, IMFMediaEvent** e) override { return queue_->EndGetEvent(r, e); }
    STDMETHODIMP QueueEvent(MediaEventType t, REFGUID g, HRESULT hr, const PROPVARIANT* v) override {
        return queue_->QueueEventParamVar(t, g, hr, v);
    }
    STDMETHODIMP GetCharacteristics(DWORD* c) override;
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** pd) override;
    STDMETHODIMP Start(IMFPresentationDescriptor* pd, const GUID* format, const PROPVARIANT* start) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override { return MF_E_INVALID_STATE_TRANSITION; }
    STDMETHODIMP Shutdown() override;

    void Deliver(IUnknown* token);  // the stream's sample request

private:
    TestMediaSource() = default;
    ~TestMediaSource();

    volatile LONG refs_ = 1;
    IMFMediaEventQueue* queue_ = nullptr;
    IMFPresentationDescriptor* pd_ = nullptr;
    IMFStreamDescriptor* sd_ = nullptr;
    class Stream* stream_ = nullptr;
    std::mutex m_;
    std::vector<BYTE> frame_;
    std::vector<IUnknown*> held_;  // requests not answered while stalled (null tokens too)
    bool stalled_ = false, started_ = false, ended_ = false, shutdown_ = false;
    LONGLONG time_ = 0;
};
