#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelorin {

// Asks that the whole huge pages inside a buffer of several megabytes be huge pages where the
// system allows them: filling it then costs one page fault per 2 MiB instead of one per 4 KiB,
// a few times faster. A hint that may be refused.
inline void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t last = (begin + bytes) & ~(kHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

// Reserves room for n elements, as huge pages where the system allows them: a whole input
// file or its samples are several megabytes.
template <class T>
void ReserveLarge(std::vector<T>& buffer, size_t n) {
  buffer.reserve(n);
  AdviseHugePages(buffer.data(), n * sizeof(T));
}

}  // namespace pelorin
