// This file contains the zolv::read_csv command: the bars of a CSV file, read through Tcl's
// channels and scaled exactly, appended to an object as setlist appends a list.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"
#include "series/csv.h"

namespace zolv {
namespace {

constexpr char kUsage[] =
    "wrong # args: should be \"zolv::read_csv object file ?-scale n? ?-volumescale n? "
    "?-dates var?\"";

const char* const kOptions[] = {"-dates", "-scale", "-volumescale", nullptr};
enum Option { kDatesOption, kScaleOption, kVolumeScaleOption };

constexpr int kReadChunk = 1 << 16;

// Sets errorCode ZOLV CSV on the message already in the result and returns TCL_ERROR.
int csv_error(Tcl_Interp* interp) {
    Tcl_SetErrorCode(interp, "ZOLV", "CSV", nullptr);
    return TCL_ERROR;
}

int csv_error(Tcl_Interp* interp, Tcl_Obj* message) {
    Tcl_SetObjResult(interp, message);
    return csv_error(interp);
}

// Closes a channel that no interpreter has registered when the scope ends.
class ChannelCloser {
public:
    explicit ChannelCloser(Tcl_Channel channel) : channel_(channel) {}
    ~ChannelCloser() { Tcl_Close(nullptr, channel_); }
    ChannelCloser(const ChannelCloser&) = delete;
    ChannelCloser& operator=(const ChannelCloser&) = delete;

private:
    Tcl_Channel channel_;
};

// The bytes of a file, in one block that grows as reading needs (never filled in advance).
class FileBytes {
public:
    const char* data() const { return data_.get(); }
    size_t size() const { return size_; }
    size_t room() const { return capacity_ - size_; }
    char* end() { return data_.get() + size_; }
    void added(size_t count) { size_ += count; }
    // Makes room for at least `more` bytes behind those held.
    void reserve(size_t more) {
        if (room() >= more) return;
        const size_t capacity = std::max(size_ + more, 2 * capacity_);
        std::unique_ptr<char[]> grown(new char[capacity]);
        if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
        data_ = std::move(grown);
        capacity_ = capacity;
    }

private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Reads the whole file. A file that cannot be opened or read fails with Tcl's own message and
// errorCode.
int read_file(Tcl_Interp* interp, Tcl_Obj* path, FileBytes& bytes) {
    Tcl_Channel channel = Tcl_FSOpenFileChannel(interp, path, "r", 0);
    if (!channel) return TCL_ERROR;
    ChannelCloser closer(channel);
    if (Tcl_SetChannelOption(interp, channel, "-translation", "binary") != TCL_OK) {
        return TCL_ERROR;
    }
    // Once the first bytes are in, room for the whole file where its size is known and a
    // byte more, so that the read that finds the end needs no more. (A directory opens, and
    // its size says nothing: its first read fails.)
    Tcl_WideInt size = Tcl_Seek(channel, 0, SEEK_END);
    const bool rewound = size <= 0 || Tcl_Seek(channel, 0, SEEK_SET) == 0;
    // The channel is new and nothing is stacked on it: its bytes come straight from the file.
    for (Tcl_Size got = 0; rewound;) {
        bytes.reserve(kReadChunk);
        got = Tcl_ReadRaw(channel, bytes.end(),
                          static_cast<Tcl_Size>(std::min<size_t>(bytes.room(), INT_MAX)));
        if (got == 0) return TCL_OK;
        if (got < 0) break;
        bytes.added(static_cast<size_t>(got));
        if (size > 0 && static_cast<uint64_t>(size) >= bytes.size()) {
            bytes.reserve(static_cast<size_t>(size) - bytes.size() + 1);
        }
        size = 0;
    }
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("error reading \"%s\": %s", Tcl_GetString(path),
                                           Tcl_PosixError(interp)));
    return TCL_ERROR;
}

// The last element of a path, as `file tail` gives it for the names a script writes.
std::string tail_name(Tcl_Obj* path) {
    const std::string text = Tcl_GetString(path);
    const size_t slash = text.find_last_of('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// The date texts as a Tcl list, one element per bar.
Tcl_Obj* date_list(const std::vector<std::string>& dates) {
    std::vector<Tcl_Obj*> elements(dates.size());  // allocated before any Tcl object exists
    for (size_t k = 0; k < dates.size(); ++k) {
        elements[k] = Tcl_NewStringObj(dates[k].data(), static_cast<Tcl_Size>(dates[k].size()));
    }
    return Tcl_NewListObj(static_cast<Tcl_Size>(elements.size()), elements.data());
}

}  // namespace

int read_csv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) return csv_error(interp, Tcl_NewStringObj(kUsage, -1));
    // A safe interpreter has no access to files, and this command must not give it one.
    if (Tcl_IsSafe(interp)) {
        return csv_error(interp,
                         Tcl_NewStringObj("permission denied: zolv::read_csv reads files", -1));
    }
    CsvOptions options;
    Tcl_Obj* dates_name = nullptr;
    for (int k = 3; k < objc; k += 2) {
        int option = 0;
        if (Tcl_GetIndexFromObj(interp, objv[k], kOptions, "option", 0, &option) != TCL_OK) {
            return csv_error(interp);
        }
        if (k + 1 == objc) {
            return csv_error(interp, Tcl_ObjPrintf("value for \"%s\" missing", kOptions[option]));
        }
        if (option == kDatesOption) {
            dates_name = objv[k + 1];
            options.dates = true;
            continue;
        }
        Tcl_WideInt scale = 0;
        int decimals = -1;
        if (Tcl_GetWideIntFromObj(nullptr, objv[k + 1], &scale) == TCL_OK) {
            decimals = scale_decimals(scale);
        }
        if (decimals < 0) {
            return csv_error(interp, Tcl_ObjPrintf("bad %s \"%s\": must be a power of ten from 1 "
                                                   "to 1000000000",
                                                   kOptions[option], Tcl_GetString(objv[k + 1])));
        }
        (option == kScaleOption ? options.price_decimals : options.volume_decimals) = decimals;
    }
    ZOLV* self = nullptr;
    if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;

    return guarded(interp, [&] {
        FileBytes bytes;
        if (read_file(interp, objv[2], bytes) != TCL_OK) return TCL_ERROR;
        CsvBars bars;
        CsvError error;
        if (parse_csv(bytes.data(), bytes.size(), options, &bars, &error)) {
            const std::string where = tail_name(objv[2]) + ":" + std::to_string(error.line) + ": ";
            const std::string message = where + error.message;
            return csv_error(
                interp, Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
        }
        // The variable is set before the store changes: a trace on it may run any script, and
        // when setting it fails nothing is appended.
        if (dates_name) {
            ObjRef dates(date_list(bars.dates));
            if (!Tcl_ObjSetVar2(interp, dates_name, nullptr, dates.get(), TCL_LEAVE_ERR_MSG)) {
                return TCL_ERROR;
            }
        }
        const size_t count = bars.values.size();
        if (count > 0) {
            // Script may have run since the first conversion (a trace, a filesystem written
            // in Tcl) and destroyed the object: the word is converted again.
            if (convert_self(interp, objv[1], &self) != TCL_OK) return TCL_ERROR;
            // The one change of the store: all the bars in one setlist.
            const int status = self->setlist(bars.values.data(), static_cast<int>(count));
            if (status != ZOLV_OK) return fail(interp, status);
        }
        Tcl_SetObjResult(interp, Tcl_NewIntObj(static_cast<int>(count / 5)));
        return TCL_OK;
    });
}

}  // namespace zolv
