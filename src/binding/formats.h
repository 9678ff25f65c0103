// The format strings of the indicator commands: the codes of their words, then
// the usage text that argument errors quote. zolv::series parses an
// operation's words with the same string as its flat command.
#pragma once

namespace zolv {

constexpr char kStdevFormat[] = "oci:zolv::ZOLV_stdevself type t ";
constexpr char kEmaFormat[] = "oci:zolv::ZOLV_emaself type t ";
constexpr char kSmaFormat[] = "oci:zolv::ZOLV_smaself type t ";
constexpr char kConvEmaFormat[] = "ocii:zolv::ZOLV_conv_emaself type s l ";
constexpr char kConvSmaFormat[] = "ocii:zolv::ZOLV_conv_smaself type s l ";
constexpr char kBollingerbandFormat[] = "oci:zolv::ZOLV_bollingerbandself type t ";
constexpr char kCciFormat[] = "oi:zolv::ZOLV_cciself t ";
constexpr char kDmiFormat[] = "oii:zolv::ZOLV_dmiself n m ";
constexpr char kHlbandFormat[] = "oi:zolv::ZOLV_hlbandself t ";
constexpr char kMacdFormat[] = "oiii:zolv::ZOLV_macdself t1 t2 sig ";
constexpr char kMfiFormat[] = "oi:zolv::ZOLV_mfiself t ";
constexpr char kMomentumFormat[] = "oci:zolv::ZOLV_momentumself type n ";
constexpr char kPsychologicalFormat[] = "oci:zolv::ZOLV_psychologicalself type t ";
constexpr char kRciFormat[] = "oci:zolv::ZOLV_rciself type t ";
constexpr char kRocFormat[] = "oi:zolv::ZOLV_rocself n ";
constexpr char kRsiFormat[] = "oi:zolv::ZOLV_rsiself t ";
constexpr char kStcKFormat[] = "oi:zolv::ZOLV_stc_kself t ";
constexpr char kStcDFormat[] = "oii:zolv::ZOLV_stc_dself t m ";
constexpr char kStcSdFormat[] = "oiii:zolv::ZOLV_stc_sdself t m y ";
constexpr char kTrFormat[] = "o:zolv::ZOLV_trself ";
constexpr char kUltimateOsiFormat[] = "oi:zolv::ZOLV_ultimate_osiself t ";
constexpr char kWilliamsRFormat[] = "oi:zolv::ZOLV_williams_rself t ";
constexpr char kVr1Format[] = "oi:zolv::ZOLV_vr1self t ";
constexpr char kVr2Format[] = "oi:zolv::ZOLV_vr2self t ";
constexpr char kWvrFormat[] = "oi:zolv::ZOLV_wvrself t ";

}  // namespace zolv
