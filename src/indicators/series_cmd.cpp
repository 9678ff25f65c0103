// This file contains the zolv::series command: an indicator at every bar of an object in one
// call, as a list with one element per bar, oldest first; and zolv::threads, its thread count.
#include <string>
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"
#include "binding/formats.h"
#include "binding/long_command.h"
#include "indicators/series.h"

namespace zolv {
namespace {

// The format string of each operation's flat command, in the order of SeriesOp: the words
// after the operation are parsed by it exactly as that command parses its own.
const char* const kFormats[kSeriesOpCount] = {
    kBollingerbandFormat, kCciFormat,    kConvEmaFormat, kConvSmaFormat,   kDmiFormat,
    kEmaFormat,           kHlbandFormat, kMacdFormat,    kMfiFormat,       kMomentumFormat,
    kPsychologicalFormat, kRciFormat,    kRocFormat,     kRsiFormat,       kSmaFormat,
    kStcDFormat,          kStcKFormat,   kStcSdFormat,   kStdevFormat,     kTrFormat,
    kUltimateOsiFormat,   kVr1Format,    kVr2Format,     kWilliamsRFormat, kWvrFormat,
};

constexpr int kMaxCodes = 4;    // the object and at most three more words
constexpr int kFixedWords = 8;  // words held without allocating

int unknown_operation(Tcl_Interp* interp, Tcl_Obj* word) {
    std::string message = "unknown operation \"";
    message += Tcl_GetString(word);
    message += "\": must be one of ";
    for (int k = 0; k < kSeriesOpCount; ++k) {
        if (k > 0) message += ", ";
        message += kSeriesOpNames[k];
    }
    Tcl_SetObjResult(interp,
                     Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
    // The code Tcl's own lookup of a name in a table gives.
    Tcl_SetErrorCode(interp, "TCL", "LOOKUP", "INDEX", "operation", Tcl_GetString(word),
                     static_cast<char*>(nullptr));
    return TCL_ERROR;
}

// The Tcl value of one bar: a double or integer, or a list of them.
Tcl_Obj* bar_value(const SeriesResult& r, size_t k) {
    const size_t at = k * static_cast<size_t>(r.width);
    switch (r.shape) {
        case SeriesShape::kReal:
            return Tcl_NewDoubleObj(r.reals[at]);
        case SeriesShape::kInteger:
            return Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(r.integers[at]));
        case SeriesShape::kRealList:
        case SeriesShape::kIntegerList:
            break;
    }
    Tcl_Obj* row[6];
    for (int j = 0; j < r.width; ++j) {
        row[j] = r.shape == SeriesShape::kRealList
                     ? Tcl_NewDoubleObj(r.reals[at + static_cast<size_t>(j)])
                     : Tcl_NewIntObj(static_cast<int>(r.integers[at + static_cast<size_t>(j)]));
    }
    return Tcl_NewListObj(r.width, row);
}

// Everything after the word count: the operation, its words, the line, the list.
int series_body(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    int index = 0;
    if (Tcl_GetIndexFromObj(nullptr, objv[2], kSeriesOpNames, "operation", TCL_EXACT, &index) !=
        TCL_OK) {
        return unknown_operation(interp, objv[2]);
    }
    const SeriesOp op = static_cast<SeriesOp>(index);
    const char* format = kFormats[index];

    // The flat command's words: the object at word 1, the arguments after it.
    const int count = objc - 1;
    Tcl_Obj* fixed[kFixedWords];
    std::vector<Tcl_Obj*> many;
    Tcl_Obj** words = fixed;
    if (count > kFixedWords) {
        many.resize(static_cast<size_t>(count));  // rare: such a call fails in the parser
        words = many.data();
    }
    words[0] = objv[0];
    words[1] = objv[1];
    for (int k = 2; k < count; ++k) words[k] = objv[k + 1];

    // One destination per format code: none for the object, the type letter for c, the next
    // integer for i.
    char type = 0;
    int params[kMaxCodes] = {};
    int param_count = 0;
    void* slots[kMaxCodes + 1] = {};
    size_t slot_count = 0;
    for (const char* f = format; *f && *f != ':' && slot_count < kMaxCodes + 1; ++f) {
        void* slot = nullptr;
        if (*f == 'c') slot = &type;
        if (*f == 'i') slot = &params[param_count++];
        slots[slot_count++] = slot;
    }
    if (parse_args_slots(interp, count, words, format, slots, slot_count) != TCL_OK) {
        return TCL_ERROR;  // the parser has set the message
    }

    SeriesResult result;
    const std::vector<int> args(params, params + param_count);
    CommandInterrupt interrupt(interp);
    SeriesInterrupt* asked = &interrupt;
    for (;;) {
        Self self;
        if (hold_self(nullptr, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        const int status = series(*self.get(), op, type, args, &result, asked);
        self.release();
        if (status == ZOLV_OK) break;
        if (status != kSeriesStopped) return fail(interp, status);
        // Stopped for a handler that is due or a time limit that has passed: with the object
        // let go, Tcl decides. When the script is neither canceled nor past its limits (a
        // handler moved the limit), the call starts again; if Tcl would still not stop it
        // (an interpreter that is being deleted checks no limits), without asking again.
        if (check_interrupts(interp) != TCL_OK) return TCL_ERROR;
        if (interrupt_pending(interp)) asked = nullptr;
    }
    const size_t bars = result.valid.size();
    const size_t width = static_cast<size_t>(result.width);
    // A value per bar, and for rows a list that holds them.
    const size_t bar_bytes =
        width == 1 ? sizeof(Tcl_Obj) : (width + 1) * sizeof(Tcl_Obj) + (width + 4) * sizeof(void*);
    Tcl_Obj* empty = Tcl_NewObj();  // one shared element for every failing bar
    ObjRef hold_empty(empty);
    Tcl_Obj* list = nullptr;
    if (build_list(
            interp, bars, bars * bar_bytes,
            [&](size_t k) { return result.valid[k] ? bar_value(result, k) : empty; },
            &list) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

}  // namespace

int series_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) {
        Tcl_SetObjResult(interp,
                         Tcl_NewStringObj("wrong # args: should be \"zolv::series object operation "
                                          "?arg ...?\"",
                                          -1));
        // The code of Tcl's own wrong-args message.
        Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", static_cast<char*>(nullptr));
        return TCL_ERROR;
    }
    return guarded(interp, [&] { return series_body(interp, objc, objv); });
}

// zolv::threads ?count?: answers the number of threads a large zolv::series call splits its
// bars over; with a positive integer, sets it for the whole process first.
int threads_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc > 2) {
        Tcl_WrongNumArgs(interp, 1, objv, "?count?");
        return TCL_ERROR;
    }
    if (objc == 2) {
        // The count is the process's: an untrusted script may read it, not set it.
        if (Tcl_IsSafe(interp)) {
            return raise_error(interp,
                               "permission denied: a safe interpreter cannot set zolv::threads",
                               kArgsError);
        }
        int32_t count = 0;
        if (get_int32(interp, objv[1], &count) != TCL_OK) return TCL_ERROR;
        if (!set_series_threads(count)) {
            return raise_error(interp, "count must be a positive integer", kArgsError);
        }
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(series_threads()));
    return TCL_OK;
}

}  // namespace zolv
