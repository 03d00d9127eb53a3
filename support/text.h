// Text and path helpers. Texts are byte strings; positions count from 1 and
// a search result of 0 means "not found". Only the letters A-Z are ever folded.
#pragma once

#include <string>
#include <vector>

std::string head(const std::string& text, long n);
std::string tail_from(const std::string& text, long n);
std::string last_chars(const std::string& text, long n);
long match_from(long start, const std::string& text, const std::string& part);
long match_nocase(long start, const std::string& text, const std::string& part);
std::vector<std::string> split_text(const std::string& text, const std::string& separator);
// `from` must not be empty; an empty `from` returns the text unchanged.
std::string replace_all(const std::string& text, const std::string& from, const std::string& to);
std::vector<long> find_all(char value, const std::string& text);
std::string join_path(const std::string& first, const std::string& second);
std::string trim(const std::string& text);
std::string strip_extension(const std::string& text);
std::string chomp_line(const std::string& text);
std::string lower_ascii(const std::string& text);

// 1 when the list (or text) is empty, else 0.
template <typename List>
int skosong(const List& list) {
  return list.empty() ? 1 : 0;
}
