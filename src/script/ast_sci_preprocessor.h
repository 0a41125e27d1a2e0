// The preprocessor: reads the tokens of the source and its #include files, handles the
// directives and replaces object-like #define names by their tokens.
#pragma once

#include "ast_sci_lexer.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ast_sci_internal {

// A source text with its name; kept for the error listing.
struct SourceFile {
  std::string name;
  std::string text;
};

// Reads an open file to its end into the text; false when it holds more than kMaxSourceBytes.
bool read_source(FILE* file, std::string& text);

class Preprocessor {
 public:
  // `files` receives every file read, the top-level text first.
  // With `recorded`, included files are taken from there (by the path they were read from)
  // instead of from the disk.
  Preprocessor(std::deque<SourceFile>& files, const std::string& text, const std::string& name,
               const std::deque<SourceFile>* recorded = nullptr);

  Token next();

 private:
  struct Input {
    std::unique_ptr<Lexer> lexer;
    std::string directory;
  };
  struct Expansion {
    const std::vector<Token>* body;
    size_t pos;
    std::string name;
    int line;
    const char* file;
  };

  void directive(const Token& hash);
  void include(const Token& hash);
  void define(const Token& hash);
  bool expanding(const std::string& name) const;
  void open(const std::string& text, const std::string& name);

  std::deque<SourceFile>& _files;
  const std::deque<SourceFile>* _recorded;
  std::vector<Input> _inputs;
  std::unordered_map<std::string, std::vector<Token>> _macros;
  std::vector<Expansion> _expansions;
  size_t _expanded = 0;  // tokens taken from expansions so far
};

}  // namespace ast_sci_internal
