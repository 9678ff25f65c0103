// Fuzzes whole command sequences in a real interpreter: store operations,
// cursor moves, indicator calls with random parameters (one bar or every bar), object commands
// made, renamed and deleted, and delete_ZOLV of live, destroyed and forged pointers. After every
// step the answer must be a value or one of the package's documented errors, and an object's data
// must be unchanged by every call that reads it and by every store call that is refused. A calc
// error carries its reason, CURSOR exactly where the cursor has no bar (unless an argument is out
// of range); an upper-case column letter answers what its lower-case letter answers; a range of
// zolv::series is the slice of its whole line.
//
// Input: a byte stream read by FuzzedDataProvider; each step takes an
// operation byte and the choices that build its words.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "binding/runtime.h"
#include "fuzz_support.h"
#include "indicators/operation.h"
#include "series/zolv.h"

namespace {

using Words = std::vector<std::string>;
using zolv_fuzz::require;

constexpr int kMaxSteps = 48;

// Indicator commands with the words after the object: c a type letter, i an int.
struct Indicator {
    const char* name;
    const char* words;
};
const Indicator kIndicators[] = {
    {"stdev", "ci"},
    {"ema", "ci"},
    {"sma", "ci"},
    {"conv_ema", "cii"},
    {"conv_sma", "cii"},
    {"bollingerband", "ci"},
    {"cci", "i"},
    {"dmi", "ii"},
    {"hlband", "i"},
    {"macd", "iii"},
    {"mfi", "i"},
    {"momentum", "ci"},
    {"psychological", "ci"},
    {"rci", "ci"},
    {"roc", "i"},
    {"rsi", "i"},
    {"stc_k", "i"},
    {"stc_d", "ii"},
    {"stc_sd", "iii"},
    {"tr", ""},
    {"ultimate_osi", "i"},
    {"williams_r", "i"},
    {"vr1", "i"},
    {"vr2", "i"},
    {"wvr", "i"},
    {"size", ""},
    {"at", "i"},
    {"value", "c"},
};

const char* const kSubcommands[] = {
    "cget",      "configure", "-acquire", "-disown",    "-delete", "setlist", "clear", "push_front",
    "push_back", "pop_front", "pop_back", "frobnicate", "",        "CGET",    "-this", "-pos"};

const char* const kNames[] = {"obj",
                              "obj2",
                              "a b",
                              "x[y]",
                              "{",
                              "}",
                              "",
                              "::obj3",
                              "ns::obj",
                              "evil",
                              "corvalix::ZOLV_size",
                              "corvalix::ZOLV",
                              "corvalix::delete_ZOLV",
                              "::",
                              "a::",
                              "-this",
                              "-args",
                              "NULL"};

const int32_t kInts[] = {INT_MIN, INT_MIN + 1, -1000000, -2, -1, 0,       1,           2,      3,
                         4,       5,           7,        10, 26, 1000000, INT_MAX - 1, INT_MAX};
const char* const kBigInts[] = {"2147483648",
                                "-2147483649",
                                "4294967295",
                                "-4294967295",
                                "4294967296",
                                "-4294967296",
                                "9223372036854775808",
                                "0x7fffffff",
                                "1.5",
                                "x",
                                "",
                                " 3 ",
                                "0b101",
                                "1e3",
                                "08"};

// The hostile procedures: each answers "cget -this" in its own way.
constexpr const char kProcs[] =
    "proc evil args {return $::fuzz_text}\n"
    "proc killer args {\n"  // not re-entered: a script's own unbounded recursion is not the point
    "    if {[info exists ::fuzz_killing]} {return NULL}\n"
    "    set ::fuzz_killing 1\n"
    "    catch {corvalix::delete_ZOLV $::fuzz_text}\n"
    "    unset ::fuzz_killing\n"
    "    return $::fuzz_text\n"
    "}\n"
    "proc looper args {return looper}\n"
    "proc breaker args {return -code break}\n"
    "proc failer args {error boom}\n"
    "namespace eval ns {}\n"
    "set ::fuzz_text NULL\n"
    "unset -nocomplain ::fuzz_killing\n";

// What one input has made, so that it can all be destroyed at its end.
struct Session {
    std::vector<std::string> texts;  // every pointer text answered
    std::vector<std::string> names;  // every command name used
};

bool pointer_text(const std::string& s) {
    if (s.size() != 1 + 2 * sizeof(void*) + 7 || s[0] != '_') return false;
    for (size_t k = 1; k <= 2 * sizeof(void*); ++k) {
        if (!std::strchr("0123456789abcdef", s[k]) || s[k] == '\0') return false;
    }
    return s.compare(1 + 2 * sizeof(void*), std::string::npos, "_p_ZOLV") == 0;
}

void* address_of(const std::string& text) {
    void* address = nullptr;
    zolv::unpack_data(text.c_str() + 1, &address, sizeof address);
    return address;
}

std::string pick(FuzzedDataProvider& in, const std::vector<std::string>& from,
                 const std::string& otherwise) {
    if (from.empty()) return otherwise;
    return from[in.ConsumeIntegralInRange<size_t>(0, from.size() - 1)];
}

std::string int_word(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return std::to_string(in.PickValueInArray(kInts));
        case 1:
            return in.PickValueInArray(kBigInts);
        case 2:
            return std::to_string(in.ConsumeIntegral<int32_t>());
        default:
            return std::to_string(in.ConsumeIntegralInRange(0, 40));
    }
}

// Real arguments, in range and out.
const char* const kReals[] = {"0.02", "0.2",  "2",     "-1.5", "0", "-0.0",
                              "Inf",  "-Inf", "1e308", "NaN",  "x", ""};

std::string type_word(FuzzedDataProvider& in) {
    static const char* const kTypes[] = {"o",      "h", "l", "c", "v", "x", "",  "close",
                                         "volume", "O", "H", "L", "C", "V", "X", "Volume"};
    if (in.ConsumeBool()) return in.PickValueInArray(kTypes);
    return in.ConsumeRandomLengthString(4);
}

std::string list_word(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            return in.ConsumeRandomLengthString(40);  // any text, list or not
        case 1:
            return "1 2 3 4 {5";
        default: {
            const int bars = in.ConsumeIntegralInRange(0, 12);
            const int extra =
                in.ConsumeIntegralInRange(0, 9) == 0 ? in.ConsumeIntegralInRange(1, 4) : 0;
            std::string list;
            for (int k = 0; k < 5 * bars + extra; ++k) {
                if (!list.empty()) list += ' ';
                list += in.ConsumeIntegralInRange(0, 30) == 0
                            ? int_word(in)
                            : std::to_string(in.ConsumeIntegralInRange(-50, 200));
            }
            return list;
        }
    }
}

// A word that is meant to name an object, in every way a script could try.
std::string object_word(FuzzedDataProvider& in, const Session& s) {
    switch (in.ConsumeIntegralInRange(0, 11)) {
        case 0:
        case 1:
        case 2:
            return pick(in, s.texts, "NULL");
        case 3:
        case 4:
            return pick(in, s.names, "obj");
        case 5:
            return "NULL";
        case 6: {  // forged digits
            std::string text = "_";
            for (size_t k = 0; k < 2 * sizeof(void*); ++k) {
                text += "0123456789abcdef"[in.ConsumeIntegralInRange(0, 15)];
            }
            return text + "_p_ZOLV";
        }
        case 7: {  // a real text, damaged
            std::string text = pick(in, s.texts, "_0123456789abcdef_p_ZOLV");
            switch (in.ConsumeIntegralInRange(0, 4)) {
                case 0:
                    for (char& ch : text) ch = static_cast<char>(std::toupper(ch));
                    break;
                case 1:
                    text.resize(in.ConsumeIntegralInRange<size_t>(0, text.size()));
                    break;
                case 2:
                    text += in.ConsumeRandomLengthString(4);
                    break;
                case 3:
                    text.replace(text.size() - 4, 4, "_int");
                    break;
                default:
                    if (text.size() > 2) text[in.ConsumeIntegralInRange<size_t>(1, 16)] ^= 1;
                    break;
            }
            return text;
        }
        case 8: {
            static const char* const kProcNames[] = {"evil", "killer", "looper", "breaker",
                                                     "failer"};
            return in.PickValueInArray(kProcNames);
        }
        case 9:
            return "_0000000000000000_p_ZOLV";
        case 10:
            return in.PickValueInArray(kNames);
        default:
            return in.ConsumeRandomLengthString(12);
    }
}

// The data of a live object, to compare before and after a call.
struct Data {
    bool live = false;
    uint64_t serial = 0;
    void* address = nullptr;
    Column open, high, low, close, volume;
    int32_t pos = 0;
};

// The object a word names, if it is the pointer text of a live object.
Data data_of(const std::string& word) {
    Data d;
    if (!pointer_text(word)) return d;
    d.address = address_of(word);
    d.serial = zolv::live_serial(d.address);
    if (d.serial == 0) return d;
    const ZOLV& z = *static_cast<const ZOLV*>(d.address);
    d.live = true;
    d.open = z.open;
    d.high = z.high;
    d.low = z.low;
    d.close = z.close;
    d.volume = z.volume;
    d.pos = z.pos;
    return d;
}

// The pointer text an object command stands for (its "cget -this" answer).
std::string this_of(const std::string& name) {
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(zolv_fuzz::interp(), name.c_str(), &info)) return "";
    if (!info.isNativeObjectProc || !zolv_fuzz::package_proc(info.objProc)) return "";
    std::string result;
    if (zolv_fuzz::call({name, "cget", "-this"}, &result) != TCL_OK) return "";
    return result;
}

bool unchanged(const Data& before) {
    if (!before.live || zolv::live_serial(before.address) != before.serial) return true;
    const ZOLV& z = *static_cast<const ZOLV*>(before.address);
    return z.open == before.open && z.high == before.high && z.low == before.low &&
           z.close == before.close && z.volume == before.volume && z.pos == before.pos;
}

// The reason word of a calc error's errorCode, or "" if the code is not one.
std::string calc_reason(const std::string& error_code) {
    for (const char* word : {"ARGUMENT", "CURSOR", "WINDOW", "VALUE"}) {
        if (error_code == std::string("ZOLV CALC ") + word) return word;
    }
    return "";
}

// A calc error of an object named by its pointer text: CURSOR exactly when its cursor has no
// bar, unless a parameter is out of range first.
void check_calc_reason(const Data& before, const std::string& reason, const std::string& detail) {
    require(!reason.empty(), "calc error without its reason", detail);
    if (!before.live) return;
    const uint32_t size = static_cast<uint32_t>(before.close.size());
    const int index = static_cast<int>(size - static_cast<uint32_t>(before.pos) - 1u);
    const bool no_bar = index < 0 || static_cast<uint32_t>(index) >= size;
    if (reason == "CURSOR") require(no_bar, "CURSOR with a bar under the cursor", detail);
    if (no_bar)
        require(reason == "CURSOR" || reason == "ARGUMENT", "a cursor without a bar", detail);
}

// Runs one step. `target` is the object word whose data the step must not
// change (when `reads_only`, or when the step is refused and not a configure).
// Answers the completion code and the result.
std::pair<int, std::string> step(Session& s, const Words& words, const std::string& target,
                                 bool reads_only, bool partial_ok) {
    Tcl_CmdInfo info;
    const bool exists = Tcl_GetCommandInfo(zolv_fuzz::interp(), words[0].c_str(), &info);
    const bool ours = exists && info.isNativeObjectProc && zolv_fuzz::package_proc(info.objProc);
    const bool named = pointer_text(target);
    const Data before = data_of(named ? target : this_of(target));

    std::string result;
    std::string error_code;
    const int code = zolv_fuzz::call(words, &result, &error_code);
    std::string detail;
    for (const std::string& w : words) detail += "{" + w + "} ";
    detail += "-> " + std::to_string(code) + " " + result;

    static const bool trace = std::getenv("ZOLV_FUZZ_TRACE") != nullptr;
    if (trace) std::fprintf(stderr, "%s\n", detail.c_str());

    if (ours) {
        require(code == TCL_OK || code == TCL_ERROR, "completion code", detail);
        if (code == TCL_ERROR)
            require(zolv_fuzz::documented_error(result), "undocumented error", detail);
        if (reads_only || (code == TCL_ERROR && !partial_ok)) {
            require(unchanged(before), "object data changed", detail);
        }
        if (code == TCL_ERROR && result == "calc error!!") {
            check_calc_reason(named ? before : Data{}, calc_reason(error_code),
                              detail + " " + error_code);
        }
    }
    if (pointer_text(result)) s.texts.push_back(result);
    return {code, result};
}

// A zolv::series range that answered: the slice of the whole line it names, and with -nan
// empty no NaN in it.
void check_range(const Words& w, const Words& options, const std::string& answer) {
    int64_t from = 0;
    int64_t to = INT64_MAX;
    int64_t last = -1;
    bool nan_empty = false;
    for (size_t k = 0; k + 1 < options.size(); k += 2) {
        if (options[k] == "-nan") {
            nan_empty = true;
            continue;
        }
        Tcl_Obj* word = Tcl_NewStringObj(options[k + 1].c_str(), -1);
        Tcl_IncrRefCount(word);
        Tcl_WideInt n = 0;
        require(Tcl_GetWideIntFromObj(nullptr, word, &n) == TCL_OK, "a range's bar",
                options[k + 1]);
        Tcl_DecrRefCount(word);
        (options[k] == "-from" ? from : options[k] == "-to" ? to : last) = n;
    }
    Words whole = {"zolv::series"};
    whole.insert(whole.end(), w.begin() + 1 + static_cast<std::ptrdiff_t>(options.size()), w.end());
    std::string line;
    require(zolv_fuzz::call(whole, &line) == TCL_OK, "the whole line of a range", line);
    Tcl_Obj* list = Tcl_NewStringObj(line.data(), static_cast<Tcl_Size>(line.size()));
    Tcl_IncrRefCount(list);
    Tcl_Size count = 0;
    Tcl_Obj** elements = nullptr;
    Tcl_ListObjGetElements(nullptr, list, &count, &elements);
    const int64_t size = count;
    const int64_t first = last >= 0 ? size - std::min(last, size) : std::max<int64_t>(from, 0);
    const int64_t end = last >= 0 ? size : std::min(to, size - 1) + 1;
    Tcl_Obj* slice = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(slice);
    for (int64_t k = first; k < end; ++k) Tcl_ListObjAppendElement(nullptr, slice, elements[k]);
    const std::string want = Tcl_GetString(slice);
    Tcl_DecrRefCount(slice);
    Tcl_DecrRefCount(list);
    if (!nan_empty) {
        require(answer == want, "a range is the slice of the whole line", answer + " / " + want);
    } else {
        require(answer.find("NaN") == std::string::npos, "-nan empty left a NaN", answer);
    }
}

void run_one(FuzzedDataProvider& in, Session& s) {
    const int op = in.ConsumeIntegralInRange(0, 16);
    Words w;
    std::string target;
    bool reads_only = false;
    bool partial_ok = false;
    switch (op) {
        case 0:
            w = {"corvalix::new_ZOLV"};
            if (in.ConsumeIntegralInRange(0, 7) == 0) w.push_back(int_word(in));
            break;
        case 1: {  // construct forms
            w = {"corvalix::ZOLV"};
            const int form = in.ConsumeIntegralInRange(0, 3);
            if (form >= 1) {
                const std::string name = form == 2 ? "-args" : in.PickValueInArray(kNames);
                w.push_back(name);
                s.names.push_back(name);
            }
            if (form == 3) w.push_back(int_word(in));
            break;
        }
        case 2: {  // wrap forms
            const std::string name = in.ConsumeBool() ? in.PickValueInArray(kNames) : "-this";
            w = {"corvalix::ZOLV", name};
            if (name != "-this") w.push_back("-this");
            if (in.ConsumeIntegralInRange(0, 9) != 0) w.push_back(object_word(in, s));
            if (name != "-this") s.names.push_back(name);
            break;
        }
        case 3:
            target = object_word(in, s);
            w = {"corvalix::delete_ZOLV", target};
            break;
        case 4:
        case 5: {  // store operations with a list
            static const char* const kListOps[] = {"setlist", "push_front", "push_back"};
            const char* name = in.PickValueInArray(kListOps);
            target = object_word(in, s);
            w = {std::string("corvalix::ZOLV_") + name, target, list_word(in)};
            break;
        }
        case 6: {  // store operations without words
            static const char* const kPlainOps[] = {"clear", "pop_front", "pop_back"};
            target = object_word(in, s);
            w = {std::string("corvalix::ZOLV_") + in.PickValueInArray(kPlainOps), target};
            break;
        }
        case 7:  // cursor moves
            target = object_word(in, s);
            w = {"corvalix::ZOLV_pos_set", target, int_word(in)};
            break;
        case 8:
        case 9:
        case 10: {  // indicators and reads, flat or through an object command
            const Indicator& ind = in.PickValueInArray(kIndicators);
            const bool flat = in.ConsumeBool();
            target = object_word(in, s);
            w = flat ? Words{std::string("corvalix::ZOLV_") + ind.name, target}
                     : Words{target, ind.name};
            for (const char* c = ind.words; *c; ++c) {
                w.push_back(*c == 'c' ? type_word(in) : int_word(in));
            }
            if (in.ConsumeIntegralInRange(0, 9) == 0) {  // a word too many or too few
                if (in.ConsumeBool() || w.size() <= 2) {
                    w.push_back(int_word(in));
                } else {
                    w.pop_back();
                }
            }
            const auto answer = step(s, w, target, true, false);
            // An upper-case column letter reads what its lower-case letter reads.
            if (ind.words[0] == 'c' && w.size() > 2 && !w[2].empty() &&
                std::strchr("OHLV", w[2][0]) && pointer_text(target) && data_of(target).live) {
                Words lower = w;
                lower[2][0] = static_cast<char>(std::tolower(static_cast<unsigned char>(w[2][0])));
                std::string result;
                const int code = zolv_fuzz::call(lower, &result);
                require(code == answer.first && result == answer.second, "upper-case column letter",
                        w[2] + " " + answer.second + " " + result);
            }
            return;
        }
        case 11: {  // object command subcommands
            target = pick(in, s.names, "obj");
            w = {target, in.PickValueInArray(kSubcommands)};
            const int extra = in.ConsumeIntegralInRange(0, 4);
            for (int k = 0; k < extra; ++k) {
                w.push_back(in.ConsumeBool() ? "-pos"
                                             : (in.ConsumeBool() ? int_word(in) : list_word(in)));
            }
            reads_only = w[1] == "cget";
            partial_ok = w[1] == "configure";
            break;
        }
        case 12: {  // renaming and deleting commands by Tcl's own means
            const std::string from =
                in.ConsumeBool() ? pick(in, s.names, "obj") : pick(in, s.texts, "obj");
            const std::string to = in.ConsumeBool() ? "" : in.PickValueInArray(kNames);
            w = {"rename", from, to};
            if (!to.empty()) s.names.push_back(to);
            break;
        }
        case 16: {  // an operation of the table at every bar or at the cursor
            const zolv::Operation& row =
                zolv::kOperations[in.ConsumeIntegralInRange(0, zolv::kOperationCount - 1)];
            const bool series = in.ConsumeBool();
            Words options;  // zolv::series's options before the object
            if (series && in.ConsumeBool()) {
                static const char* const kOptions[] = {"-from", "-to", "-last", "-nan"};
                const int count = in.ConsumeIntegralInRange(1, 3);
                for (int k = 0; k < count; ++k) {
                    const std::string name = in.PickValueInArray(kOptions);
                    options.push_back(name);
                    if (in.ConsumeIntegralInRange(0, 15) == 0) break;  // its value missing
                    options.push_back(name != "-nan"     ? int_word(in)
                                      : in.ConsumeBool() ? "empty"
                                                         : in.ConsumeRandomLengthString(6));
                }
            }
            target = object_word(in, s);
            w = {series ? "zolv::series" : "zolv::indicator"};
            w.insert(w.end(), options.begin(), options.end());
            w.push_back(target);
            w.push_back(in.ConsumeIntegralInRange(0, 15) == 0 ? in.ConsumeRandomLengthString(8)
                                                              : std::string(row.name));
            const size_t words = std::strlen(row.kinds) + (in.ConsumeIntegralInRange(0, 15) == 0);
            for (size_t k = 0; k < words; ++k) {
                const char kind = row.kinds[k];
                if (kind == 'c') {
                    w.push_back(in.ConsumeBool() ? type_word(in) : "Close");
                } else if (kind == 'd') {
                    w.push_back(in.ConsumeBool() ? int_word(in) : in.PickValueInArray(kReals));
                } else {
                    w.push_back(int_word(in));
                }
            }
            const auto answer = step(s, w, target, true, false);
            if (!options.empty() && answer.first == TCL_OK) check_range(w, options, answer.second);
            return;
        }
        case 13:  // the text the hostile procedures answer
            w = {"set", "::fuzz_text", object_word(in, s)};
            break;
        case 14:
            if (in.ConsumeIntegralInRange(0, 7) == 0) {
                w = {"namespace", "delete", "::corvalix"};  // every package command goes
            } else {
                w = {"corvalix::ZOLV_pos_get", object_word(in, s)};
                reads_only = true;
                target = w[1];
            }
            break;
        default: {  // the flat wrappers with any words at all
            const Indicator& ind = in.PickValueInArray(kIndicators);
            w = {std::string("corvalix::ZOLV_") + ind.name};
            const int count = in.ConsumeIntegralInRange(0, 5);
            for (int k = 0; k < count; ++k) w.push_back(in.ConsumeRandomLengthString(10));
            if (w.size() > 1) target = w[1];
            reads_only = true;
            break;
        }
    }
    step(s, w, target, reads_only, partial_ok);
    if (w[0] == "namespace") zolv_fuzz::reload();  // bring the commands back for later steps
}

std::set<std::string> command_set(const char* pattern) {
    std::set<std::string> names;
    std::string result;
    zolv_fuzz::call({"info", "commands", pattern}, &result);
    Tcl_Obj* list = Tcl_NewStringObj(result.data(), static_cast<int>(result.size()));
    Tcl_IncrRefCount(list);
    Tcl_Size count = 0;
    Tcl_Obj** elements = nullptr;
    if (Tcl_ListObjGetElements(nullptr, list, &count, &elements) == TCL_OK) {
        for (Tcl_Size k = 0; k < count; ++k) names.insert(Tcl_GetString(elements[k]));
    }
    Tcl_DecrRefCount(list);
    return names;
}

const char* const kPatterns[] = {"::*", "::corvalix::*", "::ns::*"};

// The commands that exist before any input runs.
const std::vector<std::set<std::string>>& baseline() {
    static const std::vector<std::set<std::string>> names = [] {
        std::vector<std::set<std::string>> sets;
        for (const char* p : kPatterns) sets.push_back(command_set(p));
        return sets;
    }();
    return names;
}

// Destroys every object the input made and deletes every command it added.
void clean_up(Session& s) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    if (!zolv_fuzz::package_intact()) zolv_fuzz::reload();
    std::string result;
    for (size_t p = 0; p < 3; ++p) {
        for (const std::string& name : command_set(kPatterns[p])) {
            if (!baseline()[p].count(name) && pointer_text(name.substr(name.rfind(':') + 1))) {
                s.texts.push_back(name.substr(name.rfind(':') + 1));
            }
        }
    }
    static const bool trace = std::getenv("ZOLV_FUZZ_TRACE") != nullptr;
    for (const std::string& text : s.texts) {
        const int code = zolv_fuzz::call({"corvalix::delete_ZOLV", text}, &result);
        if (trace)
            std::fprintf(stderr, "clean up: delete_ZOLV %s -> %d %s\n", text.c_str(), code,
                         result.c_str());
    }
    for (size_t p = 0; p < 3; ++p) {
        for (const std::string& name : command_set(kPatterns[p])) {
            if (!baseline()[p].count(name)) zolv_fuzz::call({"rename", name, ""}, &result);
        }
    }
    if (!zolv_fuzz::package_intact()) zolv_fuzz::reload();
    for (const std::string& text : s.texts) {
        require(zolv::live_serial(address_of(text)) == 0, "object left alive", text);
    }
    Tcl_ResetResult(interp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tcl_Interp* interp = zolv_fuzz::interp();
    static const bool ready = [interp] {
        require(Tcl_Eval(interp, kProcs) == TCL_OK, "procedures", Tcl_GetStringResult(interp));
        baseline();
        return true;
    }();
    (void)ready;
    // The hostile procedures may have been renamed or deleted by an earlier input.
    require(Tcl_Eval(interp, kProcs) == TCL_OK, "procedures", Tcl_GetStringResult(interp));

    FuzzedDataProvider in(data, size);
    Session s;
    for (int k = 0; k < kMaxSteps && in.remaining_bytes() > 0; ++k) run_one(in, s);
    clean_up(s);
    return 0;
}
