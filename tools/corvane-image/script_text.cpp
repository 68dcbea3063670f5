#include "tools/corvane-image/script_text.h"

#include <cstdio>
#include <functional>
#include <map>

#include "platform/numbers.h"

namespace corvane::tools {
namespace {

// One token of a directive or attribute list: a quoted text or a bare word.
struct Token {
  std::string text;
  bool quoted = false;
};

class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}
  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ >= s_.size();
  }
  char Peek() { return AtEnd() ? '\0' : s_[pos_]; }
  size_t pos() const { return pos_; }
  void Advance(size_t n) { pos_ += n; }
  std::string_view Rest() const { return s_.substr(pos_); }

  // A quoted text ("" inside stands for one quote) or a bare word ending at a blank, a quote or
  // one of the stop characters.
  bool Next(Token* t, std::string* error, std::string_view stops = "") {
    SkipBlanks();
    t->text.clear();
    if (pos_ >= s_.size()) return false;
    if (s_[pos_] == '"') {
      t->quoted = true;
      ++pos_;
      while (true) {
        if (pos_ >= s_.size()) {
          *error = "unterminated quoted text";
          return false;
        }
        char c = s_[pos_++];
        if (c == '"') {
          if (pos_ < s_.size() && s_[pos_] == '"') {
            t->text.push_back('"');
            ++pos_;
            continue;
          }
          break;
        }
        t->text.push_back(c);
      }
      if (pos_ < s_.size() && s_[pos_] != ' ' && s_[pos_] != '\t' &&
          stops.find(s_[pos_]) == std::string_view::npos) {
        *error = "a quoted text must be followed by a blank";
        return false;
      }
      return true;
    }
    t->quoted = false;
    while (pos_ < s_.size() && s_[pos_] != ' ' && s_[pos_] != '\t' && s_[pos_] != '"' &&
           stops.find(s_[pos_]) == std::string_view::npos) {
      t->text.push_back(s_[pos_++]);
    }
    if (t->text.empty()) {
      *error = "unexpected character";
      return false;
    }
    return true;
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

std::string Quote(std::string_view s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r.push_back('"');
    r.push_back(c);
  }
  r.push_back('"');
  return r;
}

bool IsHex8(std::string_view s) {
  if (s.size() != 8) return false;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Directive keyword -> the text field it sets.
using TextField = std::string ScriptSource::*;
const std::vector<std::pair<const char*, TextField>>& TextDirectives() {
  static const std::vector<std::pair<const char*, TextField>> d = {
      {"product-code", &ScriptSource::product_code},
      {"title", &ScriptSource::title},
      {"publisher", &ScriptSource::publisher},
      {"contact", &ScriptSource::contact},
      {"help-link", &ScriptSource::help_link},
      {"update-link", &ScriptSource::update_link},
      {"comments", &ScriptSource::comments},
      {"version", &ScriptSource::version},
      {"revision-code", &ScriptSource::revision_code},
      {"language-dialog", &ScriptSource::language_dialog},
      {"default-language", &ScriptSource::default_language},
  };
  return d;
}

class TextParser {
 public:
  TextParser(std::string_view source_path, ScriptSource* out)
      : source_file_(source_path), out_(*out) {}

  bool ParseLine(std::string_view line, int number, std::string* error) {
    line_ = number;
    Scanner sc(line);
    if (sc.AtEnd() || sc.Peek() == '#') return true;
    if (sc.Peek() == '.') {
      sc.Advance(1);
      return Directive(sc, error);
    }
    return Command(sc, error);
  }

 private:
  // Reads exactly the tokens a directive takes: 'q' a quoted text, 'n' a number.
  bool Values(Scanner& sc, std::string_view shape, std::vector<Token>* values,
              std::string* error) {
    for (char kind : shape) {
      Token t;
      if (!sc.Next(&t, error)) {
        if (error->empty()) *error = "missing value";
        return false;
      }
      if (kind == 'q' && !t.quoted) {
        *error = "'" + t.text + "' must be written in double quotes";
        return false;
      }
      if (kind == 'n' && (t.quoted || !platform::ParseDecimal64(t.text))) {
        *error = "'" + t.text + "' is not a number";
        return false;
      }
      values->push_back(t);
    }
    if (!sc.AtEnd()) {
      *error = "unexpected text after the values";
      return false;
    }
    return true;
  }

  bool Directive(Scanner& sc, std::string* error) {
    Token key;
    if (!sc.Next(&key, error) || key.quoted) {
      *error = "a directive name must follow the dot";
      return false;
    }
    std::vector<Token> v;
    for (const auto& [name, field] : TextDirectives()) {
      if (key.text == name) {
        if (!Values(sc, "q", &v, error)) return false;
        out_.*field = v[0].text;
        return true;
      }
    }
    if (key.text == "build-mode" || key.text == "code-page") {
      if (!Values(sc, "n", &v, error)) return false;
      auto n = platform::ParseDecimal32(v[0].text);
      if (!n) {
        *error = "the number is out of range";
        return false;
      }
      (key.text == "build-mode" ? out_.build_mode : out_.code_page) = *n;
      return true;
    }
    if (key.text == "plugin") {
      if (!Values(sc, "q", &v, error)) return false;
      out_.plugins.push_back(v[0].text);
      return true;
    }
    if (key.text == "media-password") {
      if (!Values(sc, "qq", &v, error)) return false;
      out_.media_passwords.emplace_back(v[0].text, v[1].text);
      return true;
    }
    if (key.text == "component") {
      if (!Values(sc, "qn", &v, error)) return false;
      out_.components.emplace_back(v[0].text, *platform::ParseDecimal64(v[1].text));
      return true;
    }
    if (key.text == "support-file") {
      if (!Values(sc, "qqq", &v, error)) return false;
      out_.support_files.push_back({v[0].text, v[1].text, v[2].text});
      return true;
    }
    if (key.text == "compiler-variable") {
      if (!Values(sc, "qq", &v, error)) return false;
      out_.compiler_variables.emplace_back(v[0].text, v[1].text);
      return true;
    }
    if (key.text == "source-file") {
      if (!Values(sc, "q", &v, error)) return false;
      source_file_ = v[0].text;
      return true;
    }
    *error = "unknown directive ." + key.text;
    return false;
  }

  bool Attributes(Scanner& sc, ScriptCommand* c, std::string* error) {
    sc.Advance(1);  // '['
    while (true) {
      if (sc.AtEnd()) {
        *error = "missing ']' after the attributes";
        return false;
      }
      if (sc.Peek() == ']') {
        sc.Advance(1);
        return true;
      }
      Token t;
      if (!sc.Next(&t, error, "]")) return false;
      if (t.text == "disabled" && !t.quoted) {
        c->disabled = true;
      } else if (t.text == "header" && !t.quoted) {
        Token h;
        if (!sc.Next(&h, error, "]") || !IsHex8(h.text)) {
          *error = "header needs eight hexadecimal digits";
          return false;
        }
        c->header = h.text;
      } else if (t.text == "media" && !t.quoted) {
        Token m;
        if (!sc.Next(&m, error, "]") || !m.quoted) {
          *error = "media needs a quoted block name";
          return false;
        }
        c->media_block = m.text;
      } else {
        *error = "unknown attribute '" + t.text + "'";
        return false;
      }
    }
  }

  bool Command(Scanner& sc, std::string* error) {
    ScriptCommand c;
    c.source_file = source_file_;
    c.line = line_;
    if (sc.Peek() == '[' && !Attributes(sc, &c, error)) return false;
    sc.SkipBlanks();
    std::string_view rest = sc.Rest();
    size_t quote = rest.find('"');
    std::string_view name = rest.substr(0, quote);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name.empty()) {
      *error = "a command needs a name";
      return false;
    }
    c.name = std::string(name);
    if (quote != std::string_view::npos) {
      Scanner params(rest.substr(quote));
      Token t;
      while (!params.AtEnd()) {
        if (!params.Next(&t, error)) return false;
        if (!t.quoted) {
          *error = "parameters must be written in double quotes";
          return false;
        }
        c.params.push_back(t.text);
      }
    }
    out_.commands.push_back(std::move(c));
    return true;
  }

  std::string source_file_;
  ScriptSource& out_;
  int line_ = 0;
};

}  // namespace

bool ParseScriptText(std::string_view text, std::string_view source_path, ScriptSource* source,
                     std::string* error) {
  *source = ScriptSource();
  TextParser parser(source_path, source);
  size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string message;
    if (!parser.ParseLine(line, number, &message)) {
      *error = std::to_string(number + 1) + ": " + message;
      return false;
    }
    ++number;
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
  }
  return true;
}

std::string GeneratedCommandId(size_t index) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "{C0A70000-0000-4000-8000-%012llX}",
                static_cast<unsigned long long>(index));
  return buf;
}

bool BuildScriptImage(const ScriptSource& s, std::string* image, std::string* error) {
  std::string out;
  bool ok = true;
  auto line = [&](const std::string& text) {
    if (text.find_first_of("\r\n") != std::string::npos) {
      *error = "a value holds a line break: " + text;
      ok = false;
    }
    out += text;
    out += "\r\n";
  };
  auto section_line = [&](const std::string& text) {
    if (text == "$") {
      *error = "a list value cannot be the single character $";
      ok = false;
    }
    line(text);
  };
  auto end = [&] { out += "$\r\n"; };
  auto per_command = [&](const std::function<std::string(size_t)>& f) {
    for (size_t i = 0; i < s.commands.size(); ++i) section_line(f(i));
    end();
  };

  per_command([&](size_t i) { return s.commands[i].name; });     // 1
  per_command([&](size_t i) { return GeneratedCommandId(i); });  // 2
  for (size_t i = 0; i < s.commands.size(); ++i) {                // 3
    if (s.commands[i].params.empty()) continue;
    line(GeneratedCommandId(i));
    for (const std::string& p : s.commands[i].params) line(p == "$" ? "$DOLLAR$" : p);
  }
  end();
  per_command([&](size_t i) { return std::string(s.commands[i].disabled ? "C" : ""); });  // 4
  line(s.product_code);  // 5
  line(s.title);         // 6
  for (const auto& p : s.plugins) section_line(p);  // 7
  end();
  line(s.publisher), line(s.contact), line(s.help_link), line(s.update_link);  // 8-11
  line(s.comments), line(s.version);                                            // 12, 13
  for (const auto& [block, password] : s.media_passwords) {                     // 14
    std::string stored = image::ScrambleText(password);
    if (stored.find_first_of("\r\n") != std::string::npos || stored == "$") {
      *error = "the password of block " + block + " cannot be stored (try another password)";
      return false;
    }
    section_line(block), section_line(stored);
  }
  end();
  per_command([&](size_t i) { return s.commands[i].media_block; });  // 15
  line(std::to_string(s.build_mode));                                 // 16
  for (const auto& [name, size] : s.components) section_line(name), line(std::to_string(size));
  end();                                                              // 17
  line(s.revision_code);                                              // 18
  for (const auto& f : s.support_files) section_line(f.block), section_line(f.path), section_line(f.folder);
  end();                                                              // 19
  line(s.language_dialog), line(s.default_language);                  // 20, 21
  for (size_t i = 0; i < s.commands.size(); ++i) {                    // 22
    if (s.commands[i].header.empty()) continue;
    line(s.commands[i].header), line(std::to_string(i));
  }
  end();
  for (const auto& [name, value] : s.compiler_variables) section_line(name), section_line(value);
  end();                                          // 23
  line(std::to_string(s.code_page));              // 24
  per_command([&](size_t i) {                     // 25
    return s.commands[i].source_file + "*" + std::to_string(s.commands[i].line);
  });
  if (!ok) return false;
  *image = std::move(out);
  return true;
}

TextCompileResult CompileScriptText(std::string_view text, std::string_view source_path) {
  TextCompileResult r;
  ScriptSource source;
  if (!ParseScriptText(text, source_path, &source, &r.error)) return r;
  r.ok = BuildScriptImage(source, &r.image, &r.error);
  return r;
}

bool LoadScriptText(std::string_view text, std::string_view source_path, image::ScriptImage* image,
                    std::string* error) {
  TextCompileResult compiled = CompileScriptText(text, source_path);
  if (!compiled.ok) {
    *error = compiled.error;
    return false;
  }
  image::ImageLoadResult loaded = image::ParseScriptImage(compiled.image, image);
  if (!loaded.ok()) {
    *error = "image: " + loaded.message;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Decompiling

namespace {

bool IsBlockOpener(std::string_view name) { return name == "If" || name == "Wizard Loop"; }
bool IsBranch(std::string_view name) { return name == "Else If" || name == "Else"; }

}  // namespace

std::string DecompileScriptImage(const image::ScriptImage& im) {
  std::vector<std::string> lines;
  auto text = [&](const char* key, const std::string& value) {
    if (!value.empty()) lines.push_back(std::string(".") + key + " " + Quote(value));
  };
  text("product-code", im.product_code);
  text("title", im.title);
  text("publisher", im.publisher);
  text("contact", im.contact);
  text("help-link", im.help_link);
  text("update-link", im.update_link);
  text("comments", im.comments);
  text("version", im.version);
  if (im.build_mode != 0) lines.push_back(".build-mode " + std::to_string(im.build_mode));
  text("revision-code", im.revision_code);
  if (im.offer_language_dialog) lines.push_back(".language-dialog \"TRUE\"");
  text("default-language", im.default_language);
  if (im.code_page != 1252) lines.push_back(".code-page " + std::to_string(im.code_page));
  for (const auto& p : im.plugin_actions.lines()) lines.push_back(".plugin " + Quote(p));
  for (size_t i = 0; i + 1 < im.media_passwords.size(); i += 2) {
    lines.push_back(".media-password " + Quote(im.media_passwords[i]) + " " +
                    Quote(image::DescrambleText(im.media_passwords[i + 1])));
  }
  for (size_t i = 0; i + 1 < im.components.size(); i += 2) {
    lines.push_back(".component " + Quote(im.components[i]) + " " + im.components[i + 1]);
  }
  const auto& sf = im.support_files.lines();
  for (size_t i = 0; i + 2 < sf.size(); i += 3) {
    lines.push_back(".support-file " + Quote(sf[i]) + " " + Quote(sf[i + 1]) + " " +
                    Quote(sf[i + 2]));
  }
  const auto& cv = im.compiler_variables.lines();
  for (size_t i = 0; i + 1 < cv.size(); i += 2) {
    lines.push_back(".compiler-variable " + Quote(cv[i]) + " " + Quote(cv[i + 1]));
  }

  // Headers by command index.
  std::map<long, std::string> headers;
  const auto& hl = im.command_headers.lines();
  for (size_t i = 0; i + 1 < hl.size(); i += 2) {
    if (auto idx = platform::ParseDecimal32(hl[i + 1])) headers[*idx] = std::string(hl[i]);
  }

  std::string current_file;
  int depth = 0;
  for (size_t i = 0; i < im.command_count(); ++i) {
    const std::string_view name = im.command_names.At(static_cast<long>(i));
    std::string location(
        i < im.source_locations.size() ? im.source_locations.At(static_cast<long>(i)) : "");
    size_t star = location.rfind('*');
    std::string file = star == std::string::npos ? location : location.substr(0, star);
    int target = -1;
    if (star != std::string::npos) {
      target = platform::ParseDecimal32(location.substr(star + 1)).value_or(-1);
    }
    if (file != current_file) {
      lines.push_back(".source-file " + Quote(file));
      current_file = file;
    }
    while (target >= 0 && static_cast<int>(lines.size()) < target) lines.emplace_back();

    bool disabled = i < im.disabled_marks.size() && im.disabled_marks.At(static_cast<long>(i)) == "C";
    if (!disabled && (name == "End" || IsBranch(name)) && depth > 0) --depth;
    std::string out(static_cast<size_t>(depth) * 2, ' ');
    std::string attrs;
    if (disabled) attrs += "disabled";
    if (auto h = headers.find(static_cast<long>(i)); h != headers.end()) {
      attrs += (attrs.empty() ? "" : " ") + std::string("header ") + h->second;
    }
    std::string media(
        i < im.command_media.size() ? im.command_media.At(static_cast<long>(i)) : "");
    if (!media.empty()) attrs += (attrs.empty() ? "" : " ") + std::string("media ") + Quote(media);
    if (!attrs.empty()) out += "[" + attrs + "] ";
    out += name;

    // The command's parameters run from its identifier to the next identifier line of the pool.
    const std::string_view id = im.command_ids.At(static_cast<long>(i));
    long p = im.parameter_pool.IndexOf(id);
    if (p >= 0) {
      for (long k = p + 1; k < static_cast<long>(im.parameter_pool.size()); ++k) {
        const std::string_view v = im.parameter_pool.At(k);
        if (im.command_ids.Contains(v)) break;
        out += " " + Quote(v);
      }
    }
    lines.push_back(out);
    if (!disabled && (IsBlockOpener(name) || IsBranch(name))) ++depth;
  }
  std::string result;
  for (const auto& l : lines) result += l + "\n";
  return result;
}

}  // namespace corvane::tools
