#include "updater/process/command_line.h"

namespace ombrix::process {

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  const std::size_t n = text.size();
  for (;;) {
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == n) return arguments;
    std::string argument;
    bool grouped = false;
    while (i < n && (grouped || (text[i] != ' ' && text[i] != '\t'))) {
      if (text[i] == '\\') {
        std::size_t end = i;
        while (end < n && text[end] == '\\') ++end;
        const std::size_t count = end - i;
        if (end < n && text[end] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument += '"';
            i = end + 1;
          } else {
            i = end;  // the quote groups
          }
        } else {
          argument.append(count, '\\');
          i = end;
        }
      } else if (text[i] == '"') {
        if (grouped && i + 1 < n && text[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          grouped = !grouped;
          ++i;
        }
      } else {
        argument += text[i++];
      }
    }
    arguments.push_back(std::move(argument));
  }
}

std::string QuoteArgument(const std::string& value) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : value) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped with one more.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');  // the closing quote follows them
  return quoted + '"';
}

}  // namespace ombrix::process
