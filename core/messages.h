// Every text the program tells its user about a failure, by code: the codes and their texts
// are the rows of core/message_table.h.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

enum class Message {
#define VANTREL_MESSAGE(code, kind, text) code,
#include "core/message_table.h"
#undef VANTREL_MESSAGE
};

// The text of `message` with `arguments` put in for %1, %2 ...
std::string MessageText(Message message, const std::vector<std::string>& arguments);

// Whether the text names a file itself (one of its arguments is one), and whether it is about
// a setting rather than a file.
bool MessageNamesFile(Message message);
bool MessageIsSetting(Message message);

}  // namespace vantrel
