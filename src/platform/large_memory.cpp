#include "platform/large_memory.h"

#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace LargeMemory {

void adviseLargePages(void *data, qsizetype size)
{
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t Page = std::uintptr_t(2) << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + Page - 1) & ~(Page - 1);
    const std::uintptr_t end = (start + std::uintptr_t(size)) & ~(Page - 1);
    if (size > 0 && end > first)
        ::madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace LargeMemory
