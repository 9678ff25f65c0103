// This file contains the Tcl commands of the volume ratios and the money flow index.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int mfi_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_mfiself t ", &ZOLV::mfi);
}

int vr1_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_vr1self t ", &ZOLV::vr1);
}

int vr2_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_vr2self t ", &ZOLV::vr2);
}

int wvr_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(interp, objc, objv, "oi:zolv::ZOLV_wvrself t ", &ZOLV::wvr);
}

}  // namespace zolv
