// This file contains the live-object registry with each object's liveness cell
// and lock, the ownership set, and the conversion of an object word that
// remembers the cell it found.
#include "binding/registry.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "binding/pointer.h"
#include "binding/tcl_compat.h"
#include "series/zolv.h"

namespace zolv {
namespace {

// Guards both tables. Calls on an object reach it through its cell, without
// this mutex, once their word has been converted.
std::mutex object_mutex;
std::unordered_set<const void*>* owned = nullptr;
// Never destroyed: objects a script has not deleted live until the process
// ends, and a thread may still be using the registry while it does.
std::unordered_map<const void*, LiveCell*>& live =
    *new std::unordered_map<const void*, LiveCell*>();
uint64_t next_serial = 1;

// The records of the last kQuarantined destroyed objects, their bars freed: while a record is
// here its address is not handed to a new object, so the pointer text of a recently destroyed
// object names none. A ring, the oldest record at `next_out`; guarded by quarantine_mutex.
constexpr size_t kQuarantined = 4096;
std::mutex quarantine_mutex;
ZOLV* quarantine[kQuarantined] = {};
size_t next_out = 0;

// Frees the bars of a destroyed object at once and keeps its record, freeing the oldest one.
void quarantine_record(ZOLV* z) {
    z->clear();  // the columns and the remembered averages
    ZOLV* oldest = nullptr;
    {
        std::lock_guard<std::mutex> lock(quarantine_mutex);
        oldest = quarantine[next_out];
        quarantine[next_out] = z;
        next_out = (next_out + 1) % kQuarantined;
    }
    delete oldest;
}

}  // namespace

// ---- Ownership set -------------------------------------------------------

void acquire_object(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    if (!owned) owned = new std::unordered_set<const void*>();
    owned->insert(address);
}

int disown_object(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    if (!owned) return 0;
    return owned->erase(address) ? 1 : 0;
}

int is_owned(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    return owned && owned->count(address) ? 1 : 0;
}

// ---- Live registry -------------------------------------------------------

ZOLV* create_zolv() {
    std::unique_ptr<ZOLV> z(new ZOLV());
    std::unique_ptr<LiveCell> cell(new LiveCell());
    cell->object.store(z.get(), std::memory_order_relaxed);
    cell->refs.store(1, std::memory_order_relaxed);
    std::lock_guard<std::mutex> lock(object_mutex);
    cell->serial = next_serial++;
    live.emplace(z.get(), cell.get());
    cell.release();
    return z.release();
}

bool destroy_zolv(const void* address, const LiveCell* expected) {
    if (!address) return false;
    LiveCell* cell = nullptr;
    ZOLV* z = nullptr;
    {
        std::lock_guard<std::mutex> lock(object_mutex);
        auto it = live.find(address);
        if (it == live.end() || (expected && it->second != expected)) return false;
        cell = it->second;
        live.erase(it);
        if (owned) owned->erase(address);
        z = cell->object.exchange(nullptr, std::memory_order_acq_rel);
    }
    // Calls that locked the object before it left the registry finish first;
    // calls that lock it afterwards find it gone.
    cell->lock.lock();
    cell->lock.unlock();
    quarantine_record(z);
    release_cell(cell);
    return true;
}

size_t live_object_count() {
    std::lock_guard<std::mutex> lock(object_mutex);
    return live.size();
}

uint64_t live_serial(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    auto it = live.find(address);
    return it == live.end() ? 0 : it->second->serial;
}

LiveCell* acquire_cell(const void* address) {
    std::lock_guard<std::mutex> lock(object_mutex);
    auto it = live.find(address);
    if (it == live.end()) return nullptr;
    it->second->refs.fetch_add(1, std::memory_order_relaxed);
    return it->second;
}

void release_cell(LiveCell* cell) {
    if (cell && cell->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete cell;
}

bool cell_alive(const LiveCell* cell) {
    return cell && cell->object.load(std::memory_order_acquire) != nullptr;
}

// ---- Object words --------------------------------------------------------

namespace {

// The remembered conversion of a pointer word: the object's address and its
// cell (one reference held). The word's text stays as it was.
void free_pointer_rep(Tcl_Obj* obj) {
    release_cell(static_cast<LiveCell*>(obj->internalRep.twoPtrValue.ptr2));
}

void dup_pointer_rep(Tcl_Obj* src, Tcl_Obj* dup);

}  // namespace

const Tcl_ObjType kPointerWordType = {"zolvPointer", free_pointer_rep, dup_pointer_rep,
                                      nullptr,       nullptr,          TCL_OBJTYPE_V0};

namespace {

void dup_pointer_rep(Tcl_Obj* src, Tcl_Obj* dup) {
    LiveCell* cell = static_cast<LiveCell*>(src->internalRep.twoPtrValue.ptr2);
    cell->refs.fetch_add(1, std::memory_order_relaxed);
    dup->internalRep.twoPtrValue.ptr1 = src->internalRep.twoPtrValue.ptr1;
    dup->internalRep.twoPtrValue.ptr2 = cell;
    dup->typePtr = &kPointerWordType;
}

void remember_pointer(Tcl_Obj* word, void* address, LiveCell* cell) {
    if (word->typePtr && word->typePtr->freeIntRepProc) word->typePtr->freeIntRepProc(word);
    word->internalRep.twoPtrValue.ptr1 = address;
    word->internalRep.twoPtrValue.ptr2 = cell;
    word->typePtr = &kPointerWordType;
}

}  // namespace

int convert_zolv_word(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, LiveCell** cell,
                      bool* owned_cell) {
    *owned_cell = false;
    if (LiveCell* remembered = remembered_cell(word)) {
        if (cell_alive(remembered)) {
            *out = static_cast<ZOLV*>(word->internalRep.twoPtrValue.ptr1);
            *cell = remembered;
            return TCL_OK;
        }
    }
    const bool pointer_text = Tcl_GetString(word)[0] == '_';
    void* address = nullptr;
    if (convert_pointer_object(interp, word, &address, type_slot(kZolvType)) != TCL_OK) {
        return TCL_ERROR;
    }
    *out = static_cast<ZOLV*>(address);
    *cell = address ? acquire_cell(address) : nullptr;
    if (!*cell) return TCL_OK;
    if (pointer_text) {
        remember_pointer(word, address, *cell);  // the word keeps the reference
    } else {
        *owned_cell = true;  // an object-command name may be rebound: not remembered
    }
    return TCL_OK;
}

}  // namespace zolv
