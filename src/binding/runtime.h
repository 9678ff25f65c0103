// The Tcl binding runtime: wrapped pointer types and pointer text, the
// live-object registry with each object's lock, the ownership set, the
// constant index and the argument parser.
#pragma once

#include <tcl.h>

#include "binding/args.h"
#include "binding/pointer.h"
#include "binding/registry.h"
#include "binding/tcl_compat.h"

namespace zolv {

// Holds one reference to a Tcl object for the lifetime of a scope.
class ObjRef {
public:
    explicit ObjRef(Tcl_Obj* obj) : obj_(obj) { Tcl_IncrRefCount(obj_); }
    ~ObjRef() { Tcl_DecrRefCount(obj_); }
    ObjRef(const ObjRef&) = delete;
    ObjRef& operator=(const ObjRef&) = delete;
    Tcl_Obj* get() const { return obj_; }

private:
    Tcl_Obj* obj_;
};

}  // namespace zolv
