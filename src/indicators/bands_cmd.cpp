// This file contains the Tcl commands of the bands and MACD.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int bollingerband_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_bollingerbandself type t ",
                         &ZOLV::bollingerband);
}

int hlband_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_hlbandself t ", &ZOLV::hlband);
}

int macd_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oiii:zolv::ZOLV_macdself t1 t2 sig ", &ZOLV::macd);
}

}  // namespace zolv
