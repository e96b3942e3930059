#pragma once
// Memory hints for the few very large buffers of a conversion (events, notes,
// the document text).

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace common {

/// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
/// with huge pages. Filling a fresh buffer of hundreds of megabytes is bound
/// by page faults; huge pages cut their number by hundreds. Only a hint: it
/// changes no contents and is ignored where unsupported or for small buffers.
inline void advise_huge_pages([[maybe_unused]] const void* data,
                              [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (data == nullptr || bytes < 2 * kHugePage) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace common
