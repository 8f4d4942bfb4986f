// The words of one scenario line, read as a step asks for them.
//
// Words are separated by blanks (spaces and tabs). A word that starts with a
// single or a double quote runs to the first same quote that a blank or the
// end of the line follows, and loses its quotes: 'RIR SDI Router', '',
// "it's", 'a 'b' c'. Any other word runs to the next blank, quotes and all
// (it's). Some steps take the rest of the line as it is written instead.
// writer.h writes words so that this reader reads them back.
//
// Every problem throws std::invalid_argument with a message that says what
// was expected ("expected a slot number (an integer), found 'one'"); the
// parser adds the file, the line and the step.

#ifndef DREZ_HOST_SCENARIO_WORDS_H_
#define DREZ_HOST_SCENARIO_WORDS_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace drezhost {

// True for the blanks that separate words.
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
// True for the characters that quote a word.
inline bool isQuote(char c) { return c == '\'' || c == '"'; }

// `text` without blanks and line ends at either end.
std::string trimmed(const std::string& text);
std::string_view trimmedView(std::string_view text);

class WordReader {
 public:
  // Reads `line`, which must outlive the reader.
  explicit WordReader(const std::string& line) : line_(line) {}

  // True when only blanks are left.
  bool done();
  // True when the next word is `keyword`, unquoted; reads nothing.
  bool peek(const char* keyword);
  // Reads the next word when it is `keyword`, unquoted.
  bool accept(const char* keyword);
  // The next word as text; `what` names it in the message at the line's end.
  std::string text(std::string_view what);
  // The same into `word`, whose room is used again.
  void text(std::string_view what, std::string& word);
  // The same as it stands in the line (without its quotes), valid as long
  // as the line.
  std::string_view view(std::string_view what);
  // The next word, which must be one of `choices`.
  std::string choice(std::string_view what, std::initializer_list<const char*> choices);
  // The next word as a 32-bit integer in signed decimal.
  int32_t integer(std::string_view what);
  // An integer of at least `least`.
  int32_t atLeast(std::string_view what, int32_t least);
  // The rest of the line as written, without blanks at its ends. With
  // `unquote`, a rest that is one quoted word (quotes at both ends and no
  // other of that quote inside) loses its quotes. Read into `text`, whose
  // room is used again.
  void rest(std::string_view what, bool unquote, std::string& text);
  // Throws when a word is left.
  void end();
  // Where the next word is read from: a byte offset into the line.
  std::size_t position() const { return pos_; }

 private:
  // The next word, as it stands in the line; `pos_` is on its first
  // character.
  std::string_view span(bool* quoted);

  const std::string& line_;
  std::size_t pos_ = 0;
};

}  // namespace drezhost

#endif  // DREZ_HOST_SCENARIO_WORDS_H_
