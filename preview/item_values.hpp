#pragma once
// Reading the values a header page shows: record columns by name, as text or as a
// date, with the two ways of falling back from one column to another.

#include <initializer_list>
#include <string_view>

#include "common/text.hpp"

namespace edbx {

struct Session;
class EseRecord;

/// The columns of one record, by the names of the item column map (built for the
/// record's table). Without a record every column is absent.
class ItemValues {
 public:
  ItemValues(Session& session, const EseRecord* record) : session_(session), record_(record) {}

  /// True when the record's table has the column.
  bool Has(std::string_view name) const;
  /// The column formatted as text; empty when the table lacks it.
  u16 Text(std::string_view name) const;
  /// The column formatted as a date; empty when the table lacks it or it holds none.
  u16 Date(std::string_view name) const;
  /// The first column in the list whose text is not empty ("A, then B").
  u16 Then(std::initializer_list<std::string_view> names) const;
  /// The first column in the list whose date is not empty.
  u16 DateThen(std::initializer_list<std::string_view> names) const;
  /// The text of `preferred` when the table has that column (even an empty text),
  /// otherwise `fallback` ("B over A").
  u16 Over(std::string_view preferred, u16 fallback) const;
  /// The whole text of a long column (a body or a message header), long values included,
  /// at most `max_units` code units.
  u16 WholeText(std::string_view name, std::size_t max_units) const;

 private:
  int Column(std::string_view name) const;
  Session& session_;
  const EseRecord* record_;
};

/// The first text of the list that is not empty.
u16 FirstNonEmpty(std::initializer_list<u16> texts);

/// Every pair of consecutive spaces becomes one space and every other space goes, so a
/// display text spelled out letter by letter is joined again.
u16 CollapseSpaces(u16v text);

/// The recipients as the newer layout shows them: the first of the columns whose text,
/// spaces collapsed, normalises to something; then "<" and ">" shown as "[" and "]".
u16 RecipientText(const ItemValues& values, std::initializer_list<std::string_view> columns);

}  // namespace edbx
