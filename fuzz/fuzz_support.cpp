// This file contains what the fuzz targets share: the interpreter, command
// calls and the list of the package's documented error messages.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "indicators/operation.h"

extern "C" int Zolv_Init(Tcl_Interp*);
extern "C" int Zolv_SafeInit(Tcl_Interp*);

namespace zolv_fuzz {
namespace {

const char* const kPackageCommands[] = {
    "corvalix::new_ZOLV",
    "corvalix::delete_ZOLV",
    "corvalix::ZOLV_pos_set",
    "corvalix::ZOLV_pos_get",
    "corvalix::ZOLV_setlist",
    "corvalix::ZOLV_clear",
    "corvalix::ZOLV_push_front",
    "corvalix::ZOLV_push_back",
    "corvalix::ZOLV_pop_front",
    "corvalix::ZOLV_pop_back",
    "corvalix::ZOLV_size",
    "corvalix::ZOLV_at",
    "corvalix::ZOLV_value",
    "corvalix::ZOLV_stdev",
    "corvalix::ZOLV_ema",
    "corvalix::ZOLV_sma",
    "corvalix::ZOLV_conv_ema",
    "corvalix::ZOLV_conv_sma",
    "corvalix::ZOLV_bollingerband",
    "corvalix::ZOLV_cci",
    "corvalix::ZOLV_dmi",
    "corvalix::ZOLV_hlband",
    "corvalix::ZOLV_macd",
    "corvalix::ZOLV_mfi",
    "corvalix::ZOLV_momentum",
    "corvalix::ZOLV_psychological",
    "corvalix::ZOLV_rci",
    "corvalix::ZOLV_roc",
    "corvalix::ZOLV_rsi",
    "corvalix::ZOLV_stc_k",
    "corvalix::ZOLV_stc_d",
    "corvalix::ZOLV_stc_sd",
    "corvalix::ZOLV_tr",
    "corvalix::ZOLV_ultimate_osi",
    "corvalix::ZOLV_williams_r",
    "corvalix::ZOLV_vr1",
    "corvalix::ZOLV_vr2",
    "corvalix::ZOLV_wvr",
    "corvalix::ZOLV",
    "zolv::series",
};

constexpr const char kInvalidMethod[] =
    "Invalid method. Must be one of: configure cget -acquire -disown -delete setlist clear "
    "push_front push_back pop_front pop_back size at value stdev ema sma conv_ema conv_sma "
    "bollingerband cci dmi hlband macd mfi momentum psychological rci roc rsi stc_k stc_d "
    "stc_sd tr ultimate_osi williams_r vr1 vr2 wvr";

std::set<Tcl_ObjCmdProc*> package_procs;
std::vector<Tcl_ObjCmdProc*> command_procs;  // the procedure of each command, in table order

Tcl_ObjCmdProc* proc_of(Tcl_Interp* in, const char* name) {
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(in, name, &info) || !info.isNativeObjectProc) return nullptr;
    return info.objProc;
}

Tcl_Interp* make_interp() {
    Tcl_FindExecutable("zolv_fuzz");
    // A safe child (Tcl 9 can no longer make an interpreter safe afterwards),
    // loaded as `load` loads the package there.
    Tcl_Interp* in = Tcl_CreateChild(Tcl_CreateInterp(), "fuzz", 1);
    require(in != nullptr, "safe interpreter", "not created");
    require(Zolv_SafeInit(in) == TCL_OK, "package load", Tcl_GetStringResult(in));
    for (const char* name : kPackageCommands) {
        Tcl_ObjCmdProc* proc = proc_of(in, name);
        require(proc != nullptr, "package command missing", name);
        package_procs.insert(proc);
        command_procs.push_back(proc);
    }
    // The procedure shared by every object command, taken from a short-lived one.
    require(Tcl_Eval(in, "corvalix::ZOLV ::fuzz_probe") == TCL_OK, "probe",
            Tcl_GetStringResult(in));
    package_procs.insert(proc_of(in, "::fuzz_probe"));
    Tcl_Eval(in, "::fuzz_probe -delete");
    Tcl_ResetResult(in);
    return in;
}

bool starts_with(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool ends_with(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Tcl's own message for a word that is not an int.
bool integer_message(const std::string& m) {
    return (starts_with(m, "expected integer but got \"") && m.size() > 26) ||
           m == "integer value too large to represent";
}

// A parse failure: Tcl's message or "Wrong # args." / "Wrong # args. ", then
// ":zolv::", the usage text, " argument " and a position.
bool parser_message(const std::string& m) {
    const size_t usage = m.find(":zolv::");
    const size_t argument = m.rfind(" argument ");
    if (usage == std::string::npos || argument == std::string::npos || argument < usage) {
        return false;
    }
    const std::string number = m.substr(argument + 10);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const std::string prefix = m.substr(0, usage);
    return prefix == "Wrong # args. " || prefix == "Wrong # args." ||
           starts_with(prefix, "expected integer but got \"") ||
           prefix == "integer value too large to represent";
}

}  // namespace

Tcl_Interp* interp() {
    static Tcl_Interp* const the = make_interp();
    return the;
}

void reload() {
    Tcl_Interp* in = interp();
    // A safe interpreter still lets the library's own entry point register its commands.
    require(Zolv_Init(in) == TCL_OK, "package reload", Tcl_GetStringResult(in));
    Tcl_ResetResult(in);
}

bool package_intact() {
    Tcl_Interp* in = interp();
    for (size_t k = 0; k < command_procs.size(); ++k) {
        if (proc_of(in, kPackageCommands[k]) != command_procs[k]) return false;
    }
    return true;
}

bool package_proc(Tcl_ObjCmdProc* proc) {
    return proc && package_procs.count(proc) > 0;
}

int call(const std::vector<std::string>& words, std::string* result, std::string* error_code) {
    Tcl_Interp* in = interp();
    std::vector<Tcl_Obj*> objv;
    objv.reserve(words.size());
    for (const std::string& w : words) {
        Tcl_Obj* obj = Tcl_NewStringObj(w.data(), static_cast<int>(w.size()));
        Tcl_IncrRefCount(obj);
        objv.push_back(obj);
    }
    const int code = Tcl_EvalObjv(in, static_cast<int>(objv.size()), objv.data(), TCL_EVAL_GLOBAL);
    Tcl_Size length = 0;
    const char* text = Tcl_GetStringFromObj(Tcl_GetObjResult(in), &length);
    result->assign(text, static_cast<size_t>(length));
    if (error_code) {
        error_code->clear();
        if (code == TCL_ERROR) {
            Tcl_Obj* options = Tcl_GetReturnOptions(in, code);
            Tcl_IncrRefCount(options);
            Tcl_Obj* key = Tcl_NewStringObj("-errorcode", -1);
            Tcl_IncrRefCount(key);
            Tcl_Obj* value = nullptr;
            if (Tcl_DictObjGet(nullptr, options, key, &value) == TCL_OK && value) {
                error_code->assign(Tcl_GetString(value));
            }
            Tcl_DecrRefCount(key);
            Tcl_DecrRefCount(options);
        }
    }
    for (Tcl_Obj* obj : objv) Tcl_DecrRefCount(obj);
    Tcl_ResetResult(in);
    return code;
}

bool documented_error(const std::string& m) {
    static const char* const kExact[] = {
        "calc error!!",
        "list length error!!",
        "Unknown Error!!",
        "Type error. Expected _p_ZOLV",
        "Type error. Expected a pointer",
        "wrong # args.",
        "Invalid attribute name.",
        "No constructor available.",
        "unmatched open brace in list",
        "unmatched open quote in list",
        kInvalidMethod,
    };
    for (const char* text : kExact) {
        if (m == text) return true;
    }
    if (starts_with(m, "invalid ZOLV object \"") && ends_with(m, "\"") && m.size() >= 22)
        return true;
    // zolv::series, zolv::indicator and zolv::operations: their word counts, an operation's
    // usage, its operation names, its column words and Tcl's conversion of a real.
    static const std::string kOperationNames = [] {
        std::string names = "\": must be one of ";
        for (int k = 0; k < zolv::kOperationCount; ++k) {
            if (k > 0) names += ", ";
            names += zolv::kOperations[k].name;
        }
        return names;
    }();
    for (const char* command : {"zolv::series", "zolv::indicator"}) {
        const std::string usage = std::string("wrong # args: should be \"") + command + " object ";
        if (starts_with(m, usage.c_str()) && ends_with(m, "\"")) return true;
    }
    if (m == "wrong # args: should be \"zolv::operations ?operation?\"") return true;
    // zolv::series's options.
    if (m == "wrong # args: should be \"zolv::series ?-from bar? ?-to bar? ?-last n? ?-nan empty? "
             "object operation ?arg ...?\"" ||
        m == "-last cannot be combined with -from or -to" ||
        (starts_with(m, "bad -last \"") &&
         ends_with(m, "\": must be a number of bars, 0 or more")) ||
        (starts_with(m, "bad -nan \"") && ends_with(m, "\": must be empty")) ||
        m == "value for \"-from\" missing" || m == "value for \"-to\" missing" ||
        m == "value for \"-last\" missing" || m == "value for \"-nan\" missing") {
        return true;
    }
    if (starts_with(m, "unknown operation \"") && ends_with(m, kOperationNames.c_str())) {
        return true;
    }
    if (starts_with(m, "bad column \"") &&
        ends_with(m, "\": must be o, h, l, c, v or open, high, low, close, volume")) {
        return true;
    }
    // Tcl 8.6 adds a remark to a real with a leading zero.
    if ((starts_with(m, "expected floating-point number but got \"") &&
         (ends_with(m, "\"") || ends_with(m, "\" (looks like invalid octal number)"))) ||
        m == "floating point value is Not a Number") {
        return true;
    }
    if (starts_with(m, "list element in braces followed by \"") ||
        starts_with(m, "list element in quotes followed by \"")) {
        return true;
    }
    return integer_message(m) || parser_message(m);
}

void require(bool ok, const char* what, const std::string& detail) {
    if (ok) return;
    std::fprintf(stderr, "zolv fuzz check failed: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace zolv_fuzz
