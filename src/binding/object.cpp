// This file contains the class command of ZOLV and the object commands it
// makes: construction and wrapping, methods, attributes and ownership.
#include "binding/object.h"

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"

namespace zolv {
namespace {

// One object command. `cell` is the liveness cell of the object it was bound to
// when it was made (null for a null address): its methods work on that object,
// and once it is destroyed the command is dead. `refs` counts the command
// itself and every call of it in progress, so that a call that runs script can
// go on using the record after the command has been deleted.
struct Instance {
    BoundObject bound;  // first: methods read it through their client data
    ClassRecord* cls;
    int destroy;
    Tcl_Command token;
    int refs;
};
static_assert(std::is_standard_layout<Instance>::value, "a record must start with its binding");

bool alive(const Instance* rec) {
    return cell_alive(rec->bound.cell);
}

void release_instance(Instance* rec) {
    if (--rec->refs > 0) return;
    Tcl_DecrRefCount(rec->bound.this_obj);
    release_cell(rec->bound.cell);
    delete rec;
}

// Keeps a record for the length of a call.
class InstanceHold {
public:
    explicit InstanceHold(Instance* rec) : rec_(rec) { ++rec_->refs; }
    ~InstanceHold() { release_instance(rec_); }
    InstanceHold(const InstanceHold&) = delete;
    InstanceHold& operator=(const InstanceHold&) = delete;

private:
    Instance* rec_;
};

int dead_object(Tcl_Interp* interp, const Instance* rec) {
    return invalid_object(interp, rec->bound.this_obj);
}

int wrong_args(Tcl_Interp* interp) {
    return raise_error(interp, "wrong # args.", kArgsError);
}

int invalid_attribute(Tcl_Interp* interp) {
    return raise_error(interp, "Invalid attribute name.", kAttributeError);
}

void destroy_ZOLV(void* address) {
    if (address) destroy_zolv(address);
}

constexpr MethodRow kMethods[] = {
    {"setlist", setlist_cmd},
    {"clear", clear_cmd},
    {"push_front", push_front_cmd},
    {"push_back", push_back_cmd},
    {"pop_front", pop_front_cmd},
    {"pop_back", pop_back_cmd},
    {"size", size_cmd},
    {"at", at_cmd},
    {"value", value_cmd},
    {"stdev", stdev_cmd},
    {"ema", ema_cmd},
    {"sma", sma_cmd},
    {"conv_ema", conv_ema_cmd},
    {"conv_sma", conv_sma_cmd},
    {"bollingerband", bollingerband_cmd},
    {"cci", cci_cmd},
    {"dmi", dmi_cmd},
    {"hlband", hlband_cmd},
    {"macd", macd_cmd},
    {"mfi", mfi_cmd},
    {"momentum", momentum_cmd},
    {"psychological", psychological_cmd},
    {"rci", rci_cmd},
    {"roc", roc_cmd},
    {"rsi", rsi_cmd},
    {"stc_k", stc_k_cmd},
    {"stc_d", stc_d_cmd},
    {"stc_sd", stc_sd_cmd},
    {"tr", tr_cmd},
    {"ultimate_osi", ultimate_osi_cmd},
    {"williams_r", williams_r_cmd},
    {"vr1", vr1_cmd},
    {"vr2", vr2_cmd},
    {"wvr", wvr_cmd},
    {nullptr, nullptr},
};

const AttributeRow kAttributes[] = {
    {"-pos", pos_get_cmd, pos_set_cmd},
    {nullptr, nullptr, nullptr},
};

ClassRecord* const kNoBases[] = {nullptr};

ClassRecord zolv_record = {"ZOLV",   kZolvType,   new_zolv_cmd, destroy_ZOLV,
                           kMethods, kAttributes, kNoBases};

// Calls `proc` with `words`, word 1 replaced by the this-object, which is held
// for the call. The words are copied, so Tcl's own array is never written.
int call_with_this(Instance* rec, Tcl_ObjCmdProc* proc, Tcl_Interp* interp, int objc,
                   Tcl_Obj* const words[]) {
    ObjRef self(rec->bound.this_obj);
    constexpr int kSmall = 8;
    Tcl_Obj* small[kSmall];
    std::vector<Tcl_Obj*> large;
    Tcl_Obj** copy = small;
    if (objc > kSmall) {
        large.assign(words, words + objc);
        copy = large.data();
    } else {
        for (int k = 0; k < objc; ++k) copy[k] = words[k];
    }
    copy[1] = self.get();
    return proc(rec, interp, objc, copy);
}

// The methods followed by "cget" and "configure", so that one exact lookup,
// which Tcl remembers in the word, finds any of them. The methods come first:
// they are matched before cget and configure.
constexpr size_t kMethodCount = sizeof(kMethods) / sizeof(kMethods[0]) - 1;
constexpr int kCget = static_cast<int>(kMethodCount);
constexpr int kConfigure = kCget + 1;

constexpr std::array<MethodRow, kMethodCount + 3> make_subcommands() {
    std::array<MethodRow, kMethodCount + 3> table{};
    for (size_t k = 0; k < kMethodCount; ++k) table[k] = kMethods[k];
    table[kMethodCount] = {"cget", nullptr};
    table[kMethodCount + 1] = {"configure", nullptr};
    table[kMethodCount + 2] = {nullptr, nullptr};
    return table;
}
constexpr std::array<MethodRow, kMethodCount + 3> kSubcommands = make_subcommands();

int invalid_method(Tcl_Interp* interp, const ClassRecord* cls) {
    std::string message = "Invalid method. Must be one of: configure cget -acquire -disown -delete";
    for (const MethodRow* m = cls->methods; m->name; ++m) {
        // A name already present from the first ":" on is not repeated.
        if (message.find(m->name, message.find(':')) != std::string::npos) continue;
        message += ' ';
        message += m->name;
    }
    return raise_error(interp,
                       Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())),
                       kMethodError);
}

int cget(Instance* rec, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) return wrong_args(interp);
    const char* name = Tcl_GetString(objv[2]);
    for (const AttributeRow* a = rec->cls->attributes; a->name; ++a) {
        if (std::strcmp(a->name, name) != 0 || !a->getter) continue;
        if (!alive(rec)) return dead_object(interp, rec);
        return call_with_this(rec, a->getter, interp, 2, objv);
    }
    if (std::strcmp(name, "-this") == 0) {
        Tcl_SetObjResult(interp, Tcl_DuplicateObj(rec->bound.this_obj));
        return TCL_OK;
    }
    if (std::strcmp(name, "-thisown") == 0) {
        const bool owned = alive(rec) && is_owned(rec->bound.address);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(owned ? "1" : "0", 1));
        return TCL_OK;
    }
    return invalid_attribute(interp);
}

int configure(Instance* rec, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 4) return wrong_args(interp);
    int applied = 0;
    for (int i = 2; i < objc; i += 2) {
        const char* name = Tcl_GetString(objv[i]);
        for (const AttributeRow* a = rec->cls->attributes; a->name; ++a) {
            if (std::strcmp(a->name, name) != 0 || !a->setter) continue;
            if (i + 1 >= objc) return wrong_args(interp);
            if (!alive(rec)) return dead_object(interp, rec);
            // The setter sees word i - 1 as its name, the this-object, the value.
            Tcl_Obj* const words[3] = {objv[i - 1], objv[i], objv[i + 1]};
            const int code = call_with_this(rec, a->setter, interp, 3, words);
            if (code != TCL_OK) return code;
            ++applied;
        }
    }
    if (2 + 2 * applied >= objc) return TCL_OK;
    return invalid_attribute(interp);
}

// The subcommands of an object command, with its record held for the call.
int subcommand(Instance* rec, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 2) return wrong_args(interp);
    const char* sub = Tcl_GetString(objv[1]);
    if (sub[0] == '-') {
        if (std::strcmp(sub, "-acquire") == 0) {
            rec->destroy = 1;
            if (alive(rec)) acquire_object(rec->bound.address);
            return TCL_OK;
        }
        if (std::strcmp(sub, "-disown") == 0) {
            if (rec->destroy == 1 && alive(rec)) disown_object(rec->bound.address);
            rec->destroy = 0;
            return TCL_OK;
        }
        if (std::strcmp(sub, "-delete") == 0) {
            if (rec->token) Tcl_DeleteCommandFromToken(interp, rec->token);
            return TCL_OK;
        }
    }
    int index = 0;
    if (Tcl_GetIndexFromObjStruct(nullptr, objv[1], kSubcommands.data(), sizeof(MethodRow),
                                  "method", TCL_EXACT, &index) != TCL_OK) {
        return invalid_method(interp, rec->cls);
    }
    if (index == kCget) return cget(rec, interp, objc, objv);
    if (index == kConfigure) return configure(rec, interp, objc, objv);
    if (!alive(rec)) return dead_object(interp, rec);
    return call_with_this(rec, kSubcommands[static_cast<size_t>(index)].proc, interp, objc, objv);
}

int object_command(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    Instance* rec = static_cast<Instance*>(data);
    InstanceHold hold(rec);
    return guarded(interp, [&] { return subcommand(rec, interp, objc, objv); });
}

void object_deleted(ClientData data) {
    Instance* rec = static_cast<Instance*>(data);
    rec->token = nullptr;
    // A dead command destroys nothing: its address may belong to a new object.
    if (rec->destroy == 1 && alive(rec) && disown_object(rec->bound.address)) {
        rec->cls->destructor(rec->bound.address);
    }
    release_instance(rec);  // freed now, or when the last call in progress ends
}

}  // namespace

ClassRecord* zolv_class() {
    return &zolv_record;
}

bool is_dead_object_command(const Tcl_CmdInfo& info) {
    return info.objProc == object_command && !alive(static_cast<Instance*>(info.objClientData));
}

bool create_object_command(Tcl_Interp* interp, const char* name, Tcl_Obj* this_obj, void* address,
                           ClassRecord* cls, int destroy) {
    std::unique_ptr<Instance> rec(
        new Instance{{address, nullptr, nullptr}, cls, destroy, nullptr, /*refs=*/1});
    rec->bound.this_obj = Tcl_DuplicateObj(this_obj);
    Tcl_IncrRefCount(rec->bound.this_obj);
    rec->bound.cell = address ? acquire_cell(address) : nullptr;
    if (destroy == 1 && alive(rec.get())) acquire_object(address);
    rec->token = Tcl_CreateObjCommand(interp, name, object_command, rec.get(), object_deleted);
    if (!rec->token) {
        if (destroy == 1 && alive(rec.get())) disown_object(address);
        release_instance(rec.release());
        return false;
    }
    rec.release();  // Tcl owns it now: object_deleted releases it
    return true;
}

namespace {

int class_body(ClassRecord* cls, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    bool construct = true;
    int start = 0;
    Tcl_Obj* name = nullptr;  // null: the pointer text of the object
    Tcl_Obj* given = nullptr;
    if (objc > 1) {
        const char* w1 = Tcl_GetString(objv[1]);
        if (std::strcmp(w1, "-this") == 0) {
            if (objc < 3) return wrong_args(interp);
            construct = false;
            given = name = objv[2];
        } else if (std::strcmp(w1, "-args") == 0) {
            start = 1;
        } else if (objc > 2 && std::strcmp(Tcl_GetString(objv[2]), "-this") == 0) {
            if (objc < 4) return wrong_args(interp);
            construct = false;
            name = objv[1];
            given = objv[3];
        } else {
            start = 1;
            name = objv[1];
        }
    }

    Tcl_Obj* this_obj = nullptr;
    if (construct) {
        if (!cls->constructor)
            return raise_error(interp, "No constructor available.", kUnknownError);
        const int code = cls->constructor(nullptr, interp, objc - start, objv + start);
        if (code != TCL_OK) return code;
        this_obj = Tcl_DuplicateObj(Tcl_GetObjResult(interp));
    } else {
        this_obj = Tcl_DuplicateObj(given);
    }
    ObjRef hold(this_obj);

    void* address = nullptr;
    if (convert_pointer_text(interp, Tcl_GetString(this_obj), &address, type_slot(cls->type)) !=
        TCL_OK) {
        return TCL_ERROR;
    }
    if (address && live_serial(address) == 0) return invalid_object(interp, this_obj);
    // A new object that gets no owning command is destroyed again: nothing would delete it.
    try {
        // Copied: converting an object-command name may have replaced the result.
        const std::string command_name = Tcl_GetString(name ? name : this_obj);
        if (create_object_command(interp, command_name.c_str(), this_obj, address, cls,
                                  construct ? 1 : 0)) {
            return TCL_OK;
        }
    } catch (...) {
        if (construct) cls->destructor(address);
        throw;
    }
    if (construct) cls->destructor(address);
    return raise_error(interp, kUnknownErrorMessage, kUnknownError);
}

}  // namespace

int class_command(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    ClassRecord* cls = static_cast<ClassRecord*>(data);
    if (!cls) {
        return raise_error(interp, "internal runtime error. No class object defined.",
                           kUnknownError);
    }
    return guarded(interp, [&] { return class_body(cls, interp, objc, objv); });
}

}  // namespace zolv
