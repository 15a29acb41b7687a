#include "tools/edbforge/store/exchange_schema.hpp"

#include <cstdio>

#include "tools/edbforge/ese/database.hpp"

namespace edbforge::store {

using ese::ColumnDef;
using ese::ColumnType;

namespace {
bool HexDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}
}  // namespace

ColumnDef ExchangeColumn(std::string_view name) {
  const bool multi = name.size() > 2 && name[0] == 'M';
  const std::string_view rest = multi ? name.substr(1) : name;
  if (rest.size() < 2 || !HexDigits(rest.substr(1)))
    throw ese::DefinitionError("column '" + std::string(name) + "': not an Exchange property column name");
  // Item keys and attachment keys are short binary values read as identifiers or hex dumps.
  if (name == "N67b0" || name == "N65f9" || name == "N67b3") return ColumnDef(std::string(name), ColumnType::Binary).stored_as(ese::Storage::Tagged);
  ColumnDef c;
  switch (rest[0]) {
    case 'S': c = ColumnDef(std::string(name), ColumnType::LongText, 1200); break;
    case 'T':
    case 'Q': c = ColumnDef(std::string(name), ColumnType::Currency); break;
    case 'L': c = ColumnDef(std::string(name), ColumnType::Long); break;
    case 'B': c = ColumnDef(std::string(name), ColumnType::Bit); break;
    case 'N': c = ColumnDef(std::string(name), ColumnType::LongBinary); break;
    case 'D': c = ColumnDef(std::string(name), ColumnType::IEEEDouble); break;
    default: throw ese::DefinitionError("column '" + std::string(name) + "': unknown type letter");
  }
  c.stored_as(ese::Storage::Tagged);
  if (multi) c.multi();
  return c;
}

const std::vector<std::string> kMailboxColumns = {"Q6764", "S3001", "S6773", "T3007", "L6766"};

const std::vector<std::string> kFolderColumns = {"Q6748", "Q6749", "Q6764", "S3001", "S3613",
                                                 "L3602", "L3603", "S6707", "T3007"};

const std::vector<std::string> kItemColumns = {
    "N67b0", "N67b3", "S1a",   "Se1d",  "S3d",   "Be1b",  "Te06",  "T3007", "T39",   "S42",   "Se04",
    "N2c",   "T60",   "T61",   "S70",   "S7d",   "Se28",  "Se29",  "S1000", "N1009", "N1013", "S3001",
    "S3003", "N3701", "L3705", "S3707", "S3a05", "S3a06", "S3a08", "S3a09", "S3a0a", "S3a11", "S3a15",
    "S3a16", "S3a17", "S3a18", "S3a19", "S3a1b", "S3a1c", "S3a1f", "S3a23", "S3a24", "S3a26", "S3a27",
    "S3a28", "S3a29", "S3a2a", "S3a2f", "T3a42", "S3a44", "S3a45", "S3a46", "S3a4f", "S3a51", "S3a59",
    "S3a5a", "S3a5b", "S3a5c", "S3a5d", "S4025", "N64f0", "N65f9", "N67b4", "N67b5", "S8004", "S800b",
    "T800d", "S800e", "S8010", "S801a", "S801b", "S801d", "S8020", "S8023", "S8027", "S802b", "S802c",
    "S802f", "S803a", "S803b", "T8040", "T8041", "S8049", "S8051", "S8076", "S808d", "S8095", "S8097",
    "S809e", "S80a5", "S80a6", "S80a7", "MS80db", "S80fd", "T8100", "N8102", "T8102", "T810b", "S810c",
    "S810e", "T811f", "S8120", "D8121", "S8122", "T812e", "L813a", "S8143", "S8144", "S8145", "S8146",
    "S8149", "T814d", "T814e", "T8155", "T8156", "T818a", "T818f", "T8198", "T8199", "MN81a9", "S81af",
    "S81b0", "S81b1", "S81b2", "S81b3", "S81b5", "S81b9", "S81ba", "T81bc", "T81bd", "S81c2", "T81c2",
    "T81c3", "T81c9", "T81cb", "T81ef", "S81fd", "S8201", "S8204", "S8214", "S821b", "S8241", "N826d",
    "S827c", "S827d", "S8299", "S829f", "S82a0", "S82f6", "L0e08"};

const std::vector<std::string> kAttachmentColumns = {"Q3f88", "Q674b", "S3001", "S3704",
                                                     "S3707", "N3701", "L3705", "L0e20"};

const std::vector<std::string> kContentColumns = {"N67b0", "S42",   "S4031", "S1a",   "Se1d", "S3d",   "S70",
                                                  "Se04",  "Be1b",  "Te06",  "T3007", "T39",  "S1000", "Le23",
                                                  "N67bd", "N67be", "N67b9", "N67ba", "L0e08"};

const std::vector<std::string> kHeaderColumns = {"N67b0", "Q6748", "Se04", "Se1d", "S3d", "S70",  "S1a",
                                                 "Be1b",  "Te06",  "T3007", "T39", "S42", "L0e08"};

const std::vector<std::string> kViewColumns = {"N67b0", "Q6748", "T39", "Se1d"};

std::string IdHex(uint64_t id) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(id));
  return buf;
}

std::string StoreIdHex(uint64_t id, uint32_t revision) {
  if (revision != 17) return IdHex(id);
  // Revision 17: a little-endian replica word (bytes 0-1) and a 48-bit counter.
  const auto b0 = static_cast<unsigned>((id >> 56) & 0xff);
  const auto b1 = static_cast<unsigned>((id >> 48) & 0xff);
  const unsigned word = b0 | (b1 << 8);
  std::string w = IdHex(word);
  while (!w.empty() && w.back() == '0') w.pop_back();
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(id & 0xffffffffffffULL));
  return w + "-" + buf;
}

}  // namespace edbforge::store
