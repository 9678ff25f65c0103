// The zolv::series command. PLACEHOLDER until implemented.
#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {

int series_cmd(ClientData, Tcl_Interp* interp, int, Tcl_Obj* const[]) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj("not implemented", -1));
    return TCL_ERROR;
}

}  // namespace zolv
