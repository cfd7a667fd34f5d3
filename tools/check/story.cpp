// The story's files, their lines and sections, and the start statement; the
// order in which the checker's parts run.
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "check/checker.h"
#include "keywords.h"
#include "platform.h"

/* ==== Lines ============================================================= */

void LineTable::Build(std::string_view bytes) {
  bytes_ = bytes;
  checkpoints_.clear();
  window_.clear();
  count_ = 0;
  bar_lines_ = 0;
  size_t at = 0;
  while (at < bytes.size()) {
    if (count_ % kStep == 0) checkpoints_.push_back(static_cast<uint32_t>(at));
    if (bytes[at] == '|') ++bar_lines_;
    ++count_;
    const void* feed = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    if (feed == nullptr) break;
    at = static_cast<size_t>(static_cast<const char*>(feed) - bytes.data()) + 1;
  }
}

std::string_view LineTable::operator[](int i) const {
  if (i >= window_first_ && i - window_first_ < static_cast<int>(window_.size())) {
    return window_[static_cast<size_t>(i - window_first_)];
  }
  // Read the window of lines from the checkpoint before `i`, a little
  // behind it too, since readers go back to a section's header.
  window_first_ = std::max(0, i - i % kStep - kWindow / 4);
  window_.clear();
  size_t start = checkpoints_[static_cast<size_t>(window_first_ / kStep)];
  for (int k = window_first_; k < count_ && k < window_first_ + kWindow; ++k) {
    const void* feed = std::memchr(bytes_.data() + start, '\n', bytes_.size() - start);
    size_t end = feed == nullptr ? bytes_.size() : static_cast<size_t>(static_cast<const char*>(feed) - bytes_.data());
    size_t next = end + 1;
    // A carriage return before the line feed belongs to the line end. A
    // last line without a line feed keeps its carriage return, as the
    // engine's reader keeps it.
    if (feed != nullptr && end > start && bytes_[end - 1] == '\r') --end;
    window_.push_back(bytes_.substr(start, end - start));
    start = next;
  }
  return window_[static_cast<size_t>(i - window_first_)];
}

/* ==== Text helpers ====================================================== */

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

namespace {
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

long long NumberOf(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && Blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigitChar(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) value = 2147483648LL;
  }
  value = negative ? -value : value;
  return std::min(std::max(value, -2147483648LL), 2147483647LL);
}

bool LooksLikeNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && Blank(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i < text.size() && IsDigitChar(text[i]);
}

size_t TrimmedEnd(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return end;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

namespace {

// The edit distance of `a` and `b`, or `limit` when it is `limit` or more.
size_t EditDistance(const std::string& a, const std::string& b, size_t limit) {
  if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) >= limit) return limit;
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    size_t best = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
      best = std::min(best, row[j]);
    }
    if (best >= limit) return limit;
  }
  return std::min(row[b.size()], limit);
}

std::string_view TrimBoth(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
  text.remove_prefix(start);
  return text.substr(0, TrimmedEnd(text));
}

}  // namespace

std::string Resembles(std::string_view text, const std::vector<std::string>& candidates) {
  std::string trimmed = Lower(TrimBoth(text));
  std::string best;
  size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    std::string lower = Lower(TrimBoth(candidate));
    if (trimmed == lower) return candidate;
    if (lower.size() <= 3) continue;
    size_t distance = EditDistance(trimmed, lower, best_distance);
    if (distance < best_distance) {
      best_distance = distance;
      best = candidate;
    }
  }
  return best;
}

/* ==== Files ============================================================= */

const char* StoryFileName(StoryFile file) {
  static const char* const kNames[kStoryFileCount] = {kw::kScriptFile, kw::kAnimationsFile,
                                                      kw::kTitleScreenFile, kw::kCreditsFile};
  return kNames[static_cast<int>(file)];
}

namespace {

bool ReadWhole(const std::string& path, std::string* bytes) {
  // Like the engine: a directory, a FIFO or a device is no story file, and
  // telling so never waits on the file.
  std::FILE* f = PlatformOpenDataFile(path.c_str());
  if (f == nullptr) return false;
  bytes->clear();
  // Hold the bytes once, without room to spare; a file that grows while it
  // is read still reads whole.
  std::error_code size_error;
  auto size = std::filesystem::file_size(path, size_error);
  if (!size_error && size < (1ULL << 32)) bytes->reserve(static_cast<size_t>(size));
  char buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, got);
  std::fclose(f);
  return true;
}

}  // namespace

bool ReadStorySources(const std::string& dir, StorySources* sources, std::string* err) {
  std::string base = dir.empty() ? "." : dir;
  for (int f = 0; f < kStoryFileCount; ++f) {
    StorySources::File& file = sources->files[f];
    std::string path = base + "/" + StoryFileName(static_cast<StoryFile>(f));
    file.present = ReadWhole(path, &file.bytes);
    if (!file.present) file.bytes.clear();
    // Lines and columns are counted in int: 2 GiB holds fewer lines than that.
    if (file.bytes.size() >= (1ULL << 31)) {
      *err = path + " is too large to check (2 GiB or more)";
      return false;
    }
  }
  if (!sources->files[0].present) {
    *err = "cannot read " + base + "/" + kw::kScriptFile;
    return false;
  }
  return true;
}

/* ==== Findings ========================================================== */

void Checker::Report(StoryFile file, int index, int start, int end, Severity severity,
                     const char* code, std::string message) {
  Finding finding;
  finding.where = SourceRange{file, index + 1, start, end};
  finding.severity = severity;
  finding.code = code;
  finding.message = std::move(message);
  out_->findings.push_back(std::move(finding));
}

void Checker::ReportLine(StoryFile file, int index, Severity severity, const char* code,
                         std::string message) {
  int length = index < Lines(file).size() ? static_cast<int>(Lines(file)[index].size()) : 0;
  Report(file, index, 0, length, severity, code, std::move(message));
}

bool StoryCheck::HasErrors() const {
  for (const Finding& f : findings) {
    if (f.severity == Severity::kError) return true;
  }
  return false;
}

const SectionEntry* StoryIndex::Find(SectionKind kind, const std::string& name) const {
  for (const SectionEntry& entry : sections) {
    if (entry.kind == kind && entry.name == name) return &entry;
  }
  return nullptr;
}

/* ==== Sections and the start statement ================================== */

void Checker::CheckByteOrderMarks() {
  // Some editors write the bytes EF BB BF at the start of a UTF-8 file. The
  // engine reads them as part of the first line, which then begins with
  // them and not with "|".
  static const char kMark[] = "\xEF\xBB\xBF";
  for (StoryFile file : {StoryFile::kScript, StoryFile::kAnimations}) {
    const LineTable& lines = Lines(file);
    if (lines.size() == 0 || !StartsWith(lines[0], kMark)) continue;
    std::string_view rest = lines[0].substr(3);
    if (rest.empty() || rest[0] != '|') continue;
    std::string what = file == StoryFile::kAnimations ? "the header '" + std::string(rest) + "'"
                       : rest == kw::kStartLocation || rest == kw::kStartDialog || rest == kw::kStartBattle
                           ? "the start statement '" + std::string(rest) + "'"
                           : "the header '" + std::string(rest) + "'";
    Report(file, 0, 0, 3, Severity::kError, "byte-order-mark",
           "the file begins with a byte-order mark (the bytes EF BB BF, invisible in most editors), so the "
           "engine does not take this line for " + what + "; save the file without it");
    out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
  }
}

Checker::Checker(const StorySources& sources, const CheckParts& parts, StoryCheck* out)
    : sources_(sources), parts_(parts), out_(out) {
  for (int f = 0; f < kStoryFileCount; ++f) {
    if (sources.files[f].present && sources.files[f].bytes.size() < (1ULL << 32)) {
      lines_[f].Build(sources.files[f].bytes);
    }
  }
}

int Checker::Find(std::string_view header) const {
  if (header_slots_.empty()) return -1;
  size_t mask = header_slots_.size() - 1;
  size_t hash = std::hash<std::string_view>()(header);
  uint32_t tag = static_cast<uint32_t>(hash >> 32);
  for (size_t k = hash & mask;; k = (k + 1) & mask) {
    const Slot& slot = header_slots_[k];
    if (slot.section < 0) return -1;
    if (slot.hash == tag && sections_[static_cast<size_t>(slot.section)].header == header) return slot.section;
  }
}

const std::vector<std::string>& Checker::NamesOf(Kind kind) {
  if (!names_made_[kind]) {
    names_made_[kind] = true;
    for (const Section& section : sections_) {
      if (section.kind != kind || !section.played) continue;
      size_t prefix = section.header.find('=') + 1;
      names_[kind].emplace_back(section.header.substr(prefix));
    }
  }
  return names_[kind];
}

namespace {

bool IsProgress(std::string_view text) {
  for (const char* condition : kw::kProgressConditions) {
    if (text == condition) return true;
  }
  return false;
}

}  // namespace

void Checker::MisspeltHeader(int index) {
  // A "|" line that is no header still ends the section before it; when it
  // looks like a header, its author meant one.
  const LineTable& script = Lines(StoryFile::kScript);
  std::string_view text = script[index];
  static const char* const kHeaders[] = {kw::kLocationPrefix, kw::kDialogPrefix, kw::kBattlePrefix,
                                         kw::kStartLocation,  kw::kStartDialog,  kw::kStartBattle};
  for (const char* header : kHeaders) {
    if (StartsWith(text, header)) return;
  }
  // The value line of a command or a battle parameter is no header.
  std::string_view before = index > 0 ? script[index - 1] : std::string_view();
  if (!before.empty() && (before[0] == '/' || before[0] == '*') && before.back() == ':') return;
  size_t mark = text.find_first_of("=:");
  if (mark == std::string_view::npos) return;
  std::string_view keyword = text.substr(0, mark + 1);
  std::string like = Resembles(keyword, std::vector<std::string>(std::begin(kHeaders), std::end(kHeaders)));
  if (like.empty()) return;
  bool start = like.back() == ':';
  bool cuts = !sections_.empty() && sections_.back().end == index;
  ReportLine(StoryFile::kScript, index, Severity::kWarning, "unknown-header",
             "'" + std::string(text) + "' is no " + (start ? "start statement" : "section header") +
                 (cuts ? ", but it ends the section before it" : "") + "; did you mean '" + like +
                 std::string(text.substr(mark + 1)) + "'?");
  out_->findings.back().fix =
      Replacement{SourceRange{StoryFile::kScript, index + 1, 0, static_cast<int>(keyword.size())}, like};
}

void Checker::FindSections() {
  const LineTable& script = Lines(StoryFile::kScript);
  const int count = script.size();
  sections_.reserve(static_cast<size_t>(script.bar_lines()));
  if (parts_.map) out_->map.sections.reserve(static_cast<size_t>(script.bar_lines()));
  size_t slots = 16;
  while (slots < 2 * static_cast<size_t>(script.bar_lines())) slots *= 2;
  header_slots_.assign(slots, Slot{-1, 0});
  // The line after "/if:" and a progress condition is data, even when it is
  // written as a header: scans take it neither for a header nor for an end.
  bool after_if = false, argument_next = false;
  size_t answers = 0, blocks = 0, items = 0, bytes = 0;  // at most, for the map
  size_t changes = 0;
  for (int i = 0; i < count; ++i) {
    std::string_view text = script[i];
    if (parts_.map && !text.empty() && (text[0] == '>' || text[0] == '/')) {
      answers += StartsWith(text, kw::kChoiceMark);
      bytes += StartsWith(text, kw::kChoiceMark) ? text.size() : 0;
      if (text == kw::kIf) {
        ++blocks;
        bytes += script.At(i + 1).size();
      } else if (text == kw::kAddToInventory) {
        ++items;
        std::string_view first = script.At(i + 1);
        bytes += script.At(!first.empty() && IsDigitChar(first[0]) ? i + 2 : i + 1).size();
      }
    }
    if (!text.empty() && text[0] == '/') {
      changes += text == kw::kChangeLocation || text == kw::kChangeDialog || text == kw::kChangeBattle;
    }
    bool is_argument = argument_next;
    argument_next = after_if && IsProgress(text);
    after_if = text == kw::kIf;
    if (is_argument || text.empty() || text[0] != '|') continue;
    if (!sections_.empty() && sections_.back().end == count) sections_.back().end = i;
    Kind kind;
    SectionKind entry_kind;
    size_t prefix;
    if (StartsWith(text, kw::kLocationPrefix)) {
      kind = kLocation, entry_kind = SectionKind::kLocation, prefix = 10;
    } else if (StartsWith(text, kw::kDialogPrefix)) {
      kind = kDialog, entry_kind = SectionKind::kDialog, prefix = 8;
    } else if (StartsWith(text, kw::kBattlePrefix)) {
      kind = kBattle, entry_kind = SectionKind::kBattle, prefix = 8;
    } else {
      MisspeltHeader(i);
      continue;
    }
    // Look the header up and, when it is new, take the free slot found.
    size_t mask = header_slots_.size() - 1;
    size_t hash = std::hash<std::string_view>()(text);
    size_t k = hash & mask;
    int earlier = -1;
    for (; header_slots_[k].section >= 0; k = (k + 1) & mask) {
      const Slot& slot = header_slots_[k];
      if (slot.hash == static_cast<uint32_t>(hash >> 32) && sections_[static_cast<size_t>(slot.section)].header == text) {
        earlier = slot.section;
        break;
      }
    }
    if (earlier >= 0) {
      ReportLine(StoryFile::kScript, i, Severity::kWarning, "duplicate-section",
                 std::string(text) + " stands here a second time; only the first, at line " +
                     std::to_string(sections_[static_cast<size_t>(earlier)].first + 1) +
                     ", is ever played");
    } else {
      header_slots_[k] = Slot{static_cast<int>(sections_.size()), static_cast<uint32_t>(hash >> 32)};
    }
    sections_.push_back(Section{text, i, count, kind, earlier < 0});
    if (!parts_.index) continue;
    SectionEntry entry;
    entry.kind = entry_kind;
    entry.name = std::string(text.substr(prefix));
    entry.header = std::string(text);
    entry.file = StoryFile::kScript;
    entry.line = i + 1;
    entry.first = earlier < 0;
    out_->index.sections.push_back(std::move(entry));
  }
  links_.reserve(changes + 1);
  if (parts_.map) {
    // Room for all at once: a large story's map is no larger than it must be.
    out_->map.answers.reserve(answers);
    out_->map.blocks.reserve(blocks);
    out_->map.items.reserve(items);
    out_->map.texts.reserve(2 * sections_.size());  // a guess: runs grow past it
    // Their texts: the answers', the conditions', the items' and the
    // headers' (the animations file's few grow it past that).
    for (const Section& section : sections_) bytes += section.played ? section.header.size() : 0;
    out_->map.text.reserve(bytes);
    for (const Section& section : sections_) {
      if (section.played) out_->map.sections.push_back(out_->map.Add(0, section.first + 1, section.header));
    }
  }
  for (size_t s = 0; parts_.index && s < sections_.size(); ++s) {
    out_->index.sections[s].last_line = sections_[s].end;
  }
  if (parts_.map) {
    size_t k = 0;
    for (const Section& section : sections_) {
      if (section.played) out_->map.sections[k++].last = section.end;
    }
  }
}

void Checker::CheckStart() {
  const LineTable& script = Lines(StoryFile::kScript);
  const char* statements[] = {kw::kStartLocation, kw::kStartDialog, kw::kStartBattle};
  const Kind kinds[] = {kLocation, kDialog, kBattle};
  int first = -1;
  for (int i = 0; i < script.size(); ++i) {
    std::string_view text = script[i];
    if (text.empty() || text[0] != '|') continue;
    for (int k = 0; k < 3; ++k) {
      if (text == statements[k]) {
        if (first >= 0) {
          ReportLine(StoryFile::kScript, i, Severity::kWarning, "extra-start",
                     "only the first start statement counts, at line " + std::to_string(first + 1));
          continue;
        }
        first = i;
        start_line_ = i;
        start_kind_ = kinds[k];
        UseName(StoryFile::kScript, i + 1, kinds[k], false, nullptr);
        std::string to = statements[k] == kw::kStartLocation ? kw::kLocationPrefix
                         : statements[k] == kw::kStartDialog ? kw::kDialogPrefix
                                                             : kw::kBattlePrefix;
        to += std::string(script.At(i + 1));
        int target = Find(to);
        start_target_ = target >= 0 ? target : kMissing;
        if (target >= 0) links_.emplace_back(-1, target);
        if (!parts_.edges) continue;
        StoryEdge edge;
        edge.kind = StoryEdge::kStart;
        int name = i + 1 < script.size() ? i + 1 : i;
        edge.to = statements[k] == kw::kStartLocation ? kw::kLocationPrefix
                  : statements[k] == kw::kStartDialog ? kw::kDialogPrefix
                                                      : kw::kBattlePrefix;
        edge.to += std::string(script.At(i + 1));
        edge.where = SourceRange{StoryFile::kScript, name + 1, 0, static_cast<int>(script[name].size())};
        out_->edges.push_back(std::move(edge));
      } else if (StartsWith(text, statements[k]) && TrimmedEnd(text) == std::string_view(statements[k]).size()) {
        Report(StoryFile::kScript, i, static_cast<int>(TrimmedEnd(text)), static_cast<int>(text.size()),
               Severity::kWarning, "trailing-blank",
               "'" + std::string(text) + "' ends with a blank and is no start statement; did you mean '" +
                   statements[k] + "'?");
        out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
      } else if (StartsWith(text, statements[k]) && first < 0) {
        ReportLine(StoryFile::kScript, i, Severity::kWarning, "start-same-line",
                   "the name must stand on the line after '" + std::string(statements[k]) +
                       "'; this line is no start statement");
      }
    }
  }
  if (first < 0) ReportLine(StoryFile::kScript, 0, Severity::kError, "missing-start", "missing start statement");
}

void Checker::Run() {
  CheckByteOrderMarks();
  FindSections();
  CheckStart();
  IndexAnimations();
  asks_.resize(sections_.size());
  for (size_t s = 0; s < sections_.size(); ++s) {
    if (sections_[s].kind == kBattle) {
      CheckBattle(sections_[s]);
    } else {
      CheckPlayedSection(sections_[s]);
    }
  }
  CheckAnimationsFile();
  CheckItems();
  CheckReach();
  CheckLoops();
  CheckNoLocation();
  std::stable_sort(out_->findings.begin(), out_->findings.end(),
                   [](const Finding& a, const Finding& b) {
                     if (a.where.file != b.where.file) return a.where.file < b.where.file;
                     if (a.where.line != b.where.line) return a.where.line < b.where.line;
                     return false;
                   });
}

StoryCheck CheckStory(const StorySources& sources, const CheckParts& parts) {
  StoryCheck check;
  Checker checker(sources, parts, &check);
  checker.Run();
  return check;
}
