// The lexer: turns the characters of one source file into tokens.
#pragma once

#include <cstdint>
#include <string>

namespace ast_sci_internal {

enum class Tok { End, Ident, Int, Float, Char, String, Punct, Newline };

struct Token {
  Tok kind = Tok::End;
  std::string text;     // identifier, punctuator or string contents
  int64_t ival = 0;     // integer and character constants
  double dval = 0;      // floating constants
  bool float_suffix = false;  // 1.5f
  bool line_start = false;    // first token of its line
  bool space_after = false;   // white space follows (tells "#define F (x)" from "F(x)")
  int line = 0;
  const char* file = "";
};

class Lexer {
 public:
  // The text must outlive the lexer; `file` names it in messages.
  Lexer(const std::string& text, const char* file);

  // The next token; in directive mode the end of the line is a Newline token.
  Token next(bool directive_mode = false);
  // The rest of the current line, raw (for #include).
  std::string rest_of_line();
  int line() const { return _line; }

 private:
  void skip_space(bool directive_mode, bool& newline_seen, bool& at_newline);
  Token number(Token t);
  int escape();
  [[noreturn]] void fail(const char* message);

  const std::string& _text;
  const char* _file;
  size_t _pos = 0;
  int _line = 1;
  bool _line_start = true;
};

bool is_type_keyword(const std::string& word);

}  // namespace ast_sci_internal
