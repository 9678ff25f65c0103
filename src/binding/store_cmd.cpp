// This file contains the commands that create and delete objects, fill, trim
// and read the series, and read and write the cursor.
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {
namespace {

// Converts a value list into 32-bit integers. A word that is not a list, or an
// element that is not a 32-bit integer, fails with Tcl's own message.
int convert_values(Tcl_Interp* interp, Tcl_Obj* list, std::vector<int32_t>& values) {
    Tcl_Size count = 0;
    Tcl_Obj** elements = nullptr;
    if (Tcl_ListObjGetElements(interp, list, &count, &elements) != TCL_OK) return TCL_ERROR;
    values.resize(static_cast<size_t>(count));
    for (Tcl_Size k = 0; k < count; ++k) {
        if (get_int32(interp, elements[k], &values[static_cast<size_t>(k)]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

using ListOp = int (ZOLV::*)(const int32_t*, int);

// setlist, push_front and push_back: the object, then a value list. The list is
// converted before the object is locked for the change.
int list_command(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[],
                 const char* format, ListOp op) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, format, nullptr, nullptr) != TCL_OK) return TCL_ERROR;
        std::vector<int32_t> values;
        if (convert_values(interp, objv[2], values) != TCL_OK) return TCL_ERROR;
        Self self;
        if (hold_self(record, interp, objv[1], Access::kWrite, &self) != TCL_OK) return TCL_ERROR;
        const int status = (self.get()->*op)(values.data(), static_cast<int>(values.size()));
        self.release();
        if (status != ZOLV_OK) return fail(interp, status);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(0));
        return TCL_OK;
    });
}

// clear, pop_front and pop_back: the object alone, no result but 0.
int plain_command(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[],
                  const char* format, int (ZOLV::*op)()) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, format, nullptr) != TCL_OK) return TCL_ERROR;
        Self self;
        if (hold_self(record, interp, objv[1], Access::kWrite, &self) != TCL_OK) return TCL_ERROR;
        const int status = (self.get()->*op)();
        self.release();
        if (status != ZOLV_OK) return fail(interp, status);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(0));
        return TCL_OK;
    });
}

}  // namespace

int new_zolv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, ":zolv::new_ZOLV") != TCL_OK) return TCL_ERROR;
        ZOLV* z = create_zolv();
        try {
            Tcl_SetObjResult(interp, new_instance_object(interp, z, type_slot(kZolvType)));
        } catch (...) {
            destroy_zolv(z);  // nobody could ever name it
            throw;
        }
        return TCL_OK;
    });
}

int delete_zolv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, "o:zolv::delete_ZOLVself ", nullptr) != TCL_OK) {
            return TCL_ERROR;
        }
        ZOLV* address = nullptr;
        LiveCell* cell = nullptr;
        bool owned = false;
        if (convert_zolv_word(interp, objv[1], &address, &cell, &owned) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_ResetResult(interp);      // a name's `cget -this` answer is not the result
        if (!address) return TCL_OK;  // null destroys nothing
        // Waits for the calls working on the object in other threads.
        const bool destroyed = cell && destroy_zolv(address, cell);
        if (owned) release_cell(cell);
        return destroyed ? TCL_OK : invalid_object(interp, objv[1]);
    });
}

int pos_set_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        int pos = 0;
        if (parse_args(interp, objc, objv, "oi:zolv::ZOLV_pos_setself pos ", nullptr, &pos) !=
            TCL_OK) {
            return TCL_ERROR;
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kWrite, &self, /*allow_null=*/true) !=
            TCL_OK) {
            return TCL_ERROR;
        }
        if (self.get()) self->pos = pos;  // null does nothing
        return TCL_OK;
    });
}

int pos_get_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, "o:zolv::ZOLV_pos_getself ", nullptr) != TCL_OK) {
            return TCL_ERROR;
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        const int pos = self->pos;
        self.release();
        Tcl_SetObjResult(interp, Tcl_NewIntObj(pos));
        return TCL_OK;
    });
}

int setlist_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(record, interp, objc, objv, "oo:zolv::ZOLV_setlistself list ",
                        &ZOLV::setlist);
}

int clear_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(record, interp, objc, objv, "o:zolv::ZOLV_clearself ", &ZOLV::clear);
}

int push_front_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(record, interp, objc, objv, "oo:zolv::ZOLV_push_frontself list ",
                        &ZOLV::push_front);
}

int push_back_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return list_command(record, interp, objc, objv, "oo:zolv::ZOLV_push_backself list ",
                        &ZOLV::push_back);
}

int pop_front_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(record, interp, objc, objv, "o:zolv::ZOLV_pop_frontself ",
                         &ZOLV::pop_front);
}

int pop_back_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return plain_command(record, interp, objc, objv, "o:zolv::ZOLV_pop_backself ", &ZOLV::pop_back);
}

int size_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        if (parse_args(interp, objc, objv, "o:zolv::ZOLV_sizeself ", nullptr) != TCL_OK) {
            return TCL_ERROR;
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        int count = 0;
        self->size(&count);
        self.release();
        Tcl_SetObjResult(interp, Tcl_NewIntObj(count));
        return TCL_OK;
    });
}

int at_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        int n = 0;
        if (parse_args(interp, objc, objv, "oi:zolv::ZOLV_atself n ", nullptr, &n) != TCL_OK) {
            return TCL_ERROR;
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        std::vector<int32_t> bar;
        const int status = self->at(n, bar);
        self.release();
        if (status != ZOLV_OK) return fail(interp, status);
        set_result(interp, bar);
        return TCL_OK;
    });
}

int value_cmd(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    return guarded(interp, [&] {
        char type = 0;
        if (parse_args(interp, objc, objv, "oc:zolv::ZOLV_valueself type ", nullptr, &type) !=
            TCL_OK) {
            return TCL_ERROR;
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        int32_t value = 0;
        const int status = self->value(type, &value);
        self.release();
        if (status != ZOLV_OK) return fail(interp, status);
        Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
        return TCL_OK;
    });
}

}  // namespace zolv
