// This file contains the Tcl commands of moving averages and standard deviation.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int stdev_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_stdevself type t ", &ZOLV::stdev);
}

int ema_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_emaself type t ", &ZOLV::ema);
}

int sma_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_smaself type t ", &ZOLV::sma);
}

int conv_ema_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "ocii:zolv::ZOLV_conv_emaself type s l ",
                         &ZOLV::conv_ema);
}

int conv_sma_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "ocii:zolv::ZOLV_conv_smaself type s l ",
                         &ZOLV::conv_sma);
}

}  // namespace zolv
