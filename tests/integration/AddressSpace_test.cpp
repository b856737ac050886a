// Runs whose sizes and counts go past what 32 bits hold: the players' program is a 32-bit one,
// with a 32-bit size_t and an address space of a few GiB. Each case holds on every build; the
// patch that needs the address space to run out is made only where it can, and the list of a
// million entries only where large data is quick.
#include <cstdint>
#include <string>
#include <vector>

#include "list/FileEntry.h"
#include "list/Limits.h"
#include "tests/integration/HostileServer.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/System.h"
#include "transfer/Patch.h"
#include "transfer/Sha256.h"

namespace korvath::test {
namespace {

constexpr int64_t k4GiB = int64_t{1} << 32;
const std::string kSettings = "Rev|5\r\nModHosts|0\r\n";

std::string Content(uint32_t seed) {
  return NoiseBytes(4096, seed + 40);
}

// An entry for path with Content(seed) as its file, its archive served, the integrity field
// naming Unpacked bytes and the size field SizeField.
std::string Entry(TestServer& server, const std::string& path, uint32_t seed, int64_t unpacked,
                  int64_t sizeField) {
  const std::string entry = server.PublishFile(path, Content(seed));
  return IntegrityField(Sha256Hex(Content(seed)), unpacked) + "|" +
         entry.substr(0, entry.rfind('|') + 1) + std::to_string(sizeField) + "\r\n";
}

// The listed unpacked size bounds the body and the unpacking: wrapped to 32 bits, 4 GiB + 1000
// would be 1000, and the 4 KiB file would be cut off.
HostileCase UnpackedSizePast4GiB() {
  return {
      "an unpacked size past 4 GiB",
      [](HostileScene& s) {
        s.Server.PublishList(ListWith(kSettings, Entry(s.Server, "f.dat", 0, k4GiB + 1000, 4200)));
      },
      AllUpdated({{"f.dat", Content(0)}})};
}

// Three files each listed at the largest size the field holds: the look-ahead's byte budget
// sums them past 4 GiB, and must neither wrap into letting them all run ahead nor stall.
HostileCase ListedSizesPast4GiB() {
  return {"listed sizes adding up past 4 GiB",
          [](HostileScene& s) {
            std::string entries;
            for (uint32_t i = 0; i < 3; ++i)
              entries += Entry(s.Server, "f" + std::to_string(i) + ".dat", i, 4096, INT32_MAX);
            s.Server.PublishList(ListWith(kSettings, entries));
            s.AfterRun = [&server = s.Server] {
              for (int i = 0; i < 3; ++i)
                EXPECT_EQ(server.RequestsFor("f" + std::to_string(i) + ".dat.bz2"), 1);
            };
          },
          AllUpdated({{"f0.dat", Content(0)}, {"f1.dat", Content(1)}, {"f2.dat", Content(2)}})};
}

// As many files as a list may name, in the section of normal files and without a rise: the
// whole list is read, counted and its names kept, which must fit the address space, and no file
// is looked at. (Checking a million missing files as well takes minutes under the emulator.)
HostileCase MostEntriesAListMayName() {
  return {"a list of as many files as a list may name",
          [](HostileScene& s) {
            std::string entries;
            entries.reserve(kMaxListEntries * 14);
            for (size_t i = 0; i < kMaxListEntries; ++i)
              entries += "f" + std::to_string(i) + "|d|1\r\n";
            s.Server.PublishList(
                ListWith(kSettings, "", "[files_normal]\r\n" + entries + "[/files_normal]\r\n"));
            s.Configure = [](GFilesThread& worker) { worker.FRevision = 5; };
          },
          HostileExpect{"", false, {}, {}, std::nullopt}};
}

// The rebuilt file is mapped whole beside the base: one of nearly 4 GiB has no room in a 32-bit
// address space, and the patch gives way to the whole copy. The whole copy is the listed content
// (its digests decide, not the size field), so the file is in place after all.
HostileCase PatchBeyondTheAddressSpace() {
  return {"a patch whose base and result do not fit the address space",
          [](HostileScene& s) {
            const std::string old = Content(3), listed = Content(4);
            s.Plant("big.dat", old);
            const std::string patch = MakePatch(old, listed);
            s.Server.Http().ServeBody("big.dat." + Md5Hex(old) + ".patch", patch);
            s.Server.PublishList(
                ListWith(kSettings, Entry(s.Server, "big.dat", 4, k4GiB - 65536, 4200),
                         "[patches]\r\nbig.dat|" + Md5Hex(old) + "|" + Md5Hex(patch) + "|" +
                             std::to_string(patch.size()) + "\r\n[/patches]\r\n"));
            s.PatchReasons = {"rebuilt file cannot be mapped"};
            s.AfterRun = [&server = s.Server] { EXPECT_EQ(server.RequestsFor("big.dat.bz2"), 1); };
          },
          AllUpdated({{"big.dat", Content(4)}})};
}

TEST_F(HostileServer, SizesAndCountsPastWhat32BitsHold) {
  std::vector<HostileCase> cases{UnpackedSizePast4GiB(), ListedSizesPast4GiB()};
  if (WhyLargeDataIsSlow().empty()) cases.push_back(MostEntriesAListMayName());
  // Elsewhere the result is mapped, and the patch, made for a file of 4 KiB, gives way later.
  if (sizeof(void*) == 4) cases.push_back(PatchBeyondTheAddressSpace());
  RunCases(cases);
}

}  // namespace
}  // namespace korvath::test
