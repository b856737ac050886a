#include "transfer/Sha256Behind.h"

#include <system_error>

namespace korvath {

TSha256Behind::~TSha256Behind() {
  Stop();
}

void TSha256Behind::Update(const void* data, size_t length) {
  FSeen += length;
  if (!FThread.joinable() && FSeen < kThreadFrom) {
    FSha.Update(data, length);
    return;
  }
  if (!FThread.joinable()) {
    try {
      FThread = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No thread to be had: the digest is taken here, as for a small file.
      FSha.Update(data, length);
      FSeen = 0;
      return;
    }
  }
  std::string block(static_cast<const char*>(data), length);
  std::unique_lock lock(FLock);
  FChanged.wait(lock, [this] { return FQueue.size() < kMostQueued; });
  FQueue.push_back(std::move(block));
  FChanged.notify_all();
}

void TSha256Behind::Work() {
  std::unique_lock lock(FLock);
  for (;;) {
    FChanged.wait(lock, [this] { return FClosing || !FQueue.empty(); });
    if (FQueue.empty()) return;
    std::string block = std::move(FQueue.front());
    FQueue.pop_front();
    FChanged.notify_all();
    lock.unlock();
    FSha.Update(block.data(), block.size());
    lock.lock();
  }
}

void TSha256Behind::Stop() {
  if (!FThread.joinable()) return;
  {
    const std::lock_guard lock(FLock);
    FClosing = true;
  }
  FChanged.notify_all();
  FThread.join();
}

std::string TSha256Behind::FinalHex() {
  Stop();  // every block handed over is taken first
  FClosing = false;
  FSeen = 0;
  return FSha.FinalHex();
}

}  // namespace korvath
