// The values and object records of a form stream: what the binary component stream holds, in
// memory, before any of it is applied to a dialog form. The binary form (form_stream.h) and the
// text form (form_text.h) both convert to and from these structures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::ui {

// The tag byte that opens every value of the binary stream.
enum class ValueTag : uint8_t {
  kNull = 0,
  kList = 1,
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kExtended = 5,
  kString = 6,
  kIdent = 7,
  kFalse = 8,
  kTrue = 9,
  kBinary = 10,
  kSet = 11,
  kLString = 12,
  kNil = 13,
  kCollection = 14,
  kSingle = 15,
  kCurrency = 16,
  kDate = 17,
  kWString = 18,
  kInt64 = 19,
  kUtf8String = 20,
  kDouble = 21,
};
constexpr uint8_t kLastValueTag = 21;

struct CollectionItem;

// One value. Which members are meaningful depends on the tag:
//   kInt8..kInt32, kInt64   integer
//   kCurrency               integer (the amount times 10000, as stored)
//   kSingle                 bits (the 32 raw bits in the low half)
//   kDouble, kDate          bits (the 64 raw bits)
//   kExtended               bits (the 64-bit significand) and exponent (sign and 15-bit exponent)
//   kString, kLString, kIdent, kUtf8String, kBinary   text (raw bytes)
//   kWString                wide
//   kSet                    members
//   kList                   list
//   kCollection             items
// Floating values are kept as their raw bits so that no conversion can change them.
struct FormValue {
  ValueTag tag = ValueTag::kNull;
  int64_t integer = 0;
  uint64_t bits = 0;
  uint16_t exponent = 0;
  std::string text;
  std::u16string wide;
  std::vector<std::string> members;
  std::vector<FormValue> list;
  std::vector<CollectionItem> items;

  static FormValue Integer(int64_t v);  // the smallest integer tag that holds v
  static FormValue String(std::string s);  // kString up to 255 bytes, kLString beyond
  static FormValue Ident(std::string s);
  static FormValue Bool(bool b);
  static FormValue OfTag(ValueTag t);

  bool IsInteger() const {
    return tag == ValueTag::kInt8 || tag == ValueTag::kInt16 || tag == ValueTag::kInt32 ||
           tag == ValueTag::kInt64;
  }
  bool IsString() const {
    return tag == ValueTag::kString || tag == ValueTag::kLString || tag == ValueTag::kWString ||
           tag == ValueTag::kUtf8String;
  }
  // The text of a string value in the engine's 8-bit code page (wide and UTF-8 texts converted).
  std::string StringText() const;

  bool operator==(const FormValue& other) const;
};

struct FormProperty {
  std::string name;  // may be a dotted path: "Font.Name", "Picture.Data"
  FormValue value;
  bool operator==(const FormProperty& other) const = default;
};

// An item of a collection value: an optional order value and its properties.
struct CollectionItem {
  ValueTag order_tag = ValueTag::kNull;  // kNull: no order value; else kInt8..kInt32
  int64_t order = 0;
  std::vector<FormProperty> properties;
  bool operator==(const CollectionItem& other) const = default;
};

// Flags of the optional prefix byte of an object record.
namespace object_flags {
constexpr uint8_t kInherited = 1;
constexpr uint8_t kChildPos = 2;
constexpr uint8_t kInline = 4;
}  // namespace object_flags

// One object record: the root (the form) or a control inside it.
struct FormObject {
  uint8_t flags = 0;       // object_flags bits
  int64_t child_pos = 0;   // meaningful with kChildPos
  std::string class_name;  // "TButton"
  std::string name;        // "Button1", may be empty
  std::vector<FormProperty> properties;
  std::vector<FormObject> children;
  bool operator==(const FormObject& other) const = default;
};

// The deepest nesting of objects and values that the readers accept. Real dialogs nest a few
// levels; the limit keeps damaged or hostile input from exhausting the stack.
constexpr int kMaxFormNesting = 96;

}  // namespace corvane::ui
