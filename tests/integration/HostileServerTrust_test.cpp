// The hostile-server corpus, third part: a server or a network that tries to get more out of a
// run than a well-behaved one ever asks for: content that is not what the list promises, output
// without end, links out of the game folder, redirects to weaker schemes, and signed lists
// served again. Each case fails the way its comment says and costs the player nothing.
#include <map>
#include <string>
#include <vector>

#include "engine/Limits.h"
#include "list/FileEntry.h"
#include "list/Limits.h"
#include "runtime/SettingsStore.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "transfer/Sha256.h"
#include "transfer/Signature.h"

namespace korvath::test {
namespace {

// Content that is not what the entry promises, and output without end.

const std::string kOldG = "old content of g";
// Larger than one unpacking block, so that a size limit falls inside the stream.
const std::string& NewG() {
  static const std::string content = NoiseBytes(70000, 17);
  return content;
}

// g.dat listed with its true MD5 and the given integrity field; the server has the true archive.
HostileCase IntegrityCase(std::string name, std::string field, HostileExpect expect) {
  return {std::move(name),
          [field](HostileScene& s) {
            s.Plant("g.dat", kOldG);
            const std::string archive = Bz2Compress(NewG());
            s.Server.Http().ServeBody("g.dat.bz2", archive);
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n", field + "|g.dat|" + Md5Hex(NewG()) + "|" +
                                                        std::to_string(archive.size()) + "\r\n"));
          },
          std::move(expect)};
}

std::string FieldOf(const std::string& sha256, size_t size) {
  return IntegrityField(sha256, static_cast<int64_t>(size));
}

// An updater listed with a size field of 0, as lists made by hand may have it.
HostileCase StaleSelfSizeCase() {
  return {"self entry of size 0 with a body of 1.5 MiB",
          [](HostileScene& s) {
            const std::string updater = NoiseBytes(3 * kMiB / 2, 23);
            s.Server.PublishFile("Korvath.exe", updater);
            s.Server.PublishList(ListWith(
                "Rev|5\r\nModHosts|0\r\n", s.Server.PublishFile("good.dat", "good") + "\r\n",
                "[self]\r\nKorvath.exe|" + Md5Hex(updater) + "|0\r\n[/self]\r\n"));
          },
          AllUpdated({{"good.dat", "good"}, {"Korvath.exe", NoiseBytes(3 * kMiB / 2, 23)}})};
}

// The volume has 64 KiB above its free-space floor; the list names a file of 1 MiB.
HostileCase FloorReachedCase(const FolderFiles& before) {
  return {"free-space floor reached",
          [](HostileScene& s) {
            s.Plant("g.dat", kOldG);
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n",
                         s.Server.PublishFile("g.dat", NoiseBytes(kMiB, 29)) + "\r\n"));
            s.Configure = [](GFilesThread& worker) {
              worker.SetVolumeQuery([](const std::string&, platform::VolumeSpace& space) {
                space.Total = 100 * 1024 * kMiB;
                space.Free = kFreeSpaceFloor + 64 * 1024;
                return true;
              });
            };
          },
          Failed(before, {"not enough disk space (66 MB needed, 64 MB free)"})};
}

// A list of one more entry than a list may have; its first entry is a file that is missing.
HostileCase TooManyEntriesCase(const FolderFiles& before) {
  return {"list of more entries than a list may have",
          [](HostileScene& s) {
            s.Plant("g.dat", kOldG);
            std::string entries = s.Server.PublishFile("g.dat", "new g") + "\r\n";
            for (size_t i = 1; i <= kMaxListEntries; ++i) entries += "x|d|0\r\n";
            s.Server.PublishList(ListWith("Rev|5\r\nModHosts|0\r\n", entries));
            s.AfterRun = [&server = s.Server] { EXPECT_EQ(server.RequestsFor("g.dat.bz2"), 0); };
          },
          Failed(before, {"more than the " + std::to_string(kMaxListEntries)})};
}

// Links out of the game folder, and redirects.

// f.dat is listed and in place in an older version; its address redirects by Hops.
HostileCase RedirectCase(std::string name, std::map<std::string, std::string> hops) {
  return {std::move(name),
          [hops](HostileScene& s) {
            s.Plant("f.dat", "old f");
            s.Server.PublishList(
                ListWith("Rev|5\r\nModHosts|0\r\n", "f.dat|" + Md5Hex("f") + "|9\r\n"));
            for (const auto& [from, to] : hops) s.Server.Http().ServeRedirect(from, to);
          },
          Failed({{"f.dat", "old f"}}, {"could not be opened"})};
}

// Signed lists served again.

// A folder at revision 6 with a.dat "a" is served a validly signed list of revision 6 whose a.dat
// is ServedA; the settings name the list last applied there: this one, or another.
HostileCase ServedAgain(std::string name, bool applied, std::string servedA, HostileExpect e) {
  return {
      std::move(name),
      [applied, servedA](HostileScene& s) {
        static const TSigningKeys keys = NewSigningKeys();
        s.Plant("a.dat", "a");
        const std::string text =
            ListWith("Rev|6\r\nModHosts|0\r\n", s.Server.PublishFile("a.dat", servedA) + "\r\n");
        const std::string list = Bz2Compress(text);
        s.Server.Http().ServeBody("files.lst.bz2", list);
        s.Server.Http().ServeBody("files.lst.bz2.sig", SignList(list, keys.SecretKey));
        const std::string recorded = "6:" + ListDigestHex(applied ? text : "another list");
        {
          CurrentDirScope inGame(s.Game);  // the store is the game folder's
          OpenSettingsStore()->WriteString(kSettingsSection, kListDigest, recorded);
        }
        s.Configure = [key = HexEncode(keys.PublicKey)](GFilesThread& w) {
          w.FListPublicKey = key;
          w.FRevision = 6;
        };
        s.AfterRun = [&server = s.Server, recorded] {
          EXPECT_EQ(OpenSettingsStore()->ReadString(kSettingsSection, kListDigest, ""), recorded);
          EXPECT_EQ(server.RequestsFor("a.dat.bz2"), 0);
        };
      },
      std::move(e)};
}

}  // namespace

TEST_F(HostileServer, ServersThatMustNotGetIn) {
  const FolderFiles oldG{{"g.dat", kOldG}};
  RunCases({
      // Content that is not what the entry promises, and output without end.
      IntegrityCase("integrity field of the content", FieldOf(Sha256Hex(NewG()), NewG().size()),
                    AllUpdated({{"g.dat", NewG()}})),
      // An MD5 collision is forged by listing another SHA-256 beside the content's own MD5.
      IntegrityCase("SHA-256 of other content beside the right MD5",
                    FieldOf(Sha256Hex("other"), NewG().size()), Failed(oldG, {"SHA-256 mismatch"})),
      IntegrityCase("content one byte longer than its unpacked size",
                    FieldOf(Sha256Hex(NewG()), NewG().size() - 1),
                    Failed(oldG, {"unpacked size exceeded"})),
      IntegrityCase("integrity field without its size", kIntegrityPrefix + Sha256Hex(NewG()),
                    Failed(oldG, {"malformed integrity field"})),
      StaleSelfSizeCase(),
      FloorReachedCase(oldG),
      TooManyEntriesCase(oldG),

      // Links out of the game folder, and redirects.
      RedirectCase("redirected to ftp:", {{"f.dat.bz2", "ftp://127.0.0.1/f.dat.bz2"}}),
      RedirectCase("redirected to file:", {{"f.dat.bz2", "file:///f.dat.bz2"}}),
      RedirectCase("redirected in a loop", {{"f.dat.bz2", "loop.bz2"}, {"loop.bz2", "f.dat.bz2"}}),

      // Signed lists served again.
      ServedAgain("signed list of the folder's revision, not the one applied there", false,
                  "older a", Failed({{"a.dat", "a"}}, {"not the list applied"})),
      ServedAgain("signed list of the folder's revision, the one applied there", true, "a",
                  {"", false, {{"a.dat", "a"}}, {}, std::nullopt}),
  });
}

}  // namespace korvath::test
