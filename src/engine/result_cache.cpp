#include "engine/result_cache.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace nimbrel {

TResultCache::TResultCache(const TResultCache& Other) {
    Allocate(Other.columns_, Other.rows_);
    if (!empty() && rows_ != 0) std::memcpy(Cells(), Other.Cells(), columns_ * rows_ * sizeof(TResultCell));
}

TResultCache& TResultCache::operator=(const TResultCache& Other) {
    if (this != &Other) {
        TResultCache copy(Other);
        swap(copy);
    }
    return *this;
}

TResultCache::TResultCache(TResultCache&& Other) noexcept
    : block_(std::move(Other.block_)),
      columns_(std::exchange(Other.columns_, 0)),
      rows_(std::exchange(Other.rows_, 0)) {}

TResultCache& TResultCache::operator=(TResultCache&& Other) noexcept {
    TResultCache moved(std::move(Other));
    swap(moved);
    return *this;
}

void TResultCache::swap(TResultCache& Other) noexcept {
    std::swap(block_, Other.block_);
    std::swap(columns_, Other.columns_);
    std::swap(rows_, Other.rows_);
}

void TResultCache::Allocate(std::size_t Columns, std::size_t Rows) {
    clear();
    if (Rows != 0 && Columns > std::numeric_limits<std::size_t>::max() / sizeof(TResultCell) / Rows)
        throw std::bad_alloc();
    block_ = TZeroedBlock(Columns * Rows * sizeof(TResultCell));
    columns_ = Columns;
    rows_ = Rows;
}

void TResultCache::assign(std::size_t Columns, const std::vector<TResultCell>& Column) {
    Allocate(Columns, Column.size());
    for (std::size_t x = 0; x < Columns; ++x) std::copy(Column.begin(), Column.end(), (*this)[x].begin());
}

}  // namespace nimbrel
