// The Tcl binding runtime: wrapped pointer types, pointer text, the ownership
// set, the live-object registry, the constant index and the argument parser.
#pragma once

#include <tcl.h>

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef TCL_SIZE_MAX
typedef int Tcl_Size;
#endif

class ZOLV;

namespace zolv {

struct ClassRecord;

// One pointer type, or one equivalence of it. A null name ends a list.
struct TypeInfo {
    const char* name;
    void* (*converter)(void*);  // applied to a pointer accepted through this equivalence
    const char* description;
    ClassRecord* class_record;  // set only for types that have object commands
    void* cast_hook;            // always null
    TypeInfo* next;             // equivalence list
    TypeInfo* prev;             // registry link, or back-link in an equivalence list
};

// The type table's entries, in registration order.
enum TypeSlot { kVectorDoubleType, kVectorIntType, kDoubleType, kZolvType, kIntType, kTypeCount };

// Registers every entry of the type table once per process (thread-safe) and
// links the ZOLV class record to its type.
void register_types(ClassRecord* zolv_class);
// Registers one type-table entry (its type record followed by its equivalence
// records and a record with a null name) and returns the record for its slot.
TypeInfo* register_type(TypeInfo* entry);
// The registered record of a table entry; null before registration.
TypeInfo* type_slot(TypeSlot slot);

// The equivalence of `expected` whose name is exactly `tag`, moved to the front
// of the equivalence list; null if none matches.
TypeInfo* check_type(const char* tag, TypeInfo* expected);

// Two lower-case hex digits per byte, high nibble first; returns the position
// behind what was written.
char* pack_data(char* out, const void* data, size_t size);
// Reads two hex digits per byte into `out`; stops at the end of the text.
// Returns the position behind what was read.
const char* unpack_data(const char* text, void* out, size_t size);

// "_" + the address bytes in memory order + the type name, or "NULL".
std::string make_pointer_text(const void* address, const TypeInfo* type);
Tcl_Obj* new_pointer_object(const void* address, const TypeInfo* type);
// Packed text of raw data, or null when it would exceed the 1000-character limit.
Tcl_Obj* new_packed_object(const void* data, size_t size, const TypeInfo* type);
// The pointer text of `address`; for a type with a class record it also makes a
// non-owning object command named by that text, unless such a command exists.
Tcl_Obj* new_instance_object(Tcl_Interp* interp, void* address, TypeInfo* type);

// Pointer text, "NULL" or the name of an object command to an address of the
// expected type. On failure the interpreter result holds the message.
int convert_pointer_text(Tcl_Interp* interp, const char* text, void** out, TypeInfo* type);
int convert_pointer_object(Tcl_Interp* interp, Tcl_Obj* obj, void** out, TypeInfo* type);

// The ownership set: addresses owned by the script side.
void acquire_object(const void* address);
int disown_object(const void* address);
int is_owned(const void* address);

// The live-object registry. Each ZOLV made by the package gets a liveness cell
// of its own, with a serial number that is never reused: whoever holds the cell
// (an object command, a cached pointer word) can tell that its object is gone
// even when a new object takes the same address.
struct LiveCell;
ZOLV* create_zolv();
// Destroys a live object: it leaves the registry and the ownership set.
// Returns false (and does nothing) if the address names no live object.
bool destroy_zolv(const void* address);
// The serial of the live object at `address`, or 0.
uint64_t live_serial(const void* address);
// The cell of the live object at `address` with a reference for the caller, or null.
LiveCell* acquire_cell(const void* address);
void release_cell(LiveCell* cell);
// True while the cell's object has not been destroyed.
bool cell_alive(const LiveCell* cell);

// Converts the object word of a ZOLV command: pointer text, "NULL" or an
// object-command name. A word that is pointer text of a live object remembers
// it, so the next conversion of the same word is a single check. The address
// is null for "NULL"; `live` tells whether a non-null address names a live object.
int convert_zolv_word(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, bool* live);

// The constant index. Values are kept as plain data; a lookup answers a Tcl
// object owned by the calling thread's cache (do not release it).
void record_constant_int(const char* name, long value);
void record_constant_double(const char* name, double value);
void record_constant_string(const char* name, const char* value);
// Null, after printing "Searching NAME", when the index exists but lacks the name.
Tcl_Obj* lookup_constant(const char* name);

// Checks and converts a command's words by a format string (codes, ":" and the
// usage text). `slots` holds one destination per code; a null destination only
// counts its word. Code p takes the expected TypeInfo* in the slot behind its
// own, s# the int* for the length.
int parse_args_slots(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                     void* const* slots, size_t slot_count);

template <typename... Slots>
int parse_args(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
               Slots... slots) {
    void* const array[] = {const_cast<void*>(static_cast<const void*>(slots))..., nullptr};
    return parse_args_slots(interp, objc, objv, format, array, sizeof...(Slots));
}

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
