#include "MDlib/RunMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// The sanitizers bring a heap of their own, which these settings would not reach.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LODVIK_OWN_HEAP 1
#endif
#endif
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(LODVIK_OWN_HEAP)
#define LODVIK_GLIBC_HEAP 1
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace lodvik {

#if defined(LODVIK_GLIBC_HEAP)
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
// The largest block taken from the heap rather than mapped on its own; a run's room must be one.
constexpr int LargestHeapBlock = 1 << 30;
// glibc's own threshold above which the free memory at a heap's end goes back (mallopt(3)).
constexpr int UsualTrimThreshold = 128 * 1024;

} // namespace
#endif

void setUpHeap() {
#if defined(LODVIK_GLIBC_HEAP)
    mallopt(M_MMAP_THRESHOLD, LargestHeapBlock);
#endif
}

RunMemory::RunMemory(std::size_t bytes) {
#if defined(LODVIK_GLIBC_HEAP)
    mallopt(M_TRIM_THRESHOLD, LargestHeapBlock);
#endif
#if defined(LODVIK_GLIBC_HEAP) && defined(MADV_HUGEPAGE)
    // Taken and freed at once: the freed block stays at the heap's end (well below the size at
    // which the heap would give it back), where the run's own blocks are then cut from.
    bytes = std::min(bytes, std::size_t(LargestHeapBlock) / 2);
    void *room = std::malloc(bytes);
    if (!room)
        return;
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(room);
    const std::uintptr_t first = (at + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t end = (at + bytes) & ~(HugePage - 1);
    if (end > first) // refused where the kernel has no huge pages: small pages then
        madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
    std::free(room);
#else
    (void)bytes;
#endif
}

void returnFreedMemory() {
#if defined(LODVIK_GLIBC_HEAP)
    malloc_trim(0);
#endif
}

RunMemory::~RunMemory() {
#if defined(LODVIK_GLIBC_HEAP)
    mallopt(M_TRIM_THRESHOLD, UsualTrimThreshold);
#endif
    returnFreedMemory();
}

} // namespace lodvik
