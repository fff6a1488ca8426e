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

// A trajectory's knot vector and control points in one block: one allocation
// and one release instead of two.  Each array can be placed so that a bulk
// copy into it runs between addresses at the same offset within a 64-byte
// line: between mutually misaligned addresses every wide load straddles two
// lines, and the copy runs at a fraction of the speed.
class TwinBuffer {
public:
    // Where an array goes: `count` doubles whose element `lead` lies at the
    // same offset within a line as `like` (anywhere when `like` is null).
    struct Layout {
        std::int64_t count;
        const double* like = nullptr;
        std::int64_t lead = 0;
    };

    // MemoryError("memory allocation failed") when the allocator refuses.
    static TwinBuffer allocate(Layout knots, Layout cpts) {
        TwinBuffer t;
        // (room for both arrays at any offset within a line)
        t.block_ = Buffer::allocate(knots.count + cpts.count + 2 * (kLine - 1));
        t.knots_ = t.block_.get() + offset(t.block_.get(), knots);
        t.cpts_ = t.knots_ + knots.count + offset(t.knots_ + knots.count, cpts);
        return t;
    }

    double* knots() const noexcept { return knots_; }
    double* cpts() const noexcept { return cpts_; }
    // The block (what the owner releases), handed over.
    double* release() noexcept { return block_.release(); }

private:
    static constexpr std::int64_t kLine = 64 / sizeof(double);

    // The first index from `at` on that puts element `lead` level with `like`.
    static std::int64_t offset(const double* at, const Layout& a) noexcept {
        if (a.like == nullptr) return 0;
        const std::uintptr_t target = reinterpret_cast<std::uintptr_t>(a.like) - a.lead * sizeof(double);
        return static_cast<std::int64_t>(((target - reinterpret_cast<std::uintptr_t>(at)) % 64) / sizeof(double));
    }

    Buffer block_;
    double* knots_ = nullptr;
    double* cpts_ = nullptr;
};

}  // namespace videvo
