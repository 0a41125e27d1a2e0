// The preprocessor. Directives: #include "file" (or <file>), looked up beside the including
// file and then as given; object-like #define; the empty directive. A #define name is replaced
// wherever it stands as an identifier, except inside its own replacement.
#include "ast_sci_preprocessor.h"

#include "AK_Files.h"
#include "ast_sci_internal.h"

#include <cstdio>
#include <cstring>

namespace ast_sci_internal {

namespace {

// Paths may be written with backslashes; this platform separates with "/".
std::string normalise_path(std::string path)
{
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string directory_of(const std::string& path)
{
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

enum class ReadResult { Read, Missing, TooLarge };

// Reads the whole file; a file without end (a device, a pipe that keeps writing) stops at the
// source size limit.
ReadResult read_file(const std::string& path, std::string& text)
{
  AK_File f(path.c_str(), "rb");
  if (!f) return ReadResult::Missing;
  bool complete = read_source(f, text);
  bool ok = f.Close();
  if (!complete) return ReadResult::TooLarge;
  return ok ? ReadResult::Read : ReadResult::Missing;
}

bool ends_with(const std::string& s, const char* suffix)
{
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

bool read_source(FILE* file, std::string& text)
{
  char buffer[65536];
  size_t n;
  text.clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + n > kMaxSourceBytes) return false;
    text.append(buffer, n);
  }
  return true;
}

Preprocessor::Preprocessor(std::deque<SourceFile>& files, const std::string& text, const std::string& name,
                           const std::deque<SourceFile>* recorded)
    : _files(files), _recorded(recorded)
{
  open(text, name);
}

void Preprocessor::open(const std::string& text, const std::string& name)
{
  _files.push_back(SourceFile{name, text});
  SourceFile& f = _files.back();
  Input input;
  input.lexer = std::make_unique<Lexer>(f.text, f.name.c_str());
  input.directory = directory_of(normalise_path(name));
  _inputs.push_back(std::move(input));
}

bool Preprocessor::expanding(const std::string& name) const
{
  for (const Expansion& e : _expansions)
    if (e.name == name) return true;
  return false;
}

Token Preprocessor::next()
{
  for (;;) {
    Token t;
    if (!_expansions.empty()) {
      Expansion& e = _expansions.back();
      if (e.pos >= e.body->size()) {
        _expansions.pop_back();
        continue;
      }
      // Names that expand to several others multiply: a few lines could stand for billions of
      // tokens.
      if (++_expanded > kMaxExpandedTokens)
        compile_error(e.file, e.line, "macro expansions exceed %zu tokens", kMaxExpandedTokens);
      t = (*e.body)[e.pos++];
      t.line = e.line;
      t.file = e.file;
      t.line_start = false;
    } else {
      if (_inputs.empty()) return Token{};
      t = _inputs.back().lexer->next();
      if (t.kind == Tok::End) {
        if (_inputs.size() == 1) return t;
        _inputs.pop_back();
        continue;
      }
      if (t.kind == Tok::Punct && t.text == "#" && t.line_start) {
        directive(t);
        continue;
      }
    }
    if (t.kind == Tok::Ident) {
      auto it = _macros.find(t.text);
      if (it != _macros.end() && !expanding(t.text)) {
        if (_expansions.size() >= static_cast<size_t>(kMaxMacroDepth))
          compile_error(t.file, t.line, "macro expansion nested too deeply");
        _expansions.push_back(Expansion{&it->second, 0, t.text, t.line, t.file});
        continue;
      }
    }
    return t;
  }
}

void Preprocessor::directive(const Token& hash)
{
  Lexer& lexer = *_inputs.back().lexer;
  Token name = lexer.next(true);
  if (name.kind == Tok::Newline || name.kind == Tok::End) return;  // the empty directive
  if (name.kind == Tok::Ident && name.text == "include") {
    include(hash);
  } else if (name.kind == Tok::Ident && name.text == "define") {
    define(hash);
  } else {
    compile_error(hash.file, hash.line, "unknown preprocessor directive '#%s'", name.text.c_str());
  }
}

void Preprocessor::include(const Token& hash)
{
  Lexer& lexer = *_inputs.back().lexer;
  std::string rest = lexer.rest_of_line();
  size_t b = rest.find_first_not_of(" \t");
  if (b == std::string::npos) compile_error(hash.file, hash.line, "#include expects \"FILENAME\" or <FILENAME>");
  char close = rest[b] == '"' ? '"' : rest[b] == '<' ? '>' : 0;
  size_t e = close ? rest.find(close, b + 1) : std::string::npos;
  if (!close || e == std::string::npos)
    compile_error(hash.file, hash.line, "#include expects \"FILENAME\" or <FILENAME>");
  std::string trailing = rest.substr(e + 1);
  size_t other = trailing.find_first_not_of(" \t\r");
  if (other != std::string::npos && trailing.compare(other, 2, "//") != 0)
    compile_error(hash.file, hash.line, "extra tokens at end of #include directive");
  std::string file = normalise_path(rest.substr(b + 1, e - b - 1));
  if (file.empty()) compile_error(hash.file, hash.line, "empty file name in #include");
  if (ends_with(file, ".enc"))
    compile_error(hash.file, hash.line, "encrypted include file '%s' is not supported", file.c_str());
  if (_inputs.size() >= static_cast<size_t>(kMaxIncludeDepth))
    compile_error(hash.file, hash.line, "#include nested too deeply");

  std::string text;
  std::string path;
  ReadResult result = ReadResult::Missing;
  const auto read = [this](const std::string& at, std::string& into) {
    if (!_recorded) return read_file(at, into);
    for (size_t k = 1; k < _recorded->size(); ++k)
      if ((*_recorded)[k].name == at) {
        into = (*_recorded)[k].text;
        return ReadResult::Read;
      }
    return ReadResult::Missing;
  };
  if (file[0] != '/' && !_inputs.back().directory.empty()) {
    path = _inputs.back().directory + file;
    result = read(path, text);
  }
  if (result == ReadResult::Missing) {
    path = file;
    result = read(path, text);
  }
  if (result == ReadResult::Missing) compile_error(hash.file, hash.line, "cannot open include file '%s'", file.c_str());
  if (result == ReadResult::TooLarge)
    compile_error(hash.file, hash.line, "include file '%s' exceeds %zu bytes", file.c_str(), kMaxSourceBytes);
  open(text, path);
}

void Preprocessor::define(const Token& hash)
{
  Lexer& lexer = *_inputs.back().lexer;
  Token name = lexer.next(true);
  if (name.kind != Tok::Ident) compile_error(hash.file, hash.line, "macro name must be an identifier");
  std::vector<Token> body;
  Token t = lexer.next(true);
  if (t.kind == Tok::Punct && t.text == "(" && !name.space_after)
    compile_error(hash.file, hash.line, "function-like macro '%s' is not supported", name.text.c_str());
  while (t.kind != Tok::Newline && t.kind != Tok::End) {
    if (t.kind == Tok::Punct && t.text == "#")
      compile_error(hash.file, hash.line, "'#' is not allowed in a macro body");
    body.push_back(t);
    t = lexer.next(true);
  }
  _macros[name.text] = std::move(body);
}

}  // namespace ast_sci_internal
