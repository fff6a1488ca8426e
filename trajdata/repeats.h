// Whether an array holds a value twice, without sorting it.
#pragma once

#include <cstddef>

namespace videvo::trajdata {

// True when two entries of x[0..n-1] compare equal (0.0 and -0.0 included;
// NaNs equal nothing).  Linear time; about one byte of work memory per
// entry.  Throws std::bad_alloc when that memory is not available.
bool has_repeated_value(const double* x, std::size_t n);

}  // namespace videvo::trajdata
