// The lexer. Besides C's tokens it accepts the backslash character written as one backslash
// between single quotes ('\'), which the host prelude uses for the directory separator: a
// quote after the backslash ends the literal unless a second quote follows ('\'' is the quote).
#include "ast_sci_lexer.h"

#include "ast_sci_internal.h"

#include <charconv>
#include <cstring>

namespace ast_sci_internal {

namespace {

bool is_ident_start(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_ident_char(char c) { return is_ident_start(c) || is_digit(c); }

int hex_value(char c)
{
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* const kPunctuators[] = {"<<=", ">>=", "...", "++", "--", "+=", "-=", "*=", "/=", "%=", "&=",
                                    "|=",  "^=",  "<<",  ">>", "<=", ">=", "==", "!=", "&&", "||", "->"};

}  // namespace

bool is_type_keyword(const std::string& word)
{
  return word == "void" || word == "char" || word == "int" || word == "float" || word == "double" || word == "FILE";
}

Lexer::Lexer(const std::string& text, const char* file) : _text(text), _file(file) {}

void Lexer::fail(const char* message) { compile_error(_file, _line, "%s", message); }

void Lexer::skip_space(bool directive_mode, bool& newline_seen, bool& at_newline)
{
  at_newline = false;
  const size_t n = _text.size();
  while (_pos < n) {
    char c = _text[_pos];
    if (c == '\n') {
      if (directive_mode) {
        at_newline = true;
        return;
      }
      ++_line;
      ++_pos;
      newline_seen = true;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++_pos;
    } else if (c == '\\' && _pos + 1 < n && (_text[_pos + 1] == '\n' || _text[_pos + 1] == '\r')) {
      // A backslash at the line end continues the line.
      size_t p = _pos + 1;
      if (_text[p] == '\r') ++p;
      if (p < n && _text[p] == '\n') {
        _pos = p + 1;
        ++_line;
      } else {
        return;
      }
    } else if (c == '/' && _pos + 1 < n && _text[_pos + 1] == '/') {
      while (_pos < n && _text[_pos] != '\n') ++_pos;
    } else if (c == '/' && _pos + 1 < n && _text[_pos + 1] == '*') {
      int start_line = _line;
      _pos += 2;
      for (;;) {
        if (_pos + 1 >= n) {
          _line = start_line;
          fail("unterminated comment");
        }
        if (_text[_pos] == '*' && _text[_pos + 1] == '/') {
          _pos += 2;
          break;
        }
        if (_text[_pos] == '\n') {
          ++_line;
          newline_seen = true;
        }
        ++_pos;
      }
    } else {
      return;
    }
  }
}

int Lexer::escape()
{
  // _pos is on the character after the backslash.
  if (_pos >= _text.size()) fail("unterminated escape sequence");
  char c = _text[_pos++];
  switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'a': return '\a';
    case 'b': return '\b';
    case 'f': return '\f';
    case 'v': return '\v';
    case '\\': return '\\';
    case '\'': return '\'';
    case '"': return '"';
    case '?': return '?';
    case 'x': {
      int value = 0, digits = 0;
      while (_pos < _text.size() && hex_value(_text[_pos]) >= 0) {
        value = value * 16 + hex_value(_text[_pos++]);
        if (++digits > 2) fail("hexadecimal escape sequence out of range");
      }
      if (digits == 0) fail("\\x used with no following hex digits");
      return static_cast<signed char>(value);
    }
    default:
      if (c >= '0' && c <= '7') {
        int value = c - '0', digits = 1;
        while (digits < 3 && _pos < _text.size() && _text[_pos] >= '0' && _text[_pos] <= '7') {
          value = value * 8 + (_text[_pos++] - '0');
          ++digits;
        }
        if (value > 255) fail("octal escape sequence out of range");
        return static_cast<signed char>(value);
      }
      fail("unknown escape sequence");
  }
}

Token Lexer::number(Token t)
{
  const size_t n = _text.size();
  size_t start = _pos;
  t.kind = Tok::Int;
  if (_text[_pos] == '0' && _pos + 1 < n && (_text[_pos + 1] == 'x' || _text[_pos + 1] == 'X')) {
    _pos += 2;
    uint64_t value = 0;
    int digits = 0;
    while (_pos < n && hex_value(_text[_pos]) >= 0) {
      value = value * 16 + static_cast<uint64_t>(hex_value(_text[_pos++]));
      if (value > 0xFFFFFFFFu) fail("integer constant too large");
      ++digits;
    }
    if (digits == 0) fail("invalid hexadecimal constant");
    t.ival = static_cast<int32_t>(static_cast<uint32_t>(value));
  } else {
    bool is_float = false;
    while (_pos < n && is_digit(_text[_pos])) ++_pos;
    if (_pos < n && _text[_pos] == '.') {
      is_float = true;
      ++_pos;
      while (_pos < n && is_digit(_text[_pos])) ++_pos;
    }
    if (_pos < n && (_text[_pos] == 'e' || _text[_pos] == 'E')) {
      size_t p = _pos + 1;
      if (p < n && (_text[p] == '+' || _text[p] == '-')) ++p;
      if (p < n && is_digit(_text[p])) {
        is_float = true;
        _pos = p;
        while (_pos < n && is_digit(_text[_pos])) ++_pos;
      } else {
        fail("exponent has no digits");
      }
    }
    if (is_float) {
      t.kind = Tok::Float;
      double value = 0;
      auto result = std::from_chars(_text.data() + start, _text.data() + _pos, value);
      if (result.ec == std::errc::result_out_of_range) fail("floating constant out of range");
      if (result.ec != std::errc()) fail("invalid floating constant");
      t.dval = value;
      if (_pos < n && (_text[_pos] == 'f' || _text[_pos] == 'F')) {
        t.float_suffix = true;
        ++_pos;
      } else if (_pos < n && (_text[_pos] == 'l' || _text[_pos] == 'L')) {
        ++_pos;
      }
    } else {
      bool octal = _text[start] == '0' && _pos - start > 1;
      uint64_t value = 0;
      for (size_t p = start; p < _pos; ++p) {
        int digit = _text[p] - '0';
        if (octal && digit > 7) fail("invalid digit in octal constant");
        value = value * (octal ? 8 : 10) + static_cast<uint64_t>(digit);
        if (value > (octal ? 0xFFFFFFFFu : 0x7FFFFFFFu)) fail("integer constant too large");
      }
      t.ival = static_cast<int32_t>(static_cast<uint32_t>(value));
    }
  }
  if (t.kind == Tok::Int)
    while (_pos < n && (_text[_pos] == 'u' || _text[_pos] == 'U' || _text[_pos] == 'l' || _text[_pos] == 'L')) ++_pos;
  if (_pos < n && (is_ident_char(_text[_pos]) || _text[_pos] == '.')) fail("invalid number");
  t.text.assign(_text, start, _pos - start);
  return t;
}

Token Lexer::next(bool directive_mode)
{
  bool newline_seen = false, at_newline = false;
  skip_space(directive_mode, newline_seen, at_newline);
  if (newline_seen) _line_start = true;
  Token t;
  t.file = _file;
  t.line = _line;
  t.line_start = _line_start;
  if (at_newline) {
    t.kind = Tok::Newline;
    return t;
  }
  const size_t n = _text.size();
  if (_pos >= n) {
    t.kind = Tok::End;
    return t;
  }
  _line_start = false;
  char c = _text[_pos];
  if (is_ident_start(c)) {
    size_t start = _pos;
    while (_pos < n && is_ident_char(_text[_pos])) ++_pos;
    t.kind = Tok::Ident;
    t.text.assign(_text, start, _pos - start);
  } else if (is_digit(c) || (c == '.' && _pos + 1 < n && is_digit(_text[_pos + 1]))) {
    t = number(t);
  } else if (c == '\'') {
    ++_pos;
    t.kind = Tok::Char;
    if (_pos >= n || _text[_pos] == '\n') fail("unterminated character constant");
    if (_text[_pos] == '\'') fail("empty character constant");
    if (_text[_pos] == '\\') {
      if (_pos + 1 < n && _text[_pos + 1] == '\'' && !(_pos + 2 < n && _text[_pos + 2] == '\'')) {
        t.ival = '\\';  // '\' : the backslash itself
        _pos += 1;
      } else {
        ++_pos;
        t.ival = escape();
      }
    } else {
      t.ival = static_cast<signed char>(_text[_pos++]);
    }
    if (_pos >= n || _text[_pos] != '\'') fail("unterminated or multi-character constant");
    ++_pos;
  } else if (c == '"') {
    ++_pos;
    t.kind = Tok::String;
    for (;;) {
      if (_pos >= n || _text[_pos] == '\n') fail("unterminated string literal");
      char s = _text[_pos];
      if (s == '"') {
        ++_pos;
        break;
      }
      if (s == '\\') {
        ++_pos;
        t.text.push_back(static_cast<char>(escape()));
      } else {
        t.text.push_back(s);
        ++_pos;
      }
    }
  } else {
    t.kind = Tok::Punct;
    for (const char* p : kPunctuators) {
      size_t len = std::strlen(p);
      if (_text.compare(_pos, len, p) == 0) {
        t.text = p;
        _pos += len;
        break;
      }
    }
    if (t.text.empty()) {
      if (!std::strchr("+-*/%&|^!~<>=?:;,.()[]{}#", c) || c == 0) {
        char message[64];
        unsigned char u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127)
          std::snprintf(message, sizeof message, "unexpected character '%c'", c);
        else
          std::snprintf(message, sizeof message, "unexpected character 0x%02x", u);
        fail(message);
      }
      t.text.assign(1, c);
      ++_pos;
    }
  }
  t.space_after = _pos >= n || _text[_pos] == ' ' || _text[_pos] == '\t' || _text[_pos] == '\n' || _text[_pos] == '\r';
  return t;
}

std::string Lexer::rest_of_line()
{
  size_t start = _pos;
  while (_pos < _text.size() && _text[_pos] != '\n') ++_pos;
  return _text.substr(start, _pos - start);
}

}  // namespace ast_sci_internal
