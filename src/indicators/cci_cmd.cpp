// This file contains the Tcl commands of the commodity channel index.
#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"

namespace zolv {

int cci_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return run_operation(record, interp, objc, objv, SeriesOp::kCci, kCciFormat, &ZOLV::cci);
}

}  // namespace zolv
