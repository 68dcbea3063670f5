#include "ui/form_value.h"

#include "platform/text.h"

namespace corvane::ui {

FormValue FormValue::OfTag(ValueTag t) {
  FormValue v;
  v.tag = t;
  return v;
}

FormValue FormValue::Integer(int64_t i) {
  FormValue v;
  v.integer = i;
  if (i >= INT8_MIN && i <= INT8_MAX) {
    v.tag = ValueTag::kInt8;
  } else if (i >= INT16_MIN && i <= INT16_MAX) {
    v.tag = ValueTag::kInt16;
  } else if (i >= INT32_MIN && i <= INT32_MAX) {
    v.tag = ValueTag::kInt32;
  } else {
    v.tag = ValueTag::kInt64;
  }
  return v;
}

FormValue FormValue::String(std::string s) {
  FormValue v;
  v.tag = s.size() <= 255 ? ValueTag::kString : ValueTag::kLString;
  v.text = std::move(s);
  return v;
}

FormValue FormValue::Ident(std::string s) {
  FormValue v;
  v.tag = ValueTag::kIdent;
  v.text = std::move(s);
  return v;
}

FormValue FormValue::Bool(bool b) { return OfTag(b ? ValueTag::kTrue : ValueTag::kFalse); }

std::string FormValue::StringText() const {
  switch (tag) {
    case ValueTag::kWString:
      return platform::Cp1252FromUtf16(wide);
    case ValueTag::kUtf8String:
      return platform::Cp1252FromUtf8(text);
    default:
      return text;
  }
}

bool FormValue::operator==(const FormValue& o) const {
  return tag == o.tag && integer == o.integer && bits == o.bits && exponent == o.exponent &&
         text == o.text && wide == o.wide && members == o.members && list == o.list &&
         items == o.items;
}

}  // namespace corvane::ui
