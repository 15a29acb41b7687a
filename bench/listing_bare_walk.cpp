// The floor of a folder listing: the reads it cannot do without.
//
//   listing_bare_walk DATABASE.edb CONTENT_TABLE
//
// Through the same table reader the product uses (EseTable/EseRecord), walks every
// record of CONTENT_TABLE and fetches the stored bytes of the columns the listing
// reads; for every row whose key names a "Msg" row, fetches that row and the bytes of
// its transport headers (the long value, every segment), recipients and sender.
// Nothing is decoded, converted, written or kept.
//
// The key-to-row map of "Msg" is built first and not timed: the analysis builds it
// before any listing. Prints what was read, then "time SECONDS s cpu SECONDS s" (the walk alone: wall clock, then
// CPU time of the process).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/cpu_time.hpp"
#include "common/text.hpp"
#include "store/esedb.hpp"

namespace {

using Clock = std::chrono::steady_clock;

/// Column entries of `names` in `table`; -1 for a name the table lacks.
std::vector<int> Entries(const edbx::EseTable& table, const std::vector<const char*>& names) {
  std::vector<int> entries(names.size(), -1);
  const int count = table.ColumnCount().value_or(0);
  for (int c = 0; c < count; ++c) {
    const auto column = table.Column(c);
    if (!column) continue;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (column->name == edbx::widen(names[i])) entries[i] = c;
  }
  return entries;
}

struct Counters {
  std::uint64_t rows = 0, lookups = 0, values = 0, bytes = 0, failures = 0;
};

void ReadValue(const edbx::EseRecord& record, int entry, Counters& n) {
  if (entry < 0) return;
  const auto data = record.ValueData(entry);
  if (!data) {
    ++n.failures;
    return;
  }
  ++n.values;
  n.bytes += data->size();
}

void ReadLongValue(const edbx::EseRecord& record, int entry, Counters& n) {
  if (entry < 0) return;
  const auto flags = record.ValueFlags(entry);
  if (!flags || (*flags & edbx::kValueLongValue) == 0) return ReadValue(record, entry, n);
  edbx::EseLongValue value;
  if (record.GetLongValue(entry, value) != 1) {
    ++n.failures;
    return;
  }
  const int segments = value.SegmentCount().value_or(0);
  for (int i = 0; i < segments; ++i) {
    const auto segment = value.Segment(i);
    if (!segment) {
      ++n.failures;
      break;
    }
    n.bytes += segment->size();
  }
  ++n.values;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: listing_bare_walk DATABASE.edb CONTENT_TABLE\n");
    return 2;
  }
  auto db = edbx::EseDatabase::Open(argv[1]);
  if (!db) {
    std::fprintf(stderr, "%s: cannot open: %s\n", argv[1], edbx::LastStoreError().c_str());
    return 1;
  }
  edbx::EseTable msg, content;
  if (db->TableNamed(u"Msg", msg) != 1 || db->TableNamed(edbx::widen(argv[2]), content) != 1) {
    std::fprintf(stderr, "%s: no table Msg or %s\n", argv[1], argv[2]);
    return 1;
  }

  // Key bytes to "Msg" row, as the analysis keeps them.
  const auto msg_columns = Entries(msg, {"N67b0", "S7d", "N67b4", "N67b5"});
  std::unordered_map<std::string, int> rows;
  const int msg_count = msg.RecordCount().value_or(0);
  for (int r = 0; r < msg_count; ++r)
    if (const auto record = msg.Record(r))
      if (auto key = record->ValueData(msg_columns[0]); key && !key->empty()) rows.emplace(std::move(*key), r);

  const auto columns = Entries(content, {"N67b0", "S42", "S4031", "N67bd", "N67b9", "N67ba", "N67be", "S1a", "Se1d",
                                         "S3d", "Be1b", "Le23", "S1000", "T39", "Te06", "T3007"});
  Counters n;
  const auto start = Clock::now();
  const double cpu_start = edbx::bench::CpuSeconds();
  const int count = content.RecordCount().value_or(0);
  for (int r = 0; r < count; ++r) {
    const auto record = content.Record(r);
    if (!record) {
      ++n.failures;
      continue;
    }
    ++n.rows;
    for (int entry : columns) ReadValue(*record, entry, n);
    const auto key = record->ValueData(columns[0]);
    const auto found = key ? rows.find(*key) : rows.end();
    if (found == rows.end()) continue;
    const auto item = msg.Record(found->second);
    if (!item) {
      ++n.failures;
      continue;
    }
    ++n.lookups;
    ReadLongValue(*item, msg_columns[1], n);
    ReadValue(*item, msg_columns[2], n);
    ReadValue(*item, msg_columns[3], n);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%s: %llu rows, %llu Msg rows, %llu values, %llu bytes, %llu failures\n", argv[2],
              static_cast<unsigned long long>(n.rows), static_cast<unsigned long long>(n.lookups),
              static_cast<unsigned long long>(n.values), static_cast<unsigned long long>(n.bytes),
              static_cast<unsigned long long>(n.failures));
  std::printf("time %.6f s cpu %.6f s\n", seconds, edbx::bench::CpuSeconds() - cpu_start);
  return n.rows == 0 ? 1 : 0;
}
