// The argument string of a launched program, by the quoting rules the programs of
// the original platform expect (a program there receives one string and splits it).
#pragma once

#include <string>
#include <vector>

namespace ombrix::process {

// Splits by those rules: blanks (space, tab) separate outside quotes; "..." groups;
// 2n backslashes before a quote give n backslashes and the quote toggles grouping,
// 2n+1 give n backslashes and a literal quote; other backslashes are literal; inside
// a group, "" is a literal quote. `""` alone is an empty argument.
std::vector<std::string> SplitCommandLine(const std::string& text);

// The quoted form SplitCommandLine turns back into exactly `value`. A value without
// quotes or trailing backslashes is simply put between quotes.
std::string QuoteArgument(const std::string& value);

}  // namespace ombrix::process
