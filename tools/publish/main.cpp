// ostrel-publish: writes a story as one web page that plays it, from the page
// template that `make web` builds. The story is checked first, as
// ostrel-check does, and a story with errors is refused unless --force.
//
//   ostrel-publish [-o FILE] [--title TEXT] [--lang CODE] [--force] [--template FILE] DIR
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "check/check.h"
#include "keywords.h"
#include "common/tool_options.h"

namespace fs = std::filesystem;

namespace {

const ToolOption kOptions[] = {
    {"-o FILE", "write the page to FILE (default: DIR's name with .html)"},
    {"--title TEXT", "the page's title (default: DIR's name)"},
    {"--lang CODE", "the story's language, a tag such as en, fr or pt-BR\n"
                    "(default: en)"},
    {"--force", "publish a story that has errors"},
    {"--template FILE", "the page template (default: ostrel-page.html, which\n"
                        "`make web` builds, beside this program or installed)"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-publish", "[-o FILE] [--title TEXT] [--lang CODE] [--force] [--template FILE] DIR",
    "Writes the story in DIR as one web page that plays it, after checking the\n"
    "story as ostrel-check does: a story with errors is not published.\n",
    kOptions};
const char kLangMarker[] = "@OSTREL_LANG@";
const char kTitleMarker[] = "@OSTREL_TITLE@";
const char kStoryMarker[] = "@OSTREL_STORY@";

// The system's reason for the last failed call, if it gave one.
std::string WhyNot() { return errno != 0 ? std::string(": ") + std::strerror(errno) : ""; }

int Fail(const std::string& message) {
  std::cerr << "ostrel-publish: " << message << "\n";
  return 2;
}

bool ReadFile(const fs::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *bytes = buffer.str();
  return !in.bad();
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16 |
                 static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[n >> 18];
    out += kDigits[(n >> 12) & 63];
    out += kDigits[(n >> 6) & 63];
    out += kDigits[n & 63];
  }
  if (i < bytes.size()) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kDigits[n >> 18];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// The title as the text of an HTML element.
std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// True for a language tag of the shape BCP 47 gives them: subtags of one
// to eight letters and digits joined by '-', the first of letters alone
// (en, fr-CA, zh-Hant-TW, x-klingon). Nothing else can reach the page's
// <html lang>.
bool IsLanguageTag(const std::string& tag) {
  size_t start = 0;
  for (bool first = true;; first = false) {
    size_t end = tag.find('-', start);
    if (end == std::string::npos) end = tag.size();
    if (end == start || end - start > 8) return false;
    for (size_t i = start; i < end; ++i) {
      char c = tag[i];
      bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      bool digit = c >= '0' && c <= '9';
      if (!letter && !(digit && !first)) return false;
    }
    if (end == tag.size()) return true;
    start = end + 1;
  }
}

// Fills in the template: each marker must stand in it exactly once. The
// values are put in as they are, in one pass, so that a value that holds
// a marker stays as it is.
bool FillTemplate(const std::string& page,
                  const std::vector<std::pair<std::string, std::string>>& values,
                  std::string* result) {
  std::vector<std::pair<size_t, size_t>> at;  // where each marker stands, its index
  size_t size = page.size();
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& marker = values[i].first;
    size_t found = page.find(marker);
    if (found == std::string::npos || page.find(marker, found + 1) != std::string::npos) {
      return false;
    }
    at.emplace_back(found, i);
    size += values[i].second.size();
  }
  std::sort(at.begin(), at.end());
  result->clear();
  result->reserve(size);
  size_t from = 0;
  for (const auto& [where, i] : at) {
    if (where < from) return false;  // markers that overlap
    result->append(page, from, where - from);
    *result += values[i].second;
    from = where + values[i].first.size();
  }
  result->append(page, from, std::string::npos);
  return true;
}

// The template beside this program, where `make web` puts it, or where it
// is installed.
fs::path DefaultTemplate(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0, ec);
  fs::path beside = self.parent_path() / "ostrel-page.html";
  fs::path installed = self.parent_path() / OSTREL_PAGE_DIR / "ostrel-page.html";
  return fs::exists(beside, ec) || !fs::exists(installed, ec) ? beside : installed;
}

// Text as a JSON string inside the page's <script> element: quotes,
// backslashes, control characters and '<' (which could end the element or
// open a comment there) escaped; every other byte as it is.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || c == '<') {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The story as JSON: the name it is published under (its directory's), by
// which the page keeps its save, and the files that exist:
// {"name": "NAME", "files": {"FILE": "BASE64", ...}}.
bool StoryJson(const fs::path& dir, const std::string& name, std::string* json,
               std::string* err) {
  *json = "{\"name\": " + JsonString(name) + ", \"files\": {";
  bool first = true;
  for (const char* name :
       {kw::kScriptFile, kw::kAnimationsFile, kw::kTitleScreenFile, kw::kCreditsFile}) {
    fs::path file = dir / name;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) continue;
    std::string bytes;
    if (!ReadFile(file, &bytes)) {
      *err = "cannot read " + file.string();
      return false;
    }
    *json += (first ? "\"" : ", \"") + std::string(name) + "\": \"" + Base64(bytes) + "\"";
    first = false;
  }
  *json += "}}";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-publish", 2);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  std::string out_path, title, template_path, dir, lang = "en";
  bool force = false, have_title = false, have_dir = false, have_out = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "-o" && has_value) {
      out_path = argv[++i];
      have_out = true;
    } else if (arg == "--title" && has_value) {
      title = argv[++i];
      have_title = true;
    } else if (arg == "--lang" && has_value) {
      lang = argv[++i];
      // The tag goes into the page as it is: nothing else may.
      if (!IsLanguageTag(lang)) {
        int status = UsageError(kUsage);
        std::cerr << "ostrel-publish: --lang takes a language tag, such as en, fr or pt-BR\n";
        return status;
      }
    } else if (arg == "--template" && has_value) {
      template_path = argv[++i];
    } else if (arg == "--force") {
      force = true;
    } else if (arg.empty() || arg[0] == '-' || have_dir) {
      return UsageError(kUsage);
    } else {
      dir = arg;
      have_dir = true;
    }
  }
  // An empty -o names no file: it is no way to ask for the default name.
  if (!have_dir || (have_out && out_path.empty())) return UsageError(kUsage);

  std::string err;
  StoryCheck check;
  {
    StorySources sources;
    if (!ReadStorySources(dir, &sources, &err)) return Fail(err);
    CheckParts findings_only;
    findings_only.index = findings_only.edges = findings_only.map = false;
    check = CheckStory(sources, findings_only);
  }
  if (!check.findings.empty()) PrintFindings(check.findings, std::cerr);
  if (check.HasErrors() && !force) {
    std::cerr << "ostrel-publish: " << dir
              << " has errors: not published (--force publishes it all the same)\n";
    return 1;
  }

  std::error_code ec;
  fs::path story_dir = fs::weakly_canonical(dir, ec);
  if (ec) story_dir = fs::absolute(dir);
  std::string name = story_dir.filename().string();
  if (name.empty()) name = "story";
  if (!have_title) title = name;
  if (out_path.empty()) out_path = name + ".html";
  if (template_path.empty()) template_path = DefaultTemplate(argv[0]).string();

  std::string page;
  if (!ReadFile(template_path, &page)) {
    return Fail("no page template at " + template_path + " (`make web` builds it)");
  }
  std::string story;
  if (!StoryJson(story_dir, name, &story, &err)) return Fail(err);
  std::string result;
  if (!FillTemplate(page, {{kLangMarker, lang}, {kTitleMarker, EscapeHtml(title)}, {kStoryMarker, story}},
                    &result)) {
    return Fail(template_path + " is not a page template of this version (`make web` builds it)");
  }

  // A slip such as `-o script.ostrel` would overwrite the story it publishes.
  for (const char* name :
       {kw::kScriptFile, kw::kAnimationsFile, kw::kTitleScreenFile, kw::kCreditsFile}) {
    if (fs::equivalent(out_path, story_dir / name, ec)) {
      return Fail("will not write the page over the story's " + std::string(name));
    }
  }
  errno = 0;
  std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail("cannot write " + out_path + WhyNot());
  out << result;
  out.close();
  if (!out) return Fail("cannot write " + out_path + WhyNot());
  std::cout << "ostrel-publish: wrote " << out_path << " (" << result.size() << " bytes)\n";
  return 0;
}
