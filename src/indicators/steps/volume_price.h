// Averages weighted by volume and money flow, written as steps (see definition.h): avwap,
// cmf, vwap, vwma. Every sum is exact; a window whose volumes add up to 0 has no value.
#pragma once

#include <vector>

#include "indicators/definition.h"

namespace zolv {

// (H + L + C) * V of bar k, exact.
inline __int128 typical_volume(const Input& in, int64_t k) {
    const int64_t typical = int64_t{in.high[k]} + in.low[k] + in.close[k];
    return static_cast<__int128>(typical) * in.volume[k];
}

// The sums of a volume-weighted average: S of the weighted prices, W of the volumes.
struct VolumeSums {
    __int128 weighted = 0;
    int64_t volume = 0;
};

// double(S) / (3.0 * double(W)); nothing where W is 0.
inline void vwap_of(const VolumeSums& s, Out& out) {
    if (s.volume == 0) return;
    out.real(0, static_cast<double>(s.weighted) / (3.0 * static_cast<double>(s.volume)));
}

// C * V of bar k, exact.
inline __int128 close_volume(const Input& in, int64_t k) {
    return static_cast<__int128>(int64_t{in.close[k]} * in.volume[k]);
}

// The exact sums over the n bars ending at the bar of Weighted(bar) and of V. From bar n - 1.
template <__int128 (*Weighted)(const Input&, int64_t)>
struct WindowVolumeSums : Definition {
    int32_t n;
    explicit WindowVolumeSums(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    struct State {
        int64_t seen = 0;
        VolumeSums sums;
    };
    void step(State& s, const Input& in, int64_t k) const {
        s.sums.weighted += Weighted(in, k);
        s.sums.volume += in.volume[k];
        if (++s.seen > n) {
            s.sums.weighted -= Weighted(in, k - n);
            s.sums.volume -= in.volume[k - n];
        }
    }
};

// vwap n: over the n bars ending at the bar, S = the sum of (H + L + C) * V and W = the sum of
// V: double(S) / (3.0 * double(W)). From bar n - 1.
struct Vwap : WindowVolumeSums<typical_volume> {
    using WindowVolumeSums::WindowVolumeSums;
    void value(const State& s, const Input&, int64_t, Out& out) const { vwap_of(s.sums, out); }
};

// avwap from: the same sums over the bars from bar `from` (0 the oldest) to the bar: the
// anchored VWAP. From bar `from`.
struct Avwap : Definition {
    int32_t from;
    explicit Avwap(const OpArgs& a) : from(a.ints[0]) {}
    bool valid() const { return from >= 0; }
    int64_t lookback() const { return from; }

    using State = VolumeSums;
    void step(State& s, const Input& in, int64_t k) const {
        if (k < from) return;
        s.weighted += typical_volume(in, k);
        s.volume += in.volume[k];
    }
    void value(const State& s, const Input&, int64_t, Out& out) const { vwap_of(s, out); }
};

// vwma n: over the n bars ending at the bar, double(the sum of C * V) / double(the sum of V).
// From bar n - 1.
struct Vwma : WindowVolumeSums<close_volume> {
    using WindowVolumeSums::WindowVolumeSums;
    void value(const State& s, const Input&, int64_t, Out& out) const {
        if (s.sums.volume == 0) return;
        out.real(0, static_cast<double>(s.sums.weighted) / static_cast<double>(s.sums.volume));
    }
};

// The money flow volume of bar k: ((C - L) - (H - C)) * V / (H - L), the differences exact, the
// product and quotient in doubles in that order; 0.0 where H == L.
inline double money_flow_volume(const Input& in, int64_t k) {
    const int64_t h = in.high[k];
    const int64_t l = in.low[k];
    const int64_t c = in.close[k];
    if (h == l) return 0.0;
    return static_cast<double>((c - l) - (h - c)) * static_cast<double>(in.volume[k]) /
           static_cast<double>(h - l);
}

// cmf n: Chaikin money flow, the sum of the n money flow volumes ending at the bar, added
// oldest first, divided by double(the sum of their V). From bar n - 1.
struct Cmf : Definition {
    int32_t n;
    explicit Cmf(const OpArgs& a) : n(a.ints[0]) {}
    bool valid() const { return n >= 1; }
    int64_t lookback() const { return int64_t{n} - 1; }
    int64_t span() const { return n; }

    struct State {
        int64_t seen = 0;
        int64_t volume = 0;
        std::vector<double> flows;  // of the n newest bars, bar j at j % n
    };
    void step(State& s, const Input& in, int64_t k) const {
        const double flow = money_flow_volume(in, k);
        if (s.seen < n) {
            s.flows.push_back(flow);
        } else {
            s.flows[static_cast<size_t>(s.seen % n)] = flow;
        }
        s.volume += in.volume[k];
        if (++s.seen > n) s.volume -= in.volume[k - n];
    }
    // Called once n bars are in.
    void value(const State& s, const Input&, int64_t, Out& out) const {
        if (s.volume == 0) return;
        const size_t oldest = static_cast<size_t>(s.seen % n);
        const size_t count = static_cast<size_t>(n);
        double sum = s.flows[oldest];
        for (size_t j = oldest + 1; j < count; ++j) sum = sum + s.flows[j];
        for (size_t j = 0; j < oldest; ++j) sum = sum + s.flows[j];
        out.real(0, sum / static_cast<double>(s.volume));
    }
};

}  // namespace zolv
