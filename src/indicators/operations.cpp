// This file contains the operation table of zolv::indicator and zolv::series: one row per
// operation, the rows of the older operations running their ZOLV methods and their lines.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "indicators/definition.h"
#include "indicators/ema_chain.h"
#include "indicators/operation.h"
#include "indicators/series_lines.h"
#include "indicators/steps/averages.h"
#include "indicators/steps/candles.h"
#include "indicators/steps/channels.h"
#include "indicators/steps/hull.h"
#include "indicators/steps/momentum.h"
#include "indicators/steps/oscillators.h"
#include "indicators/steps/trend.h"
#include "indicators/steps/volatility.h"
#include "indicators/steps/volume.h"
#include "indicators/steps/volume_price.h"
#include "indicators/steps/window.h"

namespace zolv {
namespace {

// ---- The older operations -----------------------------------------------------------------

// A result of a ZOLV method as one bar's value.
void answer(double v, OpValue* out) {
    out->shape = SeriesShape::kReal;
    out->reals[0] = v;
    out->defined[0] = 1;
}
void answer(int64_t v, OpValue* out) {
    out->shape = SeriesShape::kInteger;
    out->integers[0] = v;
    out->defined[0] = 1;
}
void answer(const std::vector<double>& values, OpValue* out) {
    out->shape = SeriesShape::kRealList;
    out->width = static_cast<int>(values.size());
    for (size_t j = 0; j < values.size(); ++j) {
        out->reals[j] = values[j];
        out->defined[j] = 1;
    }
}
void answer(const std::vector<int32_t>& values, OpValue* out) {
    out->shape = SeriesShape::kIntegerList;
    out->width = static_cast<int>(values.size());
    for (size_t j = 0; j < values.size(); ++j) {
        out->integers[j] = values[j];
        out->defined[j] = 1;
    }
}

// Calls the method and turns its result into `out` on success.
template <typename Result, typename Call>
int run(Call&& call, OpValue* out) {
    Result result{};
    const int status = call(result);
    if (status != ZOLV_OK) return status;
    OpValue v;
    answer(result, &v);
    *out = v;
    return ZOLV_OK;
}

// The ZOLV method of an older operation at the cursor.
int older_at(const ZOLV& z, const Operation& op, const OpArgs& a, int64_t, OpValue* out) {
    const char x = a.column;
    const int32_t* n = a.ints;
    using Reals = std::vector<double>;
    switch (static_cast<SeriesOp>(op.older)) {
        case SeriesOp::kBollingerband:
            return run<Reals>([&](Reals& r) { return z.bollingerband(x, n[0], r); }, out);
        case SeriesOp::kCci:
            return run<double>([&](double& r) { return z.cci(n[0], &r); }, out);
        case SeriesOp::kConvEma:
            return run<double>([&](double& r) { return z.conv_ema(x, n[0], n[1], &r); }, out);
        case SeriesOp::kConvSma:
            return run<double>([&](double& r) { return z.conv_sma(x, n[0], n[1], &r); }, out);
        case SeriesOp::kDmi:
            return run<Reals>([&](Reals& r) { return z.dmi(n[0], n[1], r); }, out);
        case SeriesOp::kEma:
            return run<double>([&](double& r) { return z.ema(x, n[0], &r); }, out);
        case SeriesOp::kHlband:
            return run<std::vector<int32_t>>(
                [&](std::vector<int32_t>& r) { return z.hlband(n[0], r); }, out);
        case SeriesOp::kMacd:
            return run<Reals>([&](Reals& r) { return z.macd(n[0], n[1], n[2], r); }, out);
        case SeriesOp::kMfi:
            return run<double>([&](double& r) { return z.mfi(n[0], &r); }, out);
        case SeriesOp::kMomentum:
            return run<double>([&](double& r) { return z.momentum(x, n[0], &r); }, out);
        case SeriesOp::kPsychological:
            return run<double>([&](double& r) { return z.psychological(x, n[0], &r); }, out);
        case SeriesOp::kRci:
            return run<double>([&](double& r) { return z.rci(x, n[0], &r); }, out);
        case SeriesOp::kRoc:
            return run<double>([&](double& r) { return z.roc(n[0], &r); }, out);
        case SeriesOp::kRsi:
            return run<double>([&](double& r) { return z.rsi(n[0], &r); }, out);
        case SeriesOp::kSma:
            return run<double>([&](double& r) { return z.sma(x, n[0], &r); }, out);
        case SeriesOp::kStcD:
            return run<double>([&](double& r) { return z.stc_d(n[0], n[1], &r); }, out);
        case SeriesOp::kStcK:
            return run<double>([&](double& r) { return z.stc_k(n[0], &r); }, out);
        case SeriesOp::kStcSd:
            return run<double>([&](double& r) { return z.stc_sd(n[0], n[1], n[2], &r); }, out);
        case SeriesOp::kStdev:
            return run<double>([&](double& r) { return z.stdev(x, n[0], &r); }, out);
        case SeriesOp::kTr:
            return run<int64_t>([&](int64_t& r) { return z.tr(&r); }, out);
        case SeriesOp::kUltimateOsi:
            return run<double>([&](double& r) { return z.ultimate_osi(n[0], &r); }, out);
        case SeriesOp::kVr1:
            return run<double>([&](double& r) { return z.vr1(n[0], &r); }, out);
        case SeriesOp::kVr2:
            return run<double>([&](double& r) { return z.vr2(n[0], &r); }, out);
        case SeriesOp::kWilliamsR:
            return run<double>([&](double& r) { return z.williams_r(n[0], &r); }, out);
        case SeriesOp::kWvr:
            return run<double>([&](double& r) { return z.wvr(n[0], &r); }, out);
    }
    return ZOLV_UNKNOWN_ERROR;
}

// The integers of an older operation, in order, as `series` and its command take them.
std::vector<int> older_params(const Operation& op, const OpArgs& a) {
    std::vector<int> params;
    for (const char* kind = op.kinds; *kind; ++kind) {
        if (*kind == 'i') params.push_back(a.ints[params.size()]);
    }
    return params;
}

// The averages ema, conv_ema and macd over the bars [first, range.end) (first at or after their
// first bar; bar k goes to bar k - range.first of `r`), from the values the object remembers at
// the bar `start` (first, or for macd the oldest bar of its signal window), each stepped on
// from there as the whole line steps it.
void remembered_range(const ZOLV& z, SeriesOp op, const OpArgs& a, Bars range, int64_t first,
                      SeriesResult* r) {
    const bool macd = op == SeriesOp::kMacd;
    const char column = macd ? 'c' : ZOLV::column_letter(a.column);
    const Column& c = macd ? z.close : z.select_column(a.column);
    const int n1 = a.ints[0];
    const int n2 = op == SeriesOp::kEma ? n1 : a.ints[1];
    const int64_t sig = macd ? a.ints[2] : 1;
    const int64_t start = first - sig + 1;
    double e1 = z.ema_memory.value_at(column, n1, c, static_cast<int>(start));
    double e2 = n2 == n1 ? e1 : z.ema_memory.value_at(column, n2, c, static_cast<int>(start));
    const double f1 = ema_factor(n1);
    const double f2 = ema_factor(n2);
    std::vector<double> line;  // macd's line from `start` on
    for (int64_t k = start; k < range.end; ++k) {
        if ((k - start) % kPollBars == kPollBars - 1) poll_stop();
        if (k > start) {
            const double x = static_cast<double>(c[static_cast<size_t>(k)]);
            e1 = EmaChain::next(e1, f1, x);
            e2 = n2 == n1 ? e1 : EmaChain::next(e2, f2, x);
        }
        if (macd) line.push_back(e1 - e2);
        if (k < first) continue;
        const size_t bar = static_cast<size_t>(k - range.first);
        double* out = r->reals.data() + bar * static_cast<size_t>(r->width);
        r->valid[bar] = 1;
        if (op == SeriesOp::kEma) {
            out[0] = e1;
        } else if (op == SeriesOp::kConvEma) {
            out[0] = (e1 / e2 - 1.0) * 100.0;
        } else {
            // The signal: the sig line values ending at bar k, summed newest first.
            const size_t newest = static_cast<size_t>(k - start);
            double sum = 0.0;
            for (size_t q = newest + 1; q-- > newest + 1 - static_cast<size_t>(sig);) {
                sum = line[q] + sum;
            }
            out[0] = line[newest];
            out[1] = sum / static_cast<double>(sig);
        }
    }
}

// The line of an older operation over `range` (within the bars), as operation_series answers
// it. The whole line is its own; a part of it comes from the remembered averages (ema,
// conv_ema, macd), or from the whole line of a copy of the bars the range and the windows of
// its values reach (every other older operation depends on the lookback bars before a bar
// only).
int older_series(const ZOLV& z, const Operation& op, const OpArgs& a, Bars range, SeriesResult* out,
                 SeriesInterrupt* interrupt) {
    const SeriesOp older = static_cast<SeriesOp>(op.older);
    const std::vector<int> params = older_params(op, a);
    const int64_t count = static_cast<int64_t>(z.close.size());
    if (range.first == 0 && range.end == count) {
        return series(z, older, a.column, params, out, interrupt);
    }
    SeriesResult& r = *out;
    const size_t bars = static_cast<size_t>(range.empty() ? 0 : range.end - range.first);
    const size_t width = static_cast<size_t>(op.width);
    const bool integers =
        op.shape == SeriesShape::kInteger || op.shape == SeriesShape::kIntegerList;
    r.shape = op.shape;
    r.width = op.width;
    r.integer_parts = 0;
    r.defined.clear();
    r.valid.assign(bars, 0);
    r.reals.assign(integers ? 0 : bars * width, 0.0);
    r.integers.assign(integers ? bars * width : 0, 0);
    if (bars == 0 || !op.valid(a)) return ZOLV_OK;
    const int64_t lookback = op.lookback(a);
    if (older == SeriesOp::kEma || older == SeriesOp::kConvEma || older == SeriesOp::kMacd) {
        const int64_t first = std::max(range.first, lookback);
        if (first >= range.end) return ZOLV_OK;
        CallStop stop{interrupt};
        const StopScope scope(&stop, true);
        try {
            remembered_range(z, older, a, range, first, &r);
        } catch (const SeriesStopped&) {
            return kSeriesStopped;
        }
        return ZOLV_OK;
    }
    const int64_t from = range.first - std::min(range.first, std::max<int64_t>(lookback, 0));
    ZOLV view;
    const auto part = [&](const Column& c) {
        return Column(c.begin() + from, c.begin() + range.end);
    };
    view.open = part(z.open);
    view.high = part(z.high);
    view.low = part(z.low);
    view.close = part(z.close);
    view.volume = part(z.volume);
    SeriesResult whole;
    const int status = series(view, older, a.column, params, &whole, interrupt);
    if (status != ZOLV_OK) return status;
    const size_t skip = static_cast<size_t>(range.first - from);
    std::copy(whole.valid.begin() + static_cast<std::ptrdiff_t>(skip), whole.valid.end(),
              r.valid.begin());
    const auto tail = [&](const auto& from_values, auto& to_values) {
        std::copy(from_values.begin() + static_cast<std::ptrdiff_t>(skip * width),
                  from_values.end(), to_values.begin());
    };
    if (integers) {
        tail(whole.integers, r.integers);
    } else {
        tail(whole.reals, r.reals);
    }
    return ZOLV_OK;
}

void older_line(const ZOLV& z, const Operation& op, const OpArgs& a, Bars range,
                SeriesResult* out) {
    if (older_series(z, op, a, range, out, nullptr) == kSeriesStopped) throw SeriesStopped();
}

// The ranges and first bars of the older operations: where their methods answer, given a bar
// under the cursor (roc also fails where its base close is 0).
bool at_least_1(const OpArgs& a, int count) {
    for (int k = 0; k < count; ++k) {
        if (a.ints[k] < 1) return false;
    }
    return true;
}
bool one_window(const OpArgs& a) {
    return at_least_1(a, 1);
}
bool two_windows(const OpArgs& a) {
    return at_least_1(a, 2);
}
bool three_windows(const OpArgs& a) {
    return at_least_1(a, 3);
}
bool any_args(const OpArgs&) {
    return true;
}
bool not_negative(const OpArgs& a) {
    return a.ints[0] >= 0;
}
int64_t n_minus_1(const OpArgs& a) {
    return int64_t{a.ints[0]} - 1;
}
int64_t n_bars(const OpArgs& a) {
    return a.ints[0];
}
int64_t longer_minus_1(const OpArgs& a) {
    return int64_t{std::max(a.ints[0], a.ints[1])} - 1;
}
int64_t macd_first(const OpArgs& a) {
    return int64_t{std::max(a.ints[0], a.ints[1])} + a.ints[2] - 2;
}
int64_t one_bar(const OpArgs&) {
    return 1;
}
int64_t n_plus_m(const OpArgs& a) {
    return int64_t{a.ints[0]} + a.ints[1];
}
int64_t t_plus_m_minus_2(const OpArgs& a) {
    return int64_t{a.ints[0]} + a.ints[1] - 2;
}
int64_t t_plus_m_plus_y_minus_3(const OpArgs& a) {
    return int64_t{a.ints[0]} + a.ints[1] + a.ints[2] - 3;
}
int64_t four_n(const OpArgs& a) {
    return 4 * int64_t{a.ints[0]};
}

constexpr Operation older(SeriesOp op, const char* name, const char* args, const char* kinds,
                          const char* results, SeriesShape shape, int width,
                          bool (*valid)(const OpArgs&), int64_t (*lookback)(const OpArgs&)) {
    return Operation{name, args,  kinds,    results,   shape,       width,
                     0,    valid, lookback, &older_at, &older_line, static_cast<int>(op)};
}

constexpr SeriesShape kReal = SeriesShape::kReal;

}  // namespace

// ---- The table ------------------------------------------------------------------------------
// One row per operation, in the alphabetical order of the names: a definition's row from
// define<Definition>(name, argument names, their kinds, the names of a list's parts).

const Operation kOperations[] = {
    define<Ad>("ad", "", "", ""),
    define<Adosc>("adosc", "fast slow", "ii", ""),
    define<Adx>("adx", "n", "i", "+DI -DI ADX"),
    define<Apo>("apo", "x fast slow", "cii", ""),
    define<Aroon>("aroon", "n", "i", "down up oscillator"),
    define<Atr>("atr", "n", "i", ""),
    define<Avwap>("avwap", "from", "i", ""),
    define<Bbands>("bbands", "x n k", "cid", "upper middle lower"),
    older(SeriesOp::kBollingerband, "bollingerband", "x t", "ci",
          "upper1 lower1 upper2 lower2 upper3 lower3", SeriesShape::kRealList, 6, &one_window,
          &n_minus_1),
    older(SeriesOp::kCci, "cci", "t", "i", "", kReal, 1, &one_window, &n_minus_1),
    define<Cmf>("cmf", "n", "i", ""),
    define<Cmo>("cmo", "x n", "ci", ""),
    older(SeriesOp::kConvEma, "conv_ema", "x s l", "cii", "", kReal, 1, &two_windows,
          &longer_minus_1),
    older(SeriesOp::kConvSma, "conv_sma", "x s l", "cii", "", kReal, 1, &two_windows,
          &longer_minus_1),
    define<Dema>("dema", "x n", "ci", ""),
    older(SeriesOp::kDmi, "dmi", "n m", "ii", "+DI -DI DX ADX", SeriesShape::kRealList, 4,
          &two_windows, &n_plus_m),
    define<Donchian>("donchian", "n", "i", "upper lower middle"),
    older(SeriesOp::kEma, "ema", "x t", "ci", "", kReal, 1, &one_window, &n_minus_1),
    define<HeikinAshi>("heikin_ashi", "", "", "open high low close"),
    older(SeriesOp::kHlband, "hlband", "t", "i", "highest lowest middle", SeriesShape::kIntegerList,
          3, &one_window, &n_bars),
    define<Hma>("hma", "n", "i", ""),
    define<Ichimoku>("ichimoku", "t k s", "iii", "tenkan kijun span_a span_b"),
    define<Kama>("kama", "x n", "ci", ""),
    define<Keltner>("keltner", "n mult m", "idi", "upper middle lower"),
    define<Linreg>("linreg", "x n", "ci", ""),
    define<LinregIntercept>("linreg_intercept", "x n", "ci", ""),
    define<LinregSlope>("linreg_slope", "x n", "ci", ""),
    older(SeriesOp::kMacd, "macd", "t1 t2 sig", "iii", "macd signal", SeriesShape::kRealList, 2,
          &three_windows, &macd_first),
    define<MacdEma>("macd_ema", "x fast slow signal", "ciii", "macd signal histogram"),
    older(SeriesOp::kMfi, "mfi", "t", "i", "", kReal, 1, &one_window, &n_bars),
    define<Midpoint>("midpoint", "x n", "ci", ""),
    define<Midprice>("midprice", "n", "i", ""),
    older(SeriesOp::kMomentum, "momentum", "x n", "ci", "", kReal, 1, &not_negative, &n_bars),
    define<Natr>("natr", "n", "i", ""),
    define<Obv>("obv", "", "", ""),
    define<Pivots>("pivots", "", "", "p r1 s1 r2 s2 r3 s3"),
    define<Ppo>("ppo", "x fast slow", "cii", ""),
    older(SeriesOp::kPsychological, "psychological", "x t", "ci", "", kReal, 1, &one_window,
          &n_bars),
    older(SeriesOp::kRci, "rci", "x t", "ci", "", kReal, 1, &one_window, &n_minus_1),
    older(SeriesOp::kRoc, "roc", "n", "i", "", kReal, 1, &not_negative, &n_bars),
    older(SeriesOp::kRsi, "rsi", "t", "i", "", kReal, 1, &one_window, &n_minus_1),
    define<RsiWilder>("rsi_wilder", "x n", "ci", ""),
    define<Sar>("sar", "accel max", "dd", ""),
    older(SeriesOp::kSma, "sma", "x t", "ci", "", kReal, 1, &one_window, &n_minus_1),
    older(SeriesOp::kStcD, "stc_d", "t m", "ii", "", kReal, 1, &two_windows, &t_plus_m_minus_2),
    older(SeriesOp::kStcK, "stc_k", "t", "i", "", kReal, 1, &one_window, &n_minus_1),
    older(SeriesOp::kStcSd, "stc_sd", "t m y", "iii", "", kReal, 1, &three_windows,
          &t_plus_m_plus_y_minus_3),
    older(SeriesOp::kStdev, "stdev", "x t", "ci", "", kReal, 1, &one_window, &n_minus_1),
    define<Stochrsi>("stochrsi", "x n m k d", "ciiii", "k d"),
    define<Supertrend>("supertrend", "n mult", "id", "line direction"),
    define<T3>("t3", "x n vfactor", "cid", ""),
    define<Tema>("tema", "x n", "ci", ""),
    older(SeriesOp::kTr, "tr", "", "", "", SeriesShape::kInteger, 1, &any_args, &one_bar),
    define<Trima>("trima", "x n", "ci", ""),
    define<Trix>("trix", "x n", "ci", ""),
    define<Tsf>("tsf", "x n", "ci", ""),
    older(SeriesOp::kUltimateOsi, "ultimate_osi", "t", "i", "", kReal, 1, &one_window, &four_n),
    older(SeriesOp::kVr1, "vr1", "t", "i", "", kReal, 1, &one_window, &n_bars),
    older(SeriesOp::kVr2, "vr2", "t", "i", "", kReal, 1, &one_window, &n_bars),
    define<Vwap>("vwap", "n", "i", ""),
    define<Vwma>("vwma", "n", "i", ""),
    older(SeriesOp::kWilliamsR, "williams_r", "t", "i", "", kReal, 1, &one_window, &n_minus_1),
    define<Wma>("wma", "x n", "ci", ""),
    older(SeriesOp::kWvr, "wvr", "t", "i", "", kReal, 1, &one_window, &n_bars),
    Operation{nullptr, nullptr, nullptr, nullptr, kReal, 0, 0, nullptr, nullptr, nullptr, nullptr,
              -1},
};
const int kOperationCount = static_cast<int>(sizeof kOperations / sizeof kOperations[0]) - 1;

const Operation* find_operation(const char* name) {
    for (int k = 0; k < kOperationCount; ++k) {
        if (std::strcmp(name, kOperations[k].name) == 0) return &kOperations[k];
    }
    return nullptr;
}

int operation_at_cursor(const ZOLV& z, const Operation& op, const OpArgs& args, OpValue* out) {
    return op.at(z, op, args, z.cursor_index(), out);
}

CalcFailure explain_operation_failure(const ZOLV& z, const Operation& op, const OpArgs& args) {
    if (op.older >= 0) {
        return explain_calc_failure(z, static_cast<SeriesOp>(op.older), older_params(op, args));
    }
    CalcFailure why;
    if (!op.valid(args)) {
        why.reason = CalcReason::kArgument;
        why.detail = std::string("the arguments are outside the range of ") + op.name + " " +
                     op.args + " (see the manual)";
        return why;
    }
    if (explain_cursor_or_window(z, op.lookback(args) + 1, &why)) return why;
    why.reason = CalcReason::kValue;
    why.detail = "a value of the bars cannot be used";
    return why;
}

int operation_series(const ZOLV& z, const Operation& op, const OpArgs& args, SeriesResult* out,
                     SeriesInterrupt* interrupt, Bars range) {
    range = intersect(range, Bars{0, static_cast<int64_t>(z.close.size())});
    if (range.empty()) range = Bars{range.first, range.first};
    if (op.older >= 0) return older_series(z, op, args, range, out, interrupt);
    CallStop stop{interrupt};
    const StopScope scope(&stop, true);
    try {
        op.line(z, op, args, range, out);
    } catch (const SeriesStopped&) {
        return kSeriesStopped;
    }
    return ZOLV_OK;
}

void drop_nan(SeriesResult* r) {
    if (r->reals.empty()) return;
    const size_t width = static_cast<size_t>(r->width);
    const size_t bars = r->valid.size();
    if (width == 1) {
        for (size_t k = 0; k < bars; ++k) {
            if (!std::isnan(r->reals[k])) continue;
            r->valid[k] = 0;
            r->reals[k] = 0.0;
        }
        return;
    }
    if (std::none_of(r->reals.begin(), r->reals.end(), [](double v) { return std::isnan(v); })) {
        return;
    }
    if (r->defined.empty()) {  // every part of a valid bar is defined
        r->defined.assign(bars * width, 0);
        for (size_t k = 0; k < bars; ++k) {
            std::fill_n(r->defined.begin() + static_cast<std::ptrdiff_t>(k * width), width,
                        r->valid[k]);
        }
    }
    for (size_t k = 0; k < bars; ++k) {
        if (!r->valid[k]) continue;
        bool any = false;
        for (size_t j = 0; j < width; ++j) {
            const size_t q = k * width + j;
            if (!integer_part(r->shape, r->integer_parts, static_cast<int>(j)) &&
                std::isnan(r->reals[q])) {
                r->defined[q] = 0;
                r->reals[q] = 0.0;
            }
            any = any || r->defined[q] != 0;
        }
        if (any) continue;
        r->valid[k] = 0;  // no part left: no value, its entries 0
        if (!r->integers.empty()) {
            std::fill_n(r->integers.begin() + static_cast<std::ptrdiff_t>(k * width), width, 0);
        }
    }
}

}  // namespace zolv
