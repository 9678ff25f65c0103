// This file contains zolv::indicator (an operation at the bar under the cursor),
// zolv::operations (the operations and their arguments) and the parsing of an operation's
// words that zolv::series shares.
#include "indicators/operation_cmd.h"

#include <cstring>
#include <string>

#include "binding/command.h"
#include "binding/commands.h"
#include "binding/tcl_compat.h"

namespace zolv {
namespace {

int unknown_operation(Tcl_Interp* interp, Tcl_Obj* word) {
    std::string message = "unknown operation \"";
    message += Tcl_GetString(word);
    message += "\": must be one of ";
    for (int k = 0; k < kOperationCount; ++k) {
        if (k > 0) message += ", ";
        message += kOperations[k].name;
    }
    Tcl_SetObjResult(interp,
                     Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
    // The code Tcl's own lookup of a name in a table gives.
    Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "INDEX", "operation", Tcl_GetString(word),
                     static_cast<char*>(nullptr));
    return TCL_ERROR;
}

int find_word(Tcl_Interp* interp, Tcl_Obj* word, const Operation** op) {
    int index = 0;
    if (Tcl_GetIndexFromObjStruct(nullptr, word, kOperations, static_cast<int>(sizeof(Operation)),
                                  "operation", TCL_EXACT, &index) != TCL_OK) {
        return unknown_operation(interp, word);
    }
    *op = &kOperations[index];
    return TCL_OK;
}

int wrong_args(Tcl_Interp* interp, const char* command, const char* words) {
    std::string message = "wrong # args: should be \"";
    message += command;
    message += " object ";
    message += words;
    message += '"';
    Tcl_SetObjResult(interp,
                     Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
    Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", static_cast<char*>(nullptr));
    return TCL_ERROR;
}

// The column a word names: o h l c v in either case, or a full name in any case.
int get_column(Tcl_Interp* interp, Tcl_Obj* word, char* letter) {
    static const char* const kNames[] = {"open", "high", "low", "close", "volume"};
    Tcl_Size length = 0;
    const char* text = Tcl_GetStringFromObj(word, &length);
    for (const char* name : kNames) {
        const size_t size = std::strlen(name);
        bool same = static_cast<size_t>(length) == size || length == 1;
        for (Tcl_Size k = 0; same && k < length; ++k) {
            same = (text[k] | 0x20) == name[k];
        }
        if (same) {
            *letter = name[0];
            return TCL_OK;
        }
    }
    return raise_error(interp,
                       Tcl_ObjPrintf("bad column \"%s\": must be o, h, l, c, v or open, high, "
                                     "low, close, volume",
                                     text),
                       kArgsError);
}

}  // namespace

int parse_operation(Tcl_Interp* interp, const char* command, int objc, Tcl_Obj* const objv[],
                    const Operation** op, OpArgs* args) {
    if (find_word(interp, objv[2], op) != TCL_OK) return TCL_ERROR;
    const char* kinds = (*op)->kinds;
    if (static_cast<size_t>(objc - 3) != std::strlen(kinds)) {
        const std::string words = std::string((*op)->name) + (*kinds ? " " : "") + (*op)->args;
        return wrong_args(interp, command, words.c_str());
    }
    OpArgs a;
    int ints = 0;
    int reals = 0;
    for (int k = 0; kinds[k]; ++k) {
        Tcl_Obj* word = objv[3 + k];
        switch (kinds[k]) {
            case 'c':
                if (get_column(interp, word, &a.column) != TCL_OK) return TCL_ERROR;
                break;
            case 'i':
                if (get_int32(interp, word, &a.ints[ints++]) != TCL_OK) return TCL_ERROR;
                break;
            default:
                if (Tcl_GetDoubleFromObj(interp, word, &a.reals[reals++]) != TCL_OK) {
                    return TCL_ERROR;
                }
                break;
        }
    }
    *args = a;
    return TCL_OK;
}

Tcl_Obj* part_object(SeriesShape shape, uint32_t integer_parts, int j, bool defined, double real,
                     int64_t integer) {
    if (!defined) return Tcl_NewObj();
    if (integer_part(shape, integer_parts, j)) {
        return Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(integer));
    }
    return Tcl_NewDoubleObj(real);
}

// zolv::indicator OBJECT OPERATION ARGS...: the operation at the bar under the cursor.
int indicator_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) return wrong_args(interp, "zolv::indicator", "operation ?arg ...?");
    return guarded(interp, [&] {
        const Operation* op = nullptr;
        OpArgs args;
        if (parse_operation(interp, "zolv::indicator", objc, objv, &op, &args) != TCL_OK) {
            return TCL_ERROR;
        }
        OpValue value;
        {
            Self self;
            if (hold_self(nullptr, interp, objv[1], Access::kRead, &self) != TCL_OK) {
                return TCL_ERROR;
            }
            const int status = operation_at_cursor(*self.get(), *op, args, &value);
            if (status == ZOLV_CALC_ERROR) {
                // Only now, and while the object is still held, is the reason worked out.
                const CalcFailure why = explain_operation_failure(*self.get(), *op, args);
                self.release();
                return fail_calc(interp, why);
            }
            if (status != ZOLV_OK) return fail(interp, status);
        }
        if (value.width == 1 &&
            (value.shape == SeriesShape::kReal || value.shape == SeriesShape::kInteger)) {
            Tcl_SetObjResult(interp, part_object(value.shape, value.integer_parts, 0, true,
                                                 value.reals[0], value.integers[0]));
            return TCL_OK;
        }
        Tcl_Obj* parts[kMaxParts];
        for (int j = 0; j < value.width; ++j) {
            parts[j] = part_object(value.shape, value.integer_parts, j, value.defined[j] != 0,
                                   value.reals[j], value.integers[j]);
        }
        Tcl_SetObjResult(interp, Tcl_NewListObj(value.width, parts));
        return TCL_OK;
    });
}

// zolv::operations ?OPERATION?: every operation's name and argument names; or one operation's
// arguments, their types and the names of its result's parts.
int operations_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc > 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?operation?");
        return TCL_ERROR;
    }
    return guarded(interp, [&] {
        if (objc == 1) {
            Tcl_Obj* list = Tcl_NewListObj(0, nullptr);
            for (int k = 0; k < kOperationCount; ++k) {
                Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(kOperations[k].name, -1));
                Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(kOperations[k].args, -1));
            }
            Tcl_SetObjResult(interp, list);
            return TCL_OK;
        }
        const Operation* op = nullptr;
        if (find_word(interp, objv[1], &op) != TCL_OK) return TCL_ERROR;
        Tcl_Obj* types = Tcl_NewListObj(0, nullptr);
        for (const char* kind = op->kinds; *kind; ++kind) {
            const char* type = *kind == 'c' ? "column" : *kind == 'i' ? "integer" : "real";
            Tcl_ListObjAppendElement(nullptr, types, Tcl_NewStringObj(type, -1));
        }
        Tcl_Obj* description[] = {
            Tcl_NewStringObj("arguments", -1), Tcl_NewStringObj(op->args, -1),
            Tcl_NewStringObj("types", -1),     types,
            Tcl_NewStringObj("results", -1),   Tcl_NewStringObj(op->results, -1),
        };
        Tcl_SetObjResult(interp, Tcl_NewListObj(6, description));
        return TCL_OK;
    });
}

}  // namespace zolv
