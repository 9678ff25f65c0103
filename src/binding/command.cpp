// This file contains what every wrapper command shares: the status messages,
// the conversion of the object word and the result objects.
#include "binding/command.h"

#include <string>

#include "binding/object.h"

namespace zolv {

int fail(Tcl_Interp* interp, int status) {
    if (status == ZOLV_CALC_ERROR) return raise_error(interp, "calc error!!", kCalcError);
    if (status == ZOLV_LISTLENGTH_ERROR) {
        return raise_error(interp, "list length error!!", kListLengthError);
    }
    return raise_error(interp, kUnknownErrorMessage, kUnknownError);
}

int fail_calc(Tcl_Interp* interp, const CalcFailure& failure) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj("calc error!!", -1));
    Tcl_SetErrorCode(interp, "ZOLV", kCalcError, calc_reason_word(failure.reason),
                     static_cast<char*>(nullptr));
    // After the message and the code: errorInfo starts from the message, and keeps the code.
    const std::string line = "\n    (" + failure.detail + ")";
    Tcl_AddErrorInfo(interp, line.c_str());
    return TCL_ERROR;
}

int invalid_object(Tcl_Interp* interp, Tcl_Obj* word) {
    return raise_error(interp, Tcl_ObjPrintf("invalid ZOLV object \"%s\"", Tcl_GetString(word)),
                       kPointerError);
}

void Self::release_owned_cell() {
    release_cell(owned_cell_);
    owned_cell_ = nullptr;
}

int hold_self_slow(ClientData record, Tcl_Interp* interp, Tcl_Obj* word, Access access, Self* self,
                   bool allow_null) {
    if (record) {
        // A method: the object the command was bound to when it was made.
        const BoundObject& bound = bound_object(record);
        if (!bound.cell) {
            if (!bound.address && allow_null) return TCL_OK;
            return invalid_object(interp, bound.this_obj);
        }
        self->object_ = self->lock_.lock(bound.cell, access);
        return self->object_ ? TCL_OK : invalid_object(interp, bound.this_obj);
    }
    ZOLV* address = nullptr;
    LiveCell* cell = nullptr;
    bool owned = false;
    if (convert_zolv_word(interp, word, &address, &cell, &owned) != TCL_OK) return TCL_ERROR;
    if (owned) self->owned_cell_ = cell;
    // What a name's `cget -this` answered is not this command's result.
    if (Tcl_GetString(word)[0] != '_') Tcl_ResetResult(interp);
    if (cell) {
        self->object_ = self->lock_.lock(cell, access);
        if (self->object_) return TCL_OK;
    } else if (!address && allow_null) {
        return TCL_OK;
    }
    // Forged, stale or null: nothing is read, written or destroyed.
    return invalid_object(interp, word);
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
