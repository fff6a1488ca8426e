// Work arrays of the kernel: small ones live on the stack, larger ones are
// taken from the heap without throwing, so that a routine can report a failed
// allocation through its status code.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace videvo {

template <std::size_t Inline = 64>
class WorkArray {
public:
    explicit WorkArray(std::size_t count) noexcept {
        if (count <= Inline) {
            data_ = stack_;
        } else {
            heap_.reset(new (std::nothrow) double[count]);
            data_ = heap_.get();
        }
    }
    WorkArray(const WorkArray&) = delete;
    WorkArray& operator=(const WorkArray&) = delete;

    bool ok() const noexcept { return data_ != nullptr; }
    double* get() noexcept { return data_; }
    double& operator[](std::size_t i) noexcept { return data_[i]; }

private:
    double stack_[Inline];
    std::unique_ptr<double[]> heap_;
    double* data_ = nullptr;
};

}  // namespace videvo
