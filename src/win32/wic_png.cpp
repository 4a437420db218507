#include "win32/wic_png.h"

#include <cstdint>
#include <vector>

#include "win32/win32_api.h"
#include "win32/win32_handles.h"
// After the system header they need.
#include <objbase.h>
#include <wincodec.h>

namespace nimbrel {

namespace {

// The steps of the encoder; any failure ends the writing with its reason.
// Created tells whether the file was made (or emptied); the file is closed
// when this returns.
bool Encode(IWICImagingFactory& factory, const std::wstring& path, const TBitmap& picture, bool& created,
            std::string& error) {
    TComPtr<IWICStream> stream;
    created = SUCCEEDED(factory.CreateStream(stream.Out())) &&
              SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE));
    if (!created) {
        error = "cannot create";
        return false;
    }
    TComPtr<IWICBitmapEncoder> encoder;
    TComPtr<IWICBitmapFrameEncode> frame;
    TComPtr<IPropertyBag2> options;
    if (FAILED(factory.CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.Out(), options.Out())) || FAILED(frame->Initialize(options.Get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(picture.Width()), static_cast<UINT>(picture.Height())))) {
        error = "the system's PNG encoder cannot write";
        return false;
    }
    // Three bytes a pixel, blue first: the encoder writes them as they are.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR) {
        error = "the system's PNG encoder takes no 24-bit pixels";
        return false;
    }
    const auto width = static_cast<std::size_t>(picture.Width());
    std::vector<BYTE> row(width * 3);
    for (int32_t y = 0; y < picture.Height(); ++y) {
        // The bitmap's rows are 32-bit pixels 0x00RRGGBB.
        const uint32_t* pixels = picture.Scanline(y);
        for (std::size_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<BYTE>(pixels[x]);
            row[3 * x + 1] = static_cast<BYTE>(pixels[x] >> 8);
            row[3 * x + 2] = static_cast<BYTE>(pixels[x] >> 16);
        }
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(row.size()), static_cast<UINT>(row.size()), row.data()))) {
            error = "cannot write";
            return false;
        }
    }
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit()) || FAILED(stream->Commit(STGC_DEFAULT))) {
        error = "cannot write";
        return false;
    }
    return true;
}

}  // namespace

bool WriteWicPng(const std::string& Path, const TBitmap& Picture, std::string& Error) {
    if (Picture.Width() <= 0 || Picture.Height() <= 0) {
        Error = "no picture to write to " + Path;
        return false;
    }
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.OutVoid()))) {
        Error = "the system's imaging component is not there: no PNG written to " + Path;
        return false;
    }
    const std::wstring path = Utf8ToWide(Path);
    std::string reason;
    bool created = false;
    if (Encode(*factory.Get(), path, Picture, created, reason)) return true;
    if (created) DeleteFileW(path.c_str());
    Error = reason + " " + Path;
    return false;
}

}  // namespace nimbrel
