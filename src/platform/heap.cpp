#include "platform/heap.h"

#include <cstdint>
#include <cstdlib>  // defines __GLIBC__ with the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

void preferLargeHeapPages() {
#if defined(__GLIBC__)
  // The heap grows by this much address space at a time, and only what is touched is memory.
  constexpr int kGrowth = 512 << 20;
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  // Blocks up to 32 MB (vertex and index buffers) come from the heap rather than from mappings
  // of their own with small pages; freed space stays for the next frame instead of going back
  // to the system to be faulted in again.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  // Two heaps: the user-interface thread, which uploads and draws the scan, keeps the first;
  // each worker thread gets the one glibc finds free when it first allocates. The read and the
  // picking grid take the second; the suggested points, started once the first frame is shown,
  // mostly the first (7 starts of 8), where the frame's freed working memory waits for them. A
  // heap per thread kept each thread's freed space from the others (the suggestion added 74 MB
  // to the peak on a 1M-vertex scan); one heap for all interleaved the workers' blocks with the
  // upload's. The threads allocate in few, large blocks, so sharing costs no waiting.
  mallopt(M_ARENA_MAX, 2);
  mallopt(M_TOP_PAD, kGrowth);
  mallopt(M_TRIM_THRESHOLD, 2 * kGrowth);
  // One allocation larger than the heap's free top makes it grow now, so that the growth can
  // be marked for large pages. The volatile pointer keeps the allocation from being optimised
  // away.
  const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
  static void* volatile block;
  block = malloc(mallinfo2().keepcost + (1 << 20));
  const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
  free(block);
  const std::uintptr_t from = (before + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t to = after & ~(kLargePage - 1);
  // Advice only: a kernel without large pages keeps the small ones.
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

}  // namespace platform
