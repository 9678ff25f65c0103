// What the commands that take an operation share: zolv::indicator, zolv::series and
// zolv::operations find it in the operation table and convert its words alike.
#pragma once

#include <tcl.h>

#include "indicators/operation.h"

namespace zolv {

// Finds the operation named by objv[2] and converts the words after it by its argument kinds:
// a column word (o h l c v in either case, or open high low close volume in any case), a
// 32-bit integer, a double. `command` names the command in the usage message. On failure the
// interpreter holds the message: "unknown operation ..." (errorCode TCL LOOKUP INDEX),
// "wrong # args: should be ..." (TCL WRONGARGS), "bad column ..." (ZOLV ARGS), or Tcl's own
// conversion error.
int parse_operation(Tcl_Interp* interp, const char* command, int objc, Tcl_Obj* const objv[],
                    const Operation** op, OpArgs* args);

// The Tcl value of part j of a result: a double or an integer, or the empty string where
// that part is not defined.
Tcl_Obj* part_object(SeriesShape shape, uint32_t integer_parts, int j, bool defined, double real,
                     int64_t integer);

}  // namespace zolv
