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
#include <unistd.h>
#endif

namespace lodvik {

#if defined(LODVIK_GLIBC_HEAP)
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
// The largest block taken from the heap rather than mapped on its own; a run's room must be one.
constexpr int LargestHeapBlock = 1 << 30;
// glibc's own threshold above which the free memory at a heap's end goes back, and the free
// space it keeps at a heap's end (mallopt(3)).
constexpr int UsualTrimThreshold = 128 * 1024;
constexpr int UsualTopPad = 128 * 1024;
// A thread other than the first takes its blocks from heaps of at most 64 MiB each (glibc's
// arenas), which it maps as it needs them and drops once one is wholly free.
constexpr std::size_t ThreadHeap = std::size_t(64) << 20;
constexpr std::size_t ThreadHeapBlock = ThreadHeap - (std::size_t(1) << 20); // and its header
constexpr std::size_t MostThreadHeaps = 16;

bool onFirstThread() {
    return gettid() == getpid();
}

void adviseHuge(void *block, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (at + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t end = (at + bytes) & ~(HugePage - 1);
    if (end > first) // refused where the kernel has no huge pages: small pages then
        madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

} // namespace
#endif

void setUpHeap() {
#if defined(LODVIK_GLIBC_HEAP)
    mallopt(M_MMAP_THRESHOLD, LargestHeapBlock);
    // No fast bins: the .xlsx writer's thread takes and frees a block of some 2 KB for each XML
    // attribute it writes, and each taking first merged the small blocks freed into fast bins
    // since the last one (60 million instructions of a .xlsx run of 32,000 products). Small
    // blocks still come from each thread's own cache.
    mallopt(M_MXFAST, 0);
#endif
}

RunMemory::RunMemory(std::size_t bytes) {
#if defined(LODVIK_GLIBC_HEAP)
    mallopt(M_TRIM_THRESHOLD, LargestHeapBlock);
    bytes = std::min(bytes, std::size_t(LargestHeapBlock) / 2);
    if (onFirstThread()) {
        // Taken and freed at once: the freed block stays at the heap's end (well below the size
        // at which the heap would give it back), where the run's own blocks are then cut from.
        void *room = std::malloc(bytes);
        if (!room)
            return;
        adviseHuge(room, bytes);
        std::free(room);
        return;
    }
    // Another thread's room is a block of nearly a heap in each of as many heaps as it takes,
    // taken and freed at once; the free space kept at a heap's end raised to a whole heap keeps
    // each heap, and its freed block, for the run.
    m_threadHeaps = true;
    mallopt(M_TOP_PAD, int(ThreadHeap));
    void *blocks[MostThreadHeaps] = {};
    const std::size_t count =
        std::min(MostThreadHeaps, (bytes + ThreadHeapBlock - 1) / ThreadHeapBlock);
    for (std::size_t i = 0; i < count; ++i) {
        blocks[i] = std::malloc(ThreadHeapBlock);
        if (!blocks[i])
            break;
        adviseHuge(blocks[i], ThreadHeapBlock);
    }
    for (void *block : blocks)
        std::free(block);
#else
    (void)bytes;
    (void)m_threadHeaps;
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
    if (m_threadHeaps)
        mallopt(M_TOP_PAD, UsualTopPad);
#endif
    returnFreedMemory();
}

} // namespace lodvik
