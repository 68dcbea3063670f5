#include "ui/form_stream.h"

#include <cstring>

#include "image/failure.h"

namespace corvane::ui {
namespace {

using image::ScriptFailure;

[[noreturn]] void Invalid() { throw ScriptFailure(kInvalidStreamFormat); }
[[noreturn]] void ReadError() { throw ScriptFailure(kStreamReadError); }

class BinaryReader {
 public:
  explicit BinaryReader(std::string_view data) : data_(data) {}

  size_t remaining() const { return data_.size() - pos_; }

  uint8_t Peek() {
    if (remaining() < 1) ReadError();
    return static_cast<uint8_t>(data_[pos_]);
  }
  uint8_t Byte() {
    uint8_t b = Peek();
    ++pos_;
    return b;
  }
  uint64_t Unsigned(size_t n) {
    if (remaining() < n) ReadError();
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(data_[pos_ + i])) << (8 * i);
    pos_ += n;
    return v;
  }
  std::string Bytes(size_t n) {
    if (remaining() < n) ReadError();
    std::string s(data_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  std::string ShortString() { return Bytes(Byte()); }
  // A 4-byte length followed by that many units of unit_size bytes; the length is checked
  // against what remains before anything is allocated.
  size_t Length(size_t unit_size) {
    uint64_t n = Unsigned(4);
    if (n > remaining() / unit_size) ReadError();
    return static_cast<size_t>(n);
  }

  FormValue Value(int depth);
  void Properties(std::vector<FormProperty>* out, int depth);
  FormObject Object(int depth);

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

int64_t SignExtend(uint64_t v, int bytes) {
  int shift = 64 - 8 * bytes;
  return static_cast<int64_t>(v << shift) >> shift;
}

FormValue BinaryReader::Value(int depth) {
  if (depth > kMaxFormNesting) Invalid();
  uint8_t tag = Byte();
  if (tag > kLastValueTag) Invalid();
  FormValue v = FormValue::OfTag(static_cast<ValueTag>(tag));
  switch (v.tag) {
    case ValueTag::kNull:
    case ValueTag::kFalse:
    case ValueTag::kTrue:
    case ValueTag::kNil:
      break;
    case ValueTag::kList:
      while (Peek() != 0) v.list.push_back(Value(depth + 1));
      Byte();
      break;
    case ValueTag::kInt8:
      v.integer = SignExtend(Unsigned(1), 1);
      break;
    case ValueTag::kInt16:
      v.integer = SignExtend(Unsigned(2), 2);
      break;
    case ValueTag::kInt32:
      v.integer = SignExtend(Unsigned(4), 4);
      break;
    case ValueTag::kInt64:
      v.integer = static_cast<int64_t>(Unsigned(8));
      break;
    case ValueTag::kExtended:
      v.bits = Unsigned(8);
      v.exponent = static_cast<uint16_t>(Unsigned(2));
      break;
    case ValueTag::kSingle:
      v.bits = Unsigned(4);
      break;
    case ValueTag::kCurrency:
      v.integer = static_cast<int64_t>(Unsigned(8));
      break;
    case ValueTag::kDate:
    case ValueTag::kDouble:
      v.bits = Unsigned(8);
      break;
    case ValueTag::kString:
    case ValueTag::kIdent:
      v.text = ShortString();
      break;
    case ValueTag::kBinary:
    case ValueTag::kLString:
    case ValueTag::kUtf8String:
      v.text = Bytes(Length(1));
      break;
    case ValueTag::kWString: {
      size_t n = Length(2);
      v.wide.resize(n);
      for (size_t i = 0; i < n; ++i) v.wide[i] = static_cast<char16_t>(Unsigned(2));
      break;
    }
    case ValueTag::kSet:
      for (;;) {
        std::string member = ShortString();
        if (member.empty()) break;
        v.members.push_back(std::move(member));
      }
      break;
    case ValueTag::kCollection:
      while (Peek() != 0) {
        CollectionItem item;
        uint8_t next = Peek();
        if (next == uint8_t(ValueTag::kInt8) || next == uint8_t(ValueTag::kInt16) ||
            next == uint8_t(ValueTag::kInt32)) {
          FormValue order = Value(depth + 1);
          item.order_tag = order.tag;
          item.order = order.integer;
        }
        // Item properties open with a list tag (written by WriteBinaryStream, so that an item
        // without an order value whose first property name is 2 to 4 characters long is not
        // taken for one). Streams without the marker are read too: there a one-character
        // property name cannot start an item.
        if (Peek() == uint8_t(ValueTag::kList)) Byte();
        Properties(&item.properties, depth + 1);
        v.items.push_back(std::move(item));
      }
      Byte();
      break;
  }
  return v;
}

void BinaryReader::Properties(std::vector<FormProperty>* out, int depth) {
  for (;;) {
    std::string name = ShortString();
    if (name.empty()) return;
    FormValue value = Value(depth + 1);
    out->push_back({std::move(name), std::move(value)});
  }
}

FormObject BinaryReader::Object(int depth) {
  if (depth > kMaxFormNesting) Invalid();
  FormObject obj;
  if ((Peek() & 0xF0) == 0xF0) {
    obj.flags = Byte() & 0x0F;
    if (obj.flags & object_flags::kChildPos) {
      FormValue pos = Value(depth + 1);
      if (pos.tag != ValueTag::kInt8 && pos.tag != ValueTag::kInt16 && pos.tag != ValueTag::kInt32)
        Invalid();
      obj.child_pos = pos.integer;
    }
  }
  obj.class_name = ShortString();
  obj.name = ShortString();
  Properties(&obj.properties, depth);
  while (Peek() != 0) obj.children.push_back(Object(depth + 1));
  Byte();
  return obj;
}

class BinaryWriter {
 public:
  std::string out;

  void Byte(uint8_t b) { out.push_back(static_cast<char>(b)); }
  void Unsigned(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void ShortString(std::string_view s) {
    if (s.size() > 255) Invalid();
    Byte(static_cast<uint8_t>(s.size()));
    out.append(s);
  }
  void Long(std::string_view s) {
    if (s.size() > UINT32_MAX) Invalid();
    Unsigned(s.size(), 4);
    out.append(s);
  }
  void Value(const FormValue& v);
  void Properties(const std::vector<FormProperty>& props) {
    for (const FormProperty& p : props) {
      if (p.name.empty()) Invalid();  // an empty name would end the list early
      ShortString(p.name);
      Value(p.value);
    }
    Byte(0);
  }
  void Object(const FormObject& obj);
};

void BinaryWriter::Value(const FormValue& v) {
  ValueTag tag = v.tag;
  if (tag == ValueTag::kString && v.text.size() > 255) tag = ValueTag::kLString;
  Byte(static_cast<uint8_t>(tag));
  switch (tag) {
    case ValueTag::kNull:
    case ValueTag::kFalse:
    case ValueTag::kTrue:
    case ValueTag::kNil:
      break;
    case ValueTag::kList:
      for (const FormValue& item : v.list) {
        if (item.tag == ValueTag::kNull) Invalid();  // it would read back as the list's end
        Value(item);
      }
      Byte(0);
      break;
    case ValueTag::kInt8:
      Unsigned(static_cast<uint64_t>(v.integer), 1);
      break;
    case ValueTag::kInt16:
      Unsigned(static_cast<uint64_t>(v.integer), 2);
      break;
    case ValueTag::kInt32:
      Unsigned(static_cast<uint64_t>(v.integer), 4);
      break;
    case ValueTag::kInt64:
    case ValueTag::kCurrency:
      Unsigned(static_cast<uint64_t>(v.integer), 8);
      break;
    case ValueTag::kExtended:
      Unsigned(v.bits, 8);
      Unsigned(v.exponent, 2);
      break;
    case ValueTag::kSingle:
      Unsigned(v.bits, 4);
      break;
    case ValueTag::kDate:
    case ValueTag::kDouble:
      Unsigned(v.bits, 8);
      break;
    case ValueTag::kString:
    case ValueTag::kIdent:
      ShortString(v.text);
      break;
    case ValueTag::kBinary:
    case ValueTag::kLString:
    case ValueTag::kUtf8String:
      Long(v.text);
      break;
    case ValueTag::kWString:
      Unsigned(v.wide.size(), 4);
      for (char16_t c : v.wide) Unsigned(c, 2);
      break;
    case ValueTag::kSet:
      for (const std::string& m : v.members) {
        if (m.empty()) Invalid();
        ShortString(m);
      }
      Byte(0);
      break;
    case ValueTag::kCollection:
      for (const CollectionItem& item : v.items) {
        if (item.order_tag != ValueTag::kNull) {
          FormValue order = FormValue::OfTag(item.order_tag);
          order.integer = item.order;
          Value(order);
        }
        Byte(static_cast<uint8_t>(ValueTag::kList));
        Properties(item.properties);
      }
      Byte(0);
      break;
  }
}

void BinaryWriter::Object(const FormObject& obj) {
  if (obj.flags != 0) {
    Byte(0xF0 | (obj.flags & 0x0F));
    if (obj.flags & object_flags::kChildPos) {
      FormValue pos = FormValue::Integer(obj.child_pos);
      if (pos.tag == ValueTag::kInt64) Invalid();
      Value(pos);
    }
  }
  // A class name of 240 characters or more would read back as a prefix byte.
  if (obj.class_name.empty() || obj.class_name.size() >= 0xF0) Invalid();
  ShortString(obj.class_name);
  ShortString(obj.name);
  Properties(obj.properties);
  for (const FormObject& child : obj.children) Object(child);
  Byte(0);
}

}  // namespace

std::string_view SkipResourceHeader(std::string_view file) {
  BinaryReader r(file);
  if (r.Byte() != 0xFF) Invalid();
  if (r.Unsigned(2) != 10) Invalid();
  size_t name_length = 0;
  while (r.Byte() != 0) {
    if (++name_length > 75) Invalid();
  }
  r.Unsigned(2);  // flags
  r.Unsigned(4);  // data size
  return file.substr(file.size() - r.remaining());
}

std::string WithResourceHeader(std::string_view resource_name, std::string_view stream) {
  BinaryWriter w;
  w.Byte(0xFF);
  w.Unsigned(10, 2);
  std::string_view name = resource_name.substr(0, 75);
  for (char c : name) w.Byte(c == 0 ? '_' : static_cast<uint8_t>(c));
  w.Byte(0);
  w.Unsigned(0x1030, 2);
  w.Unsigned(stream.size(), 4);
  w.out.append(stream);
  return std::move(w.out);
}

FormObject ReadBinaryStream(std::string_view stream) {
  BinaryReader r(stream);
  if (r.remaining() < 4) ReadError();
  if (r.Bytes(4) != "TPF0") Invalid();
  return r.Object(0);
}

std::string WriteBinaryStream(const FormObject& root) {
  BinaryWriter w;
  w.out = "TPF0";
  w.Object(root);
  return std::move(w.out);
}

}  // namespace corvane::ui
