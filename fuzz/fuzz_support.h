// Shared by the fuzz targets: the one interpreter of the process with the
// package loaded, command calls built from words, and the test of whether an
// error message is one the package documents.
#pragma once

#include <string>
#include <vector>

#include "binding/tcl_compat.h"

namespace zolv_fuzz {

// The process's interpreter: a safe one (no files, no exit) with the package
// loaded. Created on first use.
Tcl_Interp* interp();

// Loads the package again into the interpreter, restoring commands that a
// script replaced, renamed or deleted.
void reload();

// True when every command of the command table exists under its own name.
bool package_intact();

// True when `proc` is the procedure of a package command or of an object command.
bool package_proc(Tcl_ObjCmdProc* proc);

// Calls the command made of `words` (each word its own Tcl object, never
// re-parsed); returns the completion code and leaves the result in `result`,
// and for an error its errorCode in `error_code` when that is not null.
int call(const std::vector<std::string>& words, std::string* result,
         std::string* error_code = nullptr);

// True for every error message that a package command may answer.
bool documented_error(const std::string& message);

// Aborts the process, printing `what` and `detail`, unless `ok` holds.
void require(bool ok, const char* what, const std::string& detail);

}  // namespace zolv_fuzz
