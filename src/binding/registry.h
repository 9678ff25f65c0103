// The live-object registry, the per-object lock and the ownership set.
#pragma once

#include <tcl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "binding/rw_lock.h"

class ZOLV;

namespace zolv {

// The ownership set: addresses owned by the script side.
void acquire_object(const void* address);
int disown_object(const void* address);
int is_owned(const void* address);

// The live-object registry. Each ZOLV made by the package gets a liveness cell
// of its own, with a serial number that is never reused and the object's lock:
// whoever holds the cell (an object command, a cached pointer word, a call in
// progress) can tell that its object is gone even when a new object takes the
// same address.
struct LiveCell {
    std::atomic<ZOLV*> object{nullptr};  // null once the object is destroyed
    std::atomic<long> refs{0};
    uint64_t serial = 0;
    RwLock lock;  // held by every call for the length of its work on the object
};
ZOLV* create_zolv();
// Destroys a live object. It leaves the registry and the ownership set at once,
// so that no call can reach it any more; then this waits until the calls that
// are already working on it (in other threads) have finished, and frees its bars.
// Its record (the address its pointer text names) is freed only after 4096 more
// objects of the process have been destroyed: no new object gets the address of
// any of the last 4096 destroyed ones.
// Returns false (and does nothing) if the address names no live object, or, with
// `expected` given, an object other than the one of that cell.
bool destroy_zolv(const void* address, const LiveCell* expected = nullptr);
// The number of live objects in the process.
size_t live_object_count();
// The serial of the live object at `address`, or 0.
uint64_t live_serial(const void* address);
// The cell of the live object at `address` with a reference for the caller, or null.
LiveCell* acquire_cell(const void* address);
void release_cell(LiveCell* cell);
// True while the cell's object has not been destroyed.
bool cell_alive(const LiveCell* cell);

enum class Access { kRead, kWrite };

// A call's lock on one object: shared with the other readers for kRead,
// exclusive for kWrite; a writer that waits holds back new readers. Never held
// while script runs, and never more than one per thread.
class ObjectLock {
public:
    ObjectLock() = default;
    ~ObjectLock() { unlock(); }
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;

    // Locks the object of `cell`, which the caller keeps referenced, and answers
    // it; answers null, holding nothing, when the object has been destroyed.
    ZOLV* lock(LiveCell* cell, Access access) {
        unlock();
        if (access == Access::kRead) {
            cell->lock.lock_shared();
        } else {
            cell->lock.lock();
        }
        cell_ = cell;
        access_ = access;
        ZOLV* z = cell->object.load(std::memory_order_acquire);
        if (!z) unlock();
        return z;
    }
    void unlock() {
        if (!cell_) return;
        if (access_ == Access::kRead) {
            cell_->lock.unlock_shared();
        } else {
            cell_->lock.unlock();
        }
        cell_ = nullptr;
    }

private:
    LiveCell* cell_ = nullptr;
    Access access_ = Access::kRead;
};

// The cell a pointer word remembers from an earlier conversion, or null.
extern const Tcl_ObjType kPointerWordType;
inline LiveCell* remembered_cell(const Tcl_Obj* word) {
    return word->typePtr == &kPointerWordType
               ? static_cast<LiveCell*>(word->internalRep.twoPtrValue.ptr2)
               : nullptr;
}

// Converts the object word of a ZOLV command: pointer text, "NULL" or an
// object-command name. A word that is pointer text of a live object remembers
// its cell, so the next conversion of the same word is a single check. The
// address is null for "NULL"; `cell` is the cell of the live object the word
// names, or null. `owned` tells whether the caller must release that cell
// (otherwise the word holds it, and it lives as long as the word).
int convert_zolv_word(Tcl_Interp* interp, Tcl_Obj* word, ZOLV** out, LiveCell** cell, bool* owned);

}  // namespace zolv
