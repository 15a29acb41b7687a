// mailsaving: the external saver. Started once per item with the item's kind
// ("mailimport", "appointment", "notes", "task", "contact"); reads the record files of
// that item and writes one standard file for it under the output root.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "saver/writers.hpp"

int main(int argc, char** argv) {
  using namespace mailsaving;
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "usage: mailsaving KIND\n"
                 "  KIND: mailimport, appointment, notes, task or contact\n"
                 "Reads mailsaving.txt (and conatctsaving.txt) from $MAILSAVING_RECORDS or the program folder and\n"
                 "writes the item under $MAILSAVING_OUT (default ./recovered); MAILSAVING_MBOX=1 also appends\n"
                 "mails to their folder's mbox file.\n");
    return argc == 2 ? 0 : 2;
  }
  const std::string kind = argv[1];
  try {
    const Record record = ReadRecord(RecordFolder(), kind);
    const fs::path root = OutputRoot();
    const char* mbox = std::getenv("MAILSAVING_MBOX");
    if (kind == "mailimport") WriteMail(record, root, mbox != nullptr && std::strcmp(mbox, "1") == 0);
    else if (kind == "appointment" || kind == "task") WriteCalendarItem(record, root);
    else if (kind == "contact") WriteCard(record, root);
    else WriteNote(record, root);
  } catch (const RecordError& e) {
    std::fprintf(stderr, "mailsaving: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mailsaving: %s\n", e.what());
    return 1;
  }
  return 0;
}
