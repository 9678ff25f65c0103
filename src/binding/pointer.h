// Wrapped pointer types and pointer text: the registry of types, the text that
// names an object by its address and type, and its conversion back.
#pragma once

#include <tcl.h>

#include <cstddef>
#include <string>

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
// expected type. A name is asked `NAME cget -this`, which may run script. On
// failure the interpreter result holds the message.
int convert_pointer_text(Tcl_Interp* interp, const char* text, void** out, TypeInfo* type);
int convert_pointer_object(Tcl_Interp* interp, Tcl_Obj* obj, void** out, TypeInfo* type);

}  // namespace zolv
