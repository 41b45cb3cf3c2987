#include "MfRuntime.h"

#include "SystemDll.h"

namespace tavori::dev {

const MfFunctions* MediaFoundation() {
    static const MfFunctions* const loaded = []() -> const MfFunctions* {
        using sysdll::SystemFunction;
        static MfFunctions f;
        const auto startup = SystemFunction<decltype(&::MFStartup)>("mfplat.dll", "MFStartup");
        f.CreateAttributes = SystemFunction<decltype(f.CreateAttributes)>("mfplat.dll", "MFCreateAttributes");
        f.CreateMediaType = SystemFunction<decltype(f.CreateMediaType)>("mfplat.dll", "MFCreateMediaType");
        f.GetStrideForBitmapInfoHeader =
            SystemFunction<decltype(f.GetStrideForBitmapInfoHeader)>("mfplat.dll", "MFGetStrideForBitmapInfoHeader");
        f.EnumDeviceSources = SystemFunction<decltype(f.EnumDeviceSources)>("mf.dll", "MFEnumDeviceSources");
        f.CreateSourceReaderFromMediaSource = SystemFunction<decltype(f.CreateSourceReaderFromMediaSource)>(
            "mfreadwrite.dll", "MFCreateSourceReaderFromMediaSource");
        if (!startup || !f.CreateAttributes || !f.CreateMediaType || !f.GetStrideForBitmapInfoHeader ||
            !f.EnumDeviceSources || !f.CreateSourceReaderFromMediaSource)
            return nullptr;
        return SUCCEEDED(startup(MF_VERSION, MFSTARTUP_NOSOCKET)) ? &f : nullptr;
    }();
    return loaded;
}

}  // namespace tavori::dev
