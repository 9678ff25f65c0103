// This file contains the zolv::read_csv command: the bars of a CSV file, read through Tcl's
// channels and scaled exactly, appended to an object as setlist appends a list.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "binding/command.h"
#include "binding/commands.h"
#include "binding/long_command.h"
#include "series/csv.h"

namespace zolv {
namespace {

constexpr char kUsage[] =
    "wrong # args: should be \"zolv::read_csv object file ?-scale n? ?-volumescale n? ?-round? "
    "?-columns list? ?-separator char? ?-skip n? ?-skipinvalid var? ?-reverse? ?-dates var?\"";

const char* const kOptions[] = {"-columns",   "-dates", "-reverse",     "-round",       "-scale",
                                "-separator", "-skip",  "-skipinvalid", "-volumescale", nullptr};
enum Option {
    kColumnsOption,
    kDatesOption,
    kReverseOption,
    kRoundOption,
    kScaleOption,
    kSeparatorOption,
    kSkipOption,
    kSkipInvalidOption,
    kVolumeScaleOption
};

constexpr int kReadPiece = 1 << 16;

// Sets errorCode ZOLV CSV on the message already in the result and returns TCL_ERROR.
int csv_error(Tcl_Interp* interp) {
    set_error_code(interp, kCsvError);
    return TCL_ERROR;
}

int csv_error(Tcl_Interp* interp, Tcl_Obj* message) {
    return raise_error(interp, message, kCsvError);
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

// Reads the file through the reader, one piece at a time. A file that cannot be opened or read
// fails with Tcl's own message and errorCode, and so does a canceled script or an exceeded
// limit (checked between pieces); what the reader refuses sets `*refused`, with `error`
// filled, and answers TCL_OK.
int feed_file(Tcl_Interp* interp, Tcl_Obj* path, CsvReader& reader, CsvError* error,
              bool* refused) {
    Tcl_Channel channel = Tcl_FSOpenFileChannel(interp, path, "r", 0);
    if (!channel) return TCL_ERROR;
    ChannelCloser closer(channel);
    if (Tcl_SetChannelOption(interp, channel, "-translation", "binary") != TCL_OK) {
        return TCL_ERROR;
    }
    // The size, for the reader to make room once the first piece is in (a directory opens,
    // and its size says nothing, but its first read fails).
    Tcl_WideInt size = Tcl_Seek(channel, 0, SEEK_END);
    const bool at_start = size < 0 || Tcl_Seek(channel, 0, SEEK_SET) == 0;
    // The channel is new and nothing is stacked on it: its bytes come straight from the file,
    // into one small buffer that stays in the cache.
    std::vector<char> piece(kReadPiece);
    for (Tcl_Size got = 0; at_start;) {
        got = Tcl_ReadRaw(channel, piece.data(), kReadPiece);
        if (got == 0) return TCL_OK;
        if (got < 0) break;
        if (check_interrupts(interp) != TCL_OK) return TCL_ERROR;
        if (size > 0) reader.expect_bytes(static_cast<size_t>(size));
        size = 0;
        if (reader.feed(piece.data(), static_cast<size_t>(got), error)) {
            *refused = true;
            return TCL_OK;
        }
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

// The date texts as a Tcl list, one element per bar (see build_list).
int date_list(Tcl_Interp* interp, const std::vector<std::string>& dates, Tcl_Obj** list) {
    size_t bytes = 0;
    for (const std::string& date : dates) bytes += sizeof(Tcl_Obj) + date.size() + 1;
    return build_list(
        interp, dates.size(), bytes,
        [&](size_t k) {
            return Tcl_NewStringObj(dates[k].data(), static_cast<Tcl_Size>(dates[k].size()));
        },
        list);
}

// The decimals of a scale's word: the exponent of a power of ten from 10^least to 10^9, written
// as an integer (Tcl's forms) or as a decimal number ("0.001", "1e-3").
bool scale_of(Tcl_Obj* word, int least, int* decimals) {
    Tcl_WideInt scale = 0;
    if (Tcl_GetWideIntFromObj(nullptr, word, &scale) == TCL_OK) {
        *decimals = scale_decimals(scale);
        return *decimals >= 0;
    }
    Tcl_Size size = 0;
    const char* text = Tcl_GetStringFromObj(word, &size);
    return power_of_ten(text, static_cast<size_t>(size), decimals) && *decimals >= least;
}

// -columns {close "Close/Last" volume Vol ...}: the header name of each of the five given.
int columns_of(Tcl_Interp* interp, Tcl_Obj* word, CsvOptions* options) {
    Tcl_Size count = 0;
    Tcl_Obj** words = nullptr;
    if (Tcl_ListObjGetElements(interp, word, &count, &words) != TCL_OK) return csv_error(interp);
    if (count % 2 != 0) {
        return csv_error(interp, Tcl_ObjPrintf("bad -columns \"%s\": must be pairs of a column "
                                               "(open, high, low, close, volume) and a header name",
                                               Tcl_GetString(word)));
    }
    static const char* const kColumns[] = {"open", "high", "low", "close", "volume", nullptr};
    for (Tcl_Size k = 0; k < count; k += 2) {
        int role = 0;
        if (Tcl_GetIndexFromObj(interp, words[k], kColumns, "column", TCL_EXACT, &role) != TCL_OK) {
            return csv_error(interp);
        }
        std::string& name = options->columns[role];
        if (!name.empty()) {
            return csv_error(interp,
                             Tcl_ObjPrintf("bad -columns: %s is named twice", kColumns[role]));
        }
        Tcl_Size size = 0;
        const char* text = Tcl_GetStringFromObj(words[k + 1], &size);
        name.assign(text, static_cast<size_t>(size));
        if (name.empty()) {
            return csv_error(interp, Tcl_ObjPrintf("bad -columns: the header name of %s is empty",
                                                   kColumns[role]));
        }
    }
    return TCL_OK;
}

// Sets a variable of the command's options to `value`; false when Tcl refuses (the message is
// set).
bool set_variable(Tcl_Interp* interp, Tcl_Obj* name, Tcl_Obj* value) {
    ObjRef hold(value);
    return Tcl_ObjSetVar2(interp, name, nullptr, value, TCL_LEAVE_ERR_MSG) != nullptr;
}

// The command after its word count: options, the file, the dates, the bars.
int read_csv_body(Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    CsvOptions options;
    Tcl_Obj* dates_name = nullptr;
    Tcl_Obj* skipped_name = nullptr;
    for (int k = 3; k < objc; k += 2) {
        int option = 0;
        if (Tcl_GetIndexFromObj(interp, objv[k], kOptions, "option", 0, &option) != TCL_OK) {
            return csv_error(interp);
        }
        if (option == kReverseOption || option == kRoundOption) {
            (option == kRoundOption ? options.round : options.reverse) = true;
            --k;  // a flag: no value follows
            continue;
        }
        if (k + 1 == objc) {
            return csv_error(interp, Tcl_ObjPrintf("value for \"%s\" missing", kOptions[option]));
        }
        Tcl_Obj* value = objv[k + 1];
        switch (option) {
            case kColumnsOption:
                if (columns_of(interp, value, &options) != TCL_OK) return TCL_ERROR;
                break;
            case kDatesOption:
                dates_name = value;
                options.dates = true;
                break;
            case kSkipInvalidOption:
                skipped_name = value;
                options.skip_invalid = true;
                break;
            case kSeparatorOption: {
                Tcl_Size size = 0;
                const char* text = Tcl_GetStringFromObj(value, &size);
                if (size != 1 || std::strchr(",;|\t", text[0]) == nullptr) {
                    return csv_error(interp, Tcl_ObjPrintf("bad -separator \"%s\": must be \",\", "
                                                           "\";\", \"|\" or a tab",
                                                           text));
                }
                options.separator = text[0];
                break;
            }
            case kSkipOption: {
                Tcl_WideInt lines = -1;
                if (Tcl_GetWideIntFromObj(nullptr, value, &lines) != TCL_OK || lines < 0 ||
                    lines > INT32_MAX) {
                    return csv_error(interp, Tcl_ObjPrintf("bad -skip \"%s\": must be a number of "
                                                           "lines, 0 or more",
                                                           Tcl_GetString(value)));
                }
                options.skip = static_cast<int>(lines);
                break;
            }
            default: {
                const bool volume = option == kVolumeScaleOption;
                int decimals = 0;
                if (!scale_of(value, volume ? -kMaxScaleDecimals : 0, &decimals)) {
                    return csv_error(interp,
                                     Tcl_ObjPrintf("bad %s \"%s\": must be a power of ten from %s "
                                                   "to 1000000000",
                                                   kOptions[option], Tcl_GetString(value),
                                                   volume ? "0.000000001" : "1"));
                }
                (volume ? options.volume_decimals : options.price_decimals) = decimals;
                break;
            }
        }
    }
    {
        // The object must exist before the file is read.
        Self self;
        if (hold_self(nullptr, interp, objv[1], Access::kRead, &self) != TCL_OK) return TCL_ERROR;
    }

    CsvReader reader(options);
    CsvBars bars;
    CsvError error;
    bool refused = false;
    if (feed_file(interp, objv[2], reader, &error, &refused) != TCL_OK) return TCL_ERROR;
    if (refused || reader.finish(&bars, &error)) {
        const std::string message =
            tail_name(objv[2]) + ":" + std::to_string(error.line) + ": " + error.message;
        return csv_error(interp,
                         Tcl_NewStringObj(message.data(), static_cast<Tcl_Size>(message.size())));
    }
    // The variables are set before the store changes: a trace on them may run any script, and
    // when setting one fails nothing is appended.
    if (dates_name) {
        Tcl_Obj* list = nullptr;
        if (date_list(interp, bars.dates, &list) != TCL_OK) return TCL_ERROR;
        if (!set_variable(interp, dates_name, list)) return TCL_ERROR;
    }
    if (skipped_name) {
        const std::vector<int>& lines = bars.skipped;
        Tcl_Obj* list = nullptr;
        if (build_list(
                interp, lines.size(), lines.size() * sizeof(Tcl_Obj),
                [&](size_t k) { return Tcl_NewIntObj(lines[k]); }, &list) != TCL_OK) {
            return TCL_ERROR;
        }
        if (!set_variable(interp, skipped_name, list)) return TCL_ERROR;
    }
    const size_t count = bars.values.size();
    if (count > 0) {
        // Script may have run since the first look (a trace, a filesystem written in Tcl)
        // and destroyed the object: it is taken hold of again, for the change.
        Self self;
        if (hold_self(nullptr, interp, objv[1], Access::kWrite, &self) != TCL_OK) return TCL_ERROR;
        // The one change of the store: all the bars in one setlist.
        const int status = self->setlist(bars.values.data(), static_cast<int>(count));
        if (status != ZOLV_OK) return fail(interp, status);
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(static_cast<int>(count / 5)));
    return TCL_OK;
}

}  // namespace

int read_csv_cmd(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    if (objc < 3) return csv_error(interp, Tcl_NewStringObj(kUsage, -1));
    // A safe interpreter has no access to files, and this command must not give it one.
    if (Tcl_IsSafe(interp)) {
        return csv_error(interp,
                         Tcl_NewStringObj("permission denied: zolv::read_csv reads files", -1));
    }
    return guarded(interp, [&] { return read_csv_body(interp, objc, objv); });
}

}  // namespace zolv
