#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pelorin {

// Reserves room for n elements. A buffer of several megabytes, as a whole input file or its
// samples are, costs a page fault per 4 KiB page when it is first filled; on Linux it is asked
// to take huge pages where the system allows them, which makes filling it a few times faster.
template <class T>
void ReserveLarge(std::vector<T>& buffer, size_t n) {
  buffer.reserve(n);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(buffer.data());
  const uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t last = (begin + n * sizeof(T)) & ~(kHuge - 1);
  // Only the whole huge pages inside the buffer; a hint that may be refused.
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace pelorin
