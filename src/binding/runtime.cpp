// This file contains the binding runtime: the registry of wrapped pointer
// types, pointer text, the ownership set, the live-object registry, the
// constant index and the argument parser.
#include "binding/runtime.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <variant>

#include "binding/object.h"
#include "series/zolv.h"

namespace zolv {

struct LiveCell {
    std::atomic<const void*> object;  // null once the object is destroyed
    std::atomic<long> refs;
    uint64_t serial;
};

namespace {

// ---- Types ---------------------------------------------------------------

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

// ---- Ownership set and live registry -------------------------------------

std::mutex object_mutex;  // guards both tables below
std::unordered_set<const void*>* owned = nullptr;
// Never destroyed: objects a script has not deleted live until the process
// ends, and a thread may still be using the registry while it does.
std::unordered_map<const void*, LiveCell*>& live =
    *new std::unordered_map<const void*, LiveCell*>();
uint64_t next_serial = 1;

// ---- Constants ------------------------------------------------------------

using ConstantValue = std::variant<long, double, std::string>;
std::mutex constant_mutex;
std::unordered_map<std::string, ConstantValue>* constants = nullptr;
uint64_t constants_version = 0;  // bumped on every change, so thread caches refresh

// A thread's Tcl objects for the constants: Tcl objects belong to one thread.
struct ConstantCache {
    uint64_t version = 0;
    std::unordered_map<std::string, Tcl_Obj*> objects;
    bool exit_handler = false;

    void drop() {
        for (auto& entry : objects) Tcl_DecrRefCount(entry.second);
        objects.clear();
    }
};
thread_local ConstantCache constant_cache;

void constant_cache_exit(ClientData) {
    constant_cache.drop();
}

Tcl_Obj* make_constant_object(const ConstantValue& value) {
    if (const long* i = std::get_if<long>(&value)) return Tcl_NewLongObj(*i);
    if (const double* d = std::get_if<double>(&value)) return Tcl_NewDoubleObj(*d);
    const std::string& s = std::get<std::string>(value);
    return Tcl_NewStringObj(s.data(), static_cast<Tcl_Size>(s.size()));
}

void record_constant(const char* name, ConstantValue value) {
    std::lock_guard<std::mutex> lock(constant_mutex);
    if (!constants) constants = new std::unordered_map<std::string, ConstantValue>();
    (*constants)[name] = std::move(value);
    ++constants_version;
}

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
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Type error. Expected a pointer", -1));
            return TCL_ERROR;
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
        Tcl_SetObjResult(interp,
                         Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
        return TCL_ERROR;
    }
    *out = match->converter ? match->converter(address) : address;
    return TCL_OK;
}

int convert_pointer_object(Tcl_Interp* interp, Tcl_Obj* obj, void** out, TypeInfo* type) {
    return convert_pointer_text(interp, Tcl_GetString(obj), out, type);
}

// ---- Ownership set and live registry -------------------------------------

void acquire_object(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    if (!owned) owned = new std::unordered_set<const void*>();
    owned->insert(address);
}

int disown_object(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    if (!owned) return 0;
    return owned->erase(address) ? 1 : 0;
}

int is_owned(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    return owned && owned->count(address) ? 1 : 0;
}

ZOLV* create_zolv() {
    std::unique_ptr<ZOLV> z(new ZOLV());
    std::unique_ptr<LiveCell> cell(new LiveCell{{z.get()}, {1}, 0});
    std::lock_guard<std::mutex> lock(object_mutex);
    cell->serial = next_serial++;
    live.emplace(z.get(), cell.get());
    cell.release();
    return z.release();
}

bool destroy_zolv(const void* address) {
    if (!address) return false;
    LiveCell* cell = nullptr;
    {
        std::lock_guard<std::mutex> lock(object_mutex);
        auto it = live.find(address);
        if (it == live.end()) return false;
        cell = it->second;
        live.erase(it);
        if (owned) owned->erase(address);
        cell->object.store(nullptr, std::memory_order_release);
    }
    release_cell(cell);
    delete static_cast<const ZOLV*>(address);
    return true;
}

uint64_t live_serial(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    auto it = live.find(address);
    return it == live.end() ? 0 : it->second->serial;
}

LiveCell* acquire_cell(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    auto it = live.find(address);
    if (it == live.end()) return nullptr;
    it->second->refs.fetch_add(1, std::memory_order_relaxed);
    return it->second;
}

void release_cell(LiveCell* cell) {
    if (cell && cell->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete cell;
}

bool cell_alive(const LiveCell* cell) {
    return cell && cell->object.load(std::memory_order_acquire) != nullptr;
}

namespace {

// The remembered conversion of a pointer word: the object's address and its
// cell (one reference held). The word's text stays as it was.
void free_pointer_rep(Tcl_Obj* obj) {
    release_cell(static_cast<LiveCell*>(obj->internalRep.twoPtrValue.ptr2));
}

void dup_pointer_rep(Tcl_Obj* src, Tcl_Obj* dup);

const Tcl_ObjType pointer_type = {"zolvPointer", free_pointer_rep, dup_pointer_rep, nullptr,
                                  nullptr};

void dup_pointer_rep(Tcl_Obj* src, Tcl_Obj* dup) {
    LiveCell* cell = static_cast<LiveCell*>(src->internalRep.twoPtrValue.ptr2);
    cell->refs.fetch_add(1, std::memory_order_relaxed);
    dup->internalRep.twoPtrValue.ptr1 = src->internalRep.twoPtrValue.ptr1;
    dup->internalRep.twoPtrValue.ptr2 = cell;
    dup->typePtr = &pointer_type;
}

void remember_pointer(Tcl_Obj* word, void* address, LiveCell* cell) {
    if (word->typePtr && word->typePtr->freeIntRepProc) word->typePtr->freeIntRepProc(word);
    word->internalRep.twoPtrValue.ptr1 = address;
    word->internalRep.twoPtrValue.ptr2 = cell;
    word->typePtr = &pointer_type;
}

}  // namespace

int convert_zolv_word(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, bool* live_object) {
    if (word->typePtr == &pointer_type) {
        const LiveCell* cell = static_cast<const LiveCell*>(word->internalRep.twoPtrValue.ptr2);
        if (cell_alive(cell)) {
            *out = static_cast<ZOLV*>(word->internalRep.twoPtrValue.ptr1);
            *live_object = true;
            return TCL_OK;
        }
    }
    const bool pointer_text = Tcl_GetString(word)[0] == '_';
    void* address = nullptr;
    if (convert_pointer_object(interp, word, &address, type_slot(kZolvType)) != TCL_OK) {
        return TCL_ERROR;
    }
    *out = static_cast<ZOLV*>(address);
    *live_object = false;
    if (!address) return TCL_OK;
    LiveCell* cell = acquire_cell(address);
    if (!cell) return TCL_OK;
    *live_object = true;
    if (pointer_text) {
        remember_pointer(word, address, cell);  // the word keeps the reference
    } else {
        release_cell(cell);  // an object-command name may be rebound: not remembered
    }
    return TCL_OK;
}

// ---- Constants ------------------------------------------------------------

void record_constant_int(const char* name, long value) {
    record_constant(name, value);
}
void record_constant_double(const char* name, double value) {
    record_constant(name, value);
}
void record_constant_string(const char* name, const char* value) {
    record_constant(name, std::string(value));
}

Tcl_Obj* lookup_constant(const char* name) {
    ConstantCache& cache = constant_cache;
    {
        std::lock_guard<std::mutex> lock(constant_mutex);
        if (!constants) return nullptr;
        if (cache.version != constants_version) {
            cache.drop();
            cache.version = constants_version;
        }
        auto cached = cache.objects.find(name);
        if (cached != cache.objects.end()) return cached->second;
        auto it = constants->find(name);
        if (it != constants->end()) {
            Tcl_Obj* obj = make_constant_object(it->second);
            Tcl_IncrRefCount(obj);
            cache.objects.emplace(name, obj);
            if (!cache.exit_handler) {
                Tcl_CreateThreadExitHandler(constant_cache_exit, nullptr);
                cache.exit_handler = true;
            }
            return obj;
        }
    }
    std::printf("Searching %s\n", name);
    std::fflush(stdout);
    return nullptr;
}

// ---- Argument parsing -----------------------------------------------------

namespace {

// The value of a float destination: the double rounded to single precision,
// with magnitudes beyond the float range going to infinity as IEEE rounding does.
float to_float(double d) {
    if (std::isfinite(d) && std::fabs(d) >= 0x1.ffffffp127) {
        return d > 0 ? HUGE_VALF : -HUGE_VALF;
    }
    return static_cast<float>(d);
}

// Converts one word into its destination by the code's lower-case letter.
int convert_word(Tcl_Interp* interp, char code, Tcl_Obj* word, void* dest, void* extra,
                 bool has_length) {
    switch (code) {
        case 'i':
            return Tcl_GetIntFromObj(interp, word, static_cast<int*>(dest));
        case 'l':
        case 'h':
        case 'b': {
            long value = 0;
            if (Tcl_GetLongFromObj(interp, word, &value) != TCL_OK) return TCL_ERROR;
            if (code == 'l') {
                *static_cast<long*>(dest) = value;
            } else if (code == 'h') {
                *static_cast<int16_t*>(dest) =
                    static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned long>(value)));
            } else {
                *static_cast<unsigned char*>(dest) =
                    static_cast<unsigned char>(static_cast<unsigned long>(value));
            }
            return TCL_OK;
        }
        case 'f':
        case 'd': {
            double value = 0.0;
            if (Tcl_GetDoubleFromObj(interp, word, &value) != TCL_OK) return TCL_ERROR;
            if (code == 'f') {
                *static_cast<float*>(dest) = to_float(value);
            } else {
                *static_cast<double*>(dest) = value;
            }
            return TCL_OK;
        }
        case 's': {
            Tcl_Size length = 0;
            *static_cast<const char**>(dest) = Tcl_GetStringFromObj(word, &length);
            if (has_length && extra) *static_cast<int*>(extra) = static_cast<int>(length);
            return TCL_OK;
        }
        case 'c':
            *static_cast<char*>(dest) = Tcl_GetString(word)[0];
            return TCL_OK;
        case 'o':
            *static_cast<Tcl_Obj**>(dest) = word;
            return TCL_OK;
        case 'p':
            return convert_pointer_object(interp, word, static_cast<void**>(dest),
                                          static_cast<TypeInfo*>(extra));
        default:
            return TCL_OK;  // an unknown code only counts its word
    }
}

}  // namespace

int parse_args_slots(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                     void* const* slots, size_t slot_count) {
    size_t slot = 0;
    auto next_slot = [&]() -> void* { return slot < slot_count ? slots[slot++] : nullptr; };
    int k = 0;
    bool optional = false;
    const char* f = format;
    for (; *f && *f != ':'; ++f) {
        const char code = *f;
        if (code == ';') return TCL_OK;
        if (code == '|') {
            optional = true;
            continue;
        }
        const bool upper = code >= 'A' && code <= 'Z';
        const char lower = upper ? static_cast<char>(code - 'A' + 'a') : code;
        const bool has_length = lower == 's' && f[1] == '#';
        if (has_length) ++f;
        if (k >= objc - 1) {
            if (optional) return TCL_OK;
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Wrong # args. ", -1));
            goto fail;
        }
        {
            void* dest = next_slot();
            if (dest) {
                void* extra = (lower == 'p' || has_length) ? next_slot() : nullptr;
                Tcl_Obj* word = objv[k + 1];
                if (upper) {
                    Tcl_Obj* constant = lookup_constant(Tcl_GetString(word));
                    if (constant && lower != 'o') word = constant;
                }
                if (lower == 'p' && !extra) {
                    Tcl_SetObjResult(interp,
                                     Tcl_NewStringObj("Type error. Expected a pointer", -1));
                    goto fail;
                }
                if (convert_word(interp, lower, word, dest, extra, has_length) != TCL_OK) goto fail;
            }
        }
        ++k;
    }
    if (objc - 1 > k) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Wrong # args.", -1));
        goto fail;
    }
    return TCL_OK;

fail : {
    const char* usage = std::strchr(format, ':');
    if (!usage) usage = std::strchr(format, ';');
    if (!usage) usage = "";
    char number[24];
    std::snprintf(number, sizeof number, "%d", k + 1);
    Tcl_AppendResult(interp, usage, " argument ", number, static_cast<char*>(nullptr));
    return TCL_ERROR;
}
}

}  // namespace zolv
