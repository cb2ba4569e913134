// Media samples and the pool they come from. An output pin owns a pool
// sized at connection; its streaming thread takes a sample, fills it and
// delivers it; the sample goes back to the pool on its final Release, so
// steady streaming allocates nothing. When every sample is out (held
// downstream), get_buffer waits, as a DirectShow allocator does: capture
// stalls until one comes back or the pool is decommitted (Stop).
#pragma once

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "com_object.h"
#include "media_type.h"

namespace vorsim {

class SamplePool;

class MediaSample final : public IMediaSample {
public:
    MediaSample(LONG size);
    MediaSample(const MediaSample&) = delete;
    MediaSample& operator=(const MediaSample&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** ppBuffer) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL bIsSyncPoint) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL bIsPreroll) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG a) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** ppMediaType) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* pMediaType) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL bDiscontinuity) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd) override;

private:
    friend class SamplePool;
    void reset_properties();  // as handed out: untimed, no flags, full length

    std::atomic<ULONG> refs_{0};
    std::shared_ptr<SamplePool> pool_;  // set while the sample is out
    struct FreeBuffer {
        void operator()(BYTE* p) const { std::free(p); }
    };
    std::unique_ptr<BYTE, FreeBuffer> buffer_;
    LONG size_;
    LONG actual_;
    bool has_start_ = false;
    bool has_stop_ = false;
    REFERENCE_TIME start_ = 0;
    REFERENCE_TIME stop_ = 0;
    bool has_media_time_ = false;
    LONGLONG media_start_ = 0;
    LONGLONG media_stop_ = 0;
    bool sync_point_ = false;
    bool preroll_ = false;
    bool discontinuity_ = false;
    std::unique_ptr<MediaType> type_;  // set only when the format changed in-stream
};

class SamplePool : public std::enable_shared_from_this<SamplePool> {
public:
    // count samples of size bytes each (throws std::bad_alloc).
    static std::shared_ptr<SamplePool> create(int count, LONG size);
    ~SamplePool();

    // Accepting get_buffer calls again.
    void commit();
    // Wakes and fails waiting and later get_buffer calls; samples already
    // out still come back.
    void decommit();
    bool committed() const;

    // A sample with one reference for the caller: S_OK; waits while every
    // sample is out; VFW_E_NOT_COMMITTED when decommitted.
    HRESULT get_buffer(IMediaSample** out);

    int count() const { return static_cast<int>(all_.size()); }
    LONG sample_size() const { return size_; }
    int free_count() const;

private:
    SamplePool(int count, LONG size);
    friend class MediaSample;
    void give_back(MediaSample* sample);

    const LONG size_;
    std::vector<std::unique_ptr<MediaSample>> all_;
    mutable std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<MediaSample*> free_;
    bool committed_ = false;
};

}  // namespace vorsim
