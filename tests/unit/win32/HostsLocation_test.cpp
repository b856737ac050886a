// Where Windows keeps its hosts file.
#include <gtest/gtest.h>

#include "platform/win32/Hosts.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

TEST(HostsLocation, HostsMsnBelowTheWindowsFolderIsPreferred) {
  test::TempDir windows;
  const std::string etc = windows / "system32/drivers/etc/";
  EXPECT_EQ(platform::HostsFileBelow(windows.Path() + "x"),
            windows.Path() + "x\\system32\\drivers\\etc\\hosts");
  test::WriteFileBytes(etc + "hosts", "");
  const std::string folder = windows.Path().substr(0, windows.Path().size() - 1);
  EXPECT_EQ(platform::HostsFileBelow(folder), etc + "hosts");
  test::WriteFileBytes(etc + "hosts.msn", "");
  EXPECT_EQ(platform::HostsFileBelow(folder), etc + "hosts.msn");
}

}  // namespace
}  // namespace korvath
