// This file contains the Tcl commands of true range and directional movement.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int tr_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kTr, kTrFormat, &ZOLV::tr);
}

int dmi_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kDmi, kDmiFormat, &ZOLV::dmi);
}

}  // namespace zolv
