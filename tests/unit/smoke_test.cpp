#include <gtest/gtest.h>
#include "app/options.h"
TEST(Smoke, Classify) { EXPECT_EQ(ClassifyArgument("/s"), ARGUMENT_SILENT); }
