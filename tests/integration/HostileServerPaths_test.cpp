// The hostile-server corpus, second part: list paths that would leave the game folder, reach a
// device or be read otherwise by Windows, and self names that are no bare program name. Each is
// refused without a request for it; the good file beside it is still installed.
#include <string>
#include <vector>

#include "tests/integration/HostileServer.h"

namespace korvath::test {
namespace {

const FolderFiles kGoodOnly{{"good.dat", "good"}};

// The only requests a run may make when the list's hostile entry is refused.
void ExpectOnlyListAndGoodFetched(TestServer& server) {
  std::vector<std::string> paths;
  for (const auto& r : server.Http().Requests()) paths.push_back(r.Path);
  EXPECT_EQ(paths, (std::vector<std::string>{"files.lst.bz2", "good.dat.bz2"}));
}

HostileCase PathCase(const std::string& path) {
  return {"path '" + path + "'",
          [path](HostileScene& s) {
            const std::string hostile = path + "|" + Md5Hex("x") + "|10";
            s.Server.Http().ServeBody(path + ".bz2", "the server would even serve it");
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n",
                         hostile + "\r\n" + s.Server.PublishFile("good.dat", "good") + "\r\n"));
            s.AfterRun = [&server = s.Server] { ExpectOnlyListAndGoodFetched(server); };
          },
          Failed(kGoodOnly, {"refused path"})};
}

HostileCase SelfCase(const std::string& name) {
  return {"self name '" + name + "'",
          [name](HostileScene& s) {
            s.Server.PublishList(ListWith(
                "Rev|5\r\nModHosts|0\r\n", s.Server.PublishFile("good.dat", "good") + "\r\n",
                "[self]\r\n" + name + "|" + Md5Hex("new updater") + "|20\r\n[/self]\r\n"));
            s.AfterRun = [&server = s.Server] { ExpectOnlyListAndGoodFetched(server); };
          },
          FailedStep(kGoodOnly, {"not the bare name of a program"})};
}

TEST_F(HostileServer, PathsOutsideTheFolderOrOnDevicesAreRefused) {
  const std::vector<std::string> paths{
      // Up and out.
      "..",
      "..\\escape.dat",
      "../escape.dat",
      "a\\..\\..\\escape.dat",
      "a/../../escape.dat",
      "a\\..\\inside.dat",
      "..\\..\\..\\..\\..\\..\\etc\\passwd",
      "a\\b\\..\\..\\..\\c.dat",
      "..\\",
      "...\\x.dat",
      // Dot segments.
      ".",
      ".\\x.dat",
      "a\\.\\x.dat",
      "./x.dat",
      // Rooted, UNC and device paths.
      "\\rooted.dat",
      "/rooted.dat",
      "/etc/passwd",
      "\\",
      "/",
      "\\\\",
      "\\\\server\\share\\x.dat",
      "//server/share/x.dat",
      "\\/server\\share",
      "\\\\?\\C:\\x.dat",
      "\\\\.\\PhysicalDrive0",
      "//?/C:/x.dat",
      "\\\\.\\pipe\\evil",
      // Drives and streams.
      "C:\\Windows\\evil.dll",
      "c:evil.dll",
      "C:/Windows/evil.dll",
      "Z:\\tmp\\evil.dat",
      "x.dat:stream",
      "x.dat::$DATA",
      "a:b\\x.dat",
      // Empty segments, trailing dots and blanks that Windows drops.
      "a\\\\b.dat",
      "a//b.dat",
      "dir\\",
      "dir/",
      "x.dat.",
      "x.dat ",
      "dir.\\x.dat",
      "dir \\x.dat",
      " \\x.dat",
      // Reserved device names, with and without extension, in any case, anywhere in the path.
      "con",
      "CON",
      "con.txt",
      "CON .log",
      "dir\\con",
      "aux.dat",
      "prn",
      "nul",
      "NUL.txt",
      "com1",
      "COM9.dat",
      "lpt1",
      "LPT9.txt",
      "com\xB9",
      "lpt\xB3.x",
      "conin$",
      "CONOUT$.dat",
      "a\\nul\\b.dat",
      // Control characters.
      "ctl\x01.dat",
      "tab\there.dat",
      "esc\x1b[31m.dat",
      "del\x7f.dat",
      // Characters no Windows file name holds.
      "a<b.dat",
      "a>b.dat",
      "a\"b.dat",
      "a?b.dat",
      "a*b.dat",
      "*",
      "?",
  };
  std::vector<HostileCase> cases;
  for (const std::string& path : paths) cases.push_back(PathCase(path));
  RunCases(cases);
}

TEST_F(HostileServer, SelfNamesThatAreNoBareProgramNameAreRefused) {
  std::vector<HostileCase> cases;
  for (const char* name : {"..\\Korvath.exe",
                           "../Korvath.exe",
                           "sub\\Korvath.exe",
                           "C:\\Windows\\Korvath.exe",
                           "Korvath.exe & del /q *.*",
                           "Korvath.exe&calc.exe",
                           "Korvath.bat",
                           "Korvath",
                           "Korvath.exe.bat",
                           "-Korvath.exe",
                           ".Korvath.exe",
                           "con.exe",
                           "COM1.exe",
                           "Kor vath.exe",
                           "Korvath\".exe",
                           "%COMSPEC%.exe",
                           "Korvath^.exe",
                           "Korvath;.exe",
                           "Korvath.exe:evil",
                           "Korvath\x01.exe",
                           "K\xF8rvath.exe",
                           ".exe",
                           "Korvath.exe."})
    cases.push_back(SelfCase(name));
  // The one kind of name that passes: the console puts the new version in place by renaming.
  cases.push_back({"self name 'Korvath.exe'",
                   [](HostileScene& s) {
                     s.Plant("Korvath.exe", "old updater");
                     s.Server.PublishList(ListWith(
                         "Rev|5\r\nModHosts|0\r\n",
                         s.Server.PublishFile("good.dat", "good") + "\r\n",
                         "[self]\r\n" + s.Server.PublishFile("Korvath.exe", "new updater") +
                             "\r\n[/self]\r\n"));
                   },
                   AllUpdated({{"good.dat", "good"}, {"Korvath.exe", "new updater"}})});
  RunCases(cases);
}

}  // namespace
}  // namespace korvath::test
