// This file contains what every wrapper command shares: the status messages,
// the conversion of the object word and the result objects.
#include "binding/command.h"

namespace zolv {

int fail(Tcl_Interp* interp, int status) {
    const char* message = kUnknownErrorMessage;
    if (status == ZOLV_CALC_ERROR) {
        message = "calc error!!";
    } else if (status == ZOLV_LISTLENGTH_ERROR) {
        message = "list length error!!";
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    return TCL_ERROR;
}

int convert_self(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, bool allow_null) {
    bool live = false;
    if (convert_zolv_word(interp, word, out, &live) != TCL_OK) return TCL_ERROR;
    if (live || (!*out && allow_null)) return TCL_OK;
    // Forged, stale or null: nothing is read, written or destroyed.
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("invalid ZOLV object \"%s\"", Tcl_GetString(word)));
    return TCL_ERROR;
}

void set_result(Tcl_Interp* interp, double value) {
    Tcl_SetObjResult(interp, Tcl_NewDoubleObj(value));
}

void set_result(Tcl_Interp* interp, int64_t value) {
    Tcl_SetObjResult(interp, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(value)));
}

void set_result(Tcl_Interp* interp, const std::vector<double>& values) {
    Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
    for (double v : values) Tcl_ListObjAppendElement(nullptr, list, Tcl_NewDoubleObj(v));
    Tcl_SetObjResult(interp, list);
}

void set_result(Tcl_Interp* interp, const std::vector<int32_t>& values) {
    Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
    for (int32_t v : values) Tcl_ListObjAppendElement(nullptr, list, Tcl_NewIntObj(v));
    Tcl_SetObjResult(interp, list);
}

}  // namespace zolv
