// korvath-publish: turns a release folder into what the update server publishes, checks a
// published folder, and serves one over HTTP for trying it out.
#include <CLI/CLI.hpp>
#include <climits>
#include <cstdio>

#include "list/PublishedNames.h"
#include "tools/publish/Build.h"
#include "tools/publish/Problems.h"
#include "tools/publish/Serve.h"
#include "tools/publish/Sign.h"
#include "tools/publish/Verify.h"

namespace {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

int ReportProblems(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems)
    std::fprintf(stderr, "korvath-publish: %s\n", problem.c_str());
  return kExitFailed;
}

std::string JoinMirrors(const std::vector<std::string>& mirrors) {
  std::string text;
  for (const std::string& mirror : mirrors) text += (text.empty() ? "" : " ") + mirror;
  return text;
}

int Verify(const std::string& folder, unsigned jobs, const std::string& publicKey,
           const std::vector<std::string>& baseDirs) {
  const korvath::publish::TVerifyReport report =
      korvath::publish::VerifyPublished(folder, jobs, publicKey, baseDirs);
  if (!report.Problems.empty()) {
    ReportProblems(report.Problems);
    std::fprintf(stderr, "korvath-publish: %s: %zu problems\n", folder.c_str(),
                 report.Problems.size());
    return kExitFailed;
  }
  std::printf(
      "korvath-publish: %s: revision %s, %zu files, all present, complete and matching%s%s\n",
      folder.c_str(), report.Rev.c_str(), report.Files,
      publicKey.empty() ? "" : ", the list signed by the key",
      report.Mirrors.empty() ? "" : (", mirrors " + JoinMirrors(report.Mirrors)).c_str());
  if (report.Patches > 0)
    std::printf(
        "korvath-publish: %zu patches of the listed sizes and digests, %zu of them "
        "applied to their base in a --base folder and rebuilding their file\n",
        report.Patches, report.PatchesApplied);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace korvath::publish;
  CLI::App app{"Publishes Korvath game releases for the update server."};
  app.name("korvath-publish");
  app.require_subcommand(1);

  TBuildOptions build;
  auto* buildCommand =
      app.add_subcommand("build", std::string("Write RELEASE_DIR's files as compressed "
                                              "copies into OUT_DIR and, last, the list ") +
                                      korvath::published::kList);
  buildCommand
      ->add_option("RELEASE_DIR", build.ReleaseDir,
                   "The release: the game folder as players should have it")
      ->required();
  buildCommand->add_option("OUT_DIR", build.OutDir, "The folder the web server publishes")
      ->required();
  buildCommand
      ->add_option("--rev", build.Rev,
                   "Revision of the release; raise it whenever normal files change")
      ->required()
      ->check(CLI::Range(0, INT_MAX));
  buildCommand->add_option(
      "--critical", build.CriticalPatterns,
      "Files checked on every run: a pattern of the path with '/' ('*', '**', '?'); "
      "may be repeated. The rest are normal files");
  buildCommand->add_option("--self", build.SelfName,
                           "The updater's own executable at the top of the release");
  buildCommand->add_option("--hosts", build.HostsPairs,
                           "ADDRESS=HOSTNAME for the players' hosts files; may be repeated");
  buildCommand->add_option("--mirror", build.Mirrors,
                           "Base address (http:// or https://) of a server that holds OUT_DIR's "
                           "files too; clients fetch each file from the mirrors in the order "
                           "given, then from the update server; may be repeated");
  buildCommand->add_option("--jobs", build.Jobs, "Compression threads (default: one per core)");
  buildCommand->add_option("--sign", build.SignKeyFile,
                           "Also write " + korvath::published::kListSignature +
                               ", the list's signature by the secret key in this file (made by "
                               "keygen); a list that changes anything needs a higher --rev than "
                               "the published one");
  bool noZstd = false;
  buildCommand->add_flag("--no-zstd", noZstd,
                         "Publish the bzip2 copies only; by default a zstd copy, which newer "
                         "clients fetch first, goes beside each one where it is not much larger");
  buildCommand->add_option(
      "--base", build.BaseDirs,
      "An earlier release folder, as players may still have it: files of this release that "
      "differ from their version there also get a patch from it; may be repeated");

  std::string keyFile;
  auto* keygenCommand = app.add_subcommand(
      "keygen",
      "Make a signing key pair: the secret key into KEYFILE (readable by its owner only), the "
      "public key into KEYFILE.pub and on standard output");
  keygenCommand->add_option("KEYFILE", keyFile, "Where the secret key goes")->required();

  std::string verifyDir, verifyKey;
  std::vector<std::string> verifyBases;
  unsigned verifyJobs = 0;
  auto* verifyCommand = app.add_subcommand("verify",
                                           "Check that every file OUT_DIR's list names is there, "
                                           "decodes, and has the listed digest and size");
  verifyCommand->add_option("OUT_DIR", verifyDir, "A published folder")->required();
  verifyCommand->add_option("--jobs", verifyJobs, "Threads (default: one per core)");
  verifyCommand->add_option("--key", verifyKey,
                            "Also check the list's signature by this public key (64 hex digits, "
                            "as built into the clients)");
  verifyCommand->add_option("--base", verifyBases,
                            "An earlier release folder: listed patches from its files are "
                            "applied and must rebuild the listed file; may be repeated");

  std::string serveDir, bind = "127.0.0.1";
  int port = 8080;
  auto* serveCommand =
      app.add_subcommand("serve", "Serve a published folder over HTTP, logging each request");
  serveCommand->add_option("OUT_DIR", serveDir, "A published folder")->required();
  serveCommand->add_option("--port", port, "Port; 0 picks a free one")
      ->capture_default_str()
      ->check(CLI::Range(0, 65535));
  serveCommand->add_option("--bind", bind, "Address to listen on")->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? kExitOk : kExitUsage;
  }
  try {
    if (*buildCommand) {
      build.Zstd = !noZstd;
      BuildRelease(build, stdout);
      return kExitOk;
    }
    if (*verifyCommand) return Verify(verifyDir, verifyJobs, verifyKey, verifyBases);
    if (*keygenCommand) {
      std::printf("%s\n", GenerateKeyFiles(keyFile).c_str());
      return kExitOk;
    }
    Serve(serveDir, bind, port, stdout);
    return kExitOk;
  } catch (const EPublishError& e) {
    return ReportProblems(e.Problems());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvath-publish: %s\n", e.what());
    return kExitFailed;
  }
}
