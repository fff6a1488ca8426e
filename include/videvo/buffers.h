// Raw buffers of doubles from the interpreter's memory allocator.
//
// Trajectories keep their knot vector and control points in such buffers and
// release them with PyMem_Free.  A Buffer owns one until it is handed over with
// release() (typically to the machine-level constructor from_ptrs, once that
// has succeeded), so every failure before the hand-over frees it.
#pragma once

#include "errors.h"
#include "huge_pages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace videvo {

struct PyMemFree {
    void operator()(double* p) const noexcept { PyMem_Free(p); }
};

class Buffer {
public:
    Buffer() = default;

    // A buffer of `count` doubles, contents unset; MemoryError("memory
    // allocation failed") when the allocator refuses (or the size overflows).
    static Buffer allocate(std::int64_t count) {
        if (count < 0 || static_cast<std::uint64_t>(count) > PY_SSIZE_T_MAX / sizeof(double)) raise_memory();
        // PyMem_Malloc(0) returns a unique non-null pointer, so an empty
        // buffer is still present.
        double* p = static_cast<double*>(PyMem_Malloc(static_cast<std::size_t>(count) * sizeof(double)));
        if (p == nullptr) raise_memory();
        advise_huge_pages(p, static_cast<std::size_t>(count) * sizeof(double));
        return Buffer(p, count);
    }

    // A new buffer holding a copy of data[0..count-1] (one block copy).
    static Buffer copy_of(const void* data, std::int64_t count) {
        Buffer b = allocate(count);
        if (count > 0) std::memcpy(b.get(), data, static_cast<std::size_t>(count) * sizeof(double));
        return b;
    }

    // Keeps the first `count` doubles and returns the rest to the allocator;
    // MemoryError("memory allocation failed") when it refuses.
    void shrink(std::int64_t count) {
        if (count >= size_) return;
        void* p = PyMem_Realloc(data_.get(), static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(double));
        if (p == nullptr) raise_memory();
        (void)data_.release();
        data_.reset(static_cast<double*>(p));
        size_ = count;
    }

    double* get() const noexcept { return data_.get(); }
    std::int64_t size() const noexcept { return size_; }
    double* release() noexcept { return data_.release(); }

private:
    Buffer(double* p, std::int64_t count) : data_(p), size_(count) {}
    std::unique_ptr<double, PyMemFree> data_;
    std::int64_t size_ = 0;
};

}  // namespace videvo
