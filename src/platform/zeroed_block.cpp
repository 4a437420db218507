#include "platform/zeroed_block.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace nimbrel {

TZeroedBlock::TZeroedBlock(std::size_t Bytes) {
    if (Bytes == 0) return;
    data_ = std::calloc(Bytes, 1);
    if (data_ == nullptr) throw std::bad_alloc();
    size_ = Bytes;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only the whole huge pages inside the block; a refusal (huge pages
    // switched off) leaves ordinary pages, which work as well, more slowly.
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    const auto start = reinterpret_cast<std::uintptr_t>(data_);
    const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (start + Bytes) & ~(kHuge - 1);
    if (end > first) static_cast<void>(madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE));
#endif
}

TZeroedBlock::~TZeroedBlock() { std::free(data_); }

TZeroedBlock::TZeroedBlock(TZeroedBlock&& Other) noexcept
    : data_(std::exchange(Other.data_, nullptr)), size_(std::exchange(Other.size_, 0)) {}

TZeroedBlock& TZeroedBlock::operator=(TZeroedBlock&& Other) noexcept {
    if (this != &Other) {
        std::free(data_);
        data_ = std::exchange(Other.data_, nullptr);
        size_ = std::exchange(Other.size_, 0);
    }
    return *this;
}

}  // namespace nimbrel
