// This file contains the registry of wrapped pointer types, the pointer text
// that names an object, and the conversion of such text back to an address.
#include "binding/pointer.h"

#include <cstring>
#include <mutex>
#include <string>

#include "binding/errors.h"
#include "binding/object.h"
#include "binding/tcl_compat.h"

namespace zolv {
namespace {

// Each entry: the type record, its one equivalence (itself), the end record.
TypeInfo vector_double_type[] = {
    {"_p_std__vectorTdouble_t", nullptr, "std::vector<double > *", nullptr, nullptr, nullptr,
     nullptr},
    {"_p_std__vectorTdouble_t", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};
TypeInfo vector_int_type[] = {
    {"_p_std__vectorTint_t", nullptr, "std::vector<int > *", nullptr, nullptr, nullptr, nullptr},
    {"_p_std__vectorTint_t", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};
TypeInfo double_type[] = {{"_p_double", nullptr, "double *", nullptr, nullptr, nullptr, nullptr},
                          {"_p_double", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
                          {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};
TypeInfo zolv_type[] = {{"_p_ZOLV", nullptr, "ZOLV *", nullptr, nullptr, nullptr, nullptr},
                        {"_p_ZOLV", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
                        {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};
TypeInfo int_type[] = {{"_p_int", nullptr, "int *", nullptr, nullptr, nullptr, nullptr},
                       {"_p_int", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
                       {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};

TypeInfo* const type_table[kTypeCount] = {vector_double_type, vector_int_type, double_type,
                                          zolv_type, int_type};

std::mutex type_mutex;  // guards the registry and every equivalence list
TypeInfo* registry = nullptr;
TypeInfo* type_slots[kTypeCount] = {};
std::once_flag types_once;

constexpr const char kHexDigits[] = "0123456789abcdef";
constexpr size_t kPackedLimit = 1000;
constexpr int kMaxCommandHops = 8;

int hex_value(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

}  // namespace

// ---- Types ---------------------------------------------------------------

TypeInfo* register_type(TypeInfo* entry) {
    std::lock_guard<std::mutex> lock(type_mutex);
    for (TypeInfo* t = registry; t; t = t->prev) {
        if (std::strcmp(t->name, entry->name) == 0) return t;
    }
    TypeInfo* head = entry;
    head->prev = registry;
    registry = head;
    TypeInfo* last = head;
    head->next = nullptr;
    for (TypeInfo* eq = entry + 1; eq->name; ++eq) {
        if (last == head) {
            head->next = eq;
            eq->prev = nullptr;  // the first equivalence has no predecessor in the list
        } else {
            last->next = eq;
            eq->prev = last;
        }
        eq->next = nullptr;
        last = eq;
    }
    return head;
}

void register_types(ClassRecord* zolv_class) {
    std::call_once(types_once, [zolv_class] {
        zolv_type[0].class_record = zolv_class;
        for (int k = 0; k < kTypeCount; ++k) {
            type_slots[k] = register_type(type_table[k]);
        }
    });
}

TypeInfo* type_slot(TypeSlot slot) {
    // Written once inside call_once, which every loading thread has passed.
    return type_slots[slot];
}

TypeInfo* check_type(const char* tag, TypeInfo* expected) {
    if (!expected || !tag) return nullptr;
    std::lock_guard<std::mutex> lock(type_mutex);
    TypeInfo* first = expected->next;
    for (TypeInfo* eq = first; eq; eq = eq->next) {
        if (std::strcmp(eq->name, tag) != 0) {
            if (eq->next == first) break;
            continue;
        }
        if (eq != first) {  // move to the front, keeping the list most-recently-matched first
            if (eq->prev) eq->prev->next = eq->next;
            if (eq->next) eq->next->prev = eq->prev;
            eq->next = first;
            eq->prev = nullptr;
            if (first) first->prev = eq;
            expected->next = eq;
        }
        return eq;
    }
    return nullptr;
}

// ---- Pointer text --------------------------------------------------------

char* pack_data(char* out, const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t k = 0; k < size; ++k) {
        *out++ = kHexDigits[(bytes[k] >> 4) & 0xf];
        *out++ = kHexDigits[bytes[k] & 0xf];
    }
    return out;
}

const char* unpack_data(const char* text, void* out, size_t size) {
    unsigned char* bytes = static_cast<unsigned char*>(out);
    unsigned char acc = 0;  // cleared once, not per byte
    for (size_t k = 0; k < size; ++k) {
        if (*text == '\0') return text;
        int digit = hex_value(*text++);
        if (digit >= 0) acc = static_cast<unsigned char>(digit << 4);
        if (*text == '\0') return text;
        digit = hex_value(*text++);
        if (digit >= 0) acc = static_cast<unsigned char>(acc | digit);
        bytes[k] = acc;
    }
    return text;
}

std::string make_pointer_text(const void* address, const TypeInfo* type) {
    if (!address) return "NULL";
    char digits[2 * sizeof address];
    pack_data(digits, &address, sizeof address);
    std::string text = "_";
    text.append(digits, sizeof digits);
    text += type->name;
    return text;
}

Tcl_Obj* new_pointer_object(const void* address, const TypeInfo* type) {
    const std::string text = make_pointer_text(address, type);
    return Tcl_NewStringObj(text.data(), static_cast<Tcl_Size>(text.size()));
}

Tcl_Obj* new_packed_object(const void* data, size_t size, const TypeInfo* type) {
    const size_t name_length = std::strlen(type->name);
    if (2 * size + 1 + name_length > kPackedLimit) return nullptr;
    std::string text(1 + 2 * size, '_');
    pack_data(&text[1], data, size);
    text += type->name;
    return Tcl_NewStringObj(text.data(), static_cast<Tcl_Size>(text.size()));
}

Tcl_Obj* new_instance_object(Tcl_Interp* interp, void* address, TypeInfo* type) {
    Tcl_Obj* text = new_pointer_object(address, type);
    if (type && type->class_record && interp) {
        Tcl_CmdInfo info;
        const char* name = Tcl_GetString(text);
        // A command left behind by a destroyed object at the same address is
        // replaced, so the new object gets a working command of its own.
        if (!Tcl_GetCommandInfo(interp, name, &info) || is_dead_object_command(info)) {
            create_object_command(interp, name, text, address, type->class_record, 0);
        }
    }
    return text;
}

int convert_pointer_text(Tcl_Interp* interp, const char* text, void** out, TypeInfo* type) {
    std::string answer;  // keeps a "cget -this" answer alive while it is read
    for (int hops = 0; text[0] != '_'; ++hops) {
        *out = nullptr;
        if (std::strcmp(text, "NULL") == 0) return TCL_OK;
        // The word stands for an object only as the name of an existing command;
        // it is invoked with separate words, never evaluated as a script.
        Tcl_CmdInfo info;
        int code = TCL_ERROR;
        if (hops < kMaxCommandHops && Tcl_GetCommandInfo(interp, text, &info)) {
            Tcl_Obj* words[3] = {Tcl_NewStringObj(text, -1), Tcl_NewStringObj("cget", 4),
                                 Tcl_NewStringObj("-this", 5)};
            for (Tcl_Obj* w : words) Tcl_IncrRefCount(w);
            code = Tcl_EvalObjv(interp, 3, words, 0);
            for (Tcl_Obj* w : words) Tcl_DecrRefCount(w);
        }
        if (code != TCL_OK) {
            Tcl_ResetResult(interp);
            return raise_error(interp, "Type error. Expected a pointer", kPointerError);
        }
        answer = Tcl_GetString(Tcl_GetObjResult(interp));
        text = answer.c_str();
    }
    void* address = nullptr;
    const char* rest = unpack_data(text + 1, &address, sizeof address);
    TypeInfo* match = check_type(rest, type);
    if (!match) {
        std::string message = "Type error. Expected ";
        if (type && type->name) message += type->name;
        return raise_error(interp,
                           Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())),
                           kPointerError);
    }
    *out = match->converter ? match->converter(address) : address;
    return TCL_OK;
}

int convert_pointer_object(Tcl_Interp* interp, Tcl_Obj* obj, void** out, TypeInfo* type) {
    return convert_pointer_text(interp, Tcl_GetString(obj), out, type);
}

}  // namespace zolv
