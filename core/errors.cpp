#include "core/errors.hpp"

namespace kavor {

ProgramStop::ProgramStop(Status stop_code, std::vector<std::string> message_lines)
    : code(stop_code), lines(std::move(message_lines)), text_(status_name(stop_code)) {
  const std::string joined = join_console_lines(lines);
  if (!joined.empty()) text_ += ": " + joined;
}

std::string join_console_lines(const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  std::string text;
  for (const std::string& line : lines) text.append(line).push_back('\n');
  return join_console_lines(text);
}

std::string join_console_lines(const std::string& text) {
  std::string joined;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t a = start, b = end;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (a < b && blank(text[a])) ++a;
    while (b > a && blank(text[b - 1])) --b;
    if (b > a) {
      if (!joined.empty()) joined += ' ';
      // Runs of blanks inside a line (number fields) become one blank.
      for (size_t i = a; i < b; ++i) {
        const bool is_blank = blank(text[i]);
        if (is_blank && blank(text[i - 1])) continue;
        joined += is_blank ? ' ' : text[i];
      }
    }
    start = end + 1;
  }
  return joined;
}

}  // namespace kavor
