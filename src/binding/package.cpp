// This file contains the package's entry points: the command table, the
// constants table and what loading registers in an interpreter.
#include <tcl.h>

#include <cstring>

#include "binding/command.h"
#include "binding/commands.h"
#include "binding/object.h"
#include "binding/runtime.h"

namespace zolv {
namespace {

struct CommandRow {
    const char* name;
    Tcl_ObjCmdProc* proc;
    ClientData client_data;
};

enum ConstantKind {
    kEnd = 0,
    kIntConstant = 1,
    kDoubleConstant,
    kStringConstant,
    kPointerConstant,
    kPackedConstant
};

struct ConstantRow {
    int kind;
    const char* name;
    long int_value;
    double double_value;
    const void* pointer_value;
    TypeSlot type;
};

const ConstantRow kConstants[] = {
    {kIntConstant, "ZOLV_OK", 0, 0.0, nullptr, kZolvType},
    {kIntConstant, "ZOLV_UNKNOWN_ERROR", 1, 0.0, nullptr, kZolvType},
    {kIntConstant, "ZOLV_CALC_ERROR", 2, 0.0, nullptr, kZolvType},
    {kIntConstant, "ZOLV_LISTLENGTH_ERROR", 3, 0.0, nullptr, kZolvType},
    {kEnd, nullptr, 0, 0.0, nullptr, kZolvType},
};

constexpr const char kNamespace[] = "corvalix";
constexpr const char kPackageName[] = "zolv";
constexpr const char kPackageVersion[] = "0.1";

// Sets the global variable of each constant and records it in the index.
void install_constants(Tcl_Interp* interp, const ConstantRow* rows) {
    for (const ConstantRow* row = rows; row->kind != kEnd; ++row) {
        Tcl_Obj* value = nullptr;
        switch (row->kind) {
            case kIntConstant:
                value = Tcl_NewLongObj(row->int_value);
                record_constant_int(row->name, row->int_value);
                break;
            case kDoubleConstant:
                value = Tcl_NewDoubleObj(row->double_value);
                record_constant_double(row->name, row->double_value);
                break;
            case kStringConstant:
                value = Tcl_NewStringObj(static_cast<const char*>(row->pointer_value), -1);
                break;
            case kPointerConstant:
                value = new_pointer_object(row->pointer_value, type_slot(row->type));
                break;
            case kPackedConstant:
                value = new_packed_object(row->pointer_value, static_cast<size_t>(row->int_value),
                                          type_slot(row->type));
                break;
            default:
                break;
        }
        if (!value) continue;
        if (row->kind >= kStringConstant) record_constant_string(row->name, Tcl_GetString(value));
        Tcl_ObjSetVar2(interp, Tcl_NewStringObj(row->name, -1), nullptr, value, TCL_GLOBAL_ONLY);
    }
}

int init(Tcl_Interp* interp) {
    if (!interp) return TCL_ERROR;
    if (!Tcl_InitStubs(interp, "8.6-", 0)) return TCL_ERROR;  // any Tcl from 8.6 on, 9 included
    Tcl_PkgProvide(interp, kPackageName, kPackageVersion);
    Tcl_Eval(interp, "namespace eval corvalix { }");
    register_types(zolv_class());
    Tcl_Namespace* ns = Tcl_FindNamespace(interp, kNamespace, nullptr, TCL_LEAVE_ERR_MSG);
    if (!ns) return TCL_ERROR;

    static const CommandRow kCommands[] = {
        {"corvalix::new_ZOLV", new_zolv_cmd, nullptr},
        {"corvalix::delete_ZOLV", delete_zolv_cmd, nullptr},
        {"corvalix::ZOLV_pos_set", pos_set_cmd, nullptr},
        {"corvalix::ZOLV_pos_get", pos_get_cmd, nullptr},
        {"corvalix::ZOLV_setlist", setlist_cmd, nullptr},
        {"corvalix::ZOLV_clear", clear_cmd, nullptr},
        {"corvalix::ZOLV_push_front", push_front_cmd, nullptr},
        {"corvalix::ZOLV_push_back", push_back_cmd, nullptr},
        {"corvalix::ZOLV_pop_front", pop_front_cmd, nullptr},
        {"corvalix::ZOLV_pop_back", pop_back_cmd, nullptr},
        {"corvalix::ZOLV_size", size_cmd, nullptr},
        {"corvalix::ZOLV_at", at_cmd, nullptr},
        {"corvalix::ZOLV_value", value_cmd, nullptr},
        {"corvalix::ZOLV_stdev", stdev_cmd, nullptr},
        {"corvalix::ZOLV_ema", ema_cmd, nullptr},
        {"corvalix::ZOLV_sma", sma_cmd, nullptr},
        {"corvalix::ZOLV_conv_ema", conv_ema_cmd, nullptr},
        {"corvalix::ZOLV_conv_sma", conv_sma_cmd, nullptr},
        {"corvalix::ZOLV_bollingerband", bollingerband_cmd, nullptr},
        {"corvalix::ZOLV_cci", cci_cmd, nullptr},
        {"corvalix::ZOLV_dmi", dmi_cmd, nullptr},
        {"corvalix::ZOLV_hlband", hlband_cmd, nullptr},
        {"corvalix::ZOLV_macd", macd_cmd, nullptr},
        {"corvalix::ZOLV_mfi", mfi_cmd, nullptr},
        {"corvalix::ZOLV_momentum", momentum_cmd, nullptr},
        {"corvalix::ZOLV_psychological", psychological_cmd, nullptr},
        {"corvalix::ZOLV_rci", rci_cmd, nullptr},
        {"corvalix::ZOLV_roc", roc_cmd, nullptr},
        {"corvalix::ZOLV_rsi", rsi_cmd, nullptr},
        {"corvalix::ZOLV_stc_k", stc_k_cmd, nullptr},
        {"corvalix::ZOLV_stc_d", stc_d_cmd, nullptr},
        {"corvalix::ZOLV_stc_sd", stc_sd_cmd, nullptr},
        {"corvalix::ZOLV_tr", tr_cmd, nullptr},
        {"corvalix::ZOLV_ultimate_osi", ultimate_osi_cmd, nullptr},
        {"corvalix::ZOLV_williams_r", williams_r_cmd, nullptr},
        {"corvalix::ZOLV_vr1", vr1_cmd, nullptr},
        {"corvalix::ZOLV_vr2", vr2_cmd, nullptr},
        {"corvalix::ZOLV_wvr", wvr_cmd, nullptr},
        {"corvalix::ZOLV", class_command, zolv_class()},
        {nullptr, nullptr, nullptr},
    };
    const size_t qualifier = std::strlen(kNamespace) + 2;
    for (const CommandRow* row = kCommands; row->name; ++row) {
        Tcl_CreateObjCommand(interp, row->name, row->proc, row->client_data, nullptr);
        Tcl_Export(interp, ns, row->name + qualifier, 0);
    }
    install_constants(interp, kConstants);
    Tcl_CreateObjCommand(interp, "::zolv::series", series_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "::zolv::indicator", indicator_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "::zolv::operations", operations_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "::zolv::read_csv", read_csv_cmd, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "::zolv::threads", threads_cmd, nullptr, nullptr);
    install_math_functions(interp);
    return TCL_OK;
}

}  // namespace
}  // namespace zolv

// The only symbols the library exports: Tcl's `load` finds them by name.
#define ZOLV_EXPORT extern "C" __attribute__((visibility("default")))

ZOLV_EXPORT int Zolv_Init(Tcl_Interp* interp) {
    if (!interp) return TCL_ERROR;
    return zolv::guarded(interp, [interp] { return zolv::init(interp); });
}

ZOLV_EXPORT int Zolv_SafeInit(Tcl_Interp* interp) {
    return Zolv_Init(interp);
}
