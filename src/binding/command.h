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

#include "binding/errors.h"
#include "binding/object.h"
#include "binding/runtime.h"
#include "indicators/calc_reason.h"
#include "series/zolv.h"

namespace zolv {

constexpr const char kUnknownErrorMessage[] = "Unknown Error!!";

// Sets the fixed message of a non-zero status and returns TCL_ERROR.
int fail(Tcl_Interp* interp, int status);

// "calc error!!" with errorCode ZOLV CALC and the reason's word, and the reason's sentence added
// to errorInfo; returns TCL_ERROR.
int fail_calc(Tcl_Interp* interp, const CalcFailure& failure);

// A command's hold on its object for the length of the call: the object stays
// alive and locked (shared for reading, exclusive for changing) until the hold
// ends or is released.
class Self {
public:
    Self() = default;
    ~Self() { release(); }
    Self(const Self&) = delete;
    Self& operator=(const Self&) = delete;

    // The object; null only for "NULL" where the command allows it.
    ZOLV* get() const { return object_; }
    ZOLV* operator->() const { return object_; }
    // Unlocks the object early; get() is then null.
    void release() {
        object_ = nullptr;
        lock_.unlock();
        if (owned_cell_) release_owned_cell();
    }

private:
    friend int hold_self(ClientData, Tcl_Interp*, Tcl_Obj*, Access, Self*, bool);
    friend int hold_self_slow(ClientData, Tcl_Interp*, Tcl_Obj*, Access, Self*, bool);
    void release_owned_cell();

    ObjectLock lock_;
    LiveCell* owned_cell_ = nullptr;
    ZOLV* object_ = nullptr;
};

// Takes hold of the object of a command: the one named by its object word, or,
// for a method called by an object command (whose record is the client data),
// the object that command is bound to. A non-null address must name a live
// ZOLV; "NULL" is accepted only when `allow_null` is set. Conversion may run
// script (`NAME cget -this`); the lock is taken after it. On failure the
// interpreter result holds the message.
int hold_self_slow(ClientData record, Tcl_Interp* interp, Tcl_Obj* word, Access access, Self* self,
                   bool allow_null);
inline int hold_self(ClientData record, Tcl_Interp* interp, Tcl_Obj* word, Access access,
                     Self* self, bool allow_null = false) {
    // The common cases: a method of a live object command, and pointer text
    // converted before whose object is alive.
    LiveCell* cell = record ? bound_object(record).cell : remembered_cell(word);
    if (cell) {
        self->object_ = self->lock_.lock(cell, access);
        if (self->object_) return TCL_OK;
    }
    return hold_self_slow(record, interp, word, access, self, allow_null);
}

// The message for an object word that names no live object.
int invalid_object(Tcl_Interp* interp, Tcl_Obj* word);

// Runs `body`, turning any exception into TCL_ERROR "Unknown Error!!": no
// exception reaches Tcl, and the operations change nothing when they throw.
template <typename Body>
int guarded(Tcl_Interp* interp, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return raise_error(interp, kUnknownErrorMessage, kUnknownError);
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

// The integer parameters of an operation, in order; its column letter is not one.
inline void add_param(std::vector<int>& params, int value) {
    params.push_back(value);
}
inline void add_param(std::vector<int>&, char) {}

template <typename... Params, size_t... I>
int run_operation(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[],
                  SeriesOp key, const char* format, int (ZOLV::*op)(Params...) const,
                  std::index_sequence<I...>) {
    using ParamTuple = std::tuple<Params...>;
    using Out = std::remove_pointer_t<
        std::remove_reference_t<std::tuple_element_t<sizeof...(Params) - 1, ParamTuple>>>;
    return guarded(interp, [&] {
        std::tuple<std::tuple_element_t<I, ParamTuple>...> args{};
        if (parse_args(interp, objc, objv, format, nullptr, &std::get<I>(args)...) != TCL_OK) {
            return TCL_ERROR;  // the parser has set the message
        }
        Self self;
        if (hold_self(record, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
        ResultSlot<std::remove_const_t<Out>> result;
        const int status = (self.get()->*op)(std::get<I>(args)..., result.arg());
        if (status == ZOLV_CALC_ERROR) {
            // Only now, and while the object is still held, is the reason worked out.
            std::vector<int> params;
            (add_param(params, std::get<I>(args)), ...);
            const CalcFailure why = explain_calc_failure(*self.get(), key, params);
            self.release();
            return fail_calc(interp, why);
        }
        self.release();
        if (status != ZOLV_OK) return fail(interp, status);
        set_result(interp, result.value);
        return TCL_OK;
    });
}

}  // namespace detail

// The whole body of an indicator command: the words after the object are
// parsed by `format` into the operation's leading parameters (a char for code
// c, an int for code i), the object is held for reading while the operation
// runs, and the operation's last parameter receives the result. A calc error
// is explained from the description of the operation `key`.
template <typename... Params>
int run_operation(ClientData record, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[],
                  SeriesOp key, const char* format, int (ZOLV::*op)(Params...) const) {
    return detail::run_operation(record, interp, objc, objv, key, format, op,
                                 std::make_index_sequence<sizeof...(Params) - 1>{});
}

}  // namespace zolv
