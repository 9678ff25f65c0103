// The seed corpus of the CSV fuzz target, run through the target's own check: the reader, whole
// and in pieces, against the target's reference reader. The seeds hold the files that once
// made the reader fail, so the sanitizer build keeps them from coming back.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

TEST(CsvCorpus, EverySeedReadsAsTheReferenceReads) {
    size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ZOLV_CSV_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().filename().string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++seeds;
    }
    EXPECT_GE(seeds, 8u);
}

}  // namespace
