// Appointments and tasks as iCalendar files built with libical.

#include <libical/ical.h>

#include <random>

#include "export/eml_writer.hpp"
#include "saver/writers.hpp"

namespace mailsaving {

namespace {

icaltimetype UtcTime(const DateParts& d) {
  icaltimetype t = icaltime_null_time();
  t.year = d.year;
  t.month = d.month;
  t.day = d.day;
  t.hour = d.hour;
  t.minute = d.minute;
  t.second = d.second;
  t.is_date = 0;
  t.zone = icaltimezone_get_utc_timezone();
  return t;
}

std::string NewUid() {
  std::random_device random;
  char text[64];
  std::snprintf(text, sizeof text, "%08x-%08x-%08x@mailsaving", random(), random(), random());
  return text;
}

/// The body file's text; empty when the record names none.
std::string BodyOf(const Record& record, const std::optional<fs::path>& working) {
  const auto file = WorkingFile(record.Get("Body"), working);
  return file ? BodyText(*file) : std::string();
}

/// "name<address>" or an address as an ORGANIZER property; null when there is no address.
icalproperty* Organizer(const std::string& from) {
  std::string text = from;
  for (char& c : text) {
    if (c == '[') c = '<';
    else if (c == ']') c = '>';
  }
  const auto lt = text.find('<'), gt = text.find('>');
  std::string name, address;
  if (lt != std::string::npos && gt != std::string::npos && gt > lt) {
    name = text.substr(0, lt);
    address = text.substr(lt + 1, gt - lt - 1);
  } else if (text.find('@') != std::string::npos) {
    address = text;
  }
  while (!address.empty() && (address.back() == ',' || address.back() == ' ')) address.pop_back();
  if (address.empty() || address.find('@') == std::string::npos) return nullptr;
  icalproperty* p = icalproperty_new_organizer(("mailto:" + address).c_str());
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (!name.empty()) icalproperty_add_parameter(p, icalparameter_new_cn(name.c_str()));
  return p;
}

void AddText(icalcomponent* c, icalproperty* (*make)(const char*), const std::string& value) {
  if (!value.empty()) icalcomponent_add_property(c, make(value.c_str()));
}

void AddX(icalcomponent* c, const char* name, const std::string& value) {
  if (value.empty()) return;
  icalproperty* p = icalproperty_new_x(value.c_str());
  icalproperty_set_x_name(p, name);
  icalcomponent_add_property(c, p);
}

void AddAttachments(icalcomponent* c, const std::string& paths, const std::optional<fs::path>& working) {
  for (const auto& piece : edbx::split(edbx::utf8_to_utf16(paths), u';')) {
    if (piece.empty()) continue;
    const auto file = WorkingFile(edbx::utf16_to_utf8(piece), working);
    if (!file) continue;
    const std::string data = edbx::Base64Encode(ReadFileBytes(*file, std::size_t{256} << 20));
    icalattach* attach = icalattach_new_from_data(data.c_str(), nullptr, nullptr);
    icalproperty* p = icalproperty_new_attach(attach);
    icalattach_unref(attach);
    icalproperty_add_parameter(p, icalparameter_new_encoding(ICAL_ENCODING_BASE64));
    icalproperty_add_parameter(p, icalparameter_new_value(ICAL_VALUE_BINARY));
    icalproperty_add_parameter(p, icalparameter_new_fmttype("application/octet-stream"));
    icalparameter* name = icalparameter_new_x(file->filename().c_str());
    icalparameter_set_xname(name, "X-FILENAME");
    icalproperty_add_parameter(p, name);
    icalcomponent_add_property(c, p);
  }
}

}  // namespace

fs::path WriteCalendarItem(const Record& record, const fs::path& root) {
  const bool task = record.kind == "task";
  // The working folder is the one the body file lies in.
  const std::string body_path = record.Get("Body");
  const std::optional<fs::path> working =
      body_path.empty() ? std::nullopt : std::optional<fs::path>(fs::path(body_path).parent_path());
  icalcomponent* calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
  icalcomponent_add_property(calendar, icalproperty_new_version("2.0"));
  icalcomponent_add_property(calendar, icalproperty_new_prodid("-//edbexport//mailsaving//EN"));
  icalcomponent* item = icalcomponent_new(task ? ICAL_VTODO_COMPONENT : ICAL_VEVENT_COMPONENT);
  icalcomponent_add_property(item, icalproperty_new_uid(NewUid().c_str()));
  icalcomponent_add_property(item, icalproperty_new_dtstamp(icaltime_current_time_with_zone(icaltimezone_get_utc_timezone())));
  const std::string subject = record.Get("SUBJECT");
  AddText(item, icalproperty_new_summary, subject);
  if (const auto start = ParseDate(record.Get("STARTDATE"))) icalcomponent_add_property(item, icalproperty_new_dtstart(UtcTime(*start)));
  if (task) {
    if (const auto due = ParseDate(record.Get("DUEDATE"))) icalcomponent_add_property(item, icalproperty_new_due(UtcTime(*due)));
    if (icalproperty* organizer = Organizer(record.Get("FROM"))) icalcomponent_add_property(item, organizer);
    AddX(item, "X-EDBEXPORT-OWNER", record.Get("OWNER"));
  } else {
    if (const auto end = ParseDate(record.Get("ENDDATE"))) icalcomponent_add_property(item, icalproperty_new_dtend(UtcTime(*end)));
    AddText(item, icalproperty_new_location, record.Get("LOCATION"));
    AddX(item, "X-EDBEXPORT-TIMEZONE", record.Get("timezone"));
    AddAttachments(item, record.Get("ATTACHMENT"), working);
  }
  AddText(item, icalproperty_new_description, BodyOf(record, working));
  icalcomponent_add_component(calendar, item);
  char* text = icalcomponent_as_ical_string_r(calendar);
  const std::string bytes = text ? text : "";
  std::free(text);
  icalcomponent_free(calendar);
  if (bytes.empty()) throw RecordError("the calendar item cannot be written");
  const fs::path folder = OutputFolder(root, record.Get("FolderPath"));
  return WriteNewFile(folder, SafeFileName(subject, task ? "task" : "appointment", ".ics"), bytes);
}

}  // namespace mailsaving
