// Trend indicators written as steps (see definition.h): adx, macd_ema, sar.
#pragma once

#include <cmath>

#include "indicators/definition.h"
#include "indicators/ema_chain.h"

namespace zolv {

// adx n -> {+DI -DI ADX}. For each bar after the first: up = H - previous H, down = previous L
// - L; +DM = up where up > 0 and up > down, else 0; -DM = down where down > 0 and down > up,
// else 0; TR the true range. Over bars 1 .. n - 1 they are summed (exactly); from bar n on each
// sum is smoothed as sum - sum / n + the bar's value. +DI = 100.0 * (+DM sum / TR sum), -DI
// alike, both 0 where the TR sum is below 1e-14; DX = 100.0 * (|-DI - +DI| / (-DI + +DI)),
// not formed where the TR sum or -DI + +DI is below 1e-14. ADX at bar 2n - 1 is the sum of the
// DX of bars n .. 2n - 1 (those formed) divided by n; after it (ADX * (n - 1) + DX) / n where
// DX is formed, else it stays. +DI and -DI first at bar n, ADX at bar 2n - 1.
struct Adx : Definition {
    static constexpr int kWidth = 3;
    int32_t n;
    explicit Adx(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 2; }
    int64_t lookback() const { return n; }
    int64_t adx_first() const { return 2 * int64_t{n} - 1; }

    struct State {
        int32_t high = 0, low = 0, close = 0;  // of the bar before
        int64_t plus_sum = 0, minus_sum = 0, range_sum = 0;
        double plus = 0.0, minus = 0.0, range = 0.0;
        double dx_sum = 0.0;
        double adx = 0.0;
    };
    // +DI and -DI of the smoothed sums.
    void indexes(const State& s, double* plus_di, double* minus_di) const {
        if (near_zero(s.range)) {
            *plus_di = *minus_di = 0.0;
            return;
        }
        *minus_di = 100.0 * (s.minus / s.range);
        *plus_di = 100.0 * (s.plus / s.range);
    }
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t h = in.high[k];
        const int32_t l = in.low[k];
        if (k > 0) {
            const int64_t up = int64_t{h} - s.high;
            const int64_t down = int64_t{s.low} - l;
            const int64_t plus_dm = up > 0 && up > down ? up : 0;
            const int64_t minus_dm = down > 0 && up < down ? down : 0;
            const int64_t range = true_range(h, l, s.close);
            if (k < n) {
                s.plus_sum += plus_dm;
                s.minus_sum += minus_dm;
                s.range_sum += range;
            } else {
                smooth(s, plus_dm, minus_dm, range, k);
            }
        }
        s.high = h;
        s.low = l;
        s.close = in.close[k];
    }
    void smooth(State& s, int64_t plus_dm, int64_t minus_dm, int64_t range, int64_t k) const {
        if (k == n) {
            s.plus = static_cast<double>(s.plus_sum);
            s.minus = static_cast<double>(s.minus_sum);
            s.range = static_cast<double>(s.range_sum);
        }
        s.minus = s.minus - s.minus / n;
        s.plus = s.plus - s.plus / n;
        if (minus_dm > 0) s.minus = s.minus + static_cast<double>(minus_dm);
        if (plus_dm > 0) s.plus = s.plus + static_cast<double>(plus_dm);
        s.range = s.range - s.range / n + static_cast<double>(range);
        double dx = 0.0;
        bool formed = false;
        if (!near_zero(s.range)) {
            double plus_di = 0.0;
            double minus_di = 0.0;
            indexes(s, &plus_di, &minus_di);
            const double sum = minus_di + plus_di;
            if (!near_zero(sum)) {
                dx = 100.0 * (std::fabs(minus_di - plus_di) / sum);
                formed = true;
            }
        }
        if (k < adx_first()) {
            if (formed) s.dx_sum += dx;
        } else if (k == adx_first()) {
            if (formed) s.dx_sum += dx;
            s.adx = s.dx_sum / n;
        } else if (formed) {
            s.adx = (s.adx * (n - 1) + dx) / n;
        }
    }
    void value(const State& s, const Input&, int64_t k, Out& out) const {
        double plus_di = 0.0;
        double minus_di = 0.0;
        indexes(s, &plus_di, &minus_di);
        out.real(0, plus_di);
        out.real(1, minus_di);
        if (k >= adx_first()) out.real(2, s.adx);
    }
};

// macd_ema x fast slow signal -> {macd signal histogram}: macd = ema(fast) - ema(slow) of
// column x, each the existing ema (seeded with the mean of its first n bars, then prev + 2 /
// (n + 1) * (x - prev)); signal an EMA of the macd values: seeded with their first `signal`
// values added oldest first, divided by `signal`, then the same step with 2 / (signal + 1);
// histogram = macd - signal. fast and slow are swapped when slow < fast. macd first at bar
// slow - 1, signal and histogram at bar slow + signal - 2.
struct MacdEma : Definition {
    static constexpr int kWidth = 3;
    int32_t fast, slow, signal;
    explicit MacdEma(const OpArgs& a)
        : fast(std::min(a.ints[0], a.ints[1])),
          slow(std::max(a.ints[0], a.ints[1])),
          signal(a.ints[2]) {}
    bool valid() const { return fast >= 2 && slow >= 2 && signal >= 1; }
    int64_t lookback() const { return int64_t{slow} - 1; }
    int64_t signal_first() const { return int64_t{slow} + signal - 2; }

    struct State {
        int64_t fast_sum = 0, slow_sum = 0;
        double fast_ema = 0.0, slow_ema = 0.0;
        double signal_sum = 0.0;
        double signal_ema = 0.0;
    };
    // One exponential average over n bars after bar k: the mean of bars 0 .. n - 1 at bar
    // n - 1, then one step per bar.
    static void average(int64_t& sum, double& ema, int32_t n, int32_t x, int64_t k) {
        if (k < n) {
            sum += x;
            if (k == n - 1) ema = static_cast<double>(sum) / n;
            return;
        }
        ema = EmaChain::next(ema, ema_factor(n), static_cast<double>(x));
    }
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t x = in.x[k];
        average(s.fast_sum, s.fast_ema, fast, x, k);
        average(s.slow_sum, s.slow_ema, slow, x, k);
        if (k < lookback()) return;
        const double macd = s.fast_ema - s.slow_ema;
        if (k < signal_first()) {
            s.signal_sum = s.signal_sum + macd;
        } else if (k == signal_first()) {
            s.signal_sum = s.signal_sum + macd;
            s.signal_ema = s.signal_sum / signal;
        } else {
            s.signal_ema = EmaChain::next(s.signal_ema, ema_factor(signal), macd);
        }
    }
    void value(const State& s, const Input&, int64_t k, Out& out) const {
        const double macd = s.fast_ema - s.slow_ema;
        out.real(0, macd);
        if (k < signal_first()) return;
        out.real(1, s.signal_ema);
        out.real(2, macd - s.signal_ema);
    }
};

// sar accel max: the parabolic stop and reverse. accel is taken as max where it is larger.
// At bar 1 the trend is falling where L[0] - L[1] > 0 and H[1] - H[0] < L[0] - L[1], else
// rising; rising: ep = H[1], sar = L[0]; falling: ep = L[1], sar = H[0]; af = accel; the bar
// before bar 1 counts as bar 1 itself. Then at each bar from 1 on, with H, L the bar's and PH,
// PL the bar before's, rising: if L <= sar, the trend turns: sar = max(ep, PH, H) is the bar's
// value, af = accel, ep = L, sar = sar + af * (ep - sar) kept at least PH and H; otherwise the
// value is sar, and where H > ep: ep = H, af = min(af + accel, max); sar = sar + af * (ep -
// sar) kept at most PL and L. Falling mirrors it (H >= sar turns it). From bar 1.
struct Sar : Definition {
    double given, accel, maximum;
    explicit Sar(const OpArgs& a)
        : given(a.reals[0]),
          accel(a.reals[0] > a.reals[1] ? a.reals[1] : a.reals[0]),
          maximum(a.reals[1]) {}
    bool valid() const {
        return given >= 0.0 && given <= 3e37 && maximum >= 0.0 && maximum <= 3e37;
    }
    int64_t lookback() const { return 1; }

    struct State {
        int32_t high = 0, low = 0;  // of the bar before
        bool rising = false;
        double af = 0.0, ep = 0.0, sar = 0.0;
        double value = 0.0;  // the bar's stop
    };
    static void at_least(double& v, double floor) {
        if (v < floor) v = floor;
    }
    static void at_most(double& v, double ceiling) {
        if (v > ceiling) v = ceiling;
    }
    void step(State& s, const Input& in, int64_t k) const {
        const int32_t h = in.high[k];
        const int32_t l = in.low[k];
        if (k > 0) {
            double before_high = s.high;
            double before_low = s.low;
            if (k == 1) {
                const int64_t up = int64_t{h} - s.high;
                const int64_t down = int64_t{s.low} - l;
                s.rising = !(down > 0 && up < down);
                s.af = accel;
                s.ep = s.rising ? h : l;
                s.sar = s.rising ? s.low : s.high;
                before_high = h;
                before_low = l;
            }
            turn(s, h, l, before_high, before_low);
        }
        s.high = h;
        s.low = l;
    }
    void turn(State& s, double high, double low, double before_high, double before_low) const {
        if (s.rising) {
            if (low <= s.sar) {
                s.rising = false;
                s.sar = s.ep;
                at_least(s.sar, before_high);
                at_least(s.sar, high);
                s.value = s.sar;
                s.af = accel;
                s.ep = low;
                s.sar = s.sar + s.af * (s.ep - s.sar);
                at_least(s.sar, before_high);
                at_least(s.sar, high);
                return;
            }
            s.value = s.sar;
            if (high > s.ep) {
                s.ep = high;
                s.af = s.af + accel;
                at_most(s.af, maximum);
            }
            s.sar = s.sar + s.af * (s.ep - s.sar);
            at_most(s.sar, before_low);
            at_most(s.sar, low);
            return;
        }
        if (high >= s.sar) {
            s.rising = true;
            s.sar = s.ep;
            at_most(s.sar, before_low);
            at_most(s.sar, low);
            s.value = s.sar;
            s.af = accel;
            s.ep = high;
            s.sar = s.sar + s.af * (s.ep - s.sar);
            at_most(s.sar, before_low);
            at_most(s.sar, low);
            return;
        }
        s.value = s.sar;
        if (low < s.ep) {
            s.ep = low;
            s.af = s.af + accel;
            at_most(s.af, maximum);
        }
        s.sar = s.sar + s.af * (s.ep - s.sar);
        at_least(s.sar, before_high);
        at_least(s.sar, high);
    }
    void value(const State& s, const Input&, int64_t, Out& out) const { out.real(0, s.value); }
};

}  // namespace zolv
