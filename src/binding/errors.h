// The errors the package raises: each sets the message as the result and
// errorCode to ZOLV and a word for its kind, so that a script can tell errors
// apart without matching their text.
#pragma once

#include <tcl.h>

namespace zolv {

constexpr const char kArgsError[] = "ARGS";            // a wrong number of words
constexpr const char kPointerError[] = "POINTER";      // no object of the type, or none alive
constexpr const char kMethodError[] = "METHOD";        // an unknown method of an object command
constexpr const char kAttributeError[] = "ATTRIBUTE";  // an unknown attribute
constexpr const char kCalcError[] = "CALC";            // the indicator cannot be computed
constexpr const char kListLengthError[] = "LISTLENGTH";
constexpr const char kUnknownError[] = "UNKNOWN";  // out of memory, or any other failure
constexpr const char kCsvError[] = "CSV";

// Sets errorCode to ZOLV `kind`, leaving the result as it is.
inline void set_error_code(Tcl_Interp* interp, const char* kind) {
    Tcl_SetErrorCode(interp, "ZOLV", kind, static_cast<char*>(nullptr));
}

inline int raise_error(Tcl_Interp* interp, Tcl_Obj* message, const char* kind) {
    Tcl_SetObjResult(interp, message);
    set_error_code(interp, kind);
    return TCL_ERROR;
}

inline int raise_error(Tcl_Interp* interp, const char* message, const char* kind) {
    return raise_error(interp, Tcl_NewStringObj(message, -1), kind);
}

}  // namespace zolv
