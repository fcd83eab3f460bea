// Pieces of the notation shared by the value and message printers and
// parsers: how numbers, strings and method names are written and read.
#ifndef TOVAN_DEVKIT_NOTATION_NOTATION_TEXT_H_
#define TOVAN_DEVKIT_NOTATION_NOTATION_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel/encodable_value.h"
#include "devkit/notation/channel_notation.h"

namespace tovan::notation::internal {

void AppendDouble(std::string* out, double value);
void AppendFloat(std::string* out, float value);
void AppendQuoted(std::string* out, std::string_view bytes);
void AppendValue(std::string* out, const flutter::EncodableValue& value);

// A method name is written bare when it reads as one: a letter or underscore,
// then letters, digits, underscores and dots ("Clipboard.setData").
bool IsBareName(std::string_view name);

// A cursor over notation text that remembers the first error. The Parse
// functions leave the cursor after what they read and return false on error.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  void SkipSpace();
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  char PeekAt(size_t offset) const {
    return pos_ + offset < text_.size() ? text_[pos_ + offset] : '\0';
  }
  void Advance(size_t count = 1) { pos_ += count; }
  size_t position() const { return pos_; }
  std::string_view text() const { return text_; }

  // Skips whitespace, then takes the character c if it is next.
  bool Accept(char c);
  // As Accept, but an absent c is an error that names what was expected.
  bool Expect(char c, const char* what);
  // The run of identifier characters at the cursor (possibly empty), taken.
  std::string_view TakeWord();
  // Whitespace, then the end of the text; anything else is an error.
  bool ExpectEnd();

  // Records the first error only: later ones are consequences of it.
  bool Fail(size_t position, std::string message);
  const ParseError& error() const { return error_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  ParseError error_;
  bool failed_ = false;
};

bool IsWordChar(char c);
// One value at the cursor; depth counts the lists and maps around it.
bool ParseValueAt(Cursor* cursor, flutter::EncodableValue* out, int depth);
// A quoted string at the cursor (the cursor is on the opening quote).
bool ParseQuotedAt(Cursor* cursor, std::string* out);

}  // namespace tovan::notation::internal

#endif  // TOVAN_DEVKIT_NOTATION_NOTATION_TEXT_H_
