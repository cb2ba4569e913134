// Media samples and their pool.
#include "media_sample.h"

#include <cstdlib>
#include <new>

namespace vorsim {

namespace {

// A zeroed buffer, as an allocator's committed memory is. calloc rather
// than a zero-filling new: a large block comes straight from the system
// already zeroed, so the pages of a buffer that is never filled are never
// touched (a pool holds several buffers of a full frame).
BYTE* zeroed_buffer(LONG size) {
    void* p = std::calloc(size > 0 ? static_cast<size_t>(size) : 1, 1);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<BYTE*>(p);
}

}  // namespace

MediaSample::MediaSample(LONG size) : buffer_(zeroed_buffer(size)), size_(size), actual_(size) {}

HRESULT MediaSample::QueryInterface(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IMediaSample) {
        *ppv = static_cast<IMediaSample*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG MediaSample::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG MediaSample::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        // Back to the pool. The pool may go with it (its owner let go
        // earlier), and with the pool this sample: touch nothing after.
        std::shared_ptr<SamplePool> pool = std::move(pool_);
        if (pool) pool->give_back(this);
    }
    return left;
}

void MediaSample::reset_properties() {
    actual_ = size_;
    has_start_ = has_stop_ = has_media_time_ = false;
    sync_point_ = preroll_ = discontinuity_ = false;
    type_.reset();
}

HRESULT MediaSample::GetPointer(BYTE** ppBuffer) {
    if (ppBuffer == nullptr) return E_POINTER;
    *ppBuffer = buffer_.get();
    return S_OK;
}

LONG MediaSample::GetSize() { return size_; }

HRESULT MediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    if (pTimeStart == nullptr || pTimeEnd == nullptr) return E_POINTER;
    if (!has_start_) return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = start_;
    if (!has_stop_) {
        *pTimeEnd = start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = stop_;
    return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) {
    has_start_ = pTimeStart != nullptr;
    has_stop_ = has_start_ && pTimeEnd != nullptr;
    if (has_start_) start_ = *pTimeStart;
    if (has_stop_) stop_ = *pTimeEnd;
    return S_OK;
}

HRESULT MediaSample::IsSyncPoint() { return sync_point_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetSyncPoint(BOOL b) {
    sync_point_ = b != 0;
    return S_OK;
}
HRESULT MediaSample::IsPreroll() { return preroll_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetPreroll(BOOL b) {
    preroll_ = b != 0;
    return S_OK;
}
LONG MediaSample::GetActualDataLength() { return actual_; }

HRESULT MediaSample::SetActualDataLength(LONG a) {
    if (a < 0 || a > size_) return VFW_E_BUFFER_OVERFLOW;
    actual_ = a;
    return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType) {
    if (ppMediaType == nullptr) return E_POINTER;
    *ppMediaType = nullptr;
    if (!type_) return S_FALSE;  // unchanged
    *ppMediaType = type_->to_task_memory();
    return *ppMediaType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType) {
    if (pMediaType == nullptr) {
        type_.reset();
        return S_OK;
    }
    try {
        type_ = std::make_unique<MediaType>(*pMediaType);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MediaSample::IsDiscontinuity() { return discontinuity_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetDiscontinuity(BOOL b) {
    discontinuity_ = b != 0;
    return S_OK;
}

HRESULT MediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (pTimeStart == nullptr || pTimeEnd == nullptr) return E_POINTER;
    if (!has_media_time_) return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = media_start_;
    *pTimeEnd = media_stop_;
    return S_OK;
}

HRESULT MediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) {
    if (pTimeStart == nullptr || pTimeEnd == nullptr) {
        has_media_time_ = false;
        return S_OK;
    }
    has_media_time_ = true;
    media_start_ = *pTimeStart;
    media_stop_ = *pTimeEnd;
    return S_OK;
}

// ---- SamplePool --------------------------------------------------------------

std::shared_ptr<SamplePool> SamplePool::create(int count, LONG size) {
    return std::shared_ptr<SamplePool>(new SamplePool(count, size));
}

SamplePool::SamplePool(int count, LONG size) : size_(size) {
    all_.reserve(count > 0 ? count : 1);
    free_.reserve(count > 0 ? count : 1);
    for (int i = 0; i < count; ++i) {
        all_.push_back(std::make_unique<MediaSample>(size));
        free_.push_back(all_.back().get());
    }
}

SamplePool::~SamplePool() = default;

void SamplePool::commit() {
    std::lock_guard<std::mutex> lock(mutex_);
    committed_ = true;
}

void SamplePool::decommit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        committed_ = false;
    }
    returned_.notify_all();
}

bool SamplePool::committed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return committed_;
}

int SamplePool::free_count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(free_.size());
}

HRESULT SamplePool::get_buffer(IMediaSample** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    MediaSample* sample = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        returned_.wait(lock, [&] { return !committed_ || !free_.empty(); });
        if (!committed_) return VFW_E_NOT_COMMITTED;
        sample = free_.back();
        free_.pop_back();
    }
    sample->reset_properties();
    sample->pool_ = shared_from_this();
    sample->refs_.store(1, std::memory_order_relaxed);
    *out = sample;
    return S_OK;
}

void SamplePool::give_back(MediaSample* sample) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(sample);
    }
    returned_.notify_one();
}

}  // namespace vorsim
