// Editing the hosts file from the list's "hosts" entries, on a hosts file of the test's own
// (KORVATH_HOSTS_FILE): the system's file is never touched.
#include "platform/Hosts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/GetFilesThr.h"
#include "runtime/SysUtils.h"
#include "tests/support/RecordingView.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/System.h"
#include "tests/support/TempDir.h"

namespace korvath {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

const std::string kOpen = "#-------- Added by Korvath --------\r\n";
const std::string kClose = "#-----------------\r\n";

class HostsWorker : public GFilesThread {
 public:
  explicit HostsWorker(IRunView& view) : GFilesThread(view, TDirectSynchronizer::Instance()) {}
  using GFilesThread::ModifyHosts;

 protected:
  void Execute() override {}
};

class HostsEditing : public ::testing::Test {
 protected:
  // Runs the step on a hosts file holding Before; returns the file afterwards.
  std::string Edit(const std::string& before, const TStringList& entries) {
    WriteFileBytes(FHosts, before);
    FView.Calls.clear();
    FWorker.ModifyHosts(entries);
    return ReadFileBytes(FHosts);
  }
  // The folder holds nothing but the hosts file: no replacement is left behind.
  void ExpectOnlyHostsFile() {
    size_t files = 0;
    for (const auto& item : fs::directory_iterator(FDir.Path())) {
      EXPECT_EQ(item.path().filename().string(), "hosts");
      ++files;
    }
    EXPECT_EQ(files, 1u);
  }

  test::TempDir FDir;
  std::string FHosts = FDir / "hosts";
  test::ScopedEnv FEnv{"KORVATH_HOSTS_FILE", FHosts};
  test::RecordingView FView;
  HostsWorker FWorker{FView};
};

TEST_F(HostsEditing, ConflictingLineIsCommentedOutAndMissingMappingsAppended) {
  const std::string after = Edit(
      "  127.0.0.1   localhost  \n10.0.0.1\tlogin.korvath.example\n\n# a comment\r\nlast line\r",
      {"1.2.3.4|login.korvath.example", "extra|5.6.7.8|patch.korvath.example"});
  EXPECT_EQ(after,
            "127.0.0.1   localhost\r\n#10.0.0.1\tlogin.korvath.example\r\n\r\n# a comment\r\n"
            "last line\r\n" +
                kOpen + "1.2.3.4\tlogin.korvath.example\r\n5.6.7.8\tpatch.korvath.example\r\n" +
                kClose);
  const std::vector<std::string> statuses{"status:Applying changes to Hosts",
                                          "status:Hosts file chamged"};
  EXPECT_EQ(FView.Calls, statuses);
  ExpectOnlyHostsFile();
}

TEST_F(HostsEditing, MappingAlreadyPresentLeavesTheFileAsItWas) {
  const char* present[] = {
      "1.2.3.4 login.korvath.example\n",
      "127.0.0.1 localhost\n  1.2.3.4\tlogin.korvath.example  \n",
      "1.2.3.4 other.example LOGIN.Korvath.EXAMPLE # in upper case, with a comment\n",
      "1.2.3.4 login.korvath.example",  // no line end at all
  };
  for (const char* before : present) {
    SCOPED_TRACE(before);
    EXPECT_EQ(Edit(before, {"1.2.3.4|login.korvath.example"}), before);
    EXPECT_TRUE(FView.Calls.empty());
  }
}

TEST_F(HostsEditing, LinesMatchByWholeFieldsNotBySubstring) {
  const std::string entry = "1.2.3.4|login.korvath.example";
  const std::string mapping = kOpen + "1.2.3.4\tlogin.korvath.example\r\n" + kClose;
  const struct {
    const char* before;
    std::string after;
  } cases[] = {
      // a longer name that contains the entry's name is another name
      {"1.2.3.4 mylogin.korvath.example\n", "1.2.3.4 mylogin.korvath.example\r\n" + mapping},
      {"5.5.5.5 login.korvath.example.org\n", "5.5.5.5 login.korvath.example.org\r\n" + mapping},
      // an address that merely ends with the entry's address is another address
      {"11.2.3.4 login.korvath.example\n", "#11.2.3.4 login.korvath.example\r\n" + mapping},
      // a name after "#" is a comment, and a commented line is never touched
      {"1.2.3.4 other # login.korvath.example\n",
       "1.2.3.4 other # login.korvath.example\r\n" + mapping},
      {"#1.2.3.4 login.korvath.example\n", "#1.2.3.4 login.korvath.example\r\n" + mapping},
      // the name in the address field maps nothing
      {"login.korvath.example 1.2.3.4\n", "login.korvath.example 1.2.3.4\r\n" + mapping},
      // the last matching line decides: a later conflict is commented out and mapped again
      {"1.2.3.4 login.korvath.example\n9.9.9.9 login.korvath.example\n",
       "1.2.3.4 login.korvath.example\r\n#9.9.9.9 login.korvath.example\r\n" + mapping},
      // an earlier conflict would win the lookup: it goes, and the right line stays alone
      {"9.9.9.9 login.korvath.example\n1.2.3.4 login.korvath.example\n",
       "#9.9.9.9 login.korvath.example\r\n1.2.3.4 login.korvath.example\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    EXPECT_EQ(Edit(c.before, {entry}), c.after);
  }
}

// Only the entry's name leaves a conflicting line that maps other names too; they keep working.
TEST_F(HostsEditing, ConflictingLineKeepsItsOtherNames) {
  const TStringList entries{"1.2.3.4|login.korvath.example", "1.2.3.4|patch.korvath.example"};
  const std::string first =
      Edit("127.0.0.1\tlocalhost LOGIN.korvath.example x patch.korvath.example # note\n", entries);
  EXPECT_EQ(first,
            "#127.0.0.1\tlocalhost LOGIN.korvath.example x patch.korvath.example # note\r\n"
            "127.0.0.1\tlocalhost x # note\r\n" +
                kOpen + "1.2.3.4\tlogin.korvath.example\r\n1.2.3.4\tpatch.korvath.example\r\n" +
                kClose);
  EXPECT_EQ(Edit(first, entries), first);
}

TEST_F(HostsEditing, SecondRunFindsItsOwnBlockAndAddsNothing) {
  const std::string first =
      Edit("#1.2.3.4 login.korvath.example\n", {"1.2.3.4|login.korvath.example"});
  EXPECT_EQ(first, "#1.2.3.4 login.korvath.example\r\n" + kOpen +
                       "1.2.3.4\tlogin.korvath.example\r\n" + kClose);
  EXPECT_EQ(Edit(first, {"1.2.3.4|login.korvath.example"}), first);
  EXPECT_TRUE(FView.Calls.empty());
  // A changed address appends a second block after the first, whose line is commented out.
  EXPECT_EQ(Edit(first, {"4.3.2.1|login.korvath.example"}),
            "#1.2.3.4 login.korvath.example\r\n" + kOpen + "#1.2.3.4\tlogin.korvath.example\r\n" +
                kClose + kOpen + "4.3.2.1\tlogin.korvath.example\r\n" + kClose);
}

// One name with two addresses (or the same entry twice) settles after one run: neither mapping
// pushes the other out, and a later run leaves the file as it is.
TEST_F(HostsEditing, NameWithSeveralAddressesSettlesAfterOneRun) {
  const TStringList entries{"1.2.3.4|login.korvath.example", "::1|login.korvath.example",
                            "1.2.3.4|LOGIN.korvath.example"};
  const std::string first =
      Edit("9.9.9.9 login.korvath.example\n::1 login.korvath.example\n", entries);
  EXPECT_EQ(first, "#9.9.9.9 login.korvath.example\r\n::1 login.korvath.example\r\n" + kOpen +
                       "1.2.3.4\tlogin.korvath.example\r\n" + kClose);
  EXPECT_EQ(Edit(first, entries), first);
  EXPECT_TRUE(FView.Calls.empty());
}

TEST_F(HostsEditing, AddressesOfBothFamiliesAreAccepted) {
  const std::string after =
      Edit("", {"::1|a.example", "fe80::1:2|b.example", "::ffff:10.0.0.1|c.example",
                "2001:DB8:0:0:1:2:3:4|d.example", "2001:db8::|e", "0.0.0.0|f-1.example"});
  EXPECT_EQ(after,
            kOpen +
                "::1\ta.example\r\nfe80::1:2\tb.example\r\n::ffff:10.0.0.1\tc.example\r\n"
                "2001:DB8:0:0:1:2:3:4\td.example\r\n2001:db8::\te\r\n0.0.0.0\tf-1.example\r\n" +
                kClose);
}

TEST_F(HostsEditing, BadEntriesFailTheStepAndLeaveTheFileAlone) {
  const std::string label64(64, 'a');
  const std::vector<TStringList> bad = {
      {"FAIL"},  // the list has no "hosts" section
      {"login.korvath.example"},
      {"1.2.3.4|good.example", "1.2.3|login.korvath.example"},
      {"256.1.1.1|x.example"},
      {"1.2.3.4.5|x.example"},
      {"01.2.3.4|x.example"},
      {"1.2.3.4 |x.example"},
      {"evil.example|x.example"},
      {"::1%lo|x.example"},
      {"1:2:3:4:5:6:7:8:9|x.example"},
      {"1::2::3|x.example"},
      {"12345::|x.example"},
      {":1::|x.example"},
      {"1:2:3:4:5:6:7:8::|x.example"},
      {"1.2.3.4|bad_name.example"},
      {"1.2.3.4|a..b"},
      {"1.2.3.4|.lead"},
      {"1.2.3.4|trail."},
      {"1.2.3.4|two words"},
      {"1.2.3.4|x.example #"},
      {"1.2.3.4|*.example"},
      {"1.2.3.4|tab\tname"},
      {"1.2.3.4|" + label64 + ".example"},
      {"1.2.3.4|line\nbreak"},
      {"127.0.0.1|localhost"},
      {"::1|IP6-LOCALHOST"},
      {"1.2.3.4|game.localhost"},
  };
  const std::string before = "9.9.9.9 login.korvath.example\n";
  for (const TStringList& entries : bad) {
    SCOPED_TRACE(entries.back());
    WriteFileBytes(FHosts, before);
    FView.Calls.clear();
    EXPECT_THROW(FWorker.ModifyHosts(entries), Exception);
    EXPECT_EQ(ReadFileBytes(FHosts), before);
    EXPECT_TRUE(FView.Calls.empty());
  }
  EXPECT_NO_THROW(Edit(before, {"1.2.3.4|" + std::string(63, 'a') + ".example"}));
}

TEST_F(HostsEditing, UnreadableOrReadOnlyFileFailsAndStaysAsItWas) {
  EXPECT_THROW(FWorker.ModifyHosts({"1.2.3.4|x.example"}), Exception);  // no file at all
  EXPECT_FALSE(test::Exists(FHosts));

  const std::string before = "9.9.9.9 x.example\n";
  WriteFileBytes(FHosts, before);
  fs::permissions(FHosts, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  try {
    FWorker.ModifyHosts({"1.2.3.4|x.example"});
    ADD_FAILURE() << "a read-only hosts file was changed";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.Message()).find(FHosts), std::string::npos) << e.Message();
  }
  EXPECT_EQ(ReadFileBytes(FHosts), before);
  ExpectOnlyHostsFile();
}

TEST_F(HostsEditing, LinkedHostsFileIsEditedWhereItLivesAndKeepsItsMode) {
  if (const std::string why = test::WhyNoLinksOrModes(); !why.empty()) GTEST_SKIP() << why;
  const std::string real = FDir / "real-hosts";
  WriteFileBytes(real, "9.9.9.9 x.example\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, FHosts);
  FWorker.ModifyHosts({"1.2.3.4|x.example"});
  EXPECT_TRUE(fs::is_symlink(FHosts));
  EXPECT_EQ(ReadFileBytes(real),
            "#9.9.9.9 x.example\r\n" + kOpen + "1.2.3.4\tx.example\r\n" + kClose);
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(HostsLocation, EnvironmentNamesTheFileToEdit) {
  test::TempDir dir;
  const bool setOutside = std::getenv("KORVATH_HOSTS_FILE") != nullptr;
  {
    test::ScopedEnv env("KORVATH_HOSTS_FILE", dir / "my-hosts");
    EXPECT_EQ(platform::HostsFilePath(), dir / "my-hosts");
  }
  if (setOutside) return;
  const std::string system = platform::HostsFilePath();
  const std::string name = system.substr(system.find_last_of("\\/") + 1);
  EXPECT_TRUE(name == "hosts" || name == "hosts.msn") << system;
}

}  // namespace
}  // namespace korvath
