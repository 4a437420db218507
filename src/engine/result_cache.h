// The result cache of the shaded draw modes: the escape count and the last z
// of every grid point, and the view they were computed for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/zeroed_block.h"
#include "values/fractal_types.h"
#include "values/view.h"

namespace nimbrel {

// One grid point of the potential modes: the escape count and the last z.
struct TResultCell {
    int32_t Count = 0;
    TComplexPoint Z;
};
// The cache lives in zeroed memory (TZeroedBlock), where all bits zero are
// the cell {0, (0, 0)}.
static_assert(std::is_trivially_copyable_v<TResultCell> && std::is_aggregate_v<TResultCell>);

// The cells of a grid, indexed [X][Y], the column first: Columns() columns of
// Rows() cells each, in one block, column after column. A fresh cache reads
// as cells {0, (0, 0)}; its pages are cleared by the system as they are
// first written, so that allocating a cache of a 3840 x 2160 picture costs
// next to nothing before its cells are computed.
class TResultCache {
public:
    using TColumn = std::span<TResultCell>;
    using TConstColumn = std::span<const TResultCell>;

    TResultCache() = default;
    TResultCache(const TResultCache& Other);
    TResultCache& operator=(const TResultCache& Other);
    TResultCache(TResultCache&& Other) noexcept;
    TResultCache& operator=(TResultCache&& Other) noexcept;

    // Columns columns of Rows fresh cells; raises std::bad_alloc when the
    // memory is refused (or the size overflows), and is then empty.
    void Allocate(std::size_t Columns, std::size_t Rows);
    // Columns columns, each a copy of Column.
    void assign(std::size_t Columns, const std::vector<TResultCell>& Column);
    void clear() { *this = TResultCache(); }
    void swap(TResultCache& Other) noexcept;

    // The number of columns, and of cells in each.
    std::size_t size() const { return columns_; }
    bool empty() const { return columns_ == 0; }
    std::size_t Rows() const { return rows_; }

    // Column X (X < size(); not checked, as with a vector).
    TColumn operator[](std::size_t X) { return TColumn(Cells() + X * rows_, rows_); }
    TConstColumn operator[](std::size_t X) const { return TConstColumn(Cells() + X * rows_, rows_); }

    // The columns in order.
    template <class Cache, class Column> class TColumnIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Column;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Column;
        TColumnIterator() = default;
        TColumnIterator(Cache* cache, std::size_t x) : cache_(cache), x_(x) {}
        Column operator*() const { return (*cache_)[x_]; }
        TColumnIterator& operator++() {
            ++x_;
            return *this;
        }
        TColumnIterator operator++(int) {
            TColumnIterator old = *this;
            ++x_;
            return old;
        }
        bool operator==(const TColumnIterator& other) const { return x_ == other.x_; }

    private:
        Cache* cache_ = nullptr;
        std::size_t x_ = 0;
    };
    using iterator = TColumnIterator<TResultCache, TColumn>;
    using const_iterator = TColumnIterator<const TResultCache, TConstColumn>;
    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, columns_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, columns_); }

private:
    TResultCell* Cells() const { return static_cast<TResultCell*>(block_.Data()); }

    TZeroedBlock block_;
    std::size_t columns_ = 0;
    std::size_t rows_ = 0;
};

// What the result cache was computed for: the view, the size, the limit and
// the escape radius. Width and Height give the cache's shape whether or not
// its cells are complete; only a complete computation makes it match a view.
struct TResultCacheKey {
    TView View;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t MaxIter = 0;
    double EscapeRadius = 0;
    bool Complete = false;
};

}  // namespace nimbrel
