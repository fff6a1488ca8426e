// Transparent huge pages for large blocks: no Python here, so that the kernel's
// work arrays share the rule with the modules' buffers.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace videvo
