// Tests of the bar store: filling, trimming, reading and the cursor index.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "series/zolv.h"

namespace {

std::vector<int32_t> iota_values(int count, int first = 1) {
    std::vector<int32_t> v(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) v[static_cast<size_t>(k)] = first + k;
    return v;
}

int size_of(const ZOLV& z) {
    int n = -1;
    EXPECT_EQ(ZOLV_OK, z.size(&n));
    return n;
}

TEST(Store, NewObjectIsEmptyWithoutCursor) {
    ZOLV z;
    EXPECT_EQ(0, size_of(z));
    EXPECT_EQ(-1, z.pos);
    int32_t v = 0;
    for (char type : {'o', 'h', 'l', 'c', 'v', 'x'}) {
        EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.value(type, &v));
    }
    std::vector<int32_t> bar;
    EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.at(0, bar));
}

TEST(Store, SetlistAppendsBarsAndMovesCursorToNewest) {
    ZOLV z;
    const auto ten = iota_values(10);
    ASSERT_EQ(ZOLV_OK, z.setlist(ten.data(), 10));
    EXPECT_EQ(2, size_of(z));
    EXPECT_EQ(0, z.pos);
    int32_t v = 0;
    ASSERT_EQ(ZOLV_OK, z.value('c', &v));
    EXPECT_EQ(9, v);
    ASSERT_EQ(ZOLV_OK, z.value('o', &v));
    EXPECT_EQ(6, v);
    std::vector<int32_t> bar{99};
    ASSERT_EQ(ZOLV_OK, z.at(0, bar));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 5}), bar);

    z.pos = 1;
    const auto more = iota_values(10, 11);
    ASSERT_EQ(ZOLV_OK, z.setlist(more.data(), 10));
    EXPECT_EQ(4, size_of(z));
    EXPECT_EQ(0, z.pos);
    ASSERT_EQ(ZOLV_OK, z.value('v', &v));
    EXPECT_EQ(20, v);
}

TEST(Store, BadCountsChangeNothing) {
    ZOLV z;
    const auto values = iota_values(10);
    for (int count : {0, 7, -5, 4})
        EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.setlist(values.data(), count));
    for (int count : {4, 6, 0}) {
        EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.push_back(values.data(), count));
        EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.push_front(values.data(), count));
    }
    EXPECT_EQ(0, size_of(z));
    EXPECT_EQ(-1, z.pos);
}

TEST(Store, PushBackMovesCursorPushFrontKeepsIt) {
    ZOLV z;
    const auto ten = iota_values(10);
    ASSERT_EQ(ZOLV_OK, z.setlist(ten.data(), 10));
    const int32_t newest[5] = {0, 0, 0, 77, 0};
    ASSERT_EQ(ZOLV_OK, z.push_back(newest, 5));
    int32_t v = 0;
    ASSERT_EQ(ZOLV_OK, z.value('c', &v));
    EXPECT_EQ(77, v);
    const int32_t oldest[5] = {0, 0, 0, -3, 0};
    ASSERT_EQ(ZOLV_OK, z.push_front(oldest, 5));
    ASSERT_EQ(ZOLV_OK, z.value('c', &v));
    EXPECT_EQ(77, v);
    std::vector<int32_t> bar;
    ASSERT_EQ(ZOLV_OK, z.at(0, bar));
    EXPECT_EQ(-3, bar[3]);
    EXPECT_EQ(4, size_of(z));
}

TEST(Store, PopsOnEmptyStoreSucceedAndChangeNothing) {
    ZOLV z;
    EXPECT_EQ(ZOLV_OK, z.pop_back());
    EXPECT_EQ(ZOLV_OK, z.pop_front());
    EXPECT_EQ(0, size_of(z));
    const auto ten = iota_values(15);
    ASSERT_EQ(ZOLV_OK, z.setlist(ten.data(), 15));
    ASSERT_EQ(ZOLV_OK, z.pop_front());
    std::vector<int32_t> bar;
    ASSERT_EQ(ZOLV_OK, z.at(0, bar));
    EXPECT_EQ(6, bar[0]);
    ASSERT_EQ(ZOLV_OK, z.pop_back());
    EXPECT_EQ(1, size_of(z));
}

TEST(Store, ClearReleasesStorageAndDropsCursor) {
    ZOLV z;
    const auto ten = iota_values(10);
    ASSERT_EQ(ZOLV_OK, z.setlist(ten.data(), 10));
    ASSERT_EQ(ZOLV_OK, z.clear());
    EXPECT_EQ(0, size_of(z));
    EXPECT_EQ(-1, z.pos);
    EXPECT_EQ(0u, z.close.capacity());
    ASSERT_EQ(ZOLV_OK, z.push_back(ten.data(), 5));
    int32_t v = 0;
    EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.value('c', &v));  // push_back leaves pos at -1
}

TEST(Store, AtChecksBothEnds) {
    ZOLV z;
    const auto ten = iota_values(10);
    ASSERT_EQ(ZOLV_OK, z.setlist(ten.data(), 10));
    std::vector<int32_t> bar{1, 2};
    EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.at(-1, bar));
    EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.at(2, bar));
    EXPECT_EQ((std::vector<int32_t>{1, 2}), bar);  // untouched on failure
    EXPECT_EQ(ZOLV_OK, z.at(1, bar));
}

TEST(Store, SelectColumnTakesEitherCaseAndFallsBackToClose) {
    ZOLV z;
    const auto five = iota_values(5);
    ASSERT_EQ(ZOLV_OK, z.setlist(five.data(), 5));
    for (char type : {'o', 'O'}) EXPECT_EQ(&z.open, &z.select_column(type));
    for (char type : {'h', 'H'}) EXPECT_EQ(&z.high, &z.select_column(type));
    for (char type : {'l', 'L'}) EXPECT_EQ(&z.low, &z.select_column(type));
    for (char type : {'v', 'V'}) EXPECT_EQ(&z.volume, &z.select_column(type));
    for (char type : {'c', 'C', 'x', 'X', 'P', '\0'}) EXPECT_EQ(&z.close, &z.select_column(type));
    EXPECT_EQ('v', ZOLV::column_letter('V'));
    EXPECT_EQ('c', ZOLV::column_letter('X'));
}

TEST(Store, CursorIndexAndItsRange) {
    ZOLV z;
    const auto fifteen = iota_values(15);
    ASSERT_EQ(ZOLV_OK, z.setlist(fifteen.data(), 15));
    int32_t v = 0;
    z.pos = 2;
    EXPECT_EQ(0, z.cursor_index());
    ASSERT_EQ(ZOLV_OK, z.value('c', &v));
    EXPECT_EQ(4, v);
    for (int32_t pos : {3, -2, INT_MAX, INT_MIN, INT_MIN + 1}) {
        z.pos = pos;
        EXPECT_TRUE(z.cursor_index() < 0 || z.cursor_index() >= 3) << pos;
        EXPECT_EQ(ZOLV_LISTLENGTH_ERROR, z.value('c', &v)) << pos;
    }
    z.pos = INT_MIN;  // 3 + 2^31 - 1 wraps to a negative index
    EXPECT_LT(z.cursor_index(), 0);
}

TEST(Store, BulkLoadReservesExactly) {
    ZOLV z;
    const auto values = iota_values(5 * 1000);
    ASSERT_EQ(ZOLV_OK, z.setlist(values.data(), 5 * 1000));
    for (const Column* col : {&z.open, &z.high, &z.low, &z.close, &z.volume}) {
        EXPECT_EQ(1000u, col->capacity());
    }
}

}  // namespace
