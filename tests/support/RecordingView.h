// A run view that writes down every call it gets, in order, for tests to compare.
#pragma once

#include <string>
#include <vector>

#include "engine/RunView.h"

namespace korvath::test {

class RecordingView : public IRunView {
 public:
  // Each call as one line: "status:Checking files", "max0:1234", "file:1024", "total:3",
  // "rev:7", "disable", "enable".
  std::vector<std::string> Calls;

  void ShowStatus(const std::string& status) override { Calls.push_back("status:" + status); }
  void SetGaugeMax(int32_t gaugeIndex, int32_t maximum) override {
    Calls.push_back("max" + std::to_string(gaugeIndex) + ":" + std::to_string(maximum));
  }
  void SetFileProgress(int32_t position) override {
    Calls.push_back("file:" + std::to_string(position));
  }
  void SetTotalProgress(int32_t position) override {
    Calls.push_back("total:" + std::to_string(position));
  }
  void StoreRevision(int32_t revision) override {
    Calls.push_back("rev:" + std::to_string(revision));
  }
  void DisableButtons() override { Calls.push_back("disable"); }
  void EnableButtons() override { Calls.push_back("enable"); }

  // The calls that start with prefix, in order (for instance every "file:" position).
  std::vector<std::string> Only(const std::string& prefix) const;
};

std::vector<std::string> Only(const std::vector<std::string>& calls, const std::string& prefix);

}  // namespace korvath::test
