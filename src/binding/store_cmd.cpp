// This file contains the commands that create and delete objects, fill, trim
// and read the series, and read and write the cursor.
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {
namespace {

// Converts a value list into 32-bit integers. A word that is not a list, or an
// element that is not an integer, fails with Tcl's own message.
int convert_values(Tcl_Interp* interp, Tcl_Obj* list, std::vector<int32_t>& values) {
    Tcl_Size count = 0;
    Tcl_Obj** elements = nullptr;
    if (Tcl_ListObjGetElements(interp, list, &count, &elements) != TCL_OK) return TCL_ERROR;
    values.resize(static_cast<size_t>(count));
    for (Tcl_Size k = 0; k < count; ++k) {
        int value = 0;
        if (Tcl_GetIntFromObj(interp, elements[k], &value) != TCL_OK) return TCL_ERROR;
        values[static_cast<size_t>(k)] = value;
    }
    return TCL_OK;
}

using ListOp = int (ZOLV::*)(const int32_t*, int);

// setlist, push_front and push_back: the object, then a value list.
int list_command(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                 ListOp op) {
    if (parse_args(interp, objc, objv, format, nullptr, nullptr) != TCL_OK) return TCL_ERROR;
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    return guarded(interp, [&] {
        std::vector<int32_t> values;
        if (convert_values(interp, objv[2], values) != TCL_OK) return TCL_ERROR;
        const int status = (self->*op)(values.data(), static_cast<int>(values.size()));
        if (status != ZOLV_OK) return fail(interp, status);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(0));
        return TCL_OK;
    });
}

// clear, pop_front and pop_back: the object alone, no result but 0.
int plain_command(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                  int (ZOLV::*op)()) {
    if (parse_args(interp, objc, objv, format, nullptr) != TCL_OK) return TCL_ERROR;
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    const int status = (self->*op)();
    if (status != ZOLV_OK) return fail(interp, status);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(0));
    return TCL_OK;
}

}  // namespace

int new_zolv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (parse_args(interp, objc, objv, ":zolv::new_ZOLV") != TCL_OK) return TCL_ERROR;
    return guarded(interp, [&] {
        ZOLV* z = create_zolv();
        Tcl_SetObjResult(interp, new_instance_object(interp, z, type_slot(kZolvType)));
        return TCL_OK;
    });
}

int delete_zolv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (parse_args(interp, objc, objv, "o:zolv::delete_ZOLVself ", nullptr) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self, /*allow_null=*/true) != TCL_OK) return TCL_ERROR;
    destroy_zolv(self);  // null destroys nothing; the result is left as it is
    return TCL_OK;
}

int pos_set_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int pos = 0;
    if (parse_args(interp, objc, objv, "oi:zolv::ZOLV_pos_setself pos ", nullptr, &pos) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self, /*allow_null=*/true) != TCL_OK) return TCL_ERROR;
    if (self) self->pos = pos;
    return TCL_OK;
}

int pos_get_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (parse_args(interp, objc, objv, "o:zolv::ZOLV_pos_getself ", nullptr) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewIntObj(self->pos));
    return TCL_OK;
}

int setlist_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(interp, objc, objv, "oo:zolv::ZOLV_setlistself list ", &ZOLV::setlist);
}

int clear_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(interp, objc, objv, "o:zolv::ZOLV_clearself ", &ZOLV::clear);
}

int push_front_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(interp, objc, objv, "oo:zolv::ZOLV_push_frontself list ",
                        &ZOLV::push_front);
}

int push_back_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(interp, objc, objv, "oo:zolv::ZOLV_push_backself list ", &ZOLV::push_back);
}

int pop_front_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(interp, objc, objv, "o:zolv::ZOLV_pop_frontself ", &ZOLV::pop_front);
}

int pop_back_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(interp, objc, objv, "o:zolv::ZOLV_pop_backself ", &ZOLV::pop_back);
}

int size_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (parse_args(interp, objc, objv, "o:zolv::ZOLV_sizeself ", nullptr) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    int count = 0;
    self->size(&count);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(count));
    return TCL_OK;
}

int at_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int n = 0;
    if (parse_args(interp, objc, objv, "oi:zolv::ZOLV_atself n ", nullptr, &n) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    return guarded(interp, [&] {
        std::vector<int32_t> bar;
        const int status = self->at(n, bar);
        if (status != ZOLV_OK) return fail(interp, status);
        set_result(interp, bar);
        return TCL_OK;
    });
}

int value_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    char type = 0;
    if (parse_args(interp, objc, objv, "oc:zolv::ZOLV_valueself type ", nullptr, &type) != TCL_OK) {
        return TCL_ERROR;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    int32_t value = 0;
    const int status = self->value(type, &value);
    if (status != ZOLV_OK) return fail(interp, status);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
    return TCL_OK;
}

}  // namespace zolv
