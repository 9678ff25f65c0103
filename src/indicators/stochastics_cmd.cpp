// This file contains the Tcl commands of the stochastics, Williams %R and the ultimate oscillator.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int stc_k_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kStcK, kStcKFormat, &ZOLV::stc_k);
}

int stc_d_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kStcD, kStcDFormat, &ZOLV::stc_d);
}

int stc_sd_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kStcSd, kStcSdFormat, &ZOLV::stc_sd);
}

int ultimate_osi_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kUltimateOsi, kUltimateOsiFormat,
                         &ZOLV::ultimate_osi);
}

int williams_r_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kWilliamsR, kWilliamsRFormat,
                         &ZOLV::williams_r);
}

}  // namespace zolv
