// PNG export on Windows (see image_file.h), through the Windows Imaging
// Component: an RGBA picture is handed to its PNG encoder as 32-bit BGRA,
// the layout every version of the encoder takes. The calling thread has COM
// initialised, as the host thread of a Windows host always has.
#if defined(_WIN32)
#include "matrix/image_file.h"

#include <windows.h>
#include <wincodec.h>

#include <climits>
#include <string>
#include <vector>

namespace {

template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (p) p->Release();
    }
    T** put() { return &p; }
    T* operator->() const { return p; }
};

std::wstring wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

HRESULT encode(const std::wstring& path, UINT width, UINT height, std::vector<BYTE>& bgra, bool& opened) {
    Com<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.put()));
    if (FAILED(hr)) return hr;
    Com<IWICStream> stream;
    if (FAILED(hr = factory->CreateStream(stream.put()))) return hr;
    if (FAILED(hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) return hr;
    opened = true;
    Com<IWICBitmapEncoder> encoder;
    if (FAILED(hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()))) return hr;
    if (FAILED(hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache))) return hr;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (FAILED(hr = encoder->CreateNewFrame(frame.put(), options.put()))) return hr;
    if (FAILED(hr = frame->Initialize(options.p))) return hr;
    if (FAILED(hr = frame->SetSize(width, height))) return hr;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(hr = frame->SetPixelFormat(&format))) return hr;
    if (format != GUID_WICPixelFormat32bppBGRA) return E_FAIL;
    const UINT stride = width * 4;
    if (FAILED(hr = frame->WritePixels(height, stride, stride * height, bgra.data()))) return hr;
    if (FAILED(hr = frame->Commit())) return hr;
    return encoder->Commit();
}

}  // namespace

t_hox_err vor_png_write_rgba(const char* path, int32_t width, int32_t height, const uint8_t* rgba,
                             int64_t rowbytes) {
    if (!path || !*path || !rgba || width < 1 || height < 1 || rowbytes < int64_t(width) * 4) return HOX_EROR;
    if (int64_t(width) * 4 * height > INT32_MAX) return HOX_EROR;
    const std::wstring file = wide(path);
    if (file.empty()) return HOX_EROR;
    std::vector<BYTE> bgra(size_t(width) * 4 * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = rgba + y * rowbytes;
        BYTE* out = bgra.data() + size_t(y) * size_t(width) * 4;
        for (int32_t x = 0; x < width; ++x, in += 4, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = in[3];
        }
    }
    bool opened = false;
    if (FAILED(encode(file, UINT(width), UINT(height), bgra, opened))) {
        if (opened) DeleteFileW(file.c_str());  // a partial file is no export
        return HOX_EROR;
    }
    return HOX_ERR_NONE;
}
#endif
