// Whether an array holds a value twice, without sorting it.
#pragma once

#include <cmath>
#include <cstddef>

namespace videvo::trajdata {

// The smallest and the largest of the values and whether one is not a
// number, which has_repeated_value finds on its way where it reads every
// value (`known`; not for fewer than 2^16 values, nor when it finds a
// repeat).
struct ValueRange {
    double lo = INFINITY, hi = -INFINITY;
    bool nan = false, known = false;
};

// True when two entries of x[0..n-1] compare equal (0.0 and -0.0 included;
// NaNs equal nothing).  Linear time (n log n at most for values made to
// collide in its hash).  `scratch`, when given, is n * 8 bytes of memory
// that the check may overwrite (not x's); without it the check allocates
// them.  Beside them it takes three megabytes at most (values made to
// collide can take up to 16 bytes per entry).  Throws std::bad_alloc when
// memory is not available.  `range`, when given, receives the values' range
// as far as the check finds it.
bool has_repeated_value(const double* x, std::size_t n, void* scratch = nullptr, ValueRange* range = nullptr);

}  // namespace videvo::trajdata
