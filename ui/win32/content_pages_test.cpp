// The language dialog and the content pages on a real screen (Wine on a virtual X screen): the
// language dialog as the session start builds it, a licence in formatted text that must be read
// to its end (with the wheel) before Next may be pressed, a licence short enough to be read at
// once, and our own HTML viewer with a heading, a list, a link and a picture. Each is
// photographed into the build tree.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "image/language_names.h"
#include "platform/text.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_windows.h"
#include "tests/support/host_path.h"
#include "ui/form_text.h"
#include "ui/language_dialog.h"
#include "ui/png_encoder.h"
#include "ui/property_rules.h"
#include "ui/win32/control_view.h"
#include "ui/win32/win32_presenter.h"
#include "ui/win32/window_capture.h"

namespace corvane::ui::win32 {
namespace {

std::string ShotsFolder() { return testing::HostPath(SHOTS_DIR); }

// The folder the pages of a test are written to (the dialog folder of its dialogs), one per test.
std::string PagesFolder() {
  const std::string folder =
      testing::HostPath(std::string(SHOTS_DIR) + "-content-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string TextOf(HWND h) {
  char text[4096] = {};
  GetWindowTextA(h, text, sizeof text);
  return text;
}

// What the links of a page start, recorded.
class RecordingHooks : public DialogHooks {
 public:
  std::vector<std::string> started;
  void PlaySound(const std::string& p) override { started.push_back("sound:" + p); }
  void RunProgram(const std::string& c) override { started.push_back("run:" + c); }
  void OpenDocument(const std::string& a) override { started.push_back("open:" + a); }
};

class ContentPagesTest : public ::testing::Test {
 protected:
  ContentPagesTest()
      : platform_(platform::CreateWin32Platform()),
        engine_(vars_, platform_->files(), platform_->ui(), &hooks_, nullptr, nullptr) {
    vars_.SetVariable("TITLE", "Hello", "Test");
    presenter_ = std::make_unique<Win32Presenter>(windows_, platform_->pictures());
  }
  ~ContentPagesTest() override { presenter_.reset(); }

  DialogRuntime& Load(const std::string& text, const std::string& rules = "") {
    auto form = std::make_unique<PoolTemplate>();
    form->ReadRoot(ParseFormText(text));
    form->SetValue("Hint", FormValue::String("Content.dfm"));
    form->rules() = SplitRuleLines(rules);
    return Adopt(std::move(form));
  }
  DialogRuntime& Adopt(std::unique_ptr<PoolTemplate> form) {
    runtimes_.push_back(std::make_unique<DialogRuntime>(engine_, *form));
    forms_.push_back(std::move(form));
    return *runtimes_.back();
  }
  void Display(DialogRuntime& d) {
    d.Prepare();
    presenter_->Show(d);
    d.Shown();
    d.BeginModal();
    Pump(d);
  }
  void Pump(DialogRuntime& d) {
    MSG msg;
    for (int i = 0; i < 500 && d.result_code() == result::kOpen &&
                    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
         ++i) {
      presenter_->HandleOneMessage();
    }
  }
  HWND Control(DialogRuntime& d, const std::string& name) {
    ControlView* v = presenter_->DialogWindowOf(d)->FindByName(name);
    EXPECT_NE(v, nullptr) << name;
    return v ? v->hwnd() : nullptr;
  }
  ControlState& State(DialogRuntime& d, const std::string& name) { return *d.Find(name); }

  platform::Picture Photograph(DialogRuntime& d, const std::string& name) {
    HWND top = presenter_->WindowOf(d);
    SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    auto picture = CaptureWindow(top);
    EXPECT_TRUE(picture.has_value()) << name;
    if (!picture) return {};
    CreateDirectoryA(ShotsFolder().c_str(), nullptr);
    WriteFile(ShotsFolder() + "\\" + name + ".png", EncodePng(*picture));
    return *picture;
  }

  // A dialog of the wizard's size with one content control and the buttons.
  static std::string Form(const std::string& caption, const std::string& content) {
    return "object Content: TContent\n"
           "  Left = 0\n  Top = 0\n  BorderStyle = bsDialog\n"
           "  Caption = '" +
           caption +
           "'\n"
           "  ClientHeight = 360\n  ClientWidth = 495\n  Color = clBtnFace\n"
           "  Font.Height = -11\n  Font.Name = 'Tahoma'\n  TextHeight = 13\n" +
           content +
           "  object ButtonBack: TButton\n    Left = 232\n    Top = 326\n    Width = 75\n"
           "    Height = 25\n    Caption = '< &Back'\n    Tag = 2\n  end\n"
           "  object ButtonNext: TButton\n    Left = 320\n    Top = 326\n    Width = 75\n"
           "    Height = 25\n    Caption = '&Next >'\n    Default = True\n    Enabled = False\n"
           "    Tag = 1\n  end\n"
           "  object ButtonCancel: TButton\n    Left = 408\n    Top = 326\n    Width = 75\n"
           "    Height = 25\n    Caption = 'Cancel'\n    Tag = 3\n  end\n"
           "end\n";
  }

  interp::Variables vars_;
  std::unique_ptr<platform::Platform> platform_;
  platform::win32::Win32WindowService windows_;
  RecordingHooks hooks_;
  DialogEngine engine_;
  std::unique_ptr<Win32Presenter> presenter_;
  std::vector<std::unique_ptr<PoolTemplate>> forms_;
  std::vector<std::unique_ptr<DialogRuntime>> runtimes_;
};

TEST_F(ContentPagesTest, TheLanguageDialog) {
  platform::OsVersion xp;
  xp.major = 10;
  DialogRuntime& d = Adopt(MakeLanguageDialog({"Dutch", "English", "German"}, hooks_, xp));
  d.Prepare();
  d.form_state().text = hooks_.Message(image::msg::kSelectLanguageCaption);
  d.Find("LanguageList")->SelectOnly(1);
  d.Find("LanguageList")->text = "English";
  presenter_->Show(d);
  d.BeginModal();
  Pump(d);
  EXPECT_EQ(TextOf(presenter_->WindowOf(d)), "Select Setup Language");
  EXPECT_EQ(TextOf(Control(d, "LanguageLabel")),
            "Please select the language to use during the installation:");
  HWND list = Control(d, "LanguageList");
  EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(TextOf(Control(d, "ButtonOK")), "&OK");
  EXPECT_EQ(TextOf(Control(d, "ButtonCancel")), "&Cancel");
  EXPECT_TRUE(IsWindowVisible(Control(d, "PictureNew")));
  EXPECT_FALSE(IsWindowVisible(Control(d, "PictureOld")));
  platform::Picture shot = Photograph(d, "SetLanguage");
  EXPECT_GT(shot.width, 300u);

  // A choice in the list, then Enter: the default button closes with the choice.
  SendMessageA(list, CB_SETCURSEL, 2, 0);
  SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  EXPECT_EQ(State(d, "LanguageList").item_index, 2);
  SendMessageA(Control(d, "ButtonOK"), BM_CLICK, 0, 0);
  EXPECT_EQ(d.result_code(), result::kNext);
}

// A licence in formatted text that does not fit: Next stays disabled until the wheel has
// brought its end into view.
TEST_F(ContentPagesTest, WheelingTheLicenceToItsEndEnablesNext) {
  const std::string folder = PagesFolder();
  std::ostringstream rtf;
  rtf << "{\\rtf1\\ansi{\\fonttbl{\\f0 Tahoma;}}{\\colortbl;\\red0\\green0\\blue128;}"
         "\\f0\\fs16{\\cf1\\b\\fs20 END USER LICENCE AGREEMENT}\\par\\par "
         "Read these terms before you install {\\i Hello}.\\par\\par ";
  for (int i = 1; i <= 60; ++i) {
    rtf << "{\\b " << i << ".} The terms of clause " << i << " apply to every copy.\\par ";
  }
  rtf << "}";
  WriteFile(folder + "license.rtf", rtf.str());
  engine_.dialog_folder = folder;
  DialogRuntime& d =
      Load(Form("Licence Agreement",
                "  object Licence: TRichEdit\n    Left = 16\n    Top = 16\n    Width = 463\n"
                "    Height = 290\n    ReadOnly = True\n    ScrollBars = ssVertical\n    Tag = 2\n"
                "  end\n"),
           "IF (Licence.MaxLength = 2147483647)  THEN  ButtonNext.Enabled := True;");
  Display(d);
  HWND text = Control(d, "Licence");
  EXPECT_NE(TextOf(text).find("clause 60"), std::string::npos) << "the licence was streamed in";
  EXPECT_EQ(TextOf(text).find("\\par"), std::string::npos) << "as formatted text";
  EXPECT_FALSE(IsWindowEnabled(Control(d, "ButtonNext"))) << "the licence does not fit";
  Photograph(d, "Licence-unread");

  RECT r;
  GetWindowRect(text, &r);
  int notches = 0;
  for (; notches < 200 && State(d, "Licence").max_length != kReadToEnd; ++notches) {
    SendMessageA(text, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)),
                 MAKELPARAM(r.left + 20, r.top + 20));
    if (notches == 0) {
      EXPECT_FALSE(IsWindowEnabled(Control(d, "ButtonNext"))) << "not at the end yet";
    }
  }
  EXPECT_GT(notches, 1);
  EXPECT_EQ(State(d, "Licence").max_length, kReadToEnd);
  EXPECT_TRUE(IsWindowEnabled(Control(d, "ButtonNext")));
  Photograph(d, "Licence-read");
}

// A licence whose text fits without scrolling has nothing to be scrolled to: it counts as read
// as soon as it is shown.
TEST_F(ContentPagesTest, ALicenceThatFitsIsReadAtOnce) {
  const std::string folder = PagesFolder();
  WriteFile(folder + "license.txt", "Short terms.\r\nUse it well.\r\n");
  engine_.dialog_folder = folder;
  DialogRuntime& d =
      Load(Form("Licence Agreement",
                "  object Licence: TRichEdit\n    Left = 16\n    Top = 16\n    Width = 463\n"
                "    Height = 290\n    ReadOnly = True\n    ScrollBars = ssVertical\n    Tag = 2\n"
                "  end\n"),
           "IF (Licence.MaxLength = 2147483647)  THEN  ButtonNext.Enabled := True;");
  Display(d);
  const ScrollMetrics& m = State(d, "Licence").scroll;
  EXPECT_EQ(State(d, "Licence").max_length, kReadToEnd)
      << "scroll " << m.position << " page " << m.page << " of " << m.maximum;
  EXPECT_TRUE(IsWindowEnabled(Control(d, "ButtonNext")));
}

// Our own page viewer: a heading, a list, a link and a picture; a link to another page of the
// setup is followed by the viewer, a link to a program goes to the engine.
TEST_F(ContentPagesTest, TheHtmlViewerShowsAPageAndFollowsItsLinks) {
  const std::string folder = PagesFolder();
  // A picture of 96 by 48: a blue field with a white band.
  platform::Picture logo;
  logo.width = 96;
  logo.height = 48;
  logo.rgba.resize(96 * 48 * 4);
  for (uint32_t y = 0; y < 48; ++y) {
    for (uint32_t x = 0; x < 96; ++x) {
      uint8_t* p = logo.rgba.data() + (y * 96 + x) * 4;
      const bool band = y >= 20 && y < 28;
      p[0] = band ? 255 : 30;
      p[1] = band ? 255 : 90;
      p[2] = band ? 255 : 200;
      p[3] = 255;
    }
  }
  WriteFile(folder + "logo.png", EncodePng(logo));
  WriteFile(folder + "index.htm",
            "<html><head><title>Read me</title></head><body>"
            "<h1>Hello World</h1>"
            "<p>Thank you for choosing <b>Hello</b>. This page is shown by the setup's own "
            "viewer, in <i>Tahoma</i>.</p>"
            "<img src=\"logo.png\" alt=\"Logo\">"
            "<ul><li>Small and fast</li><li>Easy to use</li><li>Free of charge</li></ul>"
            "<p>Read the <a href=\"notes.htm\">release notes</a> or "
            "<a href=\"setup.exe /q\">run the tool</a>.</p></body></html>");
  WriteFile(folder + "notes.htm", "<h2>Release notes</h2><p>Version 1.0.</p>");
  engine_.dialog_folder = folder;
  DialogRuntime& d = Load(Form(
      "Read Me",
      "  object Page: THTMLViewer\n    Left = 16\n    Top = 16\n    Width = 463\n"
      "    Height = 290\n    DefFontName = 'Tahoma'\n    DefFontSize = 9\n    Tag = 1\n  end\n"));
  Display(d);
  HWND page = Control(d, "Page");
  char cls[64] = {};
  GetClassNameA(page, cls, sizeof cls);
  EXPECT_STREQ(cls, "CorvaneHtml");
  EXPECT_EQ(State(d, "Page").page, folder + "index.htm");
  platform::Picture shot = Photograph(d, "HtmlPage");
  // The picture is there: a run of its blue in the photograph.
  size_t blue = 0;
  for (size_t i = 0; i + 3 < shot.rgba.size(); i += 4) {
    if (shot.rgba[i] == 30 && shot.rgba[i + 1] == 90 && shot.rgba[i + 2] == 200) ++blue;
  }
  EXPECT_GT(blue, 96u * 30) << "the page's picture was drawn";

  // The links, found where they are drawn by clicking along the viewer's lines: from the right
  // the program's link comes first (the engine starts it, the page stays), then from the left
  // the page's (the viewer shows the other page).
  RECT c;
  GetClientRect(page, &c);
  auto click = [&](int x, int y) {
    SendMessageA(page, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(page, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  };
  for (int y = c.bottom - 2; y > 0 && hooks_.started.empty(); y -= 3) {
    for (int x = c.right - 2; x > 0 && hooks_.started.empty(); x -= 4) click(x, y);
  }
  ASSERT_EQ(hooks_.started.size(), 1u);
  EXPECT_EQ(hooks_.started[0], "run:\"" + folder + "setup.exe\" /q");
  EXPECT_EQ(State(d, "Page").page, folder + "index.htm");
  for (int y = 2; y < c.bottom && State(d, "Page").page == folder + "index.htm"; y += 3) {
    for (int x = 2; x < c.right && State(d, "Page").page == folder + "index.htm"; x += 4) {
      click(x, y);
    }
  }
  EXPECT_EQ(State(d, "Page").page, folder + "notes.htm");
  EXPECT_EQ(hooks_.started.size(), 1u);
  Photograph(d, "HtmlPage-notes");
}

// A page that moves on by itself: after its delay the viewer shows the other page and the dialog
// takes that page's title.
TEST_F(ContentPagesTest, AMetaRefreshMovesThePageOnAfterItsDelay) {
  const std::string folder = PagesFolder();
  WriteFile(folder + "index.htm",
            "<meta http-equiv=\"refresh\" content=\"1; url=next%2Ehtm\"><p>Wait a moment.</p>");
  WriteFile(folder + "next.htm", "<title>The next page</title><h2>Here we are</h2>");
  engine_.dialog_folder = folder;
  DialogRuntime& d =
      Load(Form("Pages",
                "  object Page: THTMLViewer\n    Left = 16\n    Top = 16\n    Width = 463\n"
                "    Height = 290\n    Tag = 1\n  end\n"));
  const DWORD start = GetTickCount();
  Display(d);
  ASSERT_TRUE(d.pending_refresh().has_value());
  // The timer's message comes after a second; the wait is bounded by the clock.
  while (State(d, "Page").page != folder + "next.htm" && GetTickCount() - start < 10000) {
    presenter_->HandleOneMessage();
  }
  EXPECT_EQ(State(d, "Page").page, folder + "next.htm");
  EXPECT_GE(GetTickCount() - start, 900u) << "not before its delay";
  EXPECT_EQ(TextOf(presenter_->WindowOf(d)), "The next page");
  Photograph(d, "HtmlPage-refreshed");
}

// Under Wine the user's language follows the prefix's locale: this suite's second run has a
// Swiss German one (LC_ALL=de_CH.UTF-8), whose language the table names through its English
// name.
TEST_F(ContentPagesTest, TheUserLanguageFollowsTheLocale) {
  const char* expected = std::getenv("CORVANE_EXPECT_LANGUAGE");
  if (!expected) GTEST_SKIP() << "run with a locale of its own only";
  platform::SystemInfo& system = platform_->system();
  EXPECT_EQ(std::to_string(system.UserLocaleLanguage()), std::getenv("CORVANE_EXPECT_LOCALE"));
  EXPECT_EQ(image::UserLanguageName(system), expected);
  EXPECT_EQ(image::UserDefaultLanguageName(system), expected);
}

}  // namespace
}  // namespace corvane::ui::win32
