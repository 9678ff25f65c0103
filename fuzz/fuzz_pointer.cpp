// Fuzzes the conversion of text to an object pointer: random text, and text
// built around the pointer text and command names of objects that exist.
//
// Input: the text, in which "@A" and "@B" stand for the pointer text of two
// live objects, "@D" for that of a destroyed one, "@Z" for the sixteen digits
// of the first live object and "@W" for a wrap-form command two hops away from
// it. The interpreter also holds commands whose "cget -this" answer loops,
// fails, breaks, or names a forged or foreign pointer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "binding/command.h"
#include "binding/runtime.h"
#include "fuzz_support.h"
#include "series/zolv.h"

namespace {

using zolv_fuzz::require;

struct World {
    std::string text_a, text_b, text_dead;
    void* a = nullptr;
    void* b = nullptr;
    ZOLV snapshot;  // the first object's data as set up
};

std::string eval_or_die(const char* script) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    require(Tcl_Eval(interp, script) == TCL_OK, script, Tcl_GetStringResult(interp));
    return Tcl_GetStringResult(interp);
}

void* address_of(const std::string& text) {
    void* address = nullptr;
    zolv::unpack_data(text.c_str() + 1, &address, sizeof address);
    return address;
}

const World& world() {
    static const World w = [] {
        World made;
        made.text_a = eval_or_die("corvalix::ZOLV obj");
        eval_or_die("obj setlist {10 14 9 12 100  12 15 11 13 200  13 16 12 15 300}");
        made.text_b = eval_or_die("corvalix::new_ZOLV");
        made.text_dead = eval_or_die("set d [corvalix::new_ZOLV]; corvalix::delete_ZOLV $d; set d");
        eval_or_die("corvalix::ZOLV w1 -this obj; corvalix::ZOLV w2 -this w1");
        eval_or_die(
            "proc self args {return self}\n"
            "proc nullish args {return NULL}\n"
            "proc forged args {return _0123456789abcdef_p_ZOLV}\n"
            "proc foreign args {return _0123456789abcdef_p_int}\n"
            "proc broken args {error boom}\n"
            "proc brk args {return -code break}\n"
            "proc chain args {return w2}\n"
            "proc {a b} args {return obj}\n"
            "proc dead args {return $::d}\n");
        made.a = address_of(made.text_a);
        made.b = address_of(made.text_b);
        made.snapshot = *static_cast<ZOLV*>(made.a);
        return made;
    }();
    return w;
}

std::string expand(const uint8_t* data, size_t size) {
    const World& w = world();
    std::string text;
    for (size_t k = 0; k < size; ++k) {
        const char ch = static_cast<char>(data[k]);
        if (ch == '@' && k + 1 < size) {
            const char* with = nullptr;
            std::string digits;
            switch (data[k + 1]) {
                case 'A':
                    with = w.text_a.c_str();
                    break;
                case 'B':
                    with = w.text_b.c_str();
                    break;
                case 'D':
                    with = w.text_dead.c_str();
                    break;
                case 'W':
                    with = "w2";
                    break;
                case 'Z':
                    digits = w.text_a.substr(1, 16);
                    with = digits.c_str();
                    break;
                default:
                    break;
            }
            if (with) {
                text += with;
                ++k;
                continue;
            }
        }
        text.push_back(ch);
    }
    return text;
}

int hex(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

// The address that pointer text of full length reads as: one accumulator for
// all bytes, a digit in the first place replaces it shifted up, a digit in the
// second place is or-ed in, anything else leaves it as it is.
void* read_address(const char* digits) {
    unsigned char bytes[sizeof(void*)];
    unsigned char acc = 0;
    for (size_t k = 0; k < sizeof bytes; ++k) {
        if (hex(digits[2 * k]) >= 0) acc = static_cast<unsigned char>(hex(digits[2 * k]) << 4);
        if (hex(digits[2 * k + 1]) >= 0)
            acc = static_cast<unsigned char>(acc | hex(digits[2 * k + 1]));
        bytes[k] = acc;
    }
    void* address = nullptr;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

void check_conversion(const std::string& text, zolv::TypeInfo* type) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    const World& w = world();
    const char* c_text = text.c_str();  // the conversion reads up to the first NUL
    void* out = reinterpret_cast<void*>(0x1);
    Tcl_ResetResult(interp);
    const int code = zolv::convert_pointer_text(interp, c_text, &out, type);
    const std::string result = Tcl_GetStringResult(interp);
    const std::string expected_tag = type->name;
    if (code == TCL_ERROR) {
        require(result == "Type error. Expected a pointer" ||
                    result == "Type error. Expected " + expected_tag,
                "conversion message", result);
        return;
    }
    require(code == TCL_OK, "conversion code", result);
    if (std::strcmp(c_text, "NULL") == 0) require(out == nullptr, "NULL converts to null", text);
    if (c_text[0] == '_') {
        const size_t length = std::strlen(c_text);
        if (length >= 1 + 2 * sizeof(void*)) {
            require(std::strcmp(c_text + 1 + 2 * sizeof(void*), type->name) == 0, "tag accepted",
                    text);
            require(out == read_address(c_text + 1), "address read", text);
        }
    }
    if (text == w.text_a && type == zolv::type_slot(zolv::kZolvType)) {
        require(out == w.a, "live text converts to its object", text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    Tcl_Interp* interp = zolv_fuzz::interp();
    const World& w = world();
    const std::string text = expand(data, size);

    check_conversion(text, zolv::type_slot(zolv::kZolvType));
    check_conversion(text, zolv::type_slot(zolv::kIntType));

    // The object word of a command: twice, the second time through what the
    // first conversion remembered. A live answer is one of the two live objects.
    Tcl_Obj* word = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(word);
    for (int round = 0; round < 2; ++round) {
        ZOLV* address = nullptr;
        zolv::LiveCell* cell = nullptr;
        bool owned = false;
        if (zolv::convert_zolv_word(interp, word, &address, &cell, &owned) == TCL_OK && cell) {
            require(address == w.a || address == w.b, "live word names a live object", text);
        }
        if (owned) zolv::release_cell(cell);
        Tcl_ResetResult(interp);
        zolv::Self self;
        if (zolv::hold_self(nullptr, interp, word, zolv::Access::kRead, &self) == TCL_OK) {
            require(self.get() == w.a || self.get() == w.b, "accepted word names a live object",
                    text);
        } else {
            require(zolv_fuzz::documented_error(Tcl_GetStringResult(interp)), "hold_self message",
                    Tcl_GetStringResult(interp));
        }
    }
    Tcl_DecrRefCount(word);

    // The same text through commands: read-only calls and a wrap-form command.
    std::string result;
    for (const char* command : {"corvalix::ZOLV_size", "corvalix::ZOLV_pos_get"}) {
        const int code = zolv_fuzz::call({command, text}, &result);
        require(code == TCL_OK || (code == TCL_ERROR && zolv_fuzz::documented_error(result)),
                command, result);
    }
    int code = zolv_fuzz::call({"corvalix::ZOLV", "::fuzz_wrap", "-this", text}, &result);
    require(code == TCL_OK || (code == TCL_ERROR && zolv_fuzz::documented_error(result)),
            "wrap form", result);
    if (code == TCL_OK) {
        code = zolv_fuzz::call({"::fuzz_wrap", "size"}, &result);
        require(code == TCL_OK || (code == TCL_ERROR && zolv_fuzz::documented_error(result)),
                "wrap-form command", result);
        zolv_fuzz::call({"rename", "::fuzz_wrap", ""}, &result);
    }

    // Nothing here writes: the first object is as it was set up.
    const ZOLV& a = *static_cast<const ZOLV*>(w.a);
    require(zolv::live_serial(w.a) != 0 && zolv::live_serial(w.b) != 0, "objects alive", text);
    require(a.open == w.snapshot.open && a.high == w.snapshot.high && a.low == w.snapshot.low &&
                a.close == w.snapshot.close && a.volume == w.snapshot.volume &&
                a.pos == w.snapshot.pos,
            "object unchanged", text);
    return 0;
}
