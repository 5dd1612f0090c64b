#include <iostream>

#include <gtest/gtest.h>

#include "mdmtest/support.h"

int main(int argc, char** argv) {
    mdmtest::enter_test_world(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
