#pragma once
// Store descriptions written as JSON (the format is documented in tools/edbforge/README.md).

#include <filesystem>
#include <string>

#include "tools/edbforge/store/store_model.hpp"

namespace edbforge::store {

/// Parses a description; file attachments are resolved against `base_dir`.
/// Throws ese::DefinitionError naming the JSON path of a bad entry.
StoreDesc ParseDescription(const std::string& json_text, const std::filesystem::path& base_dir);
StoreDesc LoadDescription(const std::filesystem::path& file);

}  // namespace edbforge::store
