// Text as the language server sees it.
#include "lsp/text.h"

namespace {

// The length in bytes of the UTF-8 character that starts with `c` at `i`, and
// its width in UTF-16 units; a byte that starts no valid character is one
// byte of one unit.
void CharacterAt(const std::string& line, size_t i, size_t* bytes, int* units) {
  unsigned char c = static_cast<unsigned char>(line[i]);
  size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3
                             : (c >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > line.size()) {
    *bytes = 1;
    *units = 1;
    return;
  }
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) {
      *bytes = 1;
      *units = 1;
      return;
    }
  }
  *bytes = length;
  *units = length == 4 ? 2 : 1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    size_t length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    lines.push_back(text.substr(start, length));
    start = end + 1;
  }
  return lines;
}

int Utf16Column(const std::string& line, size_t byte) {
  int column = 0;
  size_t i = 0;
  while (i < line.size() && i < byte) {
    size_t bytes;
    int units;
    CharacterAt(line, i, &bytes, &units);
    i += bytes;
    column += units;
  }
  return column;
}

size_t ByteOffset(const std::string& line, long long column) {
  long long at = 0;
  size_t i = 0;
  while (i < line.size()) {
    size_t bytes;
    int units;
    CharacterAt(line, i, &bytes, &units);
    if (at + units > column) break;
    i += bytes;
    at += units;
  }
  return i;
}

bool UriToPath(const std::string& uri, std::string* path) {
  const std::string scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return false;
  std::string rest = uri.substr(scheme.size());
  // The authority, for a local file empty or "localhost".
  size_t slash = rest.find('/');
  if (slash == std::string::npos) return false;
  std::string authority = rest.substr(0, slash);
  if (!authority.empty() && authority != "localhost") return false;
  rest = rest.substr(slash);
  path->clear();
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '?' || rest[i] == '#') break;
    if (rest[i] != '%') {
      *path += rest[i];
      continue;
    }
    int high = i + 1 < rest.size() ? HexValue(rest[i + 1]) : -1;
    int low = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
    if (high < 0 || low < 0) return false;
    char decoded = static_cast<char>(high * 16 + low);
    if (decoded == '\0') return false;
    *path += decoded;
    i += 2;
  }
  return true;
}

std::string PathToUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (char c : path) {
    unsigned char u = static_cast<unsigned char>(c);
    bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[u >> 4];
      uri += kHex[u & 0xF];
    }
  }
  return uri;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
