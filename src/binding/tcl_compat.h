// What the binding needs of Tcl's headers on every Tcl it builds against.
#pragma once

#include <tcl.h>

// Lengths and indices from Tcl; Tcl 8.6's headers do not name the type yet.
#ifndef TCL_SIZE_MAX
typedef int Tcl_Size;
#endif

// Tcl 9's object types have fields of their own after the four procedures;
// Tcl 8.6's headers have neither the fields nor the macro that fills them.
#ifndef TCL_OBJTYPE_V0
#define TCL_OBJTYPE_V0
#endif
