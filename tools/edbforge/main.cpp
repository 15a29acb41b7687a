// edbforge: writes ESE databases shaped like Exchange stores, for tests, benchmarks
// and demo samples.

#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tools/edbforge/ese/database.hpp"
#include "tools/edbforge/damage/damage.hpp"
#include "tools/edbforge/store/benchmark.hpp"
#include "tools/edbforge/store/description_json.hpp"
#include "tools/edbforge/store/store_builder.hpp"

namespace {

using Args = std::vector<std::string>;

int Usage();

bool ParseUint(const std::string& s, uint64_t& out) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 12) return false;
  out = std::stoull(s);
  return true;
}

int Build(const Args& args) {
  std::vector<std::string> files;
  std::string layout;
  uint64_t revision = 0, page_size = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--layout" && i + 1 < args.size()) {
      layout = args[++i];
      if (layout != "older" && layout != "newer") throw std::invalid_argument("--layout needs older or newer");
    } else if (args[i] == "--revision" && i + 1 < args.size()) {
      if (!ParseUint(args[++i], revision)) throw std::invalid_argument("--revision needs a number");
    } else if (args[i] == "--page-size" && i + 1 < args.size()) {
      if (!ParseUint(args[++i], page_size)) throw std::invalid_argument("--page-size needs a number");
    } else if (!args[i].empty() && args[i][0] == '-') {
      throw std::invalid_argument("unknown option " + args[i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) throw std::invalid_argument("expected DESCRIPTION.json OUT.edb");
  auto desc = edbforge::store::LoadDescription(files[0]);
  if (!layout.empty()) {
    desc.options.layout = layout == "older" ? edbforge::store::Layout::Older : edbforge::store::Layout::Newer;
    desc.options.format_revision = 0;
  }
  if (revision != 0) desc.options.format_revision = static_cast<uint32_t>(revision);
  if (page_size != 0) desc.options.page_size = static_cast<uint32_t>(page_size);
  edbforge::store::BuildStore(desc, files[1]);
  return 0;
}

int Bench(const Args& args) {
  edbforge::store::BenchmarkOptions o;
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](uint64_t& v) {
      if (i + 1 >= args.size() || !ParseUint(args[i + 1], v)) throw std::invalid_argument(a + " needs a number");
      ++i;
    };
    uint64_t v = 0;
    if (a == "--messages") value(o.messages);
    else if (a == "--mailboxes") { value(v); o.mailboxes = static_cast<uint32_t>(v); }
    else if (a == "--folders") { value(v); o.folders_per_mailbox = static_cast<uint32_t>(v); }
    else if (a == "--page-size") { value(v); o.page_size = static_cast<uint32_t>(v); }
    else if (a == "--revision") { value(v); o.format_revision = static_cast<uint32_t>(v); }
    else if (a == "--seed") { value(v); o.seed = static_cast<uint32_t>(v); }
    else if (a == "--body-size") { value(v); o.body_size = static_cast<uint32_t>(v); }
    else if (a == "--attachment-every") { value(v); o.attachment_every = static_cast<uint32_t>(v); }
    else if (a == "--attachment-size") { value(v); o.attachment_size = static_cast<uint32_t>(v); }
    else if (a == "--layout") {
      if (i + 1 >= args.size()) throw std::invalid_argument("--layout needs older or newer");
      const std::string l = args[++i];
      if (l == "older") o.layout = edbforge::store::Layout::Older;
      else if (l == "newer") o.layout = edbforge::store::Layout::Newer;
      else throw std::invalid_argument("--layout needs older or newer");
    } else if (a == "--fixed-folder") {
      // NAME=COUNT: a folder of the first mailbox with exactly COUNT messages.
      if (i + 1 >= args.size()) throw std::invalid_argument("--fixed-folder needs NAME=COUNT");
      const std::string spec = args[++i];
      const auto eq = spec.rfind('=');
      uint64_t count = 0;
      if (eq == std::string::npos || !ParseUint(spec.substr(eq + 1), count))
        throw std::invalid_argument("--fixed-folder needs NAME=COUNT");
      o.fixed_folders.emplace_back(spec.substr(0, eq), count);
    } else if (!a.empty() && a[0] != '-' && out.empty()) {
      out = a;
    } else {
      throw std::invalid_argument("unknown option " + a);
    }
  }
  if (out.empty()) throw std::invalid_argument("no output file given");
  edbforge::store::BuildBenchmarkStore(o, out, [](uint64_t n) {
    std::fprintf(stderr, "\r%llu messages", static_cast<unsigned long long>(n));
    std::fflush(stderr);
  });
  std::fprintf(stderr, "\n");
  return 0;
}

int Damage(const Args& args) {
  using edbforge::damage::Kind;
  const std::pair<const char*, Kind> kinds[] = {{"--zero", Kind::kZero},
                                                {"--checksum", Kind::kChecksum},
                                                {"--link-back", Kind::kLinkBack},
                                                {"--link-foreign", Kind::kLinkForeign},
                                                {"--truncate", Kind::kTruncate}};
  std::vector<std::string> files;
  std::string table = "Msg";
  std::vector<edbforge::damage::Damage> damages;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return a == k.first; });
    if (a == "--table" && i + 1 < args.size()) {
      table = args[++i];
    } else if (kind != std::end(kinds)) {
      uint64_t leaf = 0;
      if (i + 1 >= args.size() || !ParseUint(args[i + 1], leaf) || leaf > UINT32_MAX)
        throw std::invalid_argument(a + " needs a leaf number");
      ++i;
      damages.push_back({kind->second, static_cast<uint32_t>(leaf)});
    } else if (!a.empty() && a[0] == '-') {
      throw std::invalid_argument("unknown option " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) throw std::invalid_argument("expected IN.edb OUT.edb");
  if (damages.empty()) throw std::invalid_argument("no damage given");
  for (const auto& d : edbforge::damage::DamageTable(files[0], files[1], table, damages))
    std::printf("%s leaf %u page %u\n", edbforge::damage::KindName(d.kind), d.leaf, d.page);
  return 0;
}

struct Command {
  const char* name;
  const char* help;
  std::function<int(const Args&)> run;
};

const Command kCommands[] = {
    {"build", "DESCRIPTION.json OUT.edb [--layout older|newer] [--revision R] [--page-size B]\n"
              "        write the store a JSON description gives (the options override it)",
     Build},
    {"bench", "OUT.edb [--messages N] [--layout older|newer] [--page-size B] [--mailboxes M] [--folders F]\n"
              "        [--fixed-folder NAME=COUNT]... [--body-size B] [--attachment-every N] [--attachment-size B]\n"
              "        [--revision R] [--seed S]   write a generated store for benchmarks",
     Bench},
    {"damage", "IN.edb OUT.edb [--table T] [--zero L]... [--checksum L]... [--link-back L]... [--link-foreign L]...\n"
               "        [--truncate L]   copy IN with leaf L of table T (default Msg; 0 is the first leaf) zeroed,\n"
               "        its checksum broken, its next link pointing back or to another tree, or the file cut there",
     Damage},
};

int Usage() {
  std::cerr << "usage: edbforge COMMAND ...\n\ncommands:\n";
  for (const auto& c : kCommands) std::cerr << "  " << c.name << " " << c.help << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string name = argv[1];
  const Args args(argv + 2, argv + argc);
  for (const auto& c : kCommands) {
    if (name != c.name) continue;
    try {
      return c.run(args);
    } catch (const std::invalid_argument& e) {
      std::cerr << "edbforge " << name << ": " << e.what() << "\n";
      return 2;
    } catch (const std::exception& e) {
      std::cerr << "edbforge " << name << ": " << e.what() << "\n";
      return 1;
    }
  }
  return Usage();
}
