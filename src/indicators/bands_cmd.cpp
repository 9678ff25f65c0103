// This file contains the Tcl commands of the bands and MACD.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int bollingerband_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kBollingerband, kBollingerbandFormat,
                         &ZOLV::bollingerband);
}

int hlband_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kHlband, kHlbandFormat,
                         &ZOLV::hlband);
}

int macd_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kMacd, kMacdFormat, &ZOLV::macd);
}

}  // namespace zolv
