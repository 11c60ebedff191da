// A heap array left uninitialised, for the codecs' large work buffers: they are always written
// before they are read, and skipping the zero fill matters when an archive holds many small
// files, each coded as a stream of its own.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>

namespace dravik::archive {

template <typename T>
class CodecBuffer {
public:
    explicit CodecBuffer(size_t size) : data_(size ? new T[size] : nullptr), size_(size) {}

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    size_t size() const { return size_; }
    T& operator[](size_t i) { return data_[i]; }
    // Reallocates to `size` elements, keeping the first `keep`.
    void resize(size_t size, size_t keep) {
        std::unique_ptr<T[]> bigger(new T[size]);
        std::copy(data_.get(), data_.get() + std::min(keep, size), bigger.get());
        data_ = std::move(bigger);
        size_ = size;
    }
    const T& operator[](size_t i) const { return data_[i]; }

private:
    std::unique_ptr<T[]> data_;
    size_t size_;
};

}  // namespace dravik::archive
