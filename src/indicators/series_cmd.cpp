// This file contains the zolv::series command: an indicator at every bar of an object in one
// call, as a list with one element per bar, oldest first; and zolv::threads, its thread count.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"
#include "binding/long_command.h"
#include "indicators/operation_cmd.h"
#include "indicators/series.h"

namespace zolv {
namespace {

// The Tcl value of one bar: a double or integer, or a list of them (empty elements for the
// parts not defined at that bar).
Tcl_Obj* bar_value(const SeriesResult& r, size_t k) {
    const size_t at = k * static_cast<size_t>(r.width);
    switch (r.shape) {
        case SeriesShape::kReal:
            return Tcl_NewDoubleObj(r.reals[at]);
        case SeriesShape::kInteger:
            return Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(r.integers[at]));
        default:
            break;
    }
    Tcl_Obj* row[kMaxParts];
    for (int j = 0; j < r.width; ++j) {
        const size_t q = at + static_cast<size_t>(j);
        row[j] =
            part_object(r.shape, r.integer_parts, j, r.defined.empty() || r.defined[q] != 0,
                        r.reals.empty() ? 0.0 : r.reals[q], r.integers.empty() ? 0 : r.integers[q]);
    }
    return Tcl_NewListObj(r.width, row);
}

constexpr char kUsage[] =
    "wrong # args: should be \"zolv::series ?-from bar? ?-to bar? ?-last n? ?-nan empty? object "
    "operation ?arg ...?\"";

int wrong_args(Tcl_Interp* interp) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(kUsage, -1));
    // The code of Tcl's own wrong-args message.
    Tcl_SetErrorCode(interp, "TCL", "WRONGARGS", static_cast<char*>(nullptr));
    return TCL_ERROR;
}

// The options before the object: the bars asked for and what NaN becomes.
struct SeriesOptions {
    Tcl_WideInt from = 0;
    Tcl_WideInt to = INT64_MAX;
    Tcl_WideInt last = -1;  // -1: not given
    bool nan_empty = false;

    // The bars of a series of `size` bars the options ask for, as `at` counts them (0 the
    // oldest), -to included; not yet cut to the bars.
    Bars range(int64_t size) const {
        if (last >= 0) return Bars{size - std::min<int64_t>(last, size), size};
        return Bars{from, to >= size ? size : to + 1};
    }
};

// Reads the options at the start of the words; `*used` receives the words they take.
int parse_options(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], SeriesOptions* options,
                  int* used) {
    static const char* const kNames[] = {"-from", "-to", "-last", "-nan"};
    bool range = false;
    int k = 1;
    for (; k < objc; k += 2) {
        const char* word = Tcl_GetString(objv[k]);
        int option = 0;
        while (option < 4 && std::strcmp(word, kNames[option]) != 0) ++option;
        if (option == 4) break;  // the object
        if (k + 1 == objc) {
            return raise_error(interp, Tcl_ObjPrintf("value for \"%s\" missing", word), kArgsError);
        }
        Tcl_Obj* value = objv[k + 1];
        if (option == 3) {
            if (std::strcmp(Tcl_GetString(value), "empty") != 0) {
                return raise_error(
                    interp, Tcl_ObjPrintf("bad -nan \"%s\": must be empty", Tcl_GetString(value)),
                    kArgsError);
            }
            options->nan_empty = true;
            continue;
        }
        Tcl_WideInt n = 0;
        if (Tcl_GetWideIntFromObj(interp, value, &n) != TCL_OK) return TCL_ERROR;
        if (option == 2) {
            if (n < 0) {
                return raise_error(interp,
                                   Tcl_ObjPrintf("bad -last \"%s\": must be a number of bars, 0 "
                                                 "or more",
                                                 Tcl_GetString(value)),
                                   kArgsError);
            }
            options->last = n;
        } else {
            (option == 0 ? options->from : options->to) = n;
            range = true;
        }
    }
    if (range && options->last >= 0) {
        return raise_error(interp, "-last cannot be combined with -from or -to", kArgsError);
    }
    *used = k - 1;
    return TCL_OK;
}

// Everything after the word count: the options, the operation, its words, the line, the list.
int series_body(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    SeriesOptions options;
    int used = 0;
    if (parse_options(interp, objc, objv, &options, &used) != TCL_OK) return TCL_ERROR;
    objc -= used;
    objv += used;
    if (objc < 3) return wrong_args(interp);
    const Operation* op = nullptr;
    OpArgs args;
    if (parse_operation(interp, "zolv::series", objc, objv, &op, &args) != TCL_OK) {
        return TCL_ERROR;  // the message is set
    }
    SeriesResult result;
    CommandInterrupt interrupt(interp);
    SeriesInterrupt* asked = &interrupt;
    for (;;) {
        Self self;
        if (hold_self(nullptr, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        const Bars range = options.range(static_cast<int64_t>(self->close.size()));
        const int status = operation_series(*self.get(), *op, args, &result, asked, range);
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
    if (options.nan_empty) drop_nan(&result);
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
    if (objc < 3) return wrong_args(interp);
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
