// The command procedures of the command table, in its order.
#pragma once

#include <tcl.h>

namespace zolv {

// Lifecycle, store and cursor.
Tcl_ObjCmdProc new_zolv_cmd;
Tcl_ObjCmdProc delete_zolv_cmd;
Tcl_ObjCmdProc pos_set_cmd;
Tcl_ObjCmdProc pos_get_cmd;
Tcl_ObjCmdProc setlist_cmd;
Tcl_ObjCmdProc clear_cmd;
Tcl_ObjCmdProc push_front_cmd;
Tcl_ObjCmdProc push_back_cmd;
Tcl_ObjCmdProc pop_front_cmd;
Tcl_ObjCmdProc pop_back_cmd;
Tcl_ObjCmdProc size_cmd;
Tcl_ObjCmdProc at_cmd;
Tcl_ObjCmdProc value_cmd;

// Indicators.
Tcl_ObjCmdProc stdev_cmd;
Tcl_ObjCmdProc ema_cmd;
Tcl_ObjCmdProc sma_cmd;
Tcl_ObjCmdProc conv_ema_cmd;
Tcl_ObjCmdProc conv_sma_cmd;
Tcl_ObjCmdProc bollingerband_cmd;
Tcl_ObjCmdProc cci_cmd;
Tcl_ObjCmdProc dmi_cmd;
Tcl_ObjCmdProc hlband_cmd;
Tcl_ObjCmdProc macd_cmd;
Tcl_ObjCmdProc mfi_cmd;
Tcl_ObjCmdProc momentum_cmd;
Tcl_ObjCmdProc psychological_cmd;
Tcl_ObjCmdProc rci_cmd;
Tcl_ObjCmdProc roc_cmd;
Tcl_ObjCmdProc rsi_cmd;
Tcl_ObjCmdProc stc_k_cmd;
Tcl_ObjCmdProc stc_d_cmd;
Tcl_ObjCmdProc stc_sd_cmd;
Tcl_ObjCmdProc tr_cmd;
Tcl_ObjCmdProc ultimate_osi_cmd;
Tcl_ObjCmdProc williams_r_cmd;
Tcl_ObjCmdProc vr1_cmd;
Tcl_ObjCmdProc vr2_cmd;
Tcl_ObjCmdProc wvr_cmd;

// Whole-series results: zolv::series OBJECT OPERATION ARGS...
Tcl_ObjCmdProc series_cmd;
// An operation at the cursor: zolv::indicator OBJECT OPERATION ARGS...
Tcl_ObjCmdProc indicator_cmd;
// The operations and their arguments: zolv::operations ?OPERATION?
Tcl_ObjCmdProc operations_cmd;
// The threads of large whole-series calls: zolv::threads ?COUNT?
Tcl_ObjCmdProc threads_cmd;

// The bars of a CSV file: zolv::read_csv OBJECT FILE ?OPTION VALUE ...?
Tcl_ObjCmdProc read_csv_cmd;

// Defines isnan, isinf and isfinite in ::tcl::mathfunc where the interpreter has none (Tcl 8.6),
// with the meaning of Tcl 9's own.
void install_math_functions(Tcl_Interp* interp);

}  // namespace zolv
