#pragma once
// Exchange property columns: their ESE types and the column sets of each table.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/edbforge/ese/schema.hpp"

namespace edbforge::store {

/// The ESE column for an Exchange column name: the leading letters give the type
/// (S text, T time, L long, Q 64-bit id, B bit, N binary, D double, MS/MN multi).
/// Throws DefinitionError for a name that follows no known pattern.
ese::ColumnDef ExchangeColumn(std::string_view name);

extern const std::vector<std::string> kMailboxColumns;
extern const std::vector<std::string> kFolderColumns;
extern const std::vector<std::string> kItemColumns;        // "Msg" and body tables
extern const std::vector<std::string> kAttachmentColumns;  // older-layout attachment table
extern const std::vector<std::string> kContentColumns;     // older-layout folder content tables
extern const std::vector<std::string> kHeaderColumns;      // newer-layout message headers
extern const std::vector<std::string> kViewColumns;        // newer-layout view tables

/// Identifier text of an 8-byte id: hex without leading zeros.
std::string IdHex(uint64_t id);
/// Store identifier text: the identifier text, except at format revision 17.
std::string StoreIdHex(uint64_t id, uint32_t revision);

}  // namespace edbforge::store
