// A run over https: certificates of an authority the client trusts, naming the server, keep the
// run's connections as plain http does; any other certificate leaves the server unopened.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "engine/GetFilesThr.h"
#include "platform/Http.h"
#include "tests/support/Bz2Compress.h"
#include "tests/support/Release.h"
#include "tests/support/SettingsFixture.h"
#include "tests/support/UpdateRunner.h"
#include "tests/support/posix/Background.h"

namespace korvath {
namespace {

// Makes an authority and, signed by it, a certificate for each name; false when openssl fails.
bool MakeCertificates(const std::string& dir) {
  const std::string script =
      "cd '" + dir +
      "' && (openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
      "-subj /CN=korvath-test-authority && "
      "for name in IP:127.0.0.1 DNS:other.example; do "
      "f=$(echo $name | tr A-Z a-z | tr -cd a-z0-9); "
      "openssl req -newkey rsa:2048 -nodes -keyout $f.key -out $f.csr -subj /CN=server && "
      "printf 'subjectAltName=%s\\n' $name > $f.ext && "
      "openssl x509 -req -in $f.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
      "-extfile $f.ext -out $f.pem || exit 1; done) >/dev/null 2>&1";
  return std::system(script.c_str()) == 0;
}

class Https : public SettingsFixture {
 protected:
  void TearDown() override { platform::SetHttpCertificateAuthoritiesForTests(""); }
};

TEST_F(Https, TrustedCertificatesKeepConnectionsOthersAreNotOpened) {
  if (access("/usr/sbin/nginx", X_OK) != 0) GTEST_SKIP() << "nginx is not installed";
  test::TempDir server;
  ASSERT_TRUE(MakeCertificates(server.Path())) << "openssl could not make the certificates";
  std::vector<std::string> entries;
  for (int i = 0; i < 30; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    const std::string content(static_cast<size_t>(200 + i), static_cast<char>('a' + i % 26));
    const std::string copy = test::Bz2Compress(content);
    test::WriteFileBytes(server / ("www/" + name + ".bz2"), copy);
    entries.push_back(name + "|" + test::Md5Hex(content) + "|" + std::to_string(copy.size()));
  }
  test::WriteFileBytes(server / "www/files.lst.bz2",
                       test::Bz2Compress(test::ListText(1, 0, entries, {})));
  struct Case {
    const char* Name;
    const char* Certificate;  // of the files MakeCertificates wrote
    bool Trusted;             // the client is told the test authority
    bool Opened;
  };
  const std::vector<Case> cases{
      {"trusted, names the server", "ip127001", true, true},
      {"names another host", "dnsotherexample", true, false},
      {"authority not trusted", "ip127001", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const int port = test::FreePort();
    const std::string prefix = server / c.Certificate;
    std::ostringstream config;
    // The paths nginx writes are all below the test's folder, and it reads as the test's user.
    config << "user " << getpwuid(geteuid())->pw_name << ";\nworker_processes 1;\ndaemon off;\n"
           << "pid " << prefix << ".pid;\nerror_log " << prefix << ".error.log;\n"
           << "events { worker_connections 64; }\nhttp {\n"
           << "  log_format c '$connection $request';\n  access_log " << prefix
           << ".access.log c;\n";
    for (const char* temporary : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
      config << "  " << temporary << "_temp_path " << prefix << "." << temporary << ";\n";
    config << "  server {\n    listen 127.0.0.1:" << port << " ssl;\n    ssl_certificate " << prefix
           << ".pem;\n    ssl_certificate_key " << prefix << ".key;\n    root " << server.Path()
           << "/www;\n  }\n}\n";
    test::WriteFileBytes(prefix + ".conf", config.str());
    test::BackgroundProcess nginx({"/usr/sbin/nginx", "-p", server.Path(), "-c", prefix + ".conf"},
                                  prefix + ".out");
    ASSERT_TRUE(test::WaitForPort(port))
        << test::ReadFileBytes(prefix + ".out") << test::ReadFileBytes(prefix + ".error.log");
    platform::SetHttpCertificateAuthoritiesForTests(c.Trusted ? server / "ca.pem" : "");
    for (int i = 0; i < 30; ++i) std::remove((FGame / ("f" + std::to_string(i) + ".dat")).c_str());

    const test::RunOutcome run = test::RunUpdate("https://127.0.0.1:" + std::to_string(port) + "/");
    if (!c.Opened) {
      EXPECT_EQ(run.Status, kUpdateFailed);
      ASSERT_EQ(run.RunFailures.size(), 1u);
      EXPECT_NE(run.RunFailures[0].find("could not be opened"), std::string::npos)
          << run.RunFailures[0];
      continue;
    }
    EXPECT_EQ(run.Status, kAllUpdated);
    // nginx writes a request's line when it ends, so the log is whole after the run.
    std::set<std::string> connections;
    std::istringstream log(test::ReadFileBytes(prefix + ".access.log"));
    for (std::string line; std::getline(log, line);)
      connections.insert(line.substr(0, line.find(' ')));
    EXPECT_LE(connections.size(), kDefaultConnections + 1);
  }
}

}  // namespace
}  // namespace korvath
