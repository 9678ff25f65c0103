// This file contains the Tcl commands of moving averages and standard deviation.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int stdev_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kStdev, kStdevFormat, &ZOLV::stdev);
}

int ema_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kEma, kEmaFormat, &ZOLV::ema);
}

int sma_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kSma, kSmaFormat, &ZOLV::sma);
}

int conv_ema_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kConvEma, kConvEmaFormat,
                         &ZOLV::conv_ema);
}

int conv_sma_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kConvSma, kConvSmaFormat,
                         &ZOLV::conv_sma);
}

}  // namespace zolv
