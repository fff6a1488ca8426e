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

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#if !defined(ASAN_POISON_MEMORY_REGION)
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

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

    // Takes over a block of `count` doubles from the interpreter's allocator.
    static Buffer adopt(double* p, std::int64_t count) noexcept { return Buffer(p, count); }

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
        const std::int64_t count = block_size(knots.count, cpts.count);
        if (parked_.block != nullptr && parked_.count >= count && parked_.count <= 2 * count) {
            ASAN_UNPOISON_MEMORY_REGION(parked_.block, parked_.count * sizeof(double));
            t.block_ = Buffer::adopt(parked_.block, parked_.count);
            parked_ = Parked{nullptr, 0};
        } else {
            t.block_ = Buffer::allocate(count);
        }
        t.knots_ = t.block_.get() + offset(t.block_.get(), knots);
        t.cpts_ = t.knots_ + knots.count + offset(t.knots_ + knots.count, cpts);
        return t;
    }

    double* knots() const noexcept { return knots_; }
    double* cpts() const noexcept { return cpts_; }
    // The block (what the owner releases), handed over.
    double* release() noexcept { return block_.release(); }

    // Releases a block that holds an array pair of these sizes (or one a
    // little larger, taken again from the parked one).  A loop that makes
    // and drops a trajectory per step would take and give back a block of the
    // same size every time, which costs the allocator about as much as a copy
    // of a small curve: the last block up to 1 MiB is kept for the next
    // allocation instead (and poisoned for the address sanitizer meanwhile).
    static void release(double* block, std::int64_t knot_count, std::int64_t cpts_count) noexcept {
        const std::int64_t count = block_size(knot_count, cpts_count);
        if (count > kParkedMax) {
            PyMem_Free(block);
            return;
        }
        if (parked_.block != nullptr) {
            ASAN_UNPOISON_MEMORY_REGION(parked_.block, parked_.count * sizeof(double));
            PyMem_Free(parked_.block);
        }
        parked_ = Parked{block, count};
        ASAN_POISON_MEMORY_REGION(block, count * sizeof(double));
    }

private:
    static constexpr std::int64_t kLine = 64 / sizeof(double);
    static constexpr std::int64_t kParkedMax = (std::int64_t{1} << 20) / sizeof(double);

    // Room for both arrays at any offset within a line.
    static std::int64_t block_size(std::int64_t knots, std::int64_t cpts) noexcept {
        return knots + cpts + 2 * (kLine - 1);
    }

    struct Parked {
        double* block;
        std::int64_t count;
    };
    // Touched with the interpreter lock held only.
    static inline Parked parked_{nullptr, 0};

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
