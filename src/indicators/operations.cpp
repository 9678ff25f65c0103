// This file contains the operation table of zolv::indicator and zolv::series: one row per
// operation, the rows of the older operations running their ZOLV methods and their lines.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "indicators/definition.h"
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

void older_line(const ZOLV& z, const Operation& op, const OpArgs& a, SeriesResult* out) {
    series(z, static_cast<SeriesOp>(op.older), a.column, older_params(op, a), out);
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
                     SeriesInterrupt* interrupt) {
    if (op.older >= 0) {
        return series(z, static_cast<SeriesOp>(op.older), args.column, older_params(op, args), out,
                      interrupt);
    }
    CallStop stop{interrupt};
    const StopScope scope(&stop, true);
    try {
        op.line(z, op, args, out);
    } catch (const SeriesStopped&) {
        return kSeriesStopped;
    }
    return ZOLV_OK;
}

}  // namespace zolv
