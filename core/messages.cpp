// The message texts, from the one list of core/message_table.h.
#include "core/messages.h"

#include <cstddef>

namespace vantrel {
namespace {

enum Kind { Plain, NamesFile, Setting };

struct Entry {
  Kind kind;
  const char* text;
};

// In the order of the codes, so a code is its row's index.
constexpr Entry kTable[] = {
#define VANTREL_MESSAGE(code, kind, text) {kind, text},
#include "core/message_table.h"
#undef VANTREL_MESSAGE
};

constexpr std::size_t kCodeCount = 0
#define VANTREL_MESSAGE(code, kind, text) +1
#include "core/message_table.h"
#undef VANTREL_MESSAGE
    ;
static_assert(std::size(kTable) == kCodeCount);

const Entry& EntryOf(Message message) { return kTable[static_cast<std::size_t>(message)]; }

}  // namespace

std::string MessageText(Message message, const std::vector<std::string>& arguments) {
  std::string text;
  for (const char* c = EntryOf(message).text; *c != '\0'; ++c) {
    const unsigned digit = static_cast<unsigned char>(c[1]) - '1';
    if (*c == '%' && digit < 9) {
      if (digit < arguments.size()) text += arguments[digit];
      ++c;
    } else {
      text += *c;
    }
  }
  return text;
}

bool MessageNamesFile(Message message) { return EntryOf(message).kind == NamesFile; }
bool MessageIsSetting(Message message) { return EntryOf(message).kind == Setting; }

}  // namespace vantrel
