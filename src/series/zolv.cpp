// This file contains the bar store of ZOLV: filling, trimming and reading the
// five columns, the column selection and the cursor index.
#include "series/zolv.h"

#include <algorithm>

namespace {

// Makes room for `extra` more bars in every column before any column changes,
// so that the appends that follow cannot fail half-way. An empty store gets
// exactly the capacity it needs; a growing one at least doubles.
void reserve_bars(ZOLV& z, size_t extra) {
    const size_t needed = z.close.size() + extra;
    if (needed <= z.close.capacity() && needed <= z.open.capacity() &&
        needed <= z.high.capacity() && needed <= z.low.capacity() &&
        needed <= z.volume.capacity()) {
        return;
    }
    const size_t target = z.close.empty() ? needed : std::max(needed, 2 * z.close.size());
    for (Column* col : {&z.open, &z.high, &z.low, &z.close, &z.volume}) {
        if (col->capacity() < needed) col->reserve(target);
    }
}

}  // namespace

int ZOLV::setlist(const int32_t* values, int count) {
    if (count <= 0 || count % 5 != 0) return ZOLV_LISTLENGTH_ERROR;
    const size_t bars = static_cast<size_t>(count / 5);
    reserve_bars(*this, bars);
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
    Column().swap(open);
    Column().swap(high);
    Column().swap(low);
    Column().swap(close);
    Column().swap(volume);
    pos = -1;
    return ZOLV_OK;
}

int ZOLV::push_back(const int32_t* values, int count) {
    if (count != 5) return ZOLV_LISTLENGTH_ERROR;
    reserve_bars(*this, 1);
    open.push_back(values[0]);
    high.push_back(values[1]);
    low.push_back(values[2]);
    close.push_back(values[3]);
    volume.push_back(values[4]);
    return ZOLV_OK;
}

int ZOLV::push_front(const int32_t* values, int count) {
    if (count != 5) return ZOLV_LISTLENGTH_ERROR;
    reserve_bars(*this, 1);
    open.insert(open.begin(), values[0]);
    high.insert(high.begin(), values[1]);
    low.insert(low.begin(), values[2]);
    close.insert(close.begin(), values[3]);
    volume.insert(volume.begin(), values[4]);
    return ZOLV_OK;
}

int ZOLV::pop_front() {
    // An empty store stays empty; each column loses its oldest bar if it has one.
    for (Column* col : {&open, &high, &low, &close, &volume}) {
        if (!col->empty()) col->erase(col->begin());
    }
    return ZOLV_OK;
}

int ZOLV::pop_back() {
    for (Column* col : {&open, &high, &low, &close, &volume}) {
        if (!col->empty()) col->pop_back();
    }
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

const Column& ZOLV::select_column(char type) const {
    switch (type) {
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
