// This file contains the checks of cancellation and limits made by the commands that may work
// long, and the memory check of their large results.
#include "binding/long_command.h"

#include <climits>
#include <cstdlib>

#include "binding/command.h"
#include "binding/errors.h"

namespace zolv {
namespace {

// True when the interpreter has a time limit and it lies behind.
bool time_limit_passed(Tcl_Interp* interp) {
    if (!Tcl_LimitTypeEnabled(interp, TCL_LIMIT_TIME)) return false;
    Tcl_Time limit;
    Tcl_Time now;
    Tcl_LimitGetTime(interp, &limit);
    Tcl_GetTime(&now);
    return limit.sec < now.sec || (limit.sec == now.sec && limit.usec < now.usec);
}

}  // namespace

int check_interrupts(Tcl_Interp* interp) {
    if (Tcl_AsyncReady() && Tcl_AsyncInvoke(interp, TCL_OK) == TCL_ERROR) return TCL_ERROR;
    if (Tcl_Canceled(interp, TCL_LEAVE_ERR_MSG) != TCL_OK) return TCL_ERROR;
    if (!time_limit_passed(interp)) return Tcl_LimitCheck(interp);
    // Tcl reads the clock only at every granularity-th of the checks it counts itself, and
    // the checks of a command are not among them: a time limit known to have passed is checked
    // with a granularity of 1 for the moment, so that Tcl sees it now (its handlers may still
    // move the limit, or set a granularity of their own, which is kept).
    const int granularity = Tcl_LimitGetGranularity(interp, TCL_LIMIT_TIME);
    Tcl_LimitSetGranularity(interp, TCL_LIMIT_TIME, 1);
    const int code = Tcl_LimitCheck(interp);
    if (Tcl_LimitGetGranularity(interp, TCL_LIMIT_TIME) == 1) {
        Tcl_LimitSetGranularity(interp, TCL_LIMIT_TIME, granularity);
    }
    return code;
}

bool interrupt_pending(Tcl_Interp* interp) {
    return Tcl_AsyncReady() || time_limit_passed(interp);
}

Tcl_Obj** attempt_elements(size_t count, size_t value_bytes) {
    if (count > SIZE_MAX / sizeof(Tcl_Obj*) / 2 || value_bytes > SIZE_MAX / 2) return nullptr;
    const size_t array_bytes = count * sizeof(Tcl_Obj*);
#if TCL_MAJOR_VERSION < 9
    if (array_bytes > UINT_MAX) return nullptr;  // the most Tcl 8.6 allocates at once
    void* elements = attemptckalloc(static_cast<unsigned>(array_bytes));
#else
    void* elements = attemptckalloc(array_bytes);
#endif
    if (!elements) return nullptr;
    // The list copies the array, and every value is allocated on its own: all of that is asked
    // for as one block of the system's allocator (where Tcl takes blocks this large from too)
    // and given back at once, so that a result far beyond the memory left fails here.
    void* probe = std::malloc(array_bytes + value_bytes);
    if (!probe) {
        ckfree(static_cast<char*>(elements));
        return nullptr;
    }
    std::free(probe);
    return static_cast<Tcl_Obj**>(elements);
}

void free_elements(Tcl_Obj** elements, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        Tcl_IncrRefCount(elements[k]);
        Tcl_DecrRefCount(elements[k]);
    }
    ckfree(reinterpret_cast<char*>(elements));
}

int refuse_result(Tcl_Interp* interp) {
    return raise_error(interp, kUnknownErrorMessage, kUnknownError);
}

}  // namespace zolv
