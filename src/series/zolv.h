// The bar store ZOLV, its status codes, and the calculation class ZOLV_CALC.
// Nothing here knows about Tcl.
#pragma once

#include <cstdint>
#include <vector>

#include "indicators/ema_memory.h"
#include "indicators/state_memory.h"
#include "series/column.h"

// Status codes returned by every ZOLV operation.
constexpr int ZOLV_OK = 0;
constexpr int ZOLV_UNKNOWN_ERROR = 1;
constexpr int ZOLV_CALC_ERROR = 2;
constexpr int ZOLV_LISTLENGTH_ERROR = 3;

// The indicator calculations. Stateless: every function reads the columns it is
// given, works at bar index i and returns true on failure. Results are written
// only on success and only through pointers that are not null.
class ZOLV_CALC {
public:
    // Simple moving average of the n bars ending at i.
    bool sma(int n, const Column& c, int i, double* out) const;
    // Exponential moving average seeded with the sma of the n oldest bars.
    bool ema(int n, const Column& c, int i, double* out) const;
    // Sample standard deviation (divisor n - 1) of the n bars ending at i.
    bool stdev(int n, const Column& c, int i, double* out) const;
    // Deviation rate in percent of the s-bar average from the l-bar average;
    // kind 0 uses sma, kind 1 ema.
    bool conv(int s, int l, int kind, const Column& c, int i, double* out) const;

    // Bands at one, two and three standard deviations around the t-bar mean.
    bool bollingerband(int t, const Column& c, int i, double* upper1, double* lower1,
                       double* upper2, double* lower2, double* upper3, double* lower3) const;
    // Highest high, lowest low and their truncated midpoint over the t bars before i.
    bool hlband(int t, const Column& h, const Column& l, int i, int32_t* highest, int32_t* lowest,
                int32_t* middle) const;
    // ema(t1) - ema(t2) at i, and its plain average over the sig bars ending at i.
    bool macd(int t1, int t2, int sig, const Column& c, int i, double* macd, double* signal) const;

    // c[i] - c[i - n], exact.
    bool momentum(int n, const Column& c, int i, int64_t* out) const;
    // c[i] / c[i - n] in percent.
    bool roc(int n, const Column& c, int i, double* out) const;
    // Percentage of rising steps among the n steps ending at i.
    bool psychological(int n, const Column& c, int i, double* out) const;
    // Relative strength of close against open over the n bars ending at i.
    bool rsi(int n, const Column& o, const Column& c, int i, double* out) const;
    // Rank correlation of time and value over the n bars ending at i, in percent.
    bool rci(int n, const Column& c, int i, double* out) const;

    // Commodity channel index over t bars.
    bool cci(int t, const Column& h, const Column& l, const Column& c, int i, double* out) const;

    // True range of bar b (needs bar b - 1).
    bool tr(const Column& h, const Column& l, const Column& c, int b, int64_t* out) const;
    // +DI, -DI and DX of the n-bar window ending at b; ADX the mean of m DX values.
    bool dmi(int n, int m, const Column& h, const Column& l, const Column& c, int b, double* pdi,
             double* mdi, double* dx, double* adx) const;

    // Fast stochastic %K over t bars.
    bool stc_k(int t, const Column& h, const Column& l, const Column& c, int b, double* out) const;
    // %D: summed %K numerators over summed ranges of m consecutive windows.
    bool stc_d(int t, int m, const Column& h, const Column& l, const Column& c, int b,
               double* out) const;
    // Slow %D: mean of y consecutive %D values.
    bool stc_sd(int t, int m, int y, const Column& h, const Column& l, const Column& c, int b,
                double* out) const;
    // Williams %R over t bars on a positive 0..100 scale.
    bool williams_r(int t, const Column& h, const Column& l, const Column& c, int b,
                    double* out) const;
    // Ultimate oscillator over t, 2t and 4t bars.
    bool ultimate_osi(int t, const Column& h, const Column& l, const Column& c, int b,
                      double* out) const;

    // Volume ratios over the t bars ending at b.
    bool vr1(int t, const Column& c, const Column& v, int b, double* out) const;
    bool vr2(int t, const Column& c, const Column& v, int b, double* out) const;
    bool wvr(int t, const Column& c, const Column& v, int b, double* out) const;
    // Money flow index over the t bars ending at b.
    bool mfi(int t, const Column& h, const Column& l, const Column& c, const Column& v, int b,
             double* out) const;
};

// The calculator object: five equal-length columns, the calculation member and
// the cursor pos (bars back from the newest; -1 means no bar).
class ZOLV {
public:
    Column open;
    Column high;
    Column low;
    Column close;
    Column volume;
    ZOLV_CALC calc;
    int32_t pos = -1;
    // The exponential averages walked so far (ema, conv_ema, macd), kept by the
    // store operations: a bar added at the newest end keeps them all.
    mutable zolv::EmaMemory ema_memory;
    // The states of the operations that depend on every bar before them (rsi_wilder, adx,
    // ...), kept by the store operations as the averages are.
    mutable zolv::StateMemory state_memory;

    // Store operations. Every check comes before any change; the five columns
    // grow together or not at all (an allocation failure throws and changes
    // nothing). Bars are added and removed at either end in amortized
    // constant time.
    int setlist(const int32_t* values, int count);
    int clear();
    int push_front(const int32_t* values, int count);
    int push_back(const int32_t* values, int count);
    int pop_front();
    int pop_back();
    int size(int* count) const;
    int at(int n, std::vector<int32_t>& bar) const;
    int value(char type, int32_t* out) const;

    // "o" or "O" open, "h" or "H" high, "l" or "L" low, "v" or "V" volume, anything else close.
    const Column& select_column(char type) const;
    // The lower-case letter of the column `type` selects: "o", "h", "l", "v" or "c".
    static char column_letter(char type);
    // Index of the bar at the cursor: size of close - pos - 1 (32-bit wrap).
    int cursor_index() const;

    // Indicator operations: ZOLV_OK, or ZOLV_CALC_ERROR when the calculation fails.
    int sma(char type, int t, double* out) const;
    int ema(char type, int t, double* out) const;
    int stdev(char type, int t, double* out) const;
    int conv_sma(char type, int s, int l, double* out) const;
    int conv_ema(char type, int s, int l, double* out) const;

    // List results: on success `out` is emptied and refilled; on failure untouched.
    int bollingerband(char type, int t, std::vector<double>& out) const;
    int hlband(int t, std::vector<int32_t>& out) const;
    int macd(int t1, int t2, int sig, std::vector<double>& out) const;

    int momentum(char type, int n, double* out) const;
    int roc(int n, double* out) const;
    int psychological(char type, int t, double* out) const;
    int rsi(int t, double* out) const;
    int rci(char type, int t, double* out) const;

    int cci(int t, double* out) const;

    int tr(int64_t* out) const;
    int dmi(int n, int m, std::vector<double>& out) const;

    int stc_k(int t, double* out) const;
    int stc_d(int t, int m, double* out) const;
    int stc_sd(int t, int m, int y, double* out) const;
    int williams_r(int t, double* out) const;
    int ultimate_osi(int t, double* out) const;

    int vr1(int t, double* out) const;
    int vr2(int t, double* out) const;
    int wvr(int t, double* out) const;
    int mfi(int t, double* out) const;
};

// Shared by the calculations: the number of elements of a column as an int64,
// and a 32-bit value widened to unsigned-compare semantics (a negative value
// compares as a huge one).
inline int64_t column_size(const Column& c) {
    return static_cast<int64_t>(c.size());
}
inline int64_t as_unsigned(int v) {
    return static_cast<int64_t>(static_cast<uint32_t>(v));
}

// The window check of the windowed calculations: fails (true) unless the n bars
// ending at i, i - n + 1 .. i, all lie inside the column (so n >= 1, 0 <= i < size).
inline bool window_fails(int n, const Column& c, int i) {
    if (as_unsigned(n) > column_size(c) || n <= 0) return true;
    if (c.empty()) return true;
    if (as_unsigned(i) >= column_size(c) || i < 0) return true;
    return static_cast<int64_t>(i) - n + 1 < 0;
}
