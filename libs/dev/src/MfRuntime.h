// Media Foundation, loaded at run time from the system folder. Windows N and KN editions come
// without it (until the Media Feature Pack is installed), and a program that imports it does not
// start there at all: without it we run on with the virtual cameras only.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

namespace tavori::dev {

struct MfFunctions {
    decltype(&::MFCreateAttributes) CreateAttributes;
    decltype(&::MFCreateMediaType) CreateMediaType;
    decltype(&::MFGetStrideForBitmapInfoHeader) GetStrideForBitmapInfoHeader;
    decltype(&::MFEnumDeviceSources) EnumDeviceSources;
    decltype(&::MFCreateSourceReaderFromMediaSource) CreateSourceReaderFromMediaSource;
};

// Loaded and started once for the process, and never shut down: cameras may be opened at any time.
// Null when the system lacks Media Foundation or it does not start.
const MfFunctions* MediaFoundation();

}  // namespace tavori::dev
