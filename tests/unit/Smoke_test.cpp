#include <gtest/gtest.h>

#include "runtime/SysUtils.h"

TEST(SysUtils, IOErrorMessages) {
  using korvath::IOErrorMessage;
  EXPECT_EQ(IOErrorMessage(2), "File not found");
  EXPECT_EQ(IOErrorMessage(103), "I/O error 103");
}
