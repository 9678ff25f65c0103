// This file contains the Tcl commands of momentum, rate of change, psychological line, RSI and RCI.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int momentum_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kMomentum, kMomentumFormat,
                         &ZOLV::momentum);
}

int psychological_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kPsychological, kPsychologicalFormat,
                         &ZOLV::psychological);
}

int rci_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kRci, kRciFormat, &ZOLV::rci);
}

int roc_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kRoc, kRocFormat, &ZOLV::roc);
}

int rsi_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kRsi, kRsiFormat, &ZOLV::rsi);
}

}  // namespace zolv
