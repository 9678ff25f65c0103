// Fuzzes the value lists of setlist, push_front and push_back, in both styles,
// against what Tcl itself makes of the same list.
//
// Input: byte 0 picks the command ("s" setlist, "f" push_front, "b"
// push_back; any other byte by its value) and the style (upper case: the flat
// command with pointer text; lower case: the object command). The rest is the
// list argument, as text.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/runtime.h"
#include "fuzz_support.h"
#include "series/zolv.h"

namespace {

using zolv_fuzz::require;

enum Operation { kSetlist, kPushFront, kPushBack };

// What the command should do with the list: Tcl's own message, or the values.
struct Expected {
    bool valid = false;
    std::string message;
    std::vector<int32_t> values;
};

Expected expected_of(const std::string& text) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    Expected e;
    Tcl_Obj* list = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(list);
    Tcl_Size count = 0;
    Tcl_Obj** elements = nullptr;
    Tcl_ResetResult(interp);
    if (Tcl_ListObjGetElements(interp, list, &count, &elements) != TCL_OK) {
        e.message = Tcl_GetStringResult(interp);
    } else {
        e.valid = true;
        for (Tcl_Size k = 0; k < count; ++k) {
            Tcl_WideInt value = 0;
            if (Tcl_GetWideIntFromObj(interp, elements[k], &value) != TCL_OK) {
                e.valid = false;
                e.message = Tcl_GetStringResult(interp);
                break;
            }
            // The 32-bit range by Tcl's own arithmetic, which compares big integers
            // exactly (the wide value of one beyond 64 bits has wrapped).
            int in_range = 0;
            Tcl_SetVar2Ex(interp, "fuzz_value", nullptr, elements[k], 0);
            if (Tcl_ExprBoolean(interp, "$fuzz_value >= -2147483648 && $fuzz_value <= 2147483647",
                                &in_range) != TCL_OK ||
                !in_range) {
                e.valid = false;
                e.message = "integer value too large to represent";
                break;
            }
            e.values.push_back(static_cast<int32_t>(value));
        }
    }
    Tcl_DecrRefCount(list);
    Tcl_ResetResult(interp);
    return e;
}

struct Columns {
    Column open, high, low, close, volume;
    int32_t pos;
    bool operator==(const Columns& o) const {
        return open == o.open && high == o.high && low == o.low && close == o.close &&
               volume == o.volume && pos == o.pos;
    }
};

Columns columns_of(const ZOLV& z) {
    return {z.open, z.high, z.low, z.close, z.volume, z.pos};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 65536) return 0;
    const char selector = static_cast<char>(data[0]);
    Operation op = static_cast<Operation>(data[0] % 3);
    switch (std::tolower(static_cast<unsigned char>(selector))) {
        case 's':
            op = kSetlist;
            break;
        case 'f':
            op = kPushFront;
            break;
        case 'b':
            op = kPushBack;
            break;
        default:
            break;
    }
    const bool flat = !std::islower(static_cast<unsigned char>(selector));
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    for (char& ch : text) {
        if (ch == '\0') ch = ' ';  // a script cannot hold a raw NUL
    }

    // An object with two bars and the cursor on the older one.
    std::string word = "fuzz_obj";
    std::string result;
    require(zolv_fuzz::call({"corvalix::ZOLV", word}, &result) == TCL_OK, "construct", result);
    const std::string pointer = result;
    require(zolv_fuzz::call({"fuzz_obj", "setlist", "1 2 3 4 5 6 7 8 9 10"}, &result) == TCL_OK,
            "fill", result);
    require(zolv_fuzz::call({"fuzz_obj", "configure", "-pos", "1"}, &result) == TCL_OK, "pos",
            result);
    void* address = nullptr;
    zolv::unpack_data(pointer.c_str() + 1, &address, sizeof address);
    const ZOLV& z = *static_cast<const ZOLV*>(address);
    const Columns before = columns_of(z);

    static const char* const kFlat[] = {"corvalix::ZOLV_setlist", "corvalix::ZOLV_push_front",
                                        "corvalix::ZOLV_push_back"};
    static const char* const kMethod[] = {"setlist", "push_front", "push_back"};
    const int code = flat ? zolv_fuzz::call({kFlat[op], pointer, text}, &result)
                          : zolv_fuzz::call({word, kMethod[op], text}, &result);

    const Expected want = expected_of(text);
    const size_t count = want.values.size();
    const bool count_ok = op == kSetlist ? (count > 0 && count % 5 == 0) : count == 5;
    if (!want.valid) {
        require(code == TCL_ERROR && result == want.message, "Tcl's message", result);
    } else if (!count_ok) {
        require(code == TCL_ERROR && result == "list length error!!", "length refused", result);
    } else {
        require(code == TCL_OK && result == "0", "accepted", result);
    }
    require(zolv::live_serial(address) != 0, "object alive", text);
    const Columns after = columns_of(z);
    if (code != TCL_OK) {
        require(after == before, "refused list leaves the store as it was", text);
    } else {
        // The new bars, in the order the list gives them.
        Columns want_columns = before;
        Column* cols[] = {&want_columns.open, &want_columns.high, &want_columns.low,
                          &want_columns.close, &want_columns.volume};
        for (size_t k = 0; k < count; ++k) {
            Column& col = *cols[k % 5];
            if (op == kPushFront) {
                col.push_front(want.values[k]);
            } else {
                col.push_back(want.values[k]);
            }
        }
        if (op == kSetlist) want_columns.pos = 0;
        require(after == want_columns, "stored values", text);
    }
    require(zolv_fuzz::call({"fuzz_obj", "-delete"}, &result) == TCL_OK, "delete", result);
    require(zolv::live_serial(address) == 0, "destroyed by its owning command", pointer);
    zolv_fuzz::call({"rename", pointer, ""}, &result);
    return 0;
}
