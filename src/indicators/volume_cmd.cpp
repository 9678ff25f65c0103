// This file contains the Tcl commands of the volume ratios and the money flow index.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int mfi_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kMfi, kMfiFormat, &ZOLV::mfi);
}

int vr1_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kVr1, kVr1Format, &ZOLV::vr1);
}

int vr2_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kVr2, kVr2Format, &ZOLV::vr2);
}

int wvr_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kWvr, kWvrFormat, &ZOLV::wvr);
}

}  // namespace zolv
