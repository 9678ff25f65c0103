// peer_lines: ns per bar of one operation's whole line, on a CSV of bars, printed the way the
// peer libraries' timing tool prints theirs, so that bench/peers.sh can set them side by side.
//
//   peer_lines BARS.csv OPERATION [ARG...]
//
// The bars file has the header open,high,low,close,volume and integer fields. The arguments
// are those of zolv::series (a column letter, integers, reals). Fills one object, makes one
// untimed call, then times one more into the same result and prints "zolv WORDS NS_PER_BAR".
// A call that gives no bar a value is refused rather than timed.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "indicators/operation.h"

namespace {

double now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: peer_lines BARS.csv OPERATION [ARG...]\n");
        return 2;
    }
    const zolv::Operation* op = zolv::find_operation(argv[2]);
    if (op == nullptr) {
        std::fprintf(stderr, "no operation %s\n", argv[2]);
        return 2;
    }
    zolv::OpArgs args;
    std::string words = argv[2];
    int ints = 0;
    int reals = 0;
    int next = 3;
    for (const char* kind = op->kinds; *kind; ++kind, ++next) {
        if (next >= argc) {
            std::fprintf(stderr, "%s takes: %s\n", op->name, op->args);
            return 2;
        }
        if (*kind == 'c') args.column = argv[next][0];
        if (*kind == 'i') args.ints[ints++] = std::atoi(argv[next]);
        if (*kind == 'd') args.reals[reals++] = std::atof(argv[next]);
        words += std::string(" ") + argv[next];
    }

    std::ifstream in(argv[1]);
    std::string line;
    std::getline(in, line);  // the header
    std::vector<int32_t> flat;
    while (std::getline(in, line)) {
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ',')) flat.push_back(std::atoi(cell.c_str()));
    }
    ZOLV z;
    if (z.setlist(flat.data(), static_cast<int>(flat.size())) != ZOLV_OK) {
        std::fprintf(stderr, "setlist failed\n");
        return 1;
    }
    zolv::SeriesResult r;
    if (zolv::operation_series(z, *op, args, &r) != ZOLV_OK) return 1;
    size_t valid = 0;
    for (uint8_t v : r.valid) valid += v;
    if (valid == 0) {
        std::fprintf(stderr, "%s: no bar has a value\n", words.c_str());
        return 1;
    }
    const double t0 = now_ns();
    zolv::operation_series(z, *op, args, &r);
    const double t1 = now_ns();
    std::printf("zolv %s %.3f\n", words.c_str(), (t1 - t0) / static_cast<double>(flat.size() / 5));
    return 0;
}
