// The sample daily bars shipped with the sources, for the engine tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "series/csv.h"
#include "series/zolv.h"

// The bundled sample (prices in 1/10000 dollar), read by the engine's reader.
inline ZOLV sample_bars() {
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of('/')) + "/../../data/msft-daily-2000-2001.csv";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    zolv::CsvBars bars;
    zolv::CsvError error;
    EXPECT_FALSE(zolv::parse_csv(text.data(), text.size(), zolv::CsvOptions(), &bars, &error))
        << error.line << ": " << error.message;
    ZOLV z;
    EXPECT_EQ(ZOLV_OK, z.setlist(bars.values.data(), static_cast<int>(bars.values.size())));
    return z;
}
