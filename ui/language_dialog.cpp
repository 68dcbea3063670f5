#include "ui/language_dialog.h"

#include <algorithm>
#include <cmath>

#include "ui/png_encoder.h"

namespace corvane::ui {

namespace {

FormProperty Int(std::string name, int64_t value) {
  return {std::move(name), FormValue::Integer(value)};
}
FormProperty Text(std::string name, std::string value) {
  return {std::move(name), FormValue::String(std::move(value))};
}
FormProperty Ident(std::string name, std::string value) {
  return {std::move(name), FormValue::Ident(std::move(value))};
}
FormProperty Bool(std::string name, bool value) {
  return {std::move(name), FormValue::Bool(value)};
}

FormObject Control(std::string class_name, std::string name, int left, int top, int width,
                   int height) {
  FormObject o;
  o.class_name = std::move(class_name);
  o.name = std::move(name);
  o.properties = {Int("Left", left), Int("Top", top), Int("Width", width), Int("Height", height)};
  return o;
}

// A globe of 32 by 32 pixels: a shaded sphere with its equator, two parallels and three
// meridians, on a transparent ground. `flat` draws it unshaded, as the older systems drew.
std::string GlobePicture(bool flat) {
  constexpr uint32_t kSide = 32;
  constexpr double kCentre = 15.5, kRadius = 14.5;
  platform::Picture p;
  p.width = p.height = kSide;
  p.rgba.assign(kSide * kSide * 4, 0);
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) {
      const double dx = x - kCentre, dy = y - kCentre;
      const double d = std::hypot(dx, dy);
      if (d > kRadius + 0.5) continue;
      // Lit from the upper left.
      const double shade =
          flat ? 0.85 : std::clamp(1.0 - std::hypot(dx + 5, dy + 5) / 28.0, 0.45, 1.0);
      double rgb[3] = {40 * shade, 110 * shade, 210 * shade};
      const double half_width = std::sqrt(std::max(0.0, kRadius * kRadius - dy * dy));
      const bool grid = std::fabs(dy) < 0.7 || std::fabs(std::fabs(dy) - 8) < 0.7 ||
                        std::fabs(dx) < 0.7 || std::fabs(std::fabs(dx) - 0.55 * half_width) < 0.7;
      if (grid) rgb[0] = 205, rgb[1] = 228, rgb[2] = 250;
      if (d > kRadius - 1) rgb[0] = 20, rgb[1] = 50, rgb[2] = 120;  // the rim
      uint8_t* px = p.rgba.data() + (static_cast<size_t>(y) * kSide + x) * 4;
      for (int i = 0; i < 3; ++i) px[i] = static_cast<uint8_t>(rgb[i]);
      px[3] = static_cast<uint8_t>(255 * std::clamp(kRadius + 0.5 - d, 0.0, 1.0));
    }
  }
  return std::string("\x09TPngImage", 10) + EncodePng(p);
}

}  // namespace

FormObject LanguageDialogDefinition(const std::vector<std::string>& names, DialogHooks& hooks,
                                    const platform::OsVersion& version) {
  const bool xp_or_later = version.major > 5 || (version.major == 5 && version.minor != 0);
  FormObject form;
  form.class_name = "TSetLanguage";
  form.name = kLanguageDialogName;
  form.properties = {
      Int("Left", 0),
      Int("Top", 0),
      Ident("BorderStyle", "bsDialog"),
      Text("Caption", hooks.Message(image::msg::kSelectLanguageCaption)),
      Int("ClientHeight", 128),
      Int("ClientWidth", 360),
      Ident("Color", "clBtnFace"),
      Ident("Font.Charset", "DEFAULT_CHARSET"),
      Ident("Font.Color", "clWindowText"),
      Int("Font.Height", -11),
      Text("Font.Name", "Tahoma"),
      {"Font.Style", FormValue::OfTag(ValueTag::kSet)},
      Ident("Position", "poScreenCenter"),
      Int("PixelsPerInch", 96),
      Int("TextHeight", 13),
      Text("Hint", "TSetLanguage"),
  };
  for (const auto& [name, shown] :
       {std::pair<const char*, bool>{"PictureNew", xp_or_later}, {"PictureOld", !xp_or_later}}) {
    FormObject picture = Control("TImage", name, 12, 14, 32, 32);
    FormValue data = FormValue::OfTag(ValueTag::kBinary);
    data.text = GlobePicture(!xp_or_later);
    picture.properties.push_back({"Picture.Data", data});
    picture.properties.push_back(Bool("Transparent", true));
    picture.properties.push_back(Bool("Visible", shown));
    form.children.push_back(std::move(picture));
  }
  FormObject label = Control("TLabel", "LanguageLabel", 56, 14, 292, 32);
  label.properties.push_back(Bool("AutoSize", false));
  label.properties.push_back(Text("Caption", hooks.Message(image::msg::kSelectLanguageText)));
  label.properties.push_back(Bool("WordWrap", true));
  form.children.push_back(std::move(label));

  FormObject list = Control("TComboBox", "LanguageList", 56, 52, 292, 21);
  list.properties.push_back(Ident("Style", "csDropDownList"));
  list.properties.push_back(Int("ItemHeight", 13));
  FormValue items = FormValue::OfTag(ValueTag::kList);
  for (const std::string& n : names) items.list.push_back(FormValue::String(n));
  list.properties.push_back({"Items.Strings", items});
  list.properties.push_back(Int("TabOrder", 0));
  form.children.push_back(std::move(list));

  FormObject ok = Control("TButton", "ButtonOK", 192, 92, 75, 25);
  ok.properties.push_back(Text("Caption", hooks.Message(image::msg::kOk)));
  ok.properties.push_back(Bool("Default", true));
  ok.properties.push_back(Int("TabOrder", 1));
  ok.properties.push_back(Int("Tag", 1));  // closes the dialog as Next does
  form.children.push_back(std::move(ok));

  FormObject cancel = Control("TButton", "ButtonCancel", 273, 92, 75, 25);
  cancel.properties.push_back(Bool("Cancel", true));
  cancel.properties.push_back(Text("Caption", hooks.Message(image::msg::kCancel)));
  cancel.properties.push_back(Int("TabOrder", 2));
  cancel.properties.push_back(Int("Tag", 5));  // closes the dialog with its own name
  form.children.push_back(std::move(cancel));
  return form;
}

std::unique_ptr<PoolTemplate> MakeLanguageDialog(const std::vector<std::string>& names,
                                                 DialogHooks& hooks,
                                                 const platform::OsVersion& version) {
  auto form = std::make_unique<PoolTemplate>();
  form->ReadRoot(LanguageDialogDefinition(names, hooks, version));
  return form;
}

}  // namespace corvane::ui
