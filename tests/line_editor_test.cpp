// The line editor of the web terminal: what a line reads as and what the
// screen shows of the keys typed.
#include "terminal_input.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Typed {
  std::string line;
  std::string shown;
  bool read = false;
  size_t left = 0;  // keys not taken
};

Typed Edit(const std::string& keys) {
  Typed typed;
  size_t pos = 0;
  LineKeys line_keys;
  line_keys.next = [&] { return pos < keys.size() ? static_cast<unsigned char>(keys[pos++]) : -1; };
  line_keys.echo = [&](const std::string& text) { typed.shown += text; };
  line_keys.skip_escape = [&] {
    // As the terminals do for "ESC [ A": up to the final byte.
    if (pos < keys.size() && keys[pos] == '[') {
      while (++pos < keys.size() && !(keys[pos] >= 0x40 && keys[pos] <= 0x7e)) {
      }
      ++pos;
    }
  };
  typed.read = EditLine(&typed.line, line_keys);
  typed.left = keys.size() - pos;
  return typed;
}

TEST(LineEditorTest, EnterEndsTheLineAndTheRestWaits) {
  Typed typed = Edit("go north\rkey");
  EXPECT_TRUE(typed.read);
  EXPECT_EQ(typed.line, "go north\n");
  EXPECT_EQ(typed.shown, "go north\n");
  EXPECT_EQ(typed.left, 3u);
  EXPECT_EQ(Edit("a\nb").line, "a\n");
}

TEST(LineEditorTest, BackspaceErasesAWholeCharacter) {
  Typed typed = Edit("nortx\x7fh\r");
  EXPECT_EQ(typed.line, "north\n");
  EXPECT_EQ(typed.shown, "nortx\b \bh\n");
  // An accented letter goes at once; Backspace on nothing does nothing.
  EXPECT_EQ(Edit("caf\xc3\xa9\x08\x08\x08\x08\x08x\r").line, "x\n");
  EXPECT_EQ(Edit("\x7f" "a\r").shown, "a\n");
  // A broken UTF-8 sequence goes a byte at a time.
  EXPECT_EQ(Edit("a\x80\x80\x7f\r").line, "a\x80\n");
}

TEST(LineEditorTest, CtrlUErasesTheLine) {
  Typed typed = Edit("wrong\x15right\r");
  EXPECT_EQ(typed.line, "right\n");
  EXPECT_EQ(typed.shown.find("\b \b\b \b\b \b\b \b\b \b"), 5u);
}

TEST(LineEditorTest, ControlKeysAndArrowsAreNotTyped) {
  Typed typed = Edit("a\x1b[Ab\x01\tc\r");
  EXPECT_EQ(typed.line, "ab\tc\n");
  EXPECT_EQ(typed.shown, "ab\tc\n");
}

TEST(LineEditorTest, EndOfInput) {
  EXPECT_FALSE(Edit("\x04more").read);  // Ctrl-D on an empty line
  Typed typed = Edit("ab\x04\r");      // not on a line with something typed
  EXPECT_EQ(typed.line, "ab\n");
  EXPECT_FALSE(Edit("").read);
  typed = Edit("last");  // the keys end: what was typed is the line
  EXPECT_TRUE(typed.read);
  EXPECT_EQ(typed.line, "last");
}

}  // namespace
