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

namespace {

// A list result made in one step; the lists of the operations are short.
template <typename T, typename MakeElement>
void set_list_result(Tcl_Interp* interp, const std::vector<T>& values, MakeElement make) {
    constexpr size_t kSmall = 8;
    Tcl_Obj* small[kSmall];
    std::vector<Tcl_Obj*> large;
    Tcl_Obj** elements = small;
    if (values.size() > kSmall) {
        large.resize(values.size());
        elements = large.data();
    }
    for (size_t k = 0; k < values.size(); ++k) elements[k] = make(values[k]);
    Tcl_SetObjResult(interp, Tcl_NewListObj(static_cast<Tcl_Size>(values.size()), elements));
}

}  // namespace

void set_result(Tcl_Interp* interp, const std::vector<double>& values) {
    set_list_result(interp, values, [](double v) { return Tcl_NewDoubleObj(v); });
}

void set_result(Tcl_Interp* interp, const std::vector<int32_t>& values) {
    set_list_result(interp, values, [](int32_t v) { return Tcl_NewIntObj(v); });
}

}  // namespace zolv
