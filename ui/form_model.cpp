#include "ui/form_model.h"

#include <algorithm>
#include <charconv>

#include "image/failure.h"
#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

const std::string* FindIdent(const std::vector<std::string>* idents, std::string_view word) {
  if (!idents) return nullptr;
  for (const std::string& i : *idents)
    if (platform::SameText(i, word)) return &i;
  return nullptr;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A set value with its members in the order of the type's list; nullopt when one is unknown.
std::optional<FormValue> CanonicalSet(const PropertyDef& def, const std::vector<std::string>& in) {
  std::vector<bool> present(def.idents->size());
  for (const std::string& m : in) {
    const std::string* ident = FindIdent(def.idents, m);
    if (!ident) return std::nullopt;
    present[static_cast<size_t>(ident - def.idents->data())] = true;
  }
  FormValue v = FormValue::OfTag(ValueTag::kSet);
  for (size_t i = 0; i < present.size(); ++i)
    if (present[i]) v.members.push_back((*def.idents)[i]);
  return v;
}

// The value in the form the model keeps for the property's kind, or nullopt when it is not a
// value of that kind.
std::optional<FormValue> Accept(const PropertyDef& def, const FormValue& v) {
  switch (def.kind) {
    case PropertyKind::kInteger:
      if (v.IsInteger() && v.integer >= INT32_MIN && v.integer <= INT32_MAX)
        return FormValue::Integer(v.integer);
      return std::nullopt;
    case PropertyKind::kBoolean:
      if (v.tag == ValueTag::kTrue || v.tag == ValueTag::kFalse) return FormValue::OfTag(v.tag);
      if (v.tag == ValueTag::kIdent && platform::SameText(v.text, "True")) return FormValue::Bool(true);
      if (v.tag == ValueTag::kIdent && platform::SameText(v.text, "False"))
        return FormValue::Bool(false);
      return std::nullopt;
    case PropertyKind::kEnum:
      if (v.tag == ValueTag::kIdent) {
        if (const std::string* ident = FindIdent(def.idents, v.text)) return FormValue::Ident(*ident);
      }
      return std::nullopt;
    case PropertyKind::kSet:
      if (v.tag == ValueTag::kSet) return CanonicalSet(def, v.members);
      return std::nullopt;
    case PropertyKind::kIdentOrInt:
      if (v.tag == ValueTag::kIdent) {
        if (const std::string* ident = FindIdent(def.idents, v.text)) return FormValue::Ident(*ident);
        return std::nullopt;
      }
      if (v.IsInteger() && v.integer >= INT32_MIN && v.integer <= INT32_MAX)
        return FormValue::Integer(v.integer);
      return std::nullopt;
    case PropertyKind::kString:
      if (v.IsString()) return FormValue::String(v.StringText());
      return std::nullopt;
    case PropertyKind::kChar:
      if (v.IsString()) {
        std::string s = v.StringText();
        if (s.size() == 1) return FormValue::String(s);
      } else if (v.IsInteger() && v.integer >= 0 && v.integer <= 255) {
        return FormValue::String(std::string(1, static_cast<char>(v.integer)));
      }
      return std::nullopt;
    case PropertyKind::kStrings: {
      if (v.tag != ValueTag::kList) return std::nullopt;
      FormValue out = FormValue::OfTag(ValueTag::kList);
      for (const FormValue& item : v.list) {
        if (!item.IsString()) return std::nullopt;
        out.list.push_back(FormValue::String(item.StringText()));
      }
      return out;
    }
    case PropertyKind::kBinary:
      if (v.tag == ValueTag::kBinary) return v;
      return std::nullopt;
    case PropertyKind::kComponent:
    case PropertyKind::kEvent:
      if (v.tag == ValueTag::kIdent || v.tag == ValueTag::kNil) return v;
      return std::nullopt;
    case PropertyKind::kFloat:
      switch (v.tag) {
        case ValueTag::kExtended:
        case ValueTag::kSingle:
        case ValueTag::kDouble:
        case ValueTag::kDate:
        case ValueTag::kCurrency:
          return v;
        default:
          if (v.IsInteger()) return v;
          return std::nullopt;
      }
    case PropertyKind::kCollection:
      if (v.tag == ValueTag::kCollection) return v;
      return std::nullopt;
    case PropertyKind::kList:
      if (v.tag == ValueTag::kList) return v;
      return std::nullopt;
    case PropertyKind::kAny:
      return v;
  }
  return std::nullopt;
}

// Parses a text as a value of the property's kind.
std::optional<FormValue> FromText(const PropertyDef& def, std::string_view text) {
  switch (def.kind) {
    case PropertyKind::kInteger:
      if (auto n = platform::ParseDecimal32(text)) return FormValue::Integer(*n);
      return std::nullopt;
    case PropertyKind::kBoolean:
    case PropertyKind::kEnum:
      return Accept(def, FormValue::Ident(std::string(text)));
    case PropertyKind::kIdentOrInt:
      if (auto n = platform::ParseDecimal32(text)) return FormValue::Integer(*n);
      return Accept(def, FormValue::Ident(std::string(text)));
    case PropertyKind::kSet: {
      std::string_view body = Trim(text);
      if (body.size() >= 2 && body.front() == '[' && body.back() == ']')
        body = body.substr(1, body.size() - 2);
      std::vector<std::string> members;
      while (!Trim(body).empty()) {
        size_t comma = body.find(',');
        std::string_view m = Trim(body.substr(0, comma));
        if (m.empty()) return std::nullopt;
        members.emplace_back(m);
        body = comma == std::string_view::npos ? std::string_view() : body.substr(comma + 1);
      }
      return CanonicalSet(def, members);
    }
    case PropertyKind::kString:
      return FormValue::String(std::string(text));
    case PropertyKind::kChar:
      if (text.size() == 1) return FormValue::String(std::string(text));
      return std::nullopt;
    case PropertyKind::kStrings: {
      FormValue v = FormValue::OfTag(ValueTag::kList);
      size_t i = 0;
      while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = text.size();
        v.list.push_back(FormValue::String(std::string(text.substr(i, end - i))));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
          ++end;
        i = end + 1;
      }
      return v;
    }
    case PropertyKind::kComponent:
    case PropertyKind::kEvent:
      if (text.empty()) return FormValue::OfTag(ValueTag::kNil);
      return FormValue::Ident(std::string(text));
    case PropertyKind::kFloat: {
      double d;
      auto r = std::from_chars(text.data(), text.data() + text.size(), d);
      if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
      FormValue v = FormValue::OfTag(ValueTag::kExtended);
      DoubleToExtended(d, &v.bits, &v.exponent);
      return v;
    }
    case PropertyKind::kBinary:
    case PropertyKind::kCollection:
    case PropertyKind::kList:
    case PropertyKind::kAny:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string PropertyValueText(const PropertyDef* def, const FormValue& v) {
  PropertyKind kind = def ? def->kind : PropertyKind::kAny;
  switch (kind) {
    case PropertyKind::kInteger:
      return std::to_string(v.integer);
    case PropertyKind::kBoolean:
      return v.tag == ValueTag::kTrue ? "True" : "False";
    case PropertyKind::kEnum:
    case PropertyKind::kComponent:
    case PropertyKind::kEvent:
      return v.tag == ValueTag::kIdent ? v.text : std::string();
    case PropertyKind::kIdentOrInt:
      return v.tag == ValueTag::kIdent ? v.text : std::to_string(v.integer);
    case PropertyKind::kSet: {
      std::string s = "[";
      for (size_t i = 0; i < v.members.size(); ++i) s += (i ? "," : "") + v.members[i];
      return s + "]";
    }
    case PropertyKind::kString:
    case PropertyKind::kChar:
      return v.StringText();
    case PropertyKind::kStrings: {
      std::string s;
      for (size_t i = 0; i < v.list.size(); ++i) {
        if (i) s += "\r\n";
        s += v.list[i].StringText();
      }
      return s;
    }
    case PropertyKind::kBinary: {
      static const char kHex[] = "0123456789ABCDEF";
      std::string s;
      for (unsigned char c : v.text) {
        s += kHex[c >> 4];
        s += kHex[c & 15];
      }
      return s;
    }
    case PropertyKind::kFloat: {
      if (v.IsInteger()) return std::to_string(v.integer);
      std::string s = FormValueToText(v);
      while (!s.empty() && (s.back() == 'S' || s.back() == 'C' || s.back() == 'D' || s.back() == 'R'))
        s.pop_back();
      return s;
    }
    default:
      if (v.IsString()) return v.StringText();
      if (v.tag == ValueTag::kIdent) return v.text;
      return FormValueToText(v);
  }
}

Component::Component(const ControlClass& cls, std::string class_name, std::string name)
    : class_(&cls), class_name_(std::move(class_name)), name_(std::move(name)) {}

Component* Component::FindOwned(std::string_view name) const {
  auto it = owned_by_name_.find(std::string(name));
  return it == owned_by_name_.end() ? nullptr : it->second;
}

bool Component::is_form_designer() const { return platform::SameText(name_, kFormDesignerName); }

const PropertyDef* Component::Resolve(std::string_view property) const {
  if (const PropertyDef* def = class_->FindProperty(property)) return def;
  if (platform::SameText(property, "Items") || platform::SameText(property, "Lines"))
    return class_->FindProperty(std::string(property) + ".Strings");
  return nullptr;
}

bool Component::HasProperty(std::string_view property) const {
  if (class_->accepts_any) {
    for (const Setting& s : settings_)
      if (platform::SameText(s.name, property)) return true;
    return false;
  }
  return Resolve(property) != nullptr;
}

const FormValue* Component::Value(std::string_view property) const {
  if (class_->accepts_any) {
    for (const Setting& s : settings_)
      if (platform::SameText(s.name, property)) return &s.value;
    return nullptr;
  }
  const PropertyDef* def = Resolve(property);
  if (!def) return nullptr;
  for (const Setting& s : settings_)
    if (s.def == def) return &s.value;
  return nullptr;
}

std::optional<std::string> Component::GetText(std::string_view property) const {
  if (class_->accepts_any) {
    const FormValue* v = Value(property);
    if (!v) return std::nullopt;
    return PropertyValueText(nullptr, *v);
  }
  const PropertyDef* def = Resolve(property);
  if (!def) return std::nullopt;
  for (const Setting& s : settings_)
    if (s.def == def) return PropertyValueText(def, s.value);
  return def->default_text;
}

bool Component::SetValue(std::string_view property, const FormValue& value) {
  if (class_->accepts_any) {
    for (Setting& s : settings_) {
      if (platform::SameText(s.name, property)) {
        s.value = value;
        return true;
      }
    }
    settings_.push_back({nullptr, std::string(property), value});
    return true;
  }
  const PropertyDef* def = Resolve(property);
  if (!def) return false;
  std::optional<FormValue> accepted = Accept(*def, value);
  if (!accepted) return false;
  for (Setting& s : settings_) {
    if (s.def == def) {
      s.value = std::move(*accepted);
      return true;
    }
  }
  settings_.push_back({def, def->name, std::move(*accepted)});
  return true;
}

bool Component::SetText(std::string_view property, std::string_view text) {
  if (class_->accepts_any) return false;
  const PropertyDef* def = Resolve(property);
  if (!def) return false;
  std::optional<FormValue> v = FromText(*def, text);
  return v && SetValue(def->name, *v);
}

int32_t Component::Integer(std::string_view property, int32_t fallback) const {
  if (const FormValue* v = Value(property)) {
    if (v->IsInteger() && v->integer >= INT32_MIN && v->integer <= INT32_MAX)
      return static_cast<int32_t>(v->integer);
    return fallback;
  }
  const PropertyDef* def = Resolve(property);
  if (!def || def->kind != PropertyKind::kInteger) return fallback;
  return platform::ParseDecimal32(def->default_text).value_or(fallback);
}

std::vector<std::string> Component::Strings(std::string_view property) const {
  std::vector<std::string> lines;
  if (const FormValue* v = Value(property)) {
    for (const FormValue& item : v->list) lines.push_back(item.StringText());
  }
  return lines;
}

// Builds the component tree of a form from the object records.
class FormReader {
 public:
  explicit FormReader(PoolTemplate& form) : form_(form) {}

  // Applies the properties of a record; an error in one is noted and reading goes on.
  void Apply(Component* c, const FormObject& obj) {
    for (const FormProperty& p : obj.properties)
      if (!c->SetValue(p.name, p.value)) form_.skipped_.push_back(c->name() + "." + p.name);
  }

  void Read(const FormObject& obj, Component* parent, Component* owner,
            std::vector<std::unique_ptr<Component>>* storage) {
    Component* c = nullptr;
    if (obj.flags & object_flags::kInherited) c = owner->FindOwned(obj.name);
    if (!c) {
      const ControlClass* cls = FindControlClass(obj.class_name);
      std::string class_name = cls ? cls->name : obj.class_name;
      if (!cls && platform::SameText(obj.name, kFormDesignerName)) cls = &FormDesignerClass();
      if (!cls) throw image::ScriptFailure("Class " + obj.class_name + " not found");
      auto created =
          std::make_unique<Component>(*cls, class_name, UniqueName(owner, obj.name, class_name));
      c = created.get();
      storage->push_back(std::move(created));
      c->owner_ = owner;
      owner->owned_.push_back(c);
      if (!c->name_.empty()) owner->owned_by_name_.emplace(c->name_, c);
      c->parent_ = parent;
      auto& siblings = parent->children_;
      if (obj.flags & object_flags::kChildPos) {
        c->child_position_ = obj.child_pos;
        int64_t pos = std::clamp<int64_t>(obj.child_pos, 0, static_cast<int64_t>(siblings.size()));
        siblings.insert(siblings.begin() + pos, c);
      } else {
        siblings.push_back(c);
      }
    }
    Apply(c, obj);
    Component* child_owner = (obj.flags & object_flags::kInline) ? c : owner;
    for (const FormObject& child : obj.children) Read(child, c, child_owner, storage);
  }

 private:
  // A name already taken among the owner's components becomes the class name without its
  // leading "T" followed by 2, 3, ... (the first that is free).
  static std::string UniqueName(Component* owner, const std::string& name,
                                const std::string& class_name) {
    if (name.empty() || !owner->owned_by_name_.count(name)) return name;
    std::string base = class_name;
    if (!base.empty() && (base[0] == 'T' || base[0] == 't')) base.erase(0, 1);
    // Names are never released while a form is read, so numbers found taken earlier stay taken
    // and the search can resume where it stopped last time.
    uint64_t& next = owner->rename_next_[platform::UpperCase(base)];
    if (next < 2) next = 2;
    for (;; ++next) {
      std::string candidate = base + std::to_string(next);
      if (!owner->owned_by_name_.count(candidate)) {
        ++next;
        return candidate;
      }
    }
  }

  PoolTemplate& form_;
};

PoolTemplate::PoolTemplate() : Component(PoolTemplateClass(), "TPoolTemplate", "") {}

void PoolTemplate::ReadRoot(const FormObject& root) {
  name_ = root.name;
  design_class_name_ = root.class_name;
  FormReader reader(*this);
  reader.Apply(this, root);
  for (const FormObject& child : root.children) reader.Read(child, this, this, &storage_);
}

}  // namespace corvane::ui
