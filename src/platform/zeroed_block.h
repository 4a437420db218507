// TZeroedBlock: a large block of memory whose bytes read as zero until they
// are written, for arrays that are written over once before most of them are
// read (the result cache of the shaded draw modes).
//
// The block comes from calloc, which takes a large block from the system as
// fresh pages without clearing them: the system hands a page out zeroed when
// it is first touched. On Linux the block also asks for huge pages, because
// the first touch of each 4 KiB page is a trap into the system, which costs
// microseconds in a virtual machine, and a 3840 x 2160 result cache spans
// fifty thousand of them.
#pragma once

#include <cstddef>

namespace nimbrel {

class TZeroedBlock {
public:
    TZeroedBlock() = default;
    // Raises std::bad_alloc when the system refuses the memory.
    explicit TZeroedBlock(std::size_t Bytes);
    ~TZeroedBlock();
    TZeroedBlock(TZeroedBlock&& Other) noexcept;
    TZeroedBlock& operator=(TZeroedBlock&& Other) noexcept;
    TZeroedBlock(const TZeroedBlock&) = delete;
    TZeroedBlock& operator=(const TZeroedBlock&) = delete;

    void* Data() const { return data_; }
    std::size_t Size() const { return size_; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace nimbrel
