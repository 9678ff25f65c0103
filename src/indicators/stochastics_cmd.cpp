// This file contains the Tcl commands of the stochastics, Williams %R and the ultimate oscillator.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int stc_k_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_stc_kself t ", &ZOLV::stc_k);
}

int stc_d_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oii:zolv::ZOLV_stc_dself t m ", &ZOLV::stc_d);
}

int stc_sd_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oiii:zolv::ZOLV_stc_sdself t m y ", &ZOLV::stc_sd);
}

int ultimate_osi_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_ultimate_osiself t ",
                         &ZOLV::ultimate_osi);
}

int williams_r_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_williams_rself t ", &ZOLV::williams_r);
}

}  // namespace zolv
