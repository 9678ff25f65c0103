// This file contains the whole-series entry point: the table of operations and the dispatch
// to each family's calculation of whole lines.
#include "indicators/series.h"

#include "indicators/series_lines.h"

namespace zolv {

const char* const kSeriesOpNames[kSeriesOpCount + 1] = {
    "bollingerband", "cci",   "conv_ema",   "conv_sma",      "dmi",   "ema", "hlband",
    "macd",          "mfi",   "momentum",   "psychological", "rci",   "roc", "rsi",
    "sma",           "stc_d", "stc_k",      "stc_sd",        "stdev", "tr",  "ultimate_osi",
    "vr1",           "vr2",   "williams_r", "wvr",           nullptr};

namespace {

struct OpInfo {
    SeriesShape shape;
    int width;
    size_t params;
};

// Indexed by SeriesOp.
constexpr OpInfo kOpInfo[kSeriesOpCount] = {
    {SeriesShape::kRealList, 6, 1},     // bollingerband
    {SeriesShape::kReal, 1, 1},         // cci
    {SeriesShape::kReal, 1, 2},         // conv_ema
    {SeriesShape::kReal, 1, 2},         // conv_sma
    {SeriesShape::kRealList, 4, 2},     // dmi
    {SeriesShape::kReal, 1, 1},         // ema
    {SeriesShape::kIntegerList, 3, 1},  // hlband
    {SeriesShape::kRealList, 2, 3},     // macd
    {SeriesShape::kReal, 1, 1},         // mfi
    {SeriesShape::kReal, 1, 1},         // momentum
    {SeriesShape::kReal, 1, 1},         // psychological
    {SeriesShape::kReal, 1, 1},         // rci
    {SeriesShape::kReal, 1, 1},         // roc
    {SeriesShape::kReal, 1, 1},         // rsi
    {SeriesShape::kReal, 1, 1},         // sma
    {SeriesShape::kReal, 1, 2},         // stc_d
    {SeriesShape::kReal, 1, 1},         // stc_k
    {SeriesShape::kReal, 1, 3},         // stc_sd
    {SeriesShape::kReal, 1, 1},         // stdev
    {SeriesShape::kInteger, 1, 0},      // tr
    {SeriesShape::kReal, 1, 1},         // ultimate_osi
    {SeriesShape::kReal, 1, 1},         // vr1
    {SeriesShape::kReal, 1, 1},         // vr2
    {SeriesShape::kReal, 1, 1},         // williams_r
    {SeriesShape::kReal, 1, 1},         // wvr
};

}  // namespace

bool find_series_op(const std::string& name, SeriesOp* op) {
    for (int k = 0; k < kSeriesOpCount; ++k) {
        if (name == kSeriesOpNames[k]) {
            *op = static_cast<SeriesOp>(k);
            return true;
        }
    }
    return false;
}

namespace {

// `series` without its interrupt: the result's storage and the line of `op`.
int compute_series(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& params,
                   SeriesResult* out) {
    const int index = static_cast<int>(op);
    if (index < 0 || index >= kSeriesOpCount) return ZOLV_UNKNOWN_ERROR;
    const OpInfo& info = kOpInfo[index];
    if (params.size() != info.params) return ZOLV_UNKNOWN_ERROR;
    const size_t count = z.close.size();  // bar k is the cursor index k
    SeriesResult& r = *out;               // filled in place, so repeated calls reuse its storage
    r.shape = info.shape;
    r.width = info.width;
    r.defined.clear();
    r.integer_parts = 0;
    r.valid.resize(count);  // every value and flag is written below: no need to clear first
    const size_t values = count * static_cast<size_t>(info.width);
    if (info.shape == SeriesShape::kInteger || info.shape == SeriesShape::kIntegerList) {
        r.integers.resize(values);
        r.reals.clear();
    } else {
        r.reals.resize(values);
        r.integers.clear();
    }
    const int p0 = params.size() > 0 ? params[0] : 0;
    const int p1 = params.size() > 1 ? params[1] : 0;
    const int p2 = params.size() > 2 ? params[2] : 0;
    Writer w(&r);
    Bars answered = kNoBars;
    switch (op) {
        case SeriesOp::kBollingerband:
            answered = bollingerband_series(z, type, p0, w);
            break;
        case SeriesOp::kCci:
            answered = cci_series(z, p0, w);
            break;
        case SeriesOp::kConvEma:
            answered = conv_series(z, type, p0, p1, true, w);
            break;
        case SeriesOp::kConvSma:
            answered = conv_series(z, type, p0, p1, false, w);
            break;
        case SeriesOp::kDmi:
            answered = dmi_series(z, p0, p1, w);
            break;
        case SeriesOp::kEma:
            answered = ema_series(z, type, p0, w);
            break;
        case SeriesOp::kHlband:
            answered = hlband_series(z, p0, w);
            break;
        case SeriesOp::kMacd:
            answered = macd_series(z, p0, p1, p2, w);
            break;
        case SeriesOp::kMfi:
            answered = mfi_series(z, p0, w);
            break;
        case SeriesOp::kMomentum:
            answered = momentum_series(z, type, p0, w);
            break;
        case SeriesOp::kPsychological:
            answered = psychological_series(z, type, p0, w);
            break;
        case SeriesOp::kRci:
            answered = rci_series(z, type, p0, w);
            break;
        case SeriesOp::kRoc:
            answered = roc_series(z, p0, w);
            break;
        case SeriesOp::kRsi:
            answered = rsi_series(z, p0, w);
            break;
        case SeriesOp::kSma:
            answered = sma_series(z, type, p0, w);
            break;
        case SeriesOp::kStcD:
            answered = stc_d_series(z, p0, p1, w);
            break;
        case SeriesOp::kStcK:
            answered = k_series(z, p0, false, w);
            break;
        case SeriesOp::kStcSd:
            answered = stc_sd_series(z, p0, p1, p2, w);
            break;
        case SeriesOp::kStdev:
            answered = stdev_series(z, type, p0, w);
            break;
        case SeriesOp::kTr:
            answered = tr_series(z, w);
            break;
        case SeriesOp::kUltimateOsi:
            answered = ultimate_osi_series(z, p0, w);
            break;
        case SeriesOp::kVr1:
            answered = volume_ratio_series(z, VolumeRatio::kVr1, p0, w);
            break;
        case SeriesOp::kVr2:
            answered = volume_ratio_series(z, VolumeRatio::kVr2, p0, w);
            break;
        case SeriesOp::kWilliamsR:
            answered = k_series(z, p0, true, w);
            break;
        case SeriesOp::kWvr:
            answered = volume_ratio_series(z, VolumeRatio::kWvr, p0, w);
            break;
    }
    w.clear_outside(answered);
    return ZOLV_OK;
}

}  // namespace

int series(const ZOLV& z, SeriesOp op, char type, const std::vector<int>& params, SeriesResult* out,
           SeriesInterrupt* interrupt) {
    CallStop stop{interrupt};
    const StopScope scope(&stop, true);
    try {
        return compute_series(z, op, type, params, out);
    } catch (const SeriesStopped&) {
        return kSeriesStopped;
    }
}

}  // namespace zolv
