// Text and path helpers. Positions count from 1; every helper has a result for
// every argument, so callers never have to guard the edges themselves.
#include "support/text.h"

#include <cstddef>

namespace {

// Number of bytes a position-from-1 argument leaves before it, clamped to the text.
std::size_t offset_of(const std::string& text, long position) {
  if (position <= 1) return 0;
  const auto offset = static_cast<unsigned long>(position - 1);
  return offset >= text.size() ? text.size() : static_cast<std::size_t>(offset);
}

bool is_blank(char c) { return c == '\n' || c == '\r' || c == '\t' || c == ' '; }

}  // namespace

std::string head(const std::string& text, long n) {
  if (n <= 0) return std::string();
  if (static_cast<unsigned long>(n) >= text.size()) return text;
  return text.substr(0, static_cast<std::size_t>(n));
}

std::string tail_from(const std::string& text, long n) {
  const long length = static_cast<long>(text.size());
  if (n > length) return std::string();
  return text.substr(offset_of(text, n));
}

std::string last_chars(const std::string& text, long n) {
  if (n <= 0) return std::string();
  if (text.size() <= static_cast<unsigned long>(n)) return text;
  return text.substr(text.size() - static_cast<std::size_t>(n));
}

long match_from(long start, const std::string& text, const std::string& part) {
  const long length = static_cast<long>(text.size());
  if (start > length) return 0;
  if (part.empty()) return 1;
  const std::size_t found = text.find(part, offset_of(text, start));
  return found == std::string::npos ? 0 : static_cast<long>(found) + 1;
}

long match_nocase(long start, const std::string& text, const std::string& part) {
  return match_from(start, lower_ascii(text), lower_ascii(part));
}

std::vector<std::string> split_text(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t found = text.find(separator, from);
    if (found == std::string::npos) break;
    pieces.push_back(text.substr(from, found - from));
    from = found + separator.size();
  }
  pieces.push_back(text.substr(from));
  return pieces;
}

std::string replace_all(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  // The search resumes right after each occurrence in the original text, which
  // is the same as resuming right after the inserted text: the replacement is
  // never searched, so a `to` containing `from` cannot loop.
  std::string result;
  result.reserve(text.size());
  std::size_t done = 0;
  for (;;) {
    const std::size_t found = text.find(from, done);
    if (found == std::string::npos) break;
    result.append(text, done, found - done);
    result += to;
    done = found + from.size();
  }
  result.append(text, done, std::string::npos);
  return result;
}

std::vector<long> find_all(char value, const std::string& text) {
  std::vector<long> positions;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == value) positions.push_back(static_cast<long>(i) + 1);
  }
  return positions;
}

std::string join_path(const std::string& first, const std::string& second) {
  if (first.empty()) return second;
  std::string left = first;
  if (left.back() == '\\') left.pop_back();
  if (second.empty()) return left;
  const std::size_t skip = second.front() == '\\' ? 1 : 0;
  left += '\\';
  left.append(second, skip, std::string::npos);
  return left;
}

std::string trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string strip_extension(const std::string& text) {
  const std::size_t dot = text.rfind('.');
  return dot == std::string::npos ? text : text.substr(0, dot);
}

std::string chomp_line(const std::string& text) {
  if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    return text.substr(0, text.size() - 1);
  }
  return text;
}

std::string lower_ascii(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return result;
}
