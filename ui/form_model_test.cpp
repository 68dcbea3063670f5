#include "ui/form_model.h"

#include <gtest/gtest.h>

#include "image/failure.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

std::unique_ptr<PoolTemplate> Load(std::string_view text) {
  auto form = std::make_unique<PoolTemplate>();
  form->ReadRoot(ParseFormText(text));
  return form;
}

std::vector<std::string> Names(const PoolTemplate& form) {
  std::vector<std::string> names;
  for (const auto& c : form.all_components()) names.push_back(c->name());
  return names;
}

TEST(ControlClasses, TheThirtyNineControlClasses) {
  const auto& names = ControlClassNames();
  ASSERT_EQ(names.size(), 39u);
  for (const std::string& n : names) {
    const ControlClass* cls = FindControlClass(n);
    ASSERT_NE(cls, nullptr) << n;
    EXPECT_TRUE(cls->is_control);
    // The three properties with engine meaning exist on every control class.
    for (const char* p : {"Hint", "Tag"})
      EXPECT_TRUE(cls->FindProperty(p) != nullptr || n == "TVistaGlass") << n << "." << p;
  }
  EXPECT_NE(FindControlClass("tbutton"), nullptr);
  EXPECT_NE(FindControlClass("TImageList"), nullptr);
  EXPECT_FALSE(FindControlClass("TImageList")->is_control);
  EXPECT_EQ(FindControlClass("TForm"), nullptr);
}

TEST(FormModel, UnknownClassFailsTheLoadNamingIt) {
  try {
    Load("object F: TF\n  object X: TFancyGrid\n  end\nend");
    FAIL();
  } catch (const image::ScriptFailure& e) {
    EXPECT_STREQ(e.what(), "Class TFancyGrid not found");
  }
}

TEST(FormModel, FormDesignerComponentIsKeptWithWhateverClass) {
  auto form = Load(
      "object F: TF\n  object cmpFormDesigner: TSomethingOfTheTool\n    Grid = 8\n"
      "    Options = [a, b]\n  end\nend");
  Component* d = form->FindComponent("CMPFORMDESIGNER");
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->is_form_designer());
  EXPECT_EQ(d->class_name(), "TSomethingOfTheTool");
  EXPECT_EQ(d->GetText("Grid"), "8");
  EXPECT_EQ(d->GetText("Options"), "[a, b]");
}

TEST(FormModel, FormPropertiesAndBuiltInDesign) {
  auto form = Load("object Welcome: TWelcome\n  Caption = 'Hi'\n  ClientWidth = 495\nend");
  EXPECT_EQ(form->name(), "Welcome");
  EXPECT_EQ(form->design_class_name(), "TWelcome");
  EXPECT_EQ(form->class_name(), "TPoolTemplate");
  EXPECT_EQ(form->GetText("Caption"), "Hi");
  EXPECT_EQ(form->Integer("ClientWidth"), 495);
  EXPECT_EQ(form->GetText("BorderStyle"), "bsDialog");
  EXPECT_EQ(form->GetText("Position"), "poScreenCenter");
  EXPECT_EQ(form->GetText("Font.Name"), "MS Sans Serif");
  EXPECT_EQ(form->GetText("Font.Height"), "-11");
  EXPECT_EQ(form->GetText("Color"), "clBtnFace");
  EXPECT_EQ(form->timer().interval_ms, 1000u);
  EXPECT_TRUE(form->timer().enabled);
  EXPECT_FALSE(form->meta_timer().enabled);
}

TEST(FormModel, PropertiesAsText) {
  auto form = Load(
      "object F: TF\n"
      "  object Box: TRzCheckBox\n    Caption = 'Go'\n    Tag = 1\n  end\n"
      "  object Combo: TComboBox\n    Style = csdropdownlist\n"
      "    Items.Strings = (\n      'a'\n      'b')\n  end\n"
      "  object Next: TButton\n    Anchors = [akTop, akLeft]\n  end\nend");
  Component* box = form->FindComponent("box");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->GetText("Checked"), "False");  // the default when the definition is silent
  EXPECT_EQ(box->GetText("Enabled"), "True");
  EXPECT_EQ(box->GetText("Tag"), "1");
  EXPECT_EQ(box->GetText("Caption"), "Go");
  EXPECT_EQ(box->GetText("NoSuchProperty"), std::nullopt);
  EXPECT_TRUE(box->SetText("checked", "TRUE"));
  EXPECT_EQ(box->GetText("Checked"), "True");
  EXPECT_FALSE(box->SetText("Checked", "yes"));
  EXPECT_EQ(box->GetText("Checked"), "True");
  EXPECT_TRUE(box->SetText("Tag", "-7"));
  EXPECT_EQ(box->Integer("Tag"), -7);
  EXPECT_FALSE(box->SetText("Tag", "1.5"));
  EXPECT_FALSE(box->SetText("Nope", "1"));

  Component* combo = form->FindComponent("Combo");
  EXPECT_EQ(combo->GetText("Style"), "csDropDownList");  // the identifier as the type spells it
  EXPECT_FALSE(combo->SetText("Style", "csNothing"));
  EXPECT_EQ(combo->GetText("Items"), "a\r\nb");
  EXPECT_TRUE(combo->SetText("Items", "x\r\ny\nz"));
  EXPECT_EQ(combo->Strings("Items.Strings"), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_TRUE(combo->SetText("Color", "clRed"));
  EXPECT_TRUE(combo->SetText("Font.Color", "255"));
  EXPECT_EQ(combo->GetText("Font.Color"), "255");
  EXPECT_FALSE(combo->SetText("Color", "clNoSuchColour"));

  Component* next = form->FindComponent("Next");
  EXPECT_EQ(next->GetText("Anchors"), "[akLeft,akTop]");  // members in their type's order
  EXPECT_TRUE(next->SetText("Anchors", "[ akRight , akBottom ]"));
  EXPECT_EQ(next->GetText("Anchors"), "[akRight,akBottom]");
  EXPECT_FALSE(next->SetText("Anchors", "[akMiddle]"));
}

TEST(FormModel, UnknownPropertiesAndBadValuesAreSkipped) {
  auto form = Load(
      "object F: TF\n  NotAFormProperty = 3\n  Caption = 'kept'\n"
      "  object E: TEdit\n    Frobnicate = True\n    MaxLength = 'ten'\n    Style = 1\n"
      "    Text = 'still read'\n    MaxLength = 10\n  end\nend");
  EXPECT_EQ(form->GetText("Caption"), "kept");
  EXPECT_EQ(form->Value("NotAFormProperty"), nullptr);
  Component* e = form->FindComponent("E");
  EXPECT_EQ(e->GetText("Text"), "still read");
  EXPECT_EQ(e->Integer("MaxLength"), 10);
  EXPECT_EQ(e->settings().size(), 2u);
  EXPECT_EQ(form->skipped_properties(),
            (std::vector<std::string>{"F.NotAFormProperty", "E.Frobnicate", "E.MaxLength", "E.Style"}));
}

TEST(FormModel, ClashingNamesAreRenamed) {
  auto form = Load(
      "object F: TF\n"
      "  object Button1: TButton\n  end\n"
      "  object Button1: TButton\n  end\n"   // -> Button2
      "  object button1: TButton\n  end\n"   // names ignore case -> Button3
      "  object Button5: TBitBtn\n  end\n"
      "  object Button5: TBitBtn\n  end\n"   // the class decides: BitBtn2
      "  object Label2: TLabel\n  end\n"
      "  object Edit1: TLabel\n  end\n"
      "  object Edit1: TLabel\n  end\n"      // Label2 is taken -> Label3
      "  object TLabel\n  end\n"
      "  object : TLabel\n  end\n"           // unnamed components never clash
      "end");
  EXPECT_EQ(Names(*form), (std::vector<std::string>{"Button1", "Button2", "Button3", "Button5",
                                                    "BitBtn2", "Label2", "Edit1", "Label3", "",
                                                    ""}));
}

TEST(FormModel, RenamingSkipsNamesTakenLater) {
  // Button2 is free when the clash happens; the component named Button2 afterwards then
  // clashes in turn.
  auto form = Load(
      "object F: TF\n  object B: TButton\n  end\n  object B: TButton\n  end\n"
      "  object Button2: TButton\n  end\n  object B: TButton\n  end\nend");
  EXPECT_EQ(Names(*form), (std::vector<std::string>{"B", "Button2", "Button3", "Button4"}));
}

TEST(FormModel, TreeOwnersParentsAndFlags) {
  auto form = Load(
      "object F: TF\n"
      "  object Panel1: TPanel\n"
      "    object A: TLabel\n    end\n"
      "    object B: TLabel\n    end\n"
      "    object C: TLabel [0]\n    end\n"
      "  end\n"
      "  inline Frame: TPanel\n"
      "    object A: TButton\n    end\n"   // owned by the inline panel: no clash with A
      "    object A: TButton\n    end\n"   // clashes inside it
      "  end\n"
      "  inherited Panel1: TPanel\n"       // the existing panel, read again
      "    Caption = 'again'\n"
      "  end\n"
      "end");
  Component* panel = form->FindComponent("Panel1");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->GetText("Caption"), "again");
  ASSERT_EQ(panel->children().size(), 3u);
  EXPECT_EQ(panel->children()[0]->name(), "C");  // child position 0 puts it first
  EXPECT_EQ(panel->children()[1]->name(), "A");
  EXPECT_EQ(panel->children()[0]->parent(), panel);
  EXPECT_EQ(panel->children()[0]->owner(), form.get());
  EXPECT_EQ(panel->children()[0]->child_position(), 0);

  Component* frame = form->FindComponent("Frame");
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->owned().size(), 2u);
  EXPECT_EQ(frame->owned()[0]->name(), "A");
  EXPECT_EQ(frame->owned()[1]->name(), "Button2");
  EXPECT_EQ(frame->owned()[0]->owner(), frame);
  EXPECT_EQ(form->FindComponent("Button2"), nullptr);  // not the form's
  EXPECT_EQ(form->all_components().size(), 7u);
  EXPECT_EQ(form->owned().size(), 5u);  // Panel1, A, B, C, Frame
}

}  // namespace
}  // namespace corvane::ui
