#include "preview/item_values.hpp"

#include "content/body_extraction.hpp"
#include "export/address_parsing.hpp"
#include "pipeline/session.hpp"
#include "store/esedb.hpp"
#include "store/value_text.hpp"

namespace edbx {

int ItemValues::Column(std::string_view name) const { return record_ ? session_.maps.item[name] : -1; }

bool ItemValues::Has(std::string_view name) const { return Column(name) >= 0; }

u16 ItemValues::Text(std::string_view name) const {
  const int column = Column(name);
  if (column < 0) return u16();
  return RecordValueText(*record_, column, session_.value_context()).value_or(u16());
}

u16 ItemValues::Date(std::string_view name) const {
  const int column = Column(name);
  if (column < 0) return u16();
  return FiletimeText(*record_, column).value_or(u16());
}

u16 ItemValues::Then(std::initializer_list<std::string_view> names) const {
  for (auto name : names)
    if (u16 text = Text(name); !text.empty()) return text;
  return u16();
}

u16 ItemValues::DateThen(std::initializer_list<std::string_view> names) const {
  for (auto name : names)
    if (u16 text = Date(name); !text.empty()) return text;
  return u16();
}

u16 ItemValues::Over(std::string_view preferred, u16 fallback) const {
  return Has(preferred) ? Text(preferred) : fallback;
}

u16 ItemValues::WholeText(std::string_view name, std::size_t max_units) const {
  const int column = Column(name);
  if (column < 0) return u16();
  return WholeColumnText(session_, *record_, column, max_units);
}

u16 FirstNonEmpty(std::initializer_list<u16> texts) {
  for (const u16& text : texts)
    if (!text.empty()) return text;
  return u16();
}

u16 CollapseSpaces(u16v text) {
  u16 out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u' ') {
      out.push_back(text[i]);
    } else if (i + 1 < text.size() && text[i + 1] == u' ') {
      out.push_back(u' ');  // a pair of spaces stands for one
      ++i;
    }
  }
  return out;
}

u16 RecipientText(const ItemValues& values, std::initializer_list<std::string_view> columns) {
  u16 to;
  for (auto column : columns) {
    to = NormalizeAddressText(CollapseSpaces(values.Text(column)));
    if (!to.empty()) break;
  }
  return square_brackets(std::move(to));
}

}  // namespace edbx
