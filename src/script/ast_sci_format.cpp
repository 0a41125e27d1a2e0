// printf, sprintf and sscanf for scripts. Every conversion is checked against the type of its
// argument before anything is printed or stored; a mismatch, a missing or a surplus argument
// ends the script call with a run-time error. Texts are bounded by their arrays, numbers are
// written and read with "." as the decimal point whatever the locale.
#include "ast_sci_aux.h"
#include "ast_sci_nodes.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <string>

namespace ast_sci_internal {

namespace {

struct Arg {
  int type;
  bool is_array;
  void* address;
  int64_t count;  // elements of an array
};

constexpr int kMaxArgs = 64;

const char* arg_kind(const Arg& a)
{
  if (a.is_array) return a.type == AST_SCI_CHAR ? "char array" : "array";
  return type_name(a.type);
}

// Evaluates the arguments of an intrinsic call from the last to the first.
int collect(ast_sci_node* n, Arg* args)
{
  int count = n->noperands;
  for (int i = count - 1; i >= 0; --i) {
    ast_sci_node* op = n->operands[i];
    void* address = op->eval(op);
    args[i] = Arg{op->type, op->is_array, address, op->is_array ? array_count(op) : 1};
  }
  return count;
}

std::string text_of(const Arg& a)
{
  const char* s = static_cast<const char*>(a.address);
  return std::string(s, bounded_length(s, static_cast<size_t>(a.count)));
}

// One conversion of a format.
struct FormatItem {
  std::string flags;
  int width = -1;        // -1: none
  bool width_arg = false;
  int precision = -1;    // -1: none
  bool precision_arg = false;
  bool suppress = false; // sscanf "*"
  std::string length;    // hh h l ll L z j t
  char conversion = 0;
  std::string scanset;   // sscanf "[...]" without the brackets
};

// Reads a conversion after '%' at format[pos]; pos ends after the conversion character.
bool parse_format_item(const std::string& format, size_t& pos, FormatItem& item, bool scanning)
{
  const size_t n = format.size();
  if (scanning) {
    if (pos < n && format[pos] == '*') {
      item.suppress = true;
      ++pos;
    }
  } else {
    while (pos < n && std::strchr("-+ #0", format[pos])) item.flags += format[pos++];
  }
  if (!scanning && pos < n && format[pos] == '*') {
    item.width_arg = true;
    ++pos;
  } else if (pos < n && format[pos] >= '0' && format[pos] <= '9') {
    int64_t w = 0;
    while (pos < n && format[pos] >= '0' && format[pos] <= '9') w = std::min<int64_t>(w * 10 + (format[pos++] - '0'), 1 << 30);
    item.width = static_cast<int>(w);
  }
  if (!scanning && pos < n && format[pos] == '.') {
    ++pos;
    if (pos < n && format[pos] == '*') {
      item.precision_arg = true;
      ++pos;
    } else {
      int64_t p = 0;
      while (pos < n && format[pos] >= '0' && format[pos] <= '9') p = std::min<int64_t>(p * 10 + (format[pos++] - '0'), 1 << 30);
      item.precision = static_cast<int>(p);
    }
  }
  while (pos < n && std::strchr("hlLzjt", format[pos])) item.length += format[pos++];
  if (pos >= n) return false;
  item.conversion = format[pos++];
  if (scanning && item.conversion == '[') {
    size_t start = pos;
    if (pos < n && format[pos] == '^') ++pos;
    if (pos < n && format[pos] == ']') ++pos;
    while (pos < n && format[pos] != ']') ++pos;
    if (pos >= n) return false;
    item.scanset = format.substr(start, pos - start);
    ++pos;
  }
  return true;
}

[[noreturn]] void mismatch(const ast_sci_node* n, const char* function, const FormatItem& item, int argno, const Arg& a)
{
  ast_sci_runtime_error(n, "%s: conversion '%%%s%c' does not match argument %d (%s)", function, item.length.c_str(),
                        item.conversion, argno, arg_kind(a));
}

bool is_integer_arg(const Arg& a) { return !a.is_array && (a.type == AST_SCI_INT || a.type == AST_SCI_CHAR); }
bool is_real_arg(const Arg& a) { return !a.is_array && (a.type == AST_SCI_FLOAT || a.type == AST_SCI_DOUBLE); }
bool is_text_arg(const Arg& a) { return a.is_array && a.type == AST_SCI_CHAR; }

int int_value(const Arg& a) { return a.type == AST_SCI_CHAR ? ld<char>(a.address) : ld<int>(a.address); }

double real_value(const Arg& a)
{
  return a.type == AST_SCI_FLOAT ? static_cast<double>(ld<float>(a.address)) : ld<double>(a.address);
}

// snprintf of one conversion. A real number is written with "." whatever decimal point the
// locale has (which may be longer than one byte); texts and characters stay as they are.
void append_formatted(std::string& out, bool real, const char* format, ...)
{
  va_list ap, again;
  va_start(ap, format);
  va_copy(again, ap);
  int n = std::vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  if (n > 0) {
    std::string piece(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(piece.data(), piece.size(), format, again);
    piece.resize(static_cast<size_t>(n));
    const char* point = real ? std::localeconv()->decimal_point : nullptr;
    if (point && point[0] && std::strcmp(point, ".") != 0) {
      size_t at = piece.find(point);
      if (at != std::string::npos) piece.replace(at, std::strlen(point), ".");
    }
    out += piece;
  }
  va_end(again);
}

// Formats the arguments from `first` on; throws a run-time error on any mismatch.
std::string format_text(const ast_sci_node* n, const char* function, const std::string& format, const Arg* args, int count,
                        int first)
{
  std::string out;
  int next = first;
  auto take = [&](const FormatItem& item) -> const Arg& {
    if (next >= count) ast_sci_runtime_error(n, "%s: conversion '%%%c' has no argument", function, item.conversion);
    return args[next++];
  };
  for (size_t pos = 0; pos < format.size();) {
    char c = format[pos++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (pos < format.size() && format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    FormatItem item;
    if (!parse_format_item(format, pos, item, false)) ast_sci_runtime_error(n, "%s: incomplete conversion at the end of the format", function);
    int width = item.width, precision = item.precision;
    if (item.width_arg) {
      const Arg& a = take(item);
      if (!is_integer_arg(a)) ast_sci_runtime_error(n, "%s: field width '*' needs an int argument (argument %d is %s)", function, next, arg_kind(a));
      width = int_value(a);
      if (width < 0) {
        item.flags += '-';
        width = width == INT_MIN ? INT_MAX : -width;
      }
    }
    if (item.precision_arg) {
      const Arg& a = take(item);
      if (!is_integer_arg(a)) ast_sci_runtime_error(n, "%s: precision '*' needs an int argument (argument %d is %s)", function, next, arg_kind(a));
      precision = int_value(a);
      if (precision < 0) precision = -1;
    }
    if (width > kMaxFieldWidth || precision > kMaxFieldWidth)
      ast_sci_runtime_error(n, "%s: field width or precision above %d", function, kMaxFieldWidth);
    std::string sub = "%" + item.flags;
    if (width >= 0) sub += std::to_string(width);
    if (precision >= 0) sub += "." + std::to_string(precision);
    const Arg& a = take(item);
    int argno = next;
    switch (item.conversion) {
      case 'd':
      case 'i':
        if (!is_integer_arg(a)) mismatch(n, function, item, argno, a);
        append_formatted(out, false, (sub + item.conversion).c_str(), int_value(a));
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if (!is_integer_arg(a)) mismatch(n, function, item, argno, a);
        append_formatted(out, false, (sub + item.conversion).c_str(), static_cast<unsigned>(int_value(a)));
        break;
      case 'c':
        if (!is_integer_arg(a)) mismatch(n, function, item, argno, a);
        append_formatted(out, false, (sub + 'c').c_str(), static_cast<int>(static_cast<unsigned char>(int_value(a))));
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (!is_real_arg(a)) mismatch(n, function, item, argno, a);
        append_formatted(out, true, (sub + item.conversion).c_str(), real_value(a));
        break;
      case 's':
        if (!is_text_arg(a)) mismatch(n, function, item, argno, a);
        append_formatted(out, false, (sub + 's').c_str(), text_of(a).c_str());
        break;
      case 'p':
        if (a.is_array || a.type != AST_SCI_POINTER) mismatch(n, function, item, argno, a);
        append_formatted(out, false, (sub + 'p').c_str(), ld<void*>(a.address));
        break;
      default:
        ast_sci_runtime_error(n, "%s: unsupported conversion '%%%c'", function, item.conversion);
    }
  }
  if (next < count) ast_sci_runtime_error(n, "%s: %d arguments more than the format uses", function, count - next);
  return out;
}

// ------------------------------------------------------------------------------------------------
// sscanf

bool scan_integer_target(const FormatItem& item, const Arg& a)
{
  if (a.is_array) return false;
  if (item.length == "hh") return a.type == AST_SCI_CHAR;
  return a.type == AST_SCI_INT;
}

bool scan_real_target(const FormatItem& item, const Arg& a)
{
  if (a.is_array) return false;
  if (item.length == "l" || item.length == "L") return a.type == AST_SCI_DOUBLE;
  return item.length.empty() && a.type == AST_SCI_FLOAT;
}

// Checks the whole format against the targets before anything is read.
void check_scan_format(const ast_sci_node* n, const std::string& format, const Arg* args, int count, int first)
{
  int next = first;
  for (size_t pos = 0; pos < format.size();) {
    if (format[pos++] != '%') continue;
    if (pos < format.size() && format[pos] == '%') {
      ++pos;
      continue;
    }
    FormatItem item;
    if (!parse_format_item(format, pos, item, true)) ast_sci_runtime_error(n, "sscanf: incomplete conversion in the format");
    if (!std::strchr("diuoxXfeEgGaAsc[n", item.conversion))
      ast_sci_runtime_error(n, "sscanf: unsupported conversion '%%%c'", item.conversion);
    if (item.suppress) continue;
    if (next >= count) ast_sci_runtime_error(n, "sscanf: conversion '%%%c' has no argument", item.conversion);
    const Arg& a = args[next++];
    bool ok;
    switch (item.conversion) {
      case 'f': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': ok = scan_real_target(item, a); break;
      case 's': case '[': ok = is_text_arg(a) && item.length.empty(); break;
      case 'c': ok = item.length.empty() && (is_text_arg(a) || (!a.is_array && a.type == AST_SCI_CHAR && item.width <= 1)); break;
      default: ok = scan_integer_target(item, a); break;
    }
    if (!ok) mismatch(n, "sscanf", item, next, a);
  }
  if (next < count) ast_sci_runtime_error(n, "sscanf: %d arguments more than the format uses", count - next);
}

bool in_scanset(const std::string& set, char c)
{
  bool negate = !set.empty() && set[0] == '^';
  size_t i = negate ? 1 : 0;
  bool found = false;
  // A '-' between two characters makes a range, also right after the opening "[" or "[^"; first
  // or last in the set it stands for itself.
  for (; i < set.size(); ++i) {
    if (i + 2 < set.size() && set[i + 1] == '-') {
      if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(set[i]) &&
          static_cast<unsigned char>(c) <= static_cast<unsigned char>(set[i + 2]))
        found = true;
      i += 2;
    } else if (set[i] == c) {
      found = true;
    }
  }
  return found != negate;
}

// An integer conversion stores into the target's own type: "%hhd" and "%hhn" fill one char.
void store_int(const Arg& a, int value)
{
  if (a.type == AST_SCI_CHAR) st<char>(a.address, static_cast<char>(value));
  else st<int>(a.address, value);
}

void store_text(const Arg& a, const std::string& text, bool terminate)
{
  size_t size = static_cast<size_t>(a.count);
  char* d = static_cast<char*>(a.address);
  if (size == 0) return;
  size_t n = std::min(text.size(), terminate ? size - 1 : size);
  std::memcpy(d, text.data(), n);
  if (terminate) d[n] = 0;
}

int scan(const std::string& input, const std::string& format, const Arg* args, int first)
{
  size_t in = 0;
  int next = first;
  int assigned = 0;
  bool converted = false;
  auto skip_space = [&] {
    while (in < input.size() && is_space(input[in])) ++in;
  };
  for (size_t pos = 0; pos < format.size();) {
    char f = format[pos];
    if (is_space(f)) {
      ++pos;
      skip_space();
      continue;
    }
    if (f != '%' || (pos + 1 < format.size() && format[pos + 1] == '%')) {
      if (f == '%') {
        pos += 2;
        skip_space();
        f = '%';
      } else {
        ++pos;
      }
      if (in >= input.size()) return converted ? assigned : -1;
      if (input[in] != f) return assigned;
      ++in;
      continue;
    }
    ++pos;
    FormatItem item;
    parse_format_item(format, pos, item, true);
    const Arg* target = item.suppress ? nullptr : &args[next];
    if (!item.suppress) ++next;
    char conv = item.conversion;
    if (conv == 'n') {
      if (target) store_int(*target, static_cast<int>(in));
      continue;
    }
    if (conv != 'c' && conv != '[') skip_space();
    if (in >= input.size()) return converted ? assigned : -1;
    size_t limit = item.width > 0 ? static_cast<size_t>(item.width) : input.size();
    size_t end = std::min(input.size(), in + limit);
    switch (conv) {
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': {
        size_t p = in;
        bool negative = false;
        if (p < end && (input[p] == '+' || input[p] == '-')) negative = input[p++] == '-';
        int base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : conv == 'i' ? 0 : 10;
        if ((base == 16 || base == 0) && p + 1 < end && input[p] == '0' && (input[p + 1] == 'x' || input[p + 1] == 'X')) {
          p += 2;
          base = 16;
        } else if (base == 0) {
          base = p < end && input[p] == '0' ? 8 : 10;
        }
        uint64_t value = 0;
        size_t digits = 0;
        for (; p < end; ++p) {
          char c = input[p];
          int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
          if (d >= base) break;
          value = std::min<uint64_t>(value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d), uint64_t(1) << 40);
          ++digits;
        }
        if (digits == 0) return assigned;
        in = p;
        converted = true;
        int result;
        if (conv == 'd' || conv == 'i') {
          int64_t v = negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
          result = static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
        } else {
          uint32_t v = static_cast<uint32_t>(value);
          result = static_cast<int>(negative ? 0u - v : v);
        }
        if (target) {
          store_int(*target, result);
          ++assigned;
        }
        break;
      }
      case 'f': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
        double value = 0;
        size_t used = ast_sci_parse_double(input.data() + in, input.data() + end, value);
        if (used == 0) return assigned;
        in += used;
        converted = true;
        if (target) {
          if (target->type == AST_SCI_FLOAT) {
            float fv = std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX)
                           ? (value > 0 ? INFINITY : -INFINITY)
                           : static_cast<float>(value);
            st<float>(target->address, fv);
          } else {
            st<double>(target->address, value);
          }
          ++assigned;
        }
        break;
      }
      case 's':
      case '[': {
        // "%s" takes the next word (white space was skipped, so it is never empty), "%[" the
        // characters of its set.
        size_t p = in;
        while (p < end && (conv == 's' ? !is_space(input[p]) : in_scanset(item.scanset, input[p]))) ++p;
        if (p == in) return assigned;
        if (target) {
          store_text(*target, input.substr(in, p - in), true);
          ++assigned;
        }
        in = p;
        converted = true;
        break;
      }
      case 'c': {
        size_t width = item.width > 0 ? static_cast<size_t>(item.width) : 1;
        if (input.size() - in < width) return converted ? assigned : -1;
        if (target) {
          if (target->is_array) store_text(*target, input.substr(in, width), false);
          else st<char>(target->address, input[in]);
          ++assigned;
        }
        in += width;
        converted = true;
        break;
      }
      default:
        return assigned;
    }
  }
  return assigned;
}

void* result_cell(ast_sci_node* n, int value)
{
  char* c = rt.fp + n->cell;
  st<int>(c, value);
  return c;
}

}  // namespace

void* eval_printf(ast_sci_node* n)
{
  Arg args[kMaxArgs];
  int count = collect(n, args);
  std::string text = format_text(n, "printf", text_of(args[0]), args, count, 1);
  ast_sci_print("%s", text.c_str());
  ast_sci_flush();
  return result_cell(n, static_cast<int>(text.size()));
}

void* eval_sprintf(ast_sci_node* n)
{
  Arg args[kMaxArgs];
  int count = collect(n, args);
  std::string text = format_text(n, "sprintf", text_of(args[1]), args, count, 2);
  store_text(args[0], text, true);
  size_t size = static_cast<size_t>(args[0].count);
  return result_cell(n, static_cast<int>(std::min(text.size(), size ? size - 1 : 0)));
}

void* eval_sscanf(ast_sci_node* n)
{
  Arg args[kMaxArgs];
  int count = collect(n, args);
  std::string format = text_of(args[1]);
  check_scan_format(n, format, args, count, 2);
  return result_cell(n, scan(text_of(args[0]), format, args, 2));
}

}  // namespace ast_sci_internal
