#pragma once
// Large generated stores for benchmarks: N messages spread over folders, with
// bodies and attachments of realistic sizes.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/edbforge/store/store_model.hpp"

namespace edbforge::store {

struct BenchmarkOptions {
  uint64_t messages = 10000;
  uint32_t mailboxes = 2;
  uint32_t folders_per_mailbox = 20;
  /// Folders of the first mailbox with a fixed number of messages (taken from `messages`).
  std::vector<std::pair<std::string, uint64_t>> fixed_folders;
  Layout layout = Layout::Older;
  uint32_t page_size = 32768;
  uint32_t format_revision = 0;
  uint32_t seed = 1;
  uint32_t body_size = 2000;         // average plain-text body, bytes of text
  uint32_t attachment_every = 10;    // one message in N has an attachment
  uint32_t attachment_size = 50000;  // average attachment size
};

/// Writes the store; `progress` is called now and then with the messages written.
void BuildBenchmarkStore(const BenchmarkOptions& options, const std::filesystem::path& path,
                         const std::function<void(uint64_t)>& progress = {});

}  // namespace edbforge::store
