#include "ui/form_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "image/failure.h"
#include "platform/text.h"
#include "ui/form_stream.h"

namespace corvane::ui {
namespace {

using image::ScriptFailure;

// ---------------------------------------------------------------------------------------------
// Floating values

uint64_t DoubleBits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}
double DoubleFromBits(uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}
float FloatFromBits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, sizeof f);
  return f;
}
uint32_t FloatBits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

// Shortest decimal text that reads back to the same value, always with a decimal point or an
// exponent so that it cannot be taken for an integer.
template <typename T>
std::string ShortestDecimal(T value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string Hex(uint64_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(digits, '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[i] = kDigits[v & 15];
  return s;
}

std::string CurrencyText(int64_t scaled) {
  uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : uint64_t(scaled);
  std::string frac = std::to_string(magnitude % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  while (frac.size() > 1 && frac.back() == '0') frac.pop_back();
  std::string out = scaled < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  out += '.';
  out += frac;
  out += 'C';
  return out;
}

// ---------------------------------------------------------------------------------------------
// Writer

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

// A plain identifier, possibly dotted ("Font.Name").
bool IsPlainIdent(std::string_view s) {
  bool segment_start = true;
  for (char c : s) {
    if (segment_start) {
      if (!IsIdentStart(c)) return false;
      segment_start = false;
    } else if (c == '.') {
      segment_start = true;
    } else if (!IsIdentChar(c)) {
      return false;
    }
  }
  return !segment_start;
}

bool IsReservedWord(std::string_view s) {
  for (const char* w : {"object", "inherited", "inline", "end", "item", "True", "False", "nil",
                        "Null"}) {
    if (platform::SameText(s, w)) return true;
  }
  return false;
}

class TextWriter {
 public:
  std::string out;
  bool indent = true;

  void Indent(int n) {
    if (indent) out.append(static_cast<size_t>(n), ' ');
  }

  template <typename Unit>
  void Quoted(const Unit* units, size_t n) {
    if (n == 0) {
      out += "''";
      return;
    }
    bool open = false;
    for (size_t i = 0; i < n; ++i) {
      uint32_t u = static_cast<uint32_t>(units[i]);
      if (sizeof(Unit) == 1) u &= 0xFF;
      if (u >= 32 && u < 127) {
        if (!open) out += '\'';
        open = true;
        if (u == '\'') out += '\'';
        out += static_cast<char>(u);
      } else {
        if (open) out += '\'';
        open = false;
        out += '#';
        out += std::to_string(u);
      }
    }
    if (open) out += '\'';
  }
  void Quoted(std::string_view s) { Quoted(s.data(), s.size()); }

  void Name(std::string_view s) {
    if (IsPlainIdent(s) && !IsReservedWord(s)) {
      out += s;
    } else {
      out += '@';
      Quoted(s);
    }
  }

  void Value(const FormValue& v, int indent);
  void Properties(const std::vector<FormProperty>& props, int indent) {
    for (const FormProperty& p : props) {
      Indent(indent);
      Name(p.name);
      out += " = ";
      Value(p.value, indent);
      out += '\n';
    }
  }
  void Object(const FormObject& obj, int indent);
};

std::u16string DecodeUtf8(std::string_view s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    uint32_t cp;
    int extra;
    if (c < 0x80) {
      cp = c;
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (i + extra >= s.size()) {
      out += u'\uFFFD';
      break;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      unsigned char t = s[i + k];
      if ((t & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else if (cp > 0x10FFFF) {
      out += u'\uFFFD';
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

void TextWriter::Value(const FormValue& v, int indent) {
  switch (v.tag) {
    case ValueTag::kNull:
      out += "Null";
      break;
    case ValueTag::kNil:
      out += "nil";
      break;
    case ValueTag::kFalse:
      out += "False";
      break;
    case ValueTag::kTrue:
      out += "True";
      break;
    case ValueTag::kInt8:
    case ValueTag::kInt16:
    case ValueTag::kInt32:
    case ValueTag::kInt64:
      out += std::to_string(v.integer);
      break;
    case ValueTag::kExtended: {
      double d;
      if (ExtendedToDouble(v.bits, v.exponent, &d))
        out += ShortestDecimal(d);
      else
        out += "~E" + Hex(v.exponent, 4) + Hex(v.bits, 16);
      break;
    }
    case ValueTag::kSingle: {
      float f = FloatFromBits(static_cast<uint32_t>(v.bits));
      if (std::isfinite(f))
        out += ShortestDecimal(f) + "S";
      else
        out += "~S" + Hex(v.bits, 8);
      break;
    }
    case ValueTag::kDate:
    case ValueTag::kDouble: {
      char kind = v.tag == ValueTag::kDate ? 'D' : 'R';
      double d = DoubleFromBits(v.bits);
      if (std::isfinite(d))
        out += ShortestDecimal(d) + kind;
      else
        out += std::string("~") + kind + Hex(v.bits, 16);
      break;
    }
    case ValueTag::kCurrency:
      out += CurrencyText(v.integer);
      break;
    case ValueTag::kString:
    case ValueTag::kLString:
      Quoted(v.text);
      break;
    case ValueTag::kWString:
      Quoted(v.wide.data(), v.wide.size());
      break;
    case ValueTag::kUtf8String: {
      std::u16string w = DecodeUtf8(v.text);
      Quoted(w.data(), w.size());
      break;
    }
    case ValueTag::kIdent:
      Name(v.text);
      break;
    case ValueTag::kSet:
      out += '[';
      for (size_t i = 0; i < v.members.size(); ++i) {
        if (i) out += ", ";
        Name(v.members[i]);
      }
      out += ']';
      break;
    case ValueTag::kBinary:
      out += '{';
      for (size_t i = 0; i < v.text.size(); i += 32) {
        out += '\n';
        Indent(indent + 2);
        for (size_t k = i; k < v.text.size() && k < i + 32; ++k)
          out += Hex(static_cast<uint8_t>(v.text[k]), 2);
      }
      out += '}';
      break;
    case ValueTag::kList:
      out += '(';
      for (const FormValue& item : v.list) {
        out += '\n';
        Indent(indent + 2);
        Value(item, indent + 2);
      }
      out += ')';
      break;
    case ValueTag::kCollection:
      out += '<';
      for (const CollectionItem& item : v.items) {
        out += '\n';
        Indent(indent + 2);
        out += "item";
        if (item.order_tag != ValueTag::kNull) out += " [" + std::to_string(item.order) + "]";
        out += '\n';
        Properties(item.properties, indent + 4);
        Indent(indent + 2);
        out += "end";
      }
      out += '>';
      break;
  }
}

void TextWriter::Object(const FormObject& obj, int indent) {
  Indent(indent);
  if (obj.flags & object_flags::kInline)
    out += "inline ";
  else if (obj.flags & object_flags::kInherited)
    out += "inherited ";
  else
    out += "object ";
  if (!obj.name.empty()) {
    Name(obj.name);
    out += ": ";
  }
  Name(obj.class_name);
  if (obj.flags & object_flags::kChildPos) out += " [" + std::to_string(obj.child_pos) + "]";
  out += '\n';
  Properties(obj.properties, indent + 2);
  for (const FormObject& child : obj.children) Object(child, indent + 2);
  Indent(indent);
  out += "end\n";
}

// ---------------------------------------------------------------------------------------------
// Parser

class TextParser {
 public:
  explicit TextParser(std::string_view text) : s_(text) {}

  FormObject Root() {
    FormObject root = Object(0);
    SkipBlank();
    if (pos_ < s_.size()) Fail("end of text expected");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    int line = 1;
    for (size_t i = 0; i < pos_ && i < s_.size(); ++i)
      if (s_[i] == '\n') ++line;
    throw ScriptFailure("Line " + std::to_string(line) + ": " + what);
  }

  void SkipBlank() {
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;  // a comment line
      } else {
        break;
      }
    }
  }
  char PeekChar() {
    SkipBlank();
    return pos_ < s_.size() ? s_[pos_] : '\0';
  }
  void Expect(char c) {
    if (PeekChar() != c) Fail(std::string("\"") + c + "\" expected");
    ++pos_;
  }

  // A plain (possibly dotted) identifier at the current position, or empty.
  std::string_view PlainIdent() {
    SkipBlank();
    size_t start = pos_;
    if (pos_ < s_.size() && IsIdentStart(s_[pos_])) {
      ++pos_;
      while (pos_ < s_.size()) {
        if (IsIdentChar(s_[pos_])) {
          ++pos_;
        } else if (s_[pos_] == '.' && pos_ + 1 < s_.size() && IsIdentStart(s_[pos_ + 1])) {
          ++pos_;
        } else {
          break;
        }
      }
    }
    return s_.substr(start, pos_ - start);
  }
  bool PeekKeyword(const char* word) {
    size_t save = pos_;
    std::string_view w = PlainIdent();
    pos_ = save;
    return platform::SameText(w, word);
  }

  // A name: a plain identifier or @'text'.
  std::string Name(const char* what) {
    if (PeekChar() == '@') {
      ++pos_;
      std::u32string units = QuotedUnits();
      std::string s;
      for (char32_t u : units) {
        if (u > 255) Fail(std::string(what) + " with a character above #255");
        s += static_cast<char>(u);
      }
      if (s.size() > 255) Fail(std::string(what) + " longer than 255 characters");
      return s;
    }
    std::string_view w = PlainIdent();
    if (w.empty()) Fail(std::string(what) + " expected");
    if (w.size() > 255) Fail(std::string(what) + " longer than 255 characters");
    return std::string(w);
  }

  // Quoted runs and #n characters, joined directly or with "+" between them.
  std::u32string QuotedUnits() {
    std::u32string units;
    bool any = false;
    for (;;) {
      // Segments join when written side by side; across blanks only with a "+".
      char c = any ? (pos_ < s_.size() ? s_[pos_] : '\0') : PeekChar();
      if (any && c != '\'' && c != '#') {
        size_t save = pos_;
        if (PeekChar() == '+') {
          c = '+';
        } else {
          pos_ = save;
          break;
        }
      }
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (pos_ >= s_.size() || s_[pos_] == '\n' || s_[pos_] == '\r')
            Fail("unterminated string");
          char d = s_[pos_++];
          if (d == '\'') {
            if (pos_ < s_.size() && s_[pos_] == '\'') {
              ++pos_;
            } else {
              break;
            }
          }
          units += static_cast<char32_t>(static_cast<unsigned char>(d));
        }
        any = true;
      } else if (c == '#') {
        ++pos_;
        size_t start = pos_;
        uint32_t u = 0;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') {
          u = u * 10 + static_cast<uint32_t>(s_[pos_++] - '0');
          if (u > 0xFFFF) Fail("character code above #65535");
        }
        if (pos_ == start) Fail("character code expected");
        units += static_cast<char32_t>(u);
        any = true;
      } else if (c == '+' && any) {
        ++pos_;
        c = PeekChar();
        if (c != '\'' && c != '#') Fail("string expected");
      } else {
        break;
      }
    }
    if (!any) Fail("string expected");
    return units;
  }

  FormValue StringValue() {
    std::u32string units = QuotedUnits();
    bool wide = false;
    for (char32_t u : units) wide = wide || u > 255;
    FormValue v;
    if (wide) {
      v.tag = ValueTag::kWString;
      v.wide.assign(units.begin(), units.end());
    } else {
      std::string s;
      s.reserve(units.size());
      for (char32_t u : units) s += static_cast<char>(u);
      v = FormValue::String(std::move(s));
    }
    return v;
  }

  FormValue RawFloat() {
    ++pos_;  // '~'
    if (pos_ >= s_.size()) Fail("floating kind expected");
    char kind = s_[pos_++];
    int digits;
    FormValue v;
    switch (kind) {
      case 'E': digits = 20; v.tag = ValueTag::kExtended; break;
      case 'S': digits = 8; v.tag = ValueTag::kSingle; break;
      case 'D': digits = 16; v.tag = ValueTag::kDate; break;
      case 'R': digits = 16; v.tag = ValueTag::kDouble; break;
      default: Fail("floating kind E, S, D or R expected");
    }
    uint64_t hi = 0, lo = 0;
    for (int i = 0; i < digits; ++i) {
      if (pos_ >= s_.size()) Fail("hexadecimal digit expected");
      char c = s_[pos_++];
      int d = (c >= '0' && c <= '9')   ? c - '0'
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                       : -1;
      if (d < 0) Fail("hexadecimal digit expected");
      hi = (hi << 4) | (lo >> 60);
      lo = (lo << 4) | uint64_t(d);
    }
    v.bits = lo;
    if (v.tag == ValueTag::kExtended) v.exponent = static_cast<uint16_t>(hi);
    return v;
  }

  FormValue Number() {
    size_t start = pos_;
    if (s_[pos_] == '$') {
      ++pos_;
      uint64_t n = 0;
      size_t digits_start = pos_;
      while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
        if (n >> 60) Fail("integer out of range");
        char c = s_[pos_++];
        n = n * 16 + uint64_t(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                          : (c | 0x20) - 'a' + 10);
      }
      if (pos_ == digits_start) Fail("hexadecimal digit expected");
      // $FFFFFFFF and below are 32-bit values written in hexadecimal.
      if (n <= 0xFFFFFFFFu) return FormValue::Integer(static_cast<int32_t>(uint32_t(n)));
      return FormValue::Integer(static_cast<int64_t>(n));
    }
    if (s_[pos_] == '-' || s_[pos_] == '+') ++pos_;
    size_t digits = 0;
    auto skip_digits = [&] {
      size_t n = 0;
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_, ++n;
      return n;
    };
    digits = skip_digits();
    if (digits == 0) Fail("number expected");
    bool is_float = false;
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (skip_digits() == 0) Fail("digit expected");
      is_float = true;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E') && pos_ + 1 < s_.size() &&
        (std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])) || s_[pos_ + 1] == '-' ||
         s_[pos_ + 1] == '+')) {
      ++pos_;
      if (s_[pos_] == '-' || s_[pos_] == '+') ++pos_;
      if (skip_digits() == 0) Fail("exponent expected");
      is_float = true;
    }
    std::string_view literal = s_.substr(start, pos_ - start);
    if (literal[0] == '+') literal.remove_prefix(1);
    char suffix = 0;
    if (pos_ < s_.size() && (s_[pos_] == 'S' || s_[pos_] == 'C' || s_[pos_] == 'D' ||
                             s_[pos_] == 'R')) {
      suffix = s_[pos_++];
      is_float = true;
    }
    if (pos_ < s_.size() && IsIdentChar(s_[pos_])) Fail("invalid number");
    if (!is_float) {
      int64_t n = 0;
      auto r = std::from_chars(literal.data(), literal.data() + literal.size(), n);
      if (r.ec != std::errc() || r.ptr != literal.data() + literal.size())
        Fail("integer out of range");
      return FormValue::Integer(n);
    }
    FormValue v;
    if (suffix == 'S') {
      float f = 0;
      auto r = std::from_chars(literal.data(), literal.data() + literal.size(), f);
      if (r.ec != std::errc()) Fail("floating value out of range");
      v.tag = ValueTag::kSingle;
      v.bits = FloatBits(f);
      return v;
    }
    double d = 0;
    auto r = std::from_chars(literal.data(), literal.data() + literal.size(), d);
    if (r.ec != std::errc()) Fail("floating value out of range");
    switch (suffix) {
      case 'C': {
        if (!(std::fabs(d) < 9.2e14)) Fail("currency value out of range");
        v.tag = ValueTag::kCurrency;
        // Up to four decimals are taken exactly from the digits; more are rounded.
        int64_t scaled = std::llround(d * 10000.0);
        std::string_view digits_only = literal;
        bool negative = !digits_only.empty() && digits_only[0] == '-';
        if (negative) digits_only.remove_prefix(1);
        size_t dot = digits_only.find('.');
        if (digits_only.find_first_of("eE") == std::string_view::npos &&
            (dot == std::string_view::npos || digits_only.size() - dot - 1 <= 4)) {
          std::string whole(digits_only.substr(0, dot));
          std::string frac = dot == std::string_view::npos ? "" : std::string(digits_only.substr(dot + 1));
          frac.append(4 - frac.size(), '0');
          int64_t w = 0, f = 0;
          std::from_chars(whole.data(), whole.data() + whole.size(), w);
          std::from_chars(frac.data(), frac.data() + frac.size(), f);
          scaled = w * 10000 + f;
          if (negative) scaled = -scaled;
        }
        v.integer = scaled;
        return v;
      }
      case 'D':
        v.tag = ValueTag::kDate;
        v.bits = DoubleBits(d);
        return v;
      case 'R':
        v.tag = ValueTag::kDouble;
        v.bits = DoubleBits(d);
        return v;
      default:
        v.tag = ValueTag::kExtended;
        DoubleToExtended(d, &v.bits, &v.exponent);
        return v;
    }
  }

  FormValue Value(int depth) {
    if (depth > kMaxFormNesting) Fail("values nested too deeply");
    char c = PeekChar();
    switch (c) {
      case '\'':
      case '#':
        return StringValue();
      case '~':
        return RawFloat();
      case '@':
        return FormValue::Ident(Name("identifier"));
      case '[': {
        ++pos_;
        FormValue v = FormValue::OfTag(ValueTag::kSet);
        if (PeekChar() != ']') {
          for (;;) {
            v.members.push_back(Name("set member"));
            if (v.members.back().empty()) Fail("set member expected");
            if (PeekChar() != ',') break;
            ++pos_;
          }
        }
        Expect(']');
        return v;
      }
      case '(': {
        ++pos_;
        FormValue v = FormValue::OfTag(ValueTag::kList);
        while (PeekChar() != ')') {
          if (PeekChar() == '\0') Fail("\")\" expected");
          // The stream ends a list with a null tag, so a Null item could not be read back.
          size_t item_start = pos_;
          v.list.push_back(Value(depth + 1));
          if (v.list.back().tag == ValueTag::kNull) {
            pos_ = item_start;
            Fail("Null cannot be a list item");
          }
        }
        ++pos_;
        return v;
      }
      case '<': {
        ++pos_;
        FormValue v = FormValue::OfTag(ValueTag::kCollection);
        while (PeekChar() != '>') {
          if (!PeekKeyword("item")) Fail("\"item\" expected");
          PlainIdent();
          CollectionItem item;
          if (PeekChar() == '[') {
            ++pos_;
            SkipBlank();
            if (pos_ >= s_.size()) Fail("order expected");
            FormValue order = Number();
            if (order.tag != ValueTag::kInt8 && order.tag != ValueTag::kInt16 &&
                order.tag != ValueTag::kInt32)
              Fail("32-bit integer expected");
            item.order_tag = order.tag;
            item.order = order.integer;
            Expect(']');
          }
          Properties(&item.properties, depth + 1);
          if (!PeekKeyword("end")) Fail("\"end\" expected");
          PlainIdent();
          v.items.push_back(std::move(item));
        }
        ++pos_;
        return v;
      }
      case '{': {
        ++pos_;
        FormValue v = FormValue::OfTag(ValueTag::kBinary);
        int half = -1;
        for (;;) {
          char h = PeekChar();
          if (h == '}') break;
          int d = (h >= '0' && h <= '9')   ? h - '0'
                  : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                  : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                                           : -1;
          if (d < 0) Fail("hexadecimal digit expected");
          ++pos_;
          if (half < 0) {
            half = d;
          } else {
            v.text += static_cast<char>(half * 16 + d);
            half = -1;
          }
        }
        if (half >= 0) Fail("odd number of hexadecimal digits");
        ++pos_;
        return v;
      }
      default:
        break;
    }
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '$') return Number();
    std::string_view w = PlainIdent();
    if (w.empty()) Fail("value expected");
    if (platform::SameText(w, "True")) return FormValue::OfTag(ValueTag::kTrue);
    if (platform::SameText(w, "False")) return FormValue::OfTag(ValueTag::kFalse);
    if (platform::SameText(w, "nil")) return FormValue::OfTag(ValueTag::kNil);
    if (platform::SameText(w, "Null")) return FormValue::OfTag(ValueTag::kNull);
    if (w.size() > 255) Fail("identifier longer than 255 characters");
    return FormValue::Ident(std::string(w));
  }

  bool AtObjectOrEnd() {
    return PeekKeyword("object") || PeekKeyword("inherited") || PeekKeyword("inline") ||
           PeekKeyword("end");
  }

  void Properties(std::vector<FormProperty>* out, int depth) {
    while (!AtObjectOrEnd()) {
      if (PeekChar() == '\0') Fail("\"end\" expected");
      FormProperty p;
      p.name = Name("property name");
      if (p.name.empty()) Fail("property name expected");
      Expect('=');
      p.value = Value(depth + 1);
      out->push_back(std::move(p));
    }
  }

  FormObject Object(int depth) {
    if (depth > kMaxFormNesting) Fail("objects nested too deeply");
    FormObject obj;
    if (PeekKeyword("inherited")) {
      obj.flags = object_flags::kInherited;
    } else if (PeekKeyword("inline")) {
      obj.flags = object_flags::kInline;
    } else if (!PeekKeyword("object")) {
      Fail("\"object\" expected");
    }
    PlainIdent();
    if (PeekChar() == ':') {  // an unnamed object may also be written "object : TClass"
      ++pos_;
      obj.class_name = Name("class name");
    } else {
      std::string first = Name("object name");
      if (PeekChar() == ':') {
        ++pos_;
        obj.name = std::move(first);
        obj.class_name = Name("class name");
      } else {
        obj.class_name = std::move(first);
      }
    }
    if (obj.class_name.empty() || obj.class_name.size() >= 0xF0) Fail("invalid class name");
    if (PeekChar() == '[') {
      ++pos_;
      SkipBlank();
      if (pos_ >= s_.size()) Fail("child position expected");
      FormValue pos = Number();
      if (pos.tag != ValueTag::kInt8 && pos.tag != ValueTag::kInt16 &&
          pos.tag != ValueTag::kInt32)
        Fail("32-bit integer expected");
      obj.flags |= object_flags::kChildPos;
      obj.child_pos = pos.integer;
      Expect(']');
    }
    Properties(&obj.properties, depth);
    while (!PeekKeyword("end")) {
      if (PeekChar() == '\0') Fail("\"end\" expected");
      obj.children.push_back(Object(depth + 1));
    }
    PlainIdent();
    return obj;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

}  // namespace

bool ExtendedToDouble(uint64_t significand, uint16_t exponent, double* out) {
  uint64_t sign = uint64_t(exponent >> 15) << 63;
  int field = exponent & 0x7FFF;
  if (field == 0 && significand == 0) {
    *out = DoubleFromBits(sign);
    return true;
  }
  if (field == 0x7FFF || !(significand >> 63)) return false;  // special or unnormalised
  int e = field - 16383;
  if (e < -1074 || e > 1023) return false;
  if (e < -1022) {  // a subnormal double: exact when the bits below its last one are clear
    int shift = -1011 - e;
    if (significand & ((uint64_t(1) << shift) - 1)) return false;
    *out = DoubleFromBits(sign | (significand >> shift));
    return true;
  }
  if (significand & 0x7FF) return false;  // more precision than a double has
  uint64_t fraction = (significand >> 11) & ((uint64_t(1) << 52) - 1);
  *out = DoubleFromBits(sign | (uint64_t(e + 1023) << 52) | fraction);
  return true;
}

void DoubleToExtended(double d, uint64_t* significand, uint16_t* exponent) {
  uint64_t b = DoubleBits(d);
  uint16_t sign = static_cast<uint16_t>((b >> 63) << 15);
  int field = static_cast<int>((b >> 52) & 0x7FF);
  uint64_t fraction = b & ((uint64_t(1) << 52) - 1);
  if (field == 0x7FF) {
    *exponent = sign | 0x7FFF;
    *significand = (uint64_t(1) << 63) | (fraction << 11);
    return;
  }
  if (field == 0) {
    if (fraction == 0) {
      *exponent = sign;
      *significand = 0;
      return;
    }
    int e = -1022;
    while (!(fraction & (uint64_t(1) << 52))) {
      fraction <<= 1;
      --e;
    }
    *exponent = sign | static_cast<uint16_t>(e + 16383);
    *significand = fraction << 11;
    return;
  }
  *exponent = sign | static_cast<uint16_t>(field - 1023 + 16383);
  *significand = (uint64_t(1) << 63) | (fraction << 11);
}

std::string FormObjectToText(const FormObject& root) {
  TextWriter w;
  w.Object(root, 0);
  return std::move(w.out);
}

std::string FormValueToText(const FormValue& value) {
  TextWriter w;
  w.Value(value, 0);
  return std::move(w.out);
}

FormObject ParseFormText(std::string_view text) { return TextParser(text).Root(); }

std::string NormaliseBinaryStream(std::string_view stream) {
  // The text is only passed on to the parser, so it goes without indentation: deeply nested
  // values would otherwise make it many times larger than the stream.
  TextWriter w;
  w.indent = false;
  w.Object(ReadBinaryStream(stream), 0);
  return WriteBinaryStream(ParseFormText(w.out));
}

}  // namespace corvane::ui
