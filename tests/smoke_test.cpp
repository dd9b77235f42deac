// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include "qorvfndl.h"
TEST(PublicRecords, HaveTheirBinarySizes) {
    EXPECT_EQ(sizeof(FNDL_TEXTINFOW), 1064u);
}
