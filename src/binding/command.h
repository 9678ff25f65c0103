// The shape shared by the command procedures that wrap a ZOLV operation:
// parse the words, convert the object word, call the operation, turn the
// status into a message or the results into the interpreter result.
#pragma once

#include <tcl.h>

#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/runtime.h"
#include "series/zolv.h"

namespace zolv {

constexpr const char kUnknownErrorMessage[] = "Unknown Error!!";

// Sets the fixed message of a non-zero status and returns TCL_ERROR.
int fail(Tcl_Interp* interp, int status);

// Converts the object word of a command. A non-null address must name a live
// ZOLV; a null one is accepted only when `allow_null` is set. On failure the
// interpreter result holds the message.
int convert_self(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, bool allow_null = false);

// Runs `body`, turning any exception into TCL_ERROR "Unknown Error!!": no
// exception reaches Tcl, and the operations change nothing when they throw.
template <typename Body>
int guarded(Tcl_Interp* interp, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(kUnknownErrorMessage, -1));
        return TCL_ERROR;
    }
}

// Results of the indicator operations.
void set_result(Tcl_Interp* interp, double value);
void set_result(Tcl_Interp* interp, int64_t value);
void set_result(Tcl_Interp* interp, const std::vector<double>& values);
void set_result(Tcl_Interp* interp, const std::vector<int32_t>& values);

namespace detail {

template <typename Result>
struct ResultSlot {  // a single value passed by pointer
    Result value{};
    Result* arg() { return &value; }
};
template <typename Element>
struct ResultSlot<std::vector<Element>> {  // a list passed by reference
    std::vector<Element> value;
    std::vector<Element>& arg() { return value; }
};

template <typename... Params, size_t... I>
int run_operation(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                  int (ZOLV::*op)(Params...) const, std::index_sequence<I...>) {
    using ParamTuple = std::tuple<Params...>;
    using Out = std::remove_pointer_t<
        std::remove_reference_t<std::tuple_element_t<sizeof...(Params) - 1, ParamTuple>>>;
    std::tuple<std::tuple_element_t<I, ParamTuple>...> args{};
    if (parse_args(interp, objc, objv, format, nullptr, &std::get<I>(args)...) != TCL_OK) {
        return TCL_ERROR;  // the parser has set the message
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
    return guarded(interp, [&] {
        ResultSlot<std::remove_const_t<Out>> result;
        const int status = (self->*op)(std::get<I>(args)..., result.arg());
        if (status != ZOLV_OK) return fail(interp, status);
        set_result(interp, result.value);
        return TCL_OK;
    });
}

}  // namespace detail

// The whole body of an indicator command: the words after the object are
// parsed by `format` into the operation's leading parameters (a char for code
// c, an int for code i), and the operation's last parameter receives the result.
template <typename... Params>
int run_operation(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[], const char* format,
                  int (ZOLV::*op)(Params...) const) {
    return detail::run_operation(interp, objc, objv, format, op,
                                 std::make_index_sequence<sizeof...(Params) - 1>{});
}

}  // namespace zolv
