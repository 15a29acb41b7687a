#include "ese/table.hpp"

#include <algorithm>
#include <utility>

#include "ese/bytes.hpp"

namespace edbx::ese_reader {

// ----- records -----

const RecordLayout& Record::layout() const { return table_->layout(); }

std::string_view Record::Data(int entry) const {
  return layout().Data(bytes_, span(entry), static_cast<std::size_t>(entry));
}

std::optional<std::vector<MultiValueEntry>> Record::MultiValue(int entry, std::string* why) const {
  const std::uint8_t flags = Flags(entry);
  if ((flags & value_flag::kMultiValue) == 0 || State(entry) != ValueSpan::kStored) {
    if (why != nullptr) *why = "not a multi-value";
    return std::nullopt;
  }
  return SplitMultiValue(Data(entry), flags, why);
}

std::optional<LongValueId> Record::LongValueIdOf(int entry) const {
  if ((Flags(entry) & (value_flag::kSeparated | value_flag::kMultiValue)) != value_flag::kSeparated) return std::nullopt;
  const std::string_view data = Data(entry);
  if (data.size() == 4) return LongValueId{Le32(data, 0), false};
  if (data.size() == 8) return LongValueId{Le64(data, 0), true};
  return std::nullopt;
}

std::optional<std::vector<std::string>> Record::LongValueSegments(int entry, std::string* why) const {
  const auto lid = LongValueIdOf(entry);
  if (!lid) {
    if (why != nullptr) *why = "not a separated long value";
    return std::nullopt;
  }
  const auto tree = table_->LongValues();
  if (!tree) {
    if (why != nullptr) *why = "the table's long-value tree cannot be read";
    return std::nullopt;
  }
  return tree->Read(*lid, why);
}

// ----- tables -----

std::shared_ptr<Table> Table::Open(std::shared_ptr<const PageFile> file, const Catalog& catalog, const TableDef& table) {
  RecordLayout layout(catalog.EntryColumns(table), catalog.Derived(table), file->format());
  return std::shared_ptr<Table>(new Table(std::move(file), table, std::move(layout)));
}

void Table::AddProblem(std::string text) const {
  if (std::find(problems_.begin(), problems_.end(), text) == problems_.end()) problems_.push_back(std::move(text));
}

bool Table::Index(std::string* why) const {
  if (!indexed_) {
    indexed_ = true;
    std::vector<std::string> problems;
    std::uint64_t count = 0;
    readable_ = tree_.WalkLeaves(
        [&](const Page& page) {
          std::uint32_t live = 0;
          for (const Node& node : page.nodes())
            if (!node.deleted()) ++live;
          if (live == 0) return true;
          if (count + live > 0x7fffffffu) return false;  // more records than callers can number
          leaves_.push_back({page.number(), static_cast<std::uint32_t>(count)});
          count += live;
          return true;
        },
        problems);
    count_ = static_cast<std::uint32_t>(count);
    leaves_.shrink_to_fit();
    if (!readable_) unreadable_ = problems.empty() ? "the table's tree cannot be read" : problems.front();
    for (std::string& p : problems) AddProblem(std::move(p));
  }
  if (!readable_ && why != nullptr) *why = unreadable_;
  return readable_;
}

std::optional<std::uint32_t> Table::RecordCount(std::string* why) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!Index(why)) return std::nullopt;
  return count_;
}

std::optional<Record> Table::ReadRecord(std::uint32_t number, std::string* why) const {
  std::uint32_t page_number = 0;
  std::uint32_t first = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!Index(why)) return std::nullopt;
    if (number >= count_) {
      if (why != nullptr) *why = "no record " + std::to_string(number) + " of " + std::to_string(count_);
      return std::nullopt;
    }
    const auto it = std::upper_bound(leaves_.begin(), leaves_.end(), number,
                                     [](std::uint32_t n, const Leaf& leaf) { return n < leaf.first; });
    page_number = std::prev(it)->page;
    first = std::prev(it)->first;
  }
  std::string reason;
  const auto page = tree_.Load(page_number, true, &reason);
  if (!page) {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  }
  std::uint32_t at = first;
  for (const Node& node : page->nodes()) {
    if (node.deleted()) continue;
    if (at++ != number) continue;
    Record record;
    record.table_ = shared_from_this();
    record.bytes_.assign(node.data);
    if (!layout_.Decode(record.bytes_, record.spans_, &reason)) {
      if (why != nullptr) *why = "page " + std::to_string(page_number) + ", tag " + std::to_string(node.tag) + ": " + reason;
      const std::lock_guard<std::mutex> lock(mutex_);
      AddProblem("page " + std::to_string(page_number) + ", tag " + std::to_string(node.tag) + ": " + reason);
      return std::nullopt;
    }
    return record;
  }
  if (why != nullptr) *why = "page " + std::to_string(page_number) + " changed while the table was read";
  return std::nullopt;
}

std::vector<std::string> Table::Problems() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return problems_;
}

std::shared_ptr<const LongValueTree> Table::LongValues() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!long_values_opened_) {
    long_values_opened_ = true;
    if (definition_.long_values) {
      std::string why;
      long_values_ = LongValueTree::Open(file_, *definition_.long_values, &why);
      if (!long_values_) AddProblem("long-value tree: " + why);
    }
  }
  return long_values_;
}

}  // namespace edbx::ese_reader
