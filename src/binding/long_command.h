// What the commands that may work long share: the checks of cancellation and of the
// interpreter's limits, and large results built without letting Tcl's allocator end the
// process.
#pragma once

#include <cstddef>

#include "binding/tcl_compat.h"
#include "indicators/series.h"

namespace zolv {

// Lets Tcl run the asynchronous handlers that are due (a cancellation from another thread is
// one), then asks whether the script has been canceled and whether the interpreter's limits
// are exceeded: TCL_OK, or TCL_ERROR with Tcl's own message and errorCode in the result. The
// handlers of a limit may run script: the caller holds no object.
int check_interrupts(Tcl_Interp* interp);

// True when check_interrupts may answer an error: a handler is due, or the time limit has
// passed. Runs nothing and changes nothing, so a call may ask while it holds an object.
bool interrupt_pending(Tcl_Interp* interp);

// The interrupt of a whole-series call: it stops when interrupt_pending says so.
class CommandInterrupt final : public SeriesInterrupt {
public:
    explicit CommandInterrupt(Tcl_Interp* interp) : interp_(interp) {}
    bool stop_requested() override { return interrupt_pending(interp_); }

private:
    Tcl_Interp* interp_;
};

// Elements made between two checks of the interrupts while a list is built.
constexpr size_t kElementsPerCheck = size_t{1} << 14;

// The array of `count` (> 0) elements of a list that is about to be made, from attemptckalloc,
// once the memory of the list and of its values (`value_bytes` in all) is known to be there:
// Tcl ends the process when its own allocator fails, so a result that cannot be built is
// refused before any of it exists. Null when it is not; free it with ckfree.
Tcl_Obj** attempt_elements(size_t count, size_t value_bytes);

// Frees the first `count` elements of a list that will not be made: elements made for it
// alone (no reference held) and elements the caller holds a reference to.
void free_elements(Tcl_Obj** elements, size_t count);

// Sets `*list` to a new list of `count` elements, element k made by make(k), for the result of
// a command. `value_bytes` is about what the elements take. A list that cannot be built fails
// with "Unknown Error!!" (errorCode ZOLV UNKNOWN), and a canceled script or an exceeded limit
// (checked every kElementsPerCheck elements) with Tcl's own error: every element made so far is
// freed then. make(k) may answer an element it holds a reference to, more than once.
template <typename Make>
int build_list(Tcl_Interp* interp, size_t count, size_t value_bytes, Make&& make, Tcl_Obj** list);

// ---- Implementation -------------------------------------------------------------------------

int refuse_result(Tcl_Interp* interp);

template <typename Make>
int build_list(Tcl_Interp* interp, size_t count, size_t value_bytes, Make&& make, Tcl_Obj** list) {
    if (count == 0) {
        *list = Tcl_NewObj();
        return TCL_OK;
    }
    Tcl_Obj** elements = attempt_elements(count, value_bytes);
    if (!elements) return refuse_result(interp);
    for (size_t k = 0; k < count; ++k) {
        if (k % kElementsPerCheck == kElementsPerCheck - 1 && check_interrupts(interp) != TCL_OK) {
            free_elements(elements, k);
            return TCL_ERROR;
        }
        elements[k] = make(k);
    }
    *list = Tcl_NewListObj(static_cast<Tcl_Size>(count), elements);
    ckfree(reinterpret_cast<char*>(elements));
    return TCL_OK;
}

}  // namespace zolv
