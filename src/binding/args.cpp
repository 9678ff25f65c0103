// This file contains the constant index and the argument parser that checks
// and converts a command's words by its format string.
#include "binding/args.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <variant>

#include "binding/errors.h"
#include "binding/pointer.h"
#include "binding/tcl_compat.h"

namespace zolv {
namespace {

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

}  // namespace

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
int get_int32(Tcl_Interp* interp, Tcl_Obj* word, int32_t* out) {
    // Tcl 8.6 reads integers up to 2^64 - 1 into a wide integer by wrapping
    // them; such a word keeps a big-number representation, which tells it apart.
    static const Tcl_ObjType* const int_type = Tcl_GetObjType("int");
    Tcl_WideInt value = 0;
    if (Tcl_GetWideIntFromObj(interp, word, &value) != TCL_OK) return TCL_ERROR;
    const bool wrapped = word->typePtr != int_type && word->typePtr &&
                         std::strcmp(word->typePtr->name, "bignum") == 0;
    if (value < INT32_MIN || value > INT32_MAX || wrapped) {
        if (interp) {
            constexpr char kTooLarge[] = "integer value too large to represent";
            Tcl_SetObjResult(interp, Tcl_NewStringObj(kTooLarge, -1));
            Tcl_SetErrorCode(interp, "ARITH", "IOVERFLOW", kTooLarge, static_cast<char*>(nullptr));
        }
        return TCL_ERROR;
    }
    *out = static_cast<int32_t>(value);
    return TCL_OK;
}

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
            return get_int32(interp, word, static_cast<int32_t*>(dest));
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
            raise_error(interp, "Wrong # args. ", kArgsError);
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
                    raise_error(interp, "Type error. Expected a pointer", kPointerError);
                    goto fail;
                }
                if (convert_word(interp, lower, word, dest, extra, has_length) != TCL_OK) goto fail;
            }
        }
        ++k;
    }
    if (objc - 1 > k) {
        raise_error(interp, "Wrong # args.", kArgsError);
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
