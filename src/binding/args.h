// The argument parser driven by format strings, the constant index it consults,
// and the conversion of a word to a 32-bit integer.
#pragma once

#include <tcl.h>

#include <cstddef>
#include <cstdint>

namespace zolv {

// The constant index. Values are kept as plain data; a lookup answers a Tcl
// object owned by the calling thread's cache (do not release it).
void record_constant_int(const char* name, long value);
void record_constant_double(const char* name, double value);
void record_constant_string(const char* name, const char* value);
// Null, after printing "Searching NAME", when the index exists but lacks the name.
Tcl_Obj* lookup_constant(const char* name);

// A word's integer value if it lies in -2147483648..2147483647. Beyond that
// range the word is refused with Tcl's own "integer value too large to
// represent" rather than wrapped; a word that is no integer gets Tcl's message.
int get_int32(Tcl_Interp* interp, Tcl_Obj* word, int32_t* out);

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

}  // namespace zolv
