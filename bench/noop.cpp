// This file contains a Tcl module of commands that do nothing: the baseline
// against which the cost of the package's commands is measured.
#include <tcl.h>

namespace {

// Accepts any words and answers an empty result.
int noop_cmd(ClientData, Tcl_Interp*, int, Tcl_Obj* const[]) {
    return TCL_OK;
}

// Accepts any words and answers an integer, as a command with a result does.
int noop_int_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const[]) {
    Tcl_SetObjResult(interp, Tcl_NewIntObj(objc));
    return TCL_OK;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int Zolvnoop_Init(Tcl_Interp* interp) {
    if (!Tcl_InitStubs(interp, "8.6-", 0)) return TCL_ERROR;  // any Tcl from 8.6 on, 9 included
    // Creating a qualified command creates its namespace.
    Tcl_CreateObjCommand(interp, "zolvnoop::noop", noop_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "zolvnoop::noop_int", noop_int_cmd, nullptr, nullptr);
    return TCL_OK;
}
