// This file contains the bar store of ZOLV: filling, trimming and reading the
// five columns, the column selection and the cursor index.
#include "series/zolv.h"

#include <array>

namespace {

// The five columns, in the order of a bar's values.
template <typename Store>
auto columns(Store& z) {
    return std::array<decltype(&z.open), 5>{&z.open, &z.high, &z.low, &z.close, &z.volume};
}

}  // namespace

int ZOLV::setlist(const int32_t* values, int count) {
    if (count <= 0 || count % 5 != 0) return ZOLV_LISTLENGTH_ERROR;
    const size_t bars = static_cast<size_t>(count / 5);
    // Room in every column first, so that the appends below cannot fail half-way.
    for (Column* col : columns(*this)) col->reserve_back(bars);
    for (size_t k = 0; k < bars; ++k) {
        const int32_t* bar = values + 5 * k;
        open.push_back(bar[0]);
        high.push_back(bar[1]);
        low.push_back(bar[2]);
        close.push_back(bar[3]);
        volume.push_back(bar[4]);
    }
    pos = 0;
    return ZOLV_OK;
}

int ZOLV::clear() {
    for (Column* col : columns(*this)) col->release();
    ema_memory.forget_all();
    state_memory.forget_all();
    pos = -1;
    return ZOLV_OK;
}

int ZOLV::push_back(const int32_t* values, int count) {
    if (count != 5) return ZOLV_LISTLENGTH_ERROR;
    for (Column* col : columns(*this)) col->reserve_back(1);
    const auto cols = columns(*this);
    for (size_t k = 0; k < 5; ++k) cols[k]->push_back(values[k]);
    return ZOLV_OK;
}

int ZOLV::push_front(const int32_t* values, int count) {
    if (count != 5) return ZOLV_LISTLENGTH_ERROR;
    for (Column* col : columns(*this)) col->reserve_front(1);
    const auto cols = columns(*this);
    for (size_t k = 0; k < 5; ++k) cols[k]->push_front(values[k]);
    ema_memory.forget_all();  // every average starts from another seed
    state_memory.forget_all();
    return ZOLV_OK;
}

int ZOLV::pop_front() {
    // An empty store stays empty; each column loses its oldest bar if it has one.
    for (Column* col : columns(*this)) col->pop_front();
    ema_memory.forget_all();
    state_memory.forget_all();
    return ZOLV_OK;
}

int ZOLV::pop_back() {
    for (Column* col : columns(*this)) col->pop_back();
    ema_memory.forget_from(static_cast<int>(close.size()));
    state_memory.forget_from(static_cast<int64_t>(close.size()));
    return ZOLV_OK;
}

int ZOLV::size(int* count) const {
    *count = static_cast<int>(open.size());
    return ZOLV_OK;
}

int ZOLV::at(int n, std::vector<int32_t>& bar) const {
    if (n < 0) return ZOLV_LISTLENGTH_ERROR;
    const size_t k = static_cast<size_t>(n);
    if (close.empty() || k >= close.size()) return ZOLV_LISTLENGTH_ERROR;
    // Every column has the same length; checking them all keeps a read in range
    // even if that ever stopped being true.
    for (const Column* col : {&open, &high, &low, &volume}) {
        if (k >= col->size()) return ZOLV_LISTLENGTH_ERROR;
    }
    bar.clear();
    bar.reserve(5);
    bar.push_back(open[k]);
    bar.push_back(high[k]);
    bar.push_back(low[k]);
    bar.push_back(close[k]);
    bar.push_back(volume[k]);
    return ZOLV_OK;
}

int ZOLV::value(char type, int32_t* out) const {
    const int i = cursor_index();
    const Column& col = select_column(type);
    if (col.empty() || static_cast<uint32_t>(i) >= col.size()) return ZOLV_LISTLENGTH_ERROR;
    *out = col[static_cast<size_t>(i)];
    return ZOLV_OK;
}

char ZOLV::column_letter(char type) {
    switch (type) {
        case 'o':
        case 'O':
            return 'o';
        case 'h':
        case 'H':
            return 'h';
        case 'l':
        case 'L':
            return 'l';
        case 'v':
        case 'V':
            return 'v';
        default:
            return 'c';
    }
}

const Column& ZOLV::select_column(char type) const {
    switch (column_letter(type)) {
        case 'o':
            return open;
        case 'h':
            return high;
        case 'l':
            return low;
        case 'v':
            return volume;
        default:
            return close;
    }
}

int ZOLV::cursor_index() const {
    // 32-bit signed arithmetic that wraps instead of overflowing: a cursor far
    // outside the series always lands on a negative index.
    const uint32_t n = static_cast<uint32_t>(close.size());
    return static_cast<int>(n - static_cast<uint32_t>(pos) - 1u);
}
