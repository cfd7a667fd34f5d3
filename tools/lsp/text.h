// Text as the language server sees it: lines the way the engine reads them,
// columns in the editor's UTF-16 code units, and file URIs.
#ifndef TOOLS_LSP_TEXT_H_
#define TOOLS_LSP_TEXT_H_

#include <string>
#include <vector>

// Splits `text` into lines as the engine's reader does: at line feeds, a
// carriage return before a line feed belonging to the line end; a last line
// without a line end is a line; the empty read after a final line end is not.
std::vector<std::string> SplitLines(const std::string& text);

// The UTF-16 column of byte `byte` of `line` (clamped to the line). Bytes
// that are no valid UTF-8 count as one unit each, as editors show them.
int Utf16Column(const std::string& line, size_t byte);

// The byte offset of UTF-16 column `column` of `line`: past the line's end
// for a column beyond it, and the start of a character for a column in its
// middle.
size_t ByteOffset(const std::string& line, long long column);

// The path of a `file:` URI, percent-decoded; false for any other scheme or
// a malformed escape.
bool UriToPath(const std::string& uri, std::string* path);

// The `file:` URI of an absolute path, with the characters a URI reserves
// percent-encoded.
std::string PathToUri(const std::string& path);

// The directory and the last component of a path.
std::string DirectoryOf(const std::string& path);
std::string BaseName(const std::string& path);

#endif  // TOOLS_LSP_TEXT_H_
