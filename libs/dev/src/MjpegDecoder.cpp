#include "MjpegDecoder.h"

#include <windows.h>
#include <wincodec.h>

#include <cstring>

#include "ComPtr.h"
#include "JpegTables.h"

namespace tavori::dev {

MjpegDecoder::~MjpegDecoder() {
    if (factory_) factory_->Release();
}

bool MjpegDecoder::Decode(const uint8_t* jpeg, size_t len, int width, int height, uint8_t* dst, size_t dstStride) {
    if (!factory_ && FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IWICImagingFactory, reinterpret_cast<void**>(&factory_))))
        return false;
    switch (AddStandardHuffmanTables(jpeg, len, withTables_)) {
    case JpegTables::NotJpeg: return false;
    case JpegTables::Inserted:
        jpeg = withTables_.data();
        len = withTables_.size();
        break;
    case JpegTables::Present: break;
    }
    if (len > 0x7FFFFFFF) return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> bgr;
    UINT w = 0, h = 0;
    if (FAILED(factory_->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(jpeg), static_cast<DWORD>(len))) ||
        FAILED(factory_->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(frame->GetSize(&w, &h)) ||
        w != static_cast<UINT>(width) || h != static_cast<UINT>(height) || FAILED(factory_->CreateFormatConverter(bgr.Put())) ||
        FAILED(bgr->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                               WICBitmapPaletteTypeCustom)))
        return false;
    const size_t bytes = dstStride * static_cast<size_t>(height);
    if (bytes > 0xFFFFFFFFu) return false;
    if (FAILED(bgr->CopyPixels(nullptr, static_cast<UINT>(dstStride), static_cast<UINT>(bytes), dst))) return false;
    // Row padding as the frame layout wants it.
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    if (dstStride > rowBytes)
        for (int y = 0; y < height; ++y) std::memset(dst + static_cast<size_t>(y) * dstStride + rowBytes, 0, dstStride - rowBytes);
    return true;
}

}  // namespace tavori::dev
