// Work arrays of the kernel: small ones live on the stack, larger ones are
// taken from the heap without throwing, so that a routine can report a failed
// allocation through its status code.  Large ones ask for huge pages: a fresh
// block of many megabytes then costs a few page faults instead of thousands.
#pragma once

#include "../include/videvo/huge_pages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace videvo {

template <std::size_t Inline = 64>
class WorkArray {
public:
    explicit WorkArray(std::size_t count) noexcept {
        if (count <= Inline) {
            data_ = stack_;
        } else if (count <= SIZE_MAX / sizeof(double)) {
            heap_.reset(static_cast<double*>(std::malloc(count * sizeof(double))));
            data_ = heap_.get();
            if (data_ != nullptr) advise_huge_pages(data_, count * sizeof(double));
        }
    }
    WorkArray(const WorkArray&) = delete;
    WorkArray& operator=(const WorkArray&) = delete;

    bool ok() const noexcept { return data_ != nullptr; }
    double* get() noexcept { return data_; }
    double& operator[](std::size_t i) noexcept { return data_[i]; }

private:
    struct Free {
        void operator()(double* p) const noexcept { std::free(p); }
    };
    double stack_[Inline];
    std::unique_ptr<double, Free> heap_;
    double* data_ = nullptr;
};

}  // namespace videvo
