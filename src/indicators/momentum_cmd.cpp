// This file contains the Tcl commands of momentum, rate of change, psychological line, RSI and RCI.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int momentum_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_momentumself type n ",
                         &ZOLV::momentum);
}

int psychological_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_psychologicalself type t ",
                         &ZOLV::psychological);
}

int rci_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oci:zolv::ZOLV_rciself type t ", &ZOLV::rci);
}

int roc_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_rocself n ", &ZOLV::roc);
}

int rsi_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_rsiself t ", &ZOLV::rsi);
}

}  // namespace zolv
