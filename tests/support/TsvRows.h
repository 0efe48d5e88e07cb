#pragma once

// Tab-separated known-answer files, as tests/data keeps them; read
// by the tests and by the benchmarks that walk the same files. Header-only,
// so that a benchmark needs no test library.

#include <cstddef>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace karvo::test {

using TRow = std::vector<std::string>;

// The parts of text between separators; empty parts are kept.
inline std::vector<std::string> SplitText(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
    if (end == std::string_view::npos) {
      return parts;
    }
    start = end + 1;
  }
}

// Rows of a tab-separated file: lines starting with "#" and empty lines are
// skipped, CR LF and LF ends both accepted. False with a message when the
// file cannot be read.
inline bool ReadRows(const std::string& path, std::vector<TRow>& rows, std::string& error) {
  rows.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open the test data file " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line.front() == '#') {
      continue;
    }
    rows.push_back(SplitText(line, '\t'));
  }
  if (in.bad()) {
    error = "read error in " + path;
    return false;
  }
  return true;
}

}  // namespace karvo::test
