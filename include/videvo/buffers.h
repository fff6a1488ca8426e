// Raw buffers of doubles from the interpreter's memory allocator.
//
// Trajectories keep their knot vector and control points in such buffers and
// release them with PyMem_Free.  A Buffer owns one until it is handed over with
// release() (typically to the machine-level constructor from_ptrs, once that
// has succeeded), so every failure before the hand-over frees it.
#pragma once

#include "errors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace videvo {

// Asks the kernel to back a large block with transparent huge pages (where
// it leaves that to the program): a fresh block then costs one page fault per
// 2 MiB instead of one per 4 KiB, which saves most of the fault handling on
// the first write.  Only the whole pages inside the block are advised; a
// refusal changes nothing.
inline void advise_huge_pages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < (std::size_t{4} << 20)) return;
    static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t begin = (start + page - 1) / page * page;
    const std::uintptr_t end = (start + bytes) / page * page;
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

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
