// Fuzzes the argument parser with random format strings and words.
//
// Input: lines separated by "\n". Line 0 decides the destinations (bit 0 of
// byte j % length: slot j present; bits 1-2 for code p: the expected type),
// line 1 is the format string, every further line one word after the command
// name. Each present destination is a 16-byte aligned buffer, big enough for
// whatever its code writes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "binding/runtime.h"
#include "fuzz_support.h"

namespace {

using zolv_fuzz::require;

struct alignas(16) Slot {
    unsigned char bytes[16];
};

constexpr size_t kMaxWords = 12;
constexpr size_t kMaxFormat = 64;

std::vector<std::string> split_lines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines(1);
    for (size_t k = 0; k < size; ++k) {
        if (data[k] == '\n') {
            lines.emplace_back();
        } else {
            lines.back().push_back(static_cast<char>(data[k]));
        }
    }
    return lines;
}

char lower_of(char code) {
    return code >= 'A' && code <= 'Z' ? static_cast<char>(code + 32) : code;
}

// The values the package records as constants.
const std::map<std::string, long> kConstants = {{"ZOLV_OK", 0},
                                                {"ZOLV_UNKNOWN_ERROR", 1},
                                                {"ZOLV_CALC_ERROR", 2},
                                                {"ZOLV_LISTLENGTH_ERROR", 3}};

// One code of the format as the parser walks it.
struct Code {
    char code;        // as written
    bool has_length;  // s#
    void* dest;
    void* extra;
};

// Checks what the parser stored for one converted word.
void check_value(const Code& c, Tcl_Obj* word) {
    const char lower = lower_of(c.code);
    const std::string text(Tcl_GetString(word), static_cast<size_t>(word->length));
    auto constant = kConstants.end();
    if (c.code != lower && lower != 'o') constant = kConstants.find(Tcl_GetString(word));
    const bool from_constant = constant != kConstants.end();
    long want_long = 0;
    const bool is_long = from_constant ? (want_long = constant->second, true)
                                       : Tcl_GetLongFromObj(nullptr, word, &want_long) == TCL_OK;
    switch (lower) {
        case 'i': {
            int want = static_cast<int>(want_long);
            if (!from_constant)
                require(Tcl_GetIntFromObj(nullptr, word, &want) == TCL_OK, "i", text);
            int got = 0;
            std::memcpy(&got, c.dest, sizeof got);
            require(got == want, "i value", text);
            break;
        }
        case 'l': {
            require(is_long, "l accepted a non-integer", text);
            long got = 0;
            std::memcpy(&got, c.dest, sizeof got);
            require(got == want_long, "l value", text);
            break;
        }
        case 'h': {
            require(is_long, "h accepted a non-integer", text);
            int16_t got = 0;
            std::memcpy(&got, c.dest, sizeof got);
            require(static_cast<uint16_t>(got) == static_cast<uint16_t>(want_long), "h value",
                    text);
            break;
        }
        case 'b': {
            require(is_long, "b accepted a non-integer", text);
            unsigned char got = 0;
            std::memcpy(&got, c.dest, sizeof got);
            require(got == static_cast<unsigned char>(want_long), "b value", text);
            break;
        }
        case 'd': {
            double want = 0.0;
            if (from_constant) {
                want = static_cast<double>(constant->second);
            } else {
                require(Tcl_GetDoubleFromObj(nullptr, word, &want) == TCL_OK, "d", text);
            }
            require(std::memcmp(&want, c.dest, sizeof want) == 0, "d value", text);
            break;
        }
        case 'c': {
            const char want =
                from_constant ? static_cast<char>('0' + constant->second) : Tcl_GetString(word)[0];
            require(*static_cast<char*>(c.dest) == want, "c value", text);
            break;
        }
        case 's': {
            const char* got = nullptr;
            std::memcpy(&got, c.dest, sizeof got);
            require(got != nullptr, "s pointer", text);
            if (!from_constant) {
                require(got == Tcl_GetString(word), "s points elsewhere", text);
                if (c.has_length && c.extra) {
                    int length = -1;
                    std::memcpy(&length, c.extra, sizeof length);
                    require(length == word->length, "s# length", text);
                }
            }
            break;
        }
        case 'o': {
            Tcl_Obj* got = nullptr;
            std::memcpy(&got, c.dest, sizeof got);
            require(got == word, "o stores the word itself", text);
            break;
        }
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    std::vector<std::string> lines = split_lines(data, size);
    const std::string control = lines[0];
    std::string format = lines.size() > 1 ? lines[1].substr(0, kMaxFormat) : "";
    // The package's formats are ASCII; Tcl 9 reads other bytes of the usage text
    // back as characters of their own, so the message would not end in them.
    for (char& ch : format) ch = static_cast<char>(ch & 0x7f);
    const char* const format_c = format.c_str();  // the parser reads up to the first NUL

    std::vector<Tcl_Obj*> objv;
    objv.push_back(Tcl_NewStringObj("cmd", 3));
    for (size_t k = 2; k < lines.size() && objv.size() <= kMaxWords; ++k) {
        objv.push_back(Tcl_NewStringObj(lines[k].data(), static_cast<int>(lines[k].size())));
    }
    for (Tcl_Obj* obj : objv) Tcl_IncrRefCount(obj);
    const int objc = static_cast<int>(objv.size());

    // Lay out the destinations exactly as the parser takes them: one per code,
    // and behind a present p or s# its extra slot.
    std::vector<Slot> buffers(2 * kMaxFormat + 2);
    for (Slot& b : buffers) std::memset(b.bytes, 0xa5, sizeof b.bytes);
    std::vector<void*> slots;
    std::vector<Code> codes;
    size_t used = 0;
    for (const char* f = format_c; *f && *f != ':'; ++f) {
        if (*f == ';') break;
        if (*f == '|') continue;
        Code c{*f, lower_of(*f) == 's' && f[1] == '#', nullptr, nullptr};
        if (c.has_length) ++f;
        const unsigned char bits =
            control.empty() ? 1
                            : static_cast<unsigned char>(control[slots.size() % control.size()]);
        if (bits & 1) c.dest = buffers[used++].bytes;
        slots.push_back(c.dest);
        if (c.dest && lower_of(c.code) == 'p') {
            static zolv::TypeInfo* const kTypes[] = {zolv::type_slot(zolv::kZolvType),
                                                     zolv::type_slot(zolv::kIntType), nullptr,
                                                     zolv::type_slot(zolv::kZolvType)};
            c.extra = kTypes[(bits >> 1) & 3];
            slots.push_back(c.extra);
        } else if (c.dest && c.has_length) {
            c.extra = buffers[used++].bytes;
            slots.push_back(c.extra);
        }
        codes.push_back(c);
    }

    Tcl_ResetResult(interp);
    const int code =
        zolv::parse_args_slots(interp, objc, objv.data(), format_c, slots.data(), slots.size());
    const std::string result = Tcl_GetStringResult(interp);
    require(code == TCL_OK || code == TCL_ERROR, "return code", result);

    if (code == TCL_ERROR) {
        // Message, then the usage part from the first ":" (else ";"), then the position.
        const char* usage = std::strchr(format_c, ':');
        if (!usage) usage = std::strchr(format_c, ';');
        const std::string tail = std::string(usage ? usage : "") + " argument ";
        const size_t at = result.rfind(tail);
        require(at != std::string::npos, "error suffix", result);
        const std::string number = result.substr(at + tail.size());
        require(!number.empty() && number.find_first_not_of("0123456789") == std::string::npos,
                "argument number", result);
        const long position = std::stol(number);
        require(position >= 1 && position <= objc, "argument number range", result);
        const std::string message = result.substr(0, at);
        const bool known = message == "Wrong # args. " || message == "Wrong # args." ||
                           message.rfind("Type error. Expected ", 0) == 0 ||
                           message.rfind("expected ", 0) == 0 ||
                           message.rfind("integer value too large", 0) == 0 ||
                           message.rfind("floating-point value ", 0) == 0 ||
                           message.rfind("floating point value ", 0) == 0;
        require(known, "error message", result);
    } else {
        // Every word the parser reached was converted as its code says.
        bool optional = false;
        bool open_end = false;  // ";" or the optional words ran out
        int k = 0;
        size_t next = 0;
        for (const char* f = format_c; *f && *f != ':'; ++f) {
            if (*f == ';') {
                open_end = true;
                break;
            }
            if (*f == '|') {
                optional = true;
                continue;
            }
            if (lower_of(*f) == 's' && f[1] == '#') ++f;
            if (k >= objc - 1) {
                require(optional, "missing word accepted", format);
                open_end = true;
                break;
            }
            const Code& c = codes[next++];
            if (c.dest) check_value(c, objv[static_cast<size_t>(k) + 1]);
            ++k;
        }
        require(open_end || objc - 1 <= k, "surplus word accepted", format);
    }

    for (Tcl_Obj* obj : objv) Tcl_DecrRefCount(obj);
    Tcl_ResetResult(interp);
    return 0;
}
