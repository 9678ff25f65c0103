// This file contains what the remembered states of an object do apart from walking a line:
// finding a line, forgetting what a change of the bars makes wrong, and their size.
#include "indicators/state_memory.h"

namespace zolv {

StateMemory::LineBase* StateMemory::find(const void* op, const OpArgs& args) {
    for (const std::unique_ptr<LineBase>& line : lines_) {
        if (line->op == op && line->args == args) return line.get();
    }
    return nullptr;
}

void StateMemory::forget_all() {
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<std::unique_ptr<LineBase>>().swap(lines_);
}

void StateMemory::forget_from(int64_t bar) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const std::unique_ptr<LineBase>& line : lines_) line->truncate(bar);
}

size_t StateMemory::bytes() const {
    std::lock_guard<std::mutex> guard(mutex_);
    size_t total = lines_.capacity() * sizeof(std::unique_ptr<LineBase>);
    for (const std::unique_ptr<LineBase>& line : lines_) total += line->bytes();
    return total;
}

}  // namespace zolv
