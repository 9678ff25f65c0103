// The class command of ZOLV and its object commands.
#pragma once

#include <tcl.h>

#include <cstdint>

#include "binding/runtime.h"

namespace zolv {

struct MethodRow {
    const char* name;
    Tcl_ObjCmdProc* proc;
};

struct AttributeRow {
    const char* name;
    Tcl_ObjCmdProc* getter;
    Tcl_ObjCmdProc* setter;
};

// Describes a wrapped class to the class command and the object commands.
struct ClassRecord {
    const char* name;
    TypeSlot type;
    Tcl_ObjCmdProc* constructor;
    void (*destructor)(void*);
    const MethodRow* methods;
    const AttributeRow* attributes;
    ClassRecord* const* bases;
};

// The class record of ZOLV.
ClassRecord* zolv_class();

// Creates an object command `name` for `address`; `this_obj` is the text that
// names the object (the record takes its own reference). With `destroy` set the
// command owns the object and the address goes into the ownership set. Returns
// false if Tcl refused the name.
bool create_object_command(Tcl_Interp* interp, const char* name, Tcl_Obj* this_obj, void* address,
                           ClassRecord* cls, int destroy);

// True if the command is an object command whose object has been destroyed.
bool is_dead_object_command(const Tcl_CmdInfo& info);

// What an object command works on, for the methods it calls with its record as
// client data: the address and cell of the object it was bound to when it was
// made (the cell is null for "NULL", or if that object was already gone), and
// its this-object, the word that named the object. Every record starts with it.
struct BoundObject {
    void* address;
    LiveCell* cell;
    Tcl_Obj* this_obj;
};
inline const BoundObject& bound_object(ClientData record) {
    return *static_cast<const BoundObject*>(record);
}

int class_command(ClientData cls, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

}  // namespace zolv
