#include "tools/edbforge/store/benchmark.hpp"

#include <algorithm>
#include <random>

#include "common/text.hpp"
#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/store/content.hpp"
#include "tools/edbforge/store/store_builder.hpp"

namespace edbforge::store {

namespace {
const char* kFolderNames[] = {"Inbox", "Sent Items", "Deleted Items", "Drafts", "Archive", "Projects",
                              "Customers", "Invoices", "Newsletters", "Travel", "Team", "Reports"};
const char* kFirst[] = {"Alice", "Bob", "Carol", "David", "Erin", "Frank", "Grace", "Heidi", "Ivan", "Judy"};
const char* kLast[] = {"Example", "Smith", "Jones", "Miller", "Brown", "Garcia", "Martin", "Lee"};
}  // namespace

void BuildBenchmarkStore(const BenchmarkOptions& o, const std::filesystem::path& path,
                         const std::function<void(uint64_t)>& progress) {
  if (o.mailboxes == 0 || o.folders_per_mailbox == 0) throw ese::DefinitionError("need at least one mailbox and folder");
  uint64_t fixed_total = 0;
  for (const auto& [name, count] : o.fixed_folders) fixed_total += count;
  if (fixed_total > o.messages) throw ese::DefinitionError("fixed folders hold more messages than the store");

  StoreOptions so;
  so.layout = o.layout;
  so.page_size = o.page_size;
  so.format_revision = o.format_revision;
  StoreBuilder b(path, so);
  std::mt19937 engine(o.seed);
  auto rng = [&engine] { return static_cast<uint32_t>(engine()); };

  // Folders: the fixed ones first, then a spread of ordinary folders.
  struct Target {
    StoreBuilder::FolderRef ref;
    uint64_t quota;  // 0: takes a share of the remaining messages
  };
  std::vector<Target> targets;
  for (uint32_t m = 0; m < o.mailboxes; ++m) {
    MailboxDesc md;
    md.name = edbx::widen(std::string(kFirst[m % 10]) + " " + kLast[m % 8] + (m >= 10 ? " " + std::to_string(m) : ""));
    md.owner = md.name;
    const auto mref = b.add_mailbox(md);
    if (m == 0)
      for (const auto& [name, count] : o.fixed_folders) {
        FolderDesc f;
        f.name = edbx::utf8_to_utf16(name);
        targets.push_back({b.add_folder(mref, StoreBuilder::kNoParent, f), count});
      }
    for (uint32_t k = 0; k < o.folders_per_mailbox; ++k) {
      FolderDesc f;
      f.name = edbx::widen(std::string(kFolderNames[k % 12]) + (k >= 12 ? " " + std::to_string(k / 12) : ""));
      targets.push_back({b.add_folder(mref, StoreBuilder::kNoParent, f), 0});
    }
  }
  std::size_t ordinary = 0;
  for (const auto& t : targets) ordinary += t.quota == 0 ? 1 : 0;
  const uint64_t rest = o.messages - fixed_total;

  uint64_t written = 0;
  const uint64_t base_time = FiletimeOf(2010, 1, 4, 8, 0, 0);
  std::size_t ordinary_index = 0;
  for (const auto& t : targets) {
    uint64_t count = t.quota;
    if (count == 0) {
      count = rest / ordinary + (ordinary_index < rest % ordinary ? 1 : 0);
      ++ordinary_index;
    }
    for (uint64_t i = 0; i < count; ++i, ++written) {
      ItemDesc it;
      const uint32_t a = rng(), c = rng();
      it.from = Address{edbx::widen(std::string(kFirst[a % 10]) + " " + kLast[(a >> 8) % 8]),
                        std::string(kFirst[a % 10]) + "." + kLast[(a >> 8) % 8] + "@example.com"};
      it.to = {Address{edbx::widen(std::string(kFirst[c % 10]) + " " + kLast[(c >> 8) % 8]),
                       std::string(kFirst[c % 10]) + "@example.org"}};
      it.subject = u"Status update " + edbx::decimal(static_cast<int64_t>(written));
      if (rng() % 4 == 0) it.subject_prefix = u"RE: ";
      it.sent = base_time + written * 600000000ULL;
      it.received = *it.sent + 50000000ULL;
      it.created = *it.received;
      const std::size_t body = o.body_size / 2 + rng() % (o.body_size + 1);
      it.body = edbx::widen(MakeText("Hello,", body, rng()));
      if (o.attachment_every != 0 && written % o.attachment_every == 0) {
        AttachmentDesc att;
        att.name = u"report-" + edbx::decimal(static_cast<int64_t>(written)) + u".pdf";
        att.data = MakePdf("Report " + std::to_string(written), o.attachment_size / 2 + rng() % (o.attachment_size + 1));
        it.attachments.push_back(std::move(att));
      }
      b.add_item(t.ref, it);
      if (progress && written % 10000 == 0) progress(written);
    }
  }
  b.finish();
  if (progress) progress(written);
}

}  // namespace edbforge::store
