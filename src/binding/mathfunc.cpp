// This file contains the math functions isnan, isinf and isfinite for an interpreter whose Tcl
// has none (8.6): an indicator may answer NaN or an infinity, and `expr {isnan($v)}` then tests
// for it on every Tcl. They answer as Tcl 9's own functions of the same names do.
#include <tcl.h>

#include <cmath>
#include <cstring>

#include "binding/commands.h"
#include "binding/tcl_compat.h"

namespace zolv {
namespace {

enum class FloatTest { kNan, kInf, kFinite };

// Tcl's wrong-args answer of a math function, named by the last part of its command name.
int wrong_math_args(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    const char* name = Tcl_GetString(objv[0]);
    if (const char* colons = std::strrchr(name, ':'); colons && colons > name) name = colons + 1;
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s arguments for math function \"%s\"",
                                           objc < 2 ? "not enough" : "too many", name));
    Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", static_cast<char*>(nullptr));
    return TCL_ERROR;
}

// The class of a number (FP_NAN, FP_INFINITE, ...); an error for a word that is no number.
int number_class(Tcl_Interp* interp, Tcl_Obj* word, int* out) {
    double value = 0.0;
    if (Tcl_GetDoubleFromObj(nullptr, word, &value) == TCL_OK) {
        *out = std::fpclassify(value);
        return TCL_OK;
    }
    // Tcl refuses a NaN as a double, but only after reading the word as one.
    if (word->typePtr && word->typePtr == Tcl_GetObjType("double")) {
        *out = FP_NAN;
        return TCL_OK;
    }
    Tcl_Obj* message = Tcl_NewStringObj("expected number but got \"", -1);
    Tcl_Size length = 0;
    const char* text = Tcl_GetStringFromObj(word, &length);
    Tcl_AppendLimitedToObj(message, text, length, 50, "");
    Tcl_AppendToObj(message, "\"", 1);
    Tcl_SetObjResult(interp, message);
    Tcl_SetErrorCode(interp, "TCL", "VALUE", "NUMBER", static_cast<char*>(nullptr));
    return TCL_ERROR;
}

template <FloatTest kTest>
int float_test_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc != 2) return wrong_math_args(interp, objc, objv);
    int cls = 0;
    if (number_class(interp, objv[1], &cls) != TCL_OK) return TCL_ERROR;
    bool answer = false;
    switch (kTest) {
        case FloatTest::kNan:
            answer = cls == FP_NAN;
            break;
        case FloatTest::kInf:
            answer = cls == FP_INFINITE;
            break;
        case FloatTest::kFinite:
            answer = cls != FP_NAN && cls != FP_INFINITE;
            break;
    }
    Tcl_SetObjResult(interp, Tcl_NewBooleanObj(answer));
    return TCL_OK;
}

}  // namespace

void install_math_functions(Tcl_Interp* interp) {
    struct Row {
        const char* name;
        Tcl_ObjCmdProc* proc;
    };
    static const Row kRows[] = {
        {"::tcl::mathfunc::isnan", float_test_cmd<FloatTest::kNan>},
        {"::tcl::mathfunc::isinf", float_test_cmd<FloatTest::kInf>},
        {"::tcl::mathfunc::isfinite", float_test_cmd<FloatTest::kFinite>},
    };
    for (const Row& row : kRows) {
        Tcl_CmdInfo info;
        if (Tcl_GetCommandInfo(interp, row.name, &info)) continue;  // Tcl's own, or a script's
        Tcl_CreateObjCommand(interp, row.name, row.proc, nullptr, nullptr);
    }
}

}  // namespace zolv
