// MJPEG Decompressor (CLSID_MjpegDec): MJPG (FORMAT_VideoInfo) in, RGB32
// then RGB24 out (bottom-up, at the input's size and frame interval),
// decoded with libjpeg. A frame that is not a JPEG of the connected size is
// dropped. The decoder object lives from Pause to the filter's end; libjpeg
// itself still takes and frees its per-picture working memory each frame.
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>

#include "class_registry.h"
#include "colour_converter_base.h"
#include "transform_registry.h"

namespace vorsim {
namespace {

bool mjpg_input(const AM_MEDIA_TYPE& mt, VideoFormat& format) {
    return mt.subtype == MEDIASUBTYPE_MJPG && read_video_format(mt, format) && !format.top_down;
}

bool accepts(const AM_MEDIA_TYPE& mt) {
    VideoFormat format;
    return mjpg_input(mt, format);
}

// libjpeg reports errors by calling error_exit, which must not return:
// it jumps back into decode(). Nothing with a destructor lives in between.
struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void jpeg_fail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }
void jpeg_quiet(j_common_ptr, int) {}

class JpegDecoder {
public:
    JpegDecoder() {
        info_.err = jpeg_std_error(&errors_.mgr);
        errors_.mgr.error_exit = &jpeg_fail;
        errors_.mgr.emit_message = &jpeg_quiet;
        if (setjmp(errors_.jump) != 0) {
            ready_ = false;
            return;
        }
        jpeg_create_decompress(&info_);
        ready_ = true;
    }
    ~JpegDecoder() {
        if (ready_) jpeg_destroy_decompress(&info_);
    }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    bool ready() const { return ready_; }

    // Decodes into a bottom-up frame of exactly width x height.
    bool decode(const BYTE* data, size_t size, BYTE* dst, int width, int height, size_t stride, bool four_bytes) {
        if (!ready_ || size == 0) return false;
        if (setjmp(errors_.jump) != 0) {
            jpeg_abort_decompress(&info_);
            return false;
        }
        jpeg_mem_src(&info_, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
        if (jpeg_read_header(&info_, TRUE) != JPEG_HEADER_OK ||
            info_.image_width != static_cast<JDIMENSION>(width) ||
            info_.image_height != static_cast<JDIMENSION>(height)) {
            jpeg_abort_decompress(&info_);
            return false;
        }
        info_.out_color_space = four_bytes ? JCS_EXT_BGRX : JCS_EXT_BGR;
        jpeg_start_decompress(&info_);
        while (info_.output_scanline < info_.output_height) {
            JSAMPROW row = dst + static_cast<size_t>(height - 1 - static_cast<int>(info_.output_scanline)) * stride;
            jpeg_read_scanlines(&info_, &row, 1);
        }
        jpeg_finish_decompress(&info_);
        return true;
    }

private:
    jpeg_decompress_struct info_{};
    JpegErrors errors_{};
    bool ready_ = false;
};

class MjpegDecompressor final : public ConverterFilter<> {
public:
    MjpegDecompressor() : ConverterFilter<>(CLSID_MjpegDec) {}

    HRESULT check_input(const AM_MEDIA_TYPE& mt) const override { return accepts(mt) ? S_OK : S_FALSE; }

    std::vector<MediaType> output_types(const AM_MEDIA_TYPE& input) const override {
        VideoFormat in;
        if (!mjpg_input(input, in)) return {};
        std::vector<MediaType> types;
        types.push_back(converter_output_type(MEDIASUBTYPE_RGB32, in.width, in.height, in.frame_interval));
        types.push_back(converter_output_type(MEDIASUBTYPE_RGB24, in.width, in.height, in.frame_interval));
        return types;
    }

    HRESULT prepare(const AM_MEDIA_TYPE& input, const AM_MEDIA_TYPE& output) override {
        VideoFormat out;
        if (!mjpg_input(input, in_) || !read_video_format(output, out)) return VFW_E_TYPE_NOT_ACCEPTED;
        if (output.subtype != MEDIASUBTYPE_RGB32 && output.subtype != MEDIASUBTYPE_RGB24)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (out.width != in_.width || out.height != in_.height || out.top_down) return VFW_E_TYPE_NOT_ACCEPTED;
        four_bytes_ = output.subtype == MEDIASUBTYPE_RGB32;
        out_stride_ = pixels::rgb_stride(in_.width, four_bytes_ ? 32 : 24);
        if (!decoder_) {
            decoder_ = std::make_unique<JpegDecoder>();
            if (!decoder_->ready()) {
                decoder_.reset();
                return E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }

    HRESULT convert(IMediaSample* in, IMediaSample* out) override {
        const size_t h = static_cast<size_t>(in_.height);
        const size_t out_size = out_stride_ * h;
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dst))) return E_POINTER;
        if (static_cast<size_t>(out->GetSize()) < out_size) return S_FALSE;
        const LONG length = in->GetActualDataLength();
        if (length <= 0 || !decoder_->decode(src, static_cast<size_t>(length), dst, in_.width, in_.height,
                                             out_stride_, four_bytes_))
            return S_FALSE;
        const size_t used = static_cast<size_t>(in_.width) * (four_bytes_ ? 4 : 3);
        for (size_t y = 0; y < h && used < out_stride_; ++y)
            std::fill(dst + y * out_stride_ + used, dst + (y + 1) * out_stride_, BYTE{0});
        out->SetActualDataLength(static_cast<LONG>(out_size));
        return S_OK;
    }

private:
    // Set by prepare() before streaming; used on the streaming thread.
    VideoFormat in_;
    bool four_bytes_ = true;
    size_t out_stride_ = 0;
    std::unique_ptr<JpegDecoder> decoder_;
};

const ClassRegistration registration(CLSID_MjpegDec, "MjpegDec", &create_instance<MjpegDecompressor>);
const TransformRegistration transform({CLSID_MjpegDec, u"MJPEG Decompressor", &accepts, 0x00600000});

}  // namespace
}  // namespace vorsim
