#include "store/message_classes.hpp"

#include <algorithm>
#include <array>

namespace edbx {

namespace {

struct KindRow {
  const char16_t* kind;
  std::array<const char16_t*, 8> classes;
};

const KindRow kCommonKinds[] = {
    {u"mail",
     {u"", u"IPM.Note", u"IPF.Note", u"IPF.Schedule.Meeting.Request", u"IPM.Schedule.Meeting.Request",
      u"REPORT.REPORT.IPM.Note.NDR.NDR", u"REPORT.REPORT.IPF.Note.NDR.NDR"}},
    {u"contact", {u"IPM.Contact", u"IPF.Contact"}},
    {u"distlist", {u"IPM.DistList", u"IPF.DistList"}},
    {u"appointment", {u"IPM.Appointment", u"IPF.Appointment"}},
    {u"activity", {u"IPM.Journal", u"IPF.Journal", u"IPM.Activity", u"IPF.Activity"}},
    {u"task", {u"IPM.Task", u"IPF.Task", u"IPM.TaskRequest", u"IPF.TaskRequest"}},
    {u"rss", {u"IPM.Post.Rss", u"IPF.Post.Rss"}},
    {u"notes", {u"IPM.StickyNote", u"IPF.StickyNote"}},
};

const char16_t* const kExcluded[] = {
    u"IPM.Microsoft.FolderDesign.NamedView", u"IPF.Microsoft.FolderDesign.NamedView",
    u"IPM.Sharing.Binding.In",               u"IPF.Sharing.Binding.In",
    u"IPM.Microsoft.MigrationStatus",        u"IPF.Microsoft.MigrationStatus",
    u"IPM.RuleOrganizer",                    u"IPF.RuleOrganizer",
    u"IPM.Configuration.RssRule",            u"IPF.Configuration.RssRule",
    u"IPM.ExtendedRule.Message",             u"IPM.MessageManager",
    u"IPF.MessageManager",                   u"REPORT.IPM.Note.IPNRN",
    u"REPORT.IPF.Note.IPNRN",                u"REPORT.IPM.Note.NDR",
    u"REPORT.IPF.Note.NDR",                  u"IPM.Schedule.Meeting.Resp.Pos",
    u"IPF.Schedule.Meeting.Resp.Pos",        u"IPM.Configuration.Calendar",
    u"IPF.Configuration.Calendar",           u"IPM.Configuration.WorkHours",
    u"IPF.Configuration.WorkHours",          u"IPM.Configuration.AvailabilityOptions",
    u"IPF.Configuration.AvailabilityOptions", u"IPM.SchedulePlus.ExpansionData",
    u"IPF.SchedulePlus.ExpansionData",       u"IPM.Configuration.CategoryList",
    u"IPF.Configuration.CategoryList",       u"IPM.Configuration.Pubcal",
    u"IPF.Configuration.Pubcal",             u"IPM.Configuration.HomeTimeZone",
    u"IPF.Configuration.HomeTimeZone",       u"IPC.MS.Outlook.AgingProperties",
    u"IPC.Microsoft",                        u"IPM.Microsoft",
    u"IPM.Configuration",
};

u16 CommonKind(u16v c, bool& found) {
  for (const auto& row : kCommonKinds)
    for (const char16_t* cls : row.classes)
      if (cls != nullptr && c == cls) {
        found = true;
        return row.kind;
      }
  found = false;
  return u16(c);
}

bool IsListed(u16v kind) {
  return std::any_of(std::begin(kExcluded), std::end(kExcluded), [&](const char16_t* e) { return kind == e; });
}

}  // namespace

u16 HeaderItemKind(u16v c) {
  if (c == u"srvinfo.expiry") return u"mail";
  bool found = false;
  return CommonKind(c, found);
}

u16 ListerItemKind(u16v c) {
  if (c == u"IPM.InkNotes" || c == u"IPF.InkNotes") return u"notes";
  bool found = false;
  return CommonKind(c, found);
}

bool IsExcludedHeaderKind(u16v kind) { return kind == u"IPM.Configuration.ELC" || IsListed(kind); }

bool IsExcludedListerKind(u16v kind) { return IsListed(kind); }

}  // namespace edbx
