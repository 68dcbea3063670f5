// List boxes, combo boxes, check lists and trees (the component tree with its state images and
// state menu).
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

#include "platform/text.h"
#include "platform/win32/system_library.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

bool Is(const Component& c, const char* property, const char* value) {
  return platform::SameText(c.GetText(property).value_or(""), value);
}

// Items of a list or combo window, replaced only when they changed.
class ItemsView : public ControlView {
 public:
  ItemsView(DialogWindow& d, ControlState& s, bool combo) : ControlView(d, s), combo_(combo) {}
  bool TabStop() const override { return true; }

 protected:
  // True when the items were put in again (the selection must be set again too).
  bool SyncItems() {
    if (synced_ && state_.items == drawn_items_) return false;
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(hwnd_, combo_ ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    for (const std::string& item : state_.items) {
      SendMessageA(hwnd_, combo_ ? CB_ADDSTRING : LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
    drawn_items_ = state_.items;
    synced_ = true;
    return true;
  }
  void SyncIndex(bool force) {
    if (!force && state_.item_index == drawn_index_) return;
    SendMessageA(hwnd_, combo_ ? CB_SETCURSEL : LB_SETCURSEL,
                 static_cast<WPARAM>(state_.item_index), 0);
    drawn_index_ = state_.item_index;
  }
  int Current() const {
    return static_cast<int>(SendMessageA(hwnd_, combo_ ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
  }

  bool combo_;
  bool synced_ = false;
  std::vector<std::string> drawn_items_;
  int drawn_index_ = -2;
};

class ListBoxView : public ItemsView {
 public:
  ListBoxView(DialogWindow& d, ControlState& s) : ItemsView(d, s, false) {}
  void Create(HWND parent, const RECT& r) override {
    multi_ = Is(state_.component(), "MultiSelect", "True");
    DWORD style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | LBS_HASSTRINGS;
    if (multi_) style |= LBS_EXTENDEDSEL;
    MakeChild("ListBox", "", style, WS_EX_CLIENTEDGE, parent, r);
  }
  void Sync() override {
    const bool refilled = SyncItems();
    if (multi_) {
      if (refilled || state_.item_selected != drawn_selected_) {
        for (size_t i = 0; i < state_.items.size(); ++i) {
          const bool on = i < state_.item_selected.size() && state_.item_selected[i];
          SendMessageA(hwnd_, LB_SETSEL, on ? TRUE : FALSE, static_cast<LPARAM>(i));
        }
        drawn_selected_ = state_.item_selected;
      }
    } else {
      SyncIndex(refilled);
    }
    SyncCommon();
  }
  void Command(int code) override {
    if (code != LBN_SELCHANGE) return;
    const std::string name = state_.name();
    if (multi_) {
      std::vector<int> picked;
      const int n = static_cast<int>(SendMessageA(hwnd_, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < n; ++i) {
        if (SendMessageA(hwnd_, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) picked.push_back(i);
      }
      dialog_.Input([&](DialogRuntime& d) { d.PickItems(name, picked); });
    } else {
      const int index = Current();
      drawn_index_ = index;
      dialog_.Input([&](DialogRuntime& d) { d.PickItem(name, index); });
    }
  }

 private:
  bool multi_ = false;
  std::vector<bool> drawn_selected_;
};

class ComboView : public ItemsView {
 public:
  ComboView(DialogWindow& d, ControlState& s) : ItemsView(d, s, true) {}
  void Create(HWND parent, const RECT& r) override {
    list_only_ = Is(state_.component(), "Style", "csDropDownList");
    RECT drop = r;
    drop.bottom = r.top + 220;  // the field and its drop-down list
    MakeChild("ComboBox", "",
              (list_only_ ? CBS_DROPDOWNLIST : CBS_DROPDOWN | CBS_AUTOHSCROLL) | WS_VSCROLL |
                  CBS_HASSTRINGS,
              0, parent, drop);
    drawn_text_ = "\x01";
  }
  void Sync() override {
    const bool refilled = SyncItems();
    SyncIndex(refilled);
    if (!list_only_ && (state_.item_index < 0 || refilled)) SyncText(state_.text);
    SyncCommon();
  }
  void Command(int code) override {
    const std::string name = state_.name();
    if (code == CBN_SELCHANGE) {
      const int index = Current();
      drawn_index_ = index;
      dialog_.Input([&](DialogRuntime& d) { d.PickItem(name, index); });
    } else if (code == CBN_EDITCHANGE && !list_only_) {
      char buffer[1024] = {};
      GetWindowTextA(hwnd_, buffer, sizeof buffer);
      const std::string typed = buffer;
      drawn_text_ = typed;
      dialog_.Input([&](DialogRuntime& d) { d.SetText(name, typed); });
    }
  }

 private:
  bool list_only_ = false;
};

// TCheckListBox: an owner-drawn list whose items carry a check box; a click on the box or the
// space bar toggles it.
class CheckListView : public ItemsView {
 public:
  CheckListView(DialogWindow& d, ControlState& s) : ItemsView(d, s, false) {}
  void Create(HWND parent, const RECT& r) override {
    MakeChild("ListBox", "",
              LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | LBS_OWNERDRAWFIXED |
                  LBS_HASSTRINGS,
              WS_EX_CLIENTEDGE, parent, r);
    Subclass(hwnd_);
  }
  void Sync() override {
    const bool refilled = SyncItems();
    SyncIndex(refilled);
    if (refilled || state_.item_checked != drawn_checked_) {
      drawn_checked_ = state_.item_checked;
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
    SyncCommon();
  }
  void Command(int code) override {
    if (code != LBN_SELCHANGE) return;
    const int index = Current();
    drawn_index_ = index;
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.PickItem(name, index); });
  }
  void DrawItem(const DRAWITEMSTRUCT& item) override {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const size_t i = item.itemID;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    const int box = r.bottom - r.top - 2;
    RECT check = {r.left + 2, r.top + 1, r.left + 2 + box, r.top + 1 + box};
    const bool on = i < state_.item_checked.size() && state_.item_checked[i];
    DrawFrameControl(dc, &check, DFC_BUTTON,
                     DFCS_BUTTONCHECK | DFCS_FLAT | (on ? DFCS_CHECKED : 0) |
                         (state_.enabled ? 0 : DFCS_INACTIVE));
    RECT text = {check.right + 4, r.top, r.right, r.bottom};
    const std::string caption = i < state_.items.size() ? state_.items[i] : std::string();
    RECT measure = text;
    DrawTextA(dc, caption.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    RECT mark = {text.left - 1, r.top, std::min(measure.right + 2, r.right), r.bottom};
    if (selected) FillRect(dc, &mark, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, !state_.enabled ? GetSysColor(COLOR_GRAYTEXT)
                     : selected      ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                     : GetSysColor(COLOR_WINDOWTEXT));
    DrawTextA(dc, caption.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &mark);
  }
  void After(UINT msg, WPARAM wp, LPARAM lp) override {
    int index = -1;
    if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
      const LRESULT hit = SendMessageA(hwnd_, LB_ITEMFROMPOINT, 0, lp);
      const int height = static_cast<int>(SendMessageA(hwnd_, LB_GETITEMHEIGHT, 0, 0));
      if (HIWORD(hit) == 0 && GET_X_LPARAM(lp) < height + 2) index = LOWORD(hit);
    } else if (msg == WM_CHAR && wp == ' ') {
      index = Current();
    }
    if (index < 0 || static_cast<size_t>(index) >= state_.items.size()) return;
    const bool on = static_cast<size_t>(index) < state_.item_checked.size() &&
                    state_.item_checked[static_cast<size_t>(index)];
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.CheckItem(name, index, !on); });
  }

 private:
  std::vector<bool> drawn_checked_;
};

// The component image list: six pictures of 32 x 16 pixels. 0 and 1 carry a drop-down mark
// (not selected, selected), 2 to 5 illustrate the state menu (a red cross; with two small
// circles for the sub-components; a hard-disk drive; with the circles).
HIMAGELIST ComponentImages() {
  static HIMAGELIST list = nullptr;
  if (list) return list;
  const int w = 32, h = 16;
  // The image list functions come from the system folder's common controls (never a copy
  // beside the setup).
  using CreateFn = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
  using AddFn = int(WINAPI*)(HIMAGELIST, HBITMAP, COLORREF);
  auto create = platform::win32::SystemProc<CreateFn>("comctl32.dll", "ImageList_Create");
  auto add_masked = platform::win32::SystemProc<AddFn>("comctl32.dll", "ImageList_AddMasked");
  if (!create || !add_masked) return nullptr;
  list = create(w, h, ILC_COLOR24 | ILC_MASK, 6, 0);
  if (!list) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  const COLORREF mask = RGB(255, 0, 255);
  HBRUSH mask_brush = CreateSolidBrush(mask);
  for (int image = 0; image < 6; ++image) {
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all = {0, 0, w, h};
    FillRect(dc, &all, mask_brush);
    const bool drive = image == 1 || image == 4 || image == 5;
    if (drive) {
      // A drive: a grey box with a dark edge and a green light.
      RECT body = {1, 4, 15, 12};
      HBRUSH grey = CreateSolidBrush(RGB(192, 192, 192));
      FillRect(dc, &body, grey);
      DeleteObject(grey);
      FrameRect(dc, &body, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      RECT slot = {3, 9, 10, 10};
      FillRect(dc, &slot, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
      RECT led = {11, 8, 13, 10};
      HBRUSH green = CreateSolidBrush(RGB(0, 192, 0));
      FillRect(dc, &led, green);
      DeleteObject(green);
    } else {
      // A red cross.
      HPEN red = CreatePen(PS_SOLID, 3, RGB(220, 0, 0));
      HGDIOBJ old_pen = SelectObject(dc, red);
      MoveToEx(dc, 3, 3, nullptr);
      LineTo(dc, 12, 12);
      MoveToEx(dc, 12, 3, nullptr);
      LineTo(dc, 3, 12);
      SelectObject(dc, old_pen);
      DeleteObject(red);
    }
    if (image <= 1) {
      // The drop-down mark: a small black triangle.
      POINT tri[3] = {{18, 6}, {26, 6}, {22, 10}};
      HGDIOBJ old_brush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
      HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
      Polygon(dc, tri, 3);
      SelectObject(dc, old_brush);
      SelectObject(dc, old_pen);
    } else if (image == 3 || image == 5) {
      HBRUSH blue = CreateSolidBrush(RGB(0, 0, 192));
      HGDIOBJ old_brush = SelectObject(dc, blue);
      HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
      Ellipse(dc, 18, 3, 24, 9);
      Ellipse(dc, 24, 8, 30, 14);
      SelectObject(dc, old_brush);
      SelectObject(dc, old_pen);
      DeleteObject(blue);
    }
    SelectObject(dc, old);
    add_masked(list, bmp, mask);
    DeleteObject(bmp);
  }
  DeleteObject(mask_brush);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return list;
}

class TreeView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    DWORD style = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
    if (Is(state_.component(), "HideSelection", "True")) style &= ~TVS_SHOWSELALWAYS;
    MakeChild(WC_TREEVIEWA, "", style, WS_EX_CLIENTEDGE, parent, r);
    if (state_.tag() == 1) {
      SendMessageA(hwnd_, TVM_SETIMAGELIST, TVSIL_NORMAL,
                   reinterpret_cast<LPARAM>(ComponentImages()));
    }
    Subclass(hwnd_);
  }
  void Sync() override {
    std::string shape;
    for (const TreeNode& n : state_.nodes) {
      shape += n.text + '\x01' + std::to_string(n.parent) + '\x02';
    }
    if (shape != drawn_shape_) {
      Rebuild();
      drawn_shape_ = shape;
    } else {
      for (size_t i = 0; i < state_.nodes.size() && i < items_.size(); ++i) {
        if (i < drawn_images_.size() && drawn_images_[i] == state_.nodes[i].image) continue;
        TVITEMA item = {};
        item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
        item.hItem = items_[i];
        item.iImage = item.iSelectedImage = std::max(state_.nodes[i].image, 0);
        SendMessageA(hwnd_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      }
    }
    drawn_images_.clear();
    for (const TreeNode& n : state_.nodes) drawn_images_.push_back(n.image);
    if (state_.selected_node != drawn_selected_) {
      HTREEITEM item = state_.selected_node >= 0 &&
                               static_cast<size_t>(state_.selected_node) < items_.size()
                           ? items_[static_cast<size_t>(state_.selected_node)]
                           : nullptr;
      SendMessageA(hwnd_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
      drawn_selected_ = state_.selected_node;
    }
    SyncCommon();
  }
  LRESULT Notify(NMHDR* header) override {
    const std::string name = state_.name();
    if (header->code == TVN_SELCHANGEDA || header->code == TVN_SELCHANGEDW) {
      auto* nm = reinterpret_cast<NMTREEVIEWA*>(header);
      const int node = static_cast<int>(nm->itemNew.lParam);
      if (node == drawn_selected_) return 0;
      drawn_selected_ = node;
      dialog_.Input([&](DialogRuntime& d) { d.SelectNode(name, node); });
    } else if (header->code == static_cast<UINT>(NM_CLICK)) {
      TVHITTESTINFO hit = {};
      GetCursorPos(&hit.pt);
      ScreenToClient(hwnd_, &hit.pt);
      SendMessageA(hwnd_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      const auto selected = reinterpret_cast<HTREEITEM>(
          SendMessageA(hwnd_, TVM_GETNEXTITEM, TVGN_CARET, 0));
      const bool on_icon = hit.hItem && hit.hItem == selected && (hit.flags & TVHT_ONITEMICON);
      bool open = false;
      dialog_.Input([&](DialogRuntime& d) { open = d.TreeMouseUp(name, on_icon); });
      if (open) {
        POINT at;
        GetCursorPos(&at);
        Menu(at);
      }
    }
    return 0;
  }
  void After(UINT msg, WPARAM wp, LPARAM) override {
    if (msg != WM_KEYUP) return;
    const std::string name = state_.name();
    const int key = static_cast<int>(wp);
    bool open = false;
    dialog_.Input([&](DialogRuntime& d) { open = d.TreeKeyUp(name, key); });
    if (!open) return;
    // At the bottom right corner of the node's text.
    POINT at = {0, 0};
    const auto selected =
        reinterpret_cast<HTREEITEM>(SendMessageA(hwnd_, TVM_GETNEXTITEM, TVGN_CARET, 0));
    RECT r;
    memcpy(&r, &selected, sizeof selected);  // TVM_GETITEMRECT takes the item in the rectangle
    if (selected && SendMessageA(hwnd_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r))) {
      at = {r.right, r.bottom};
    }
    ClientToScreen(hwnd_, &at);
    Menu(at);
  }

 private:
  void Rebuild() {
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    items_.assign(state_.nodes.size(), nullptr);
    for (size_t i = 0; i < state_.nodes.size(); ++i) {
      const TreeNode& n = state_.nodes[i];
      TVINSERTSTRUCTA ins = {};
      ins.hParent = n.parent >= 0 && static_cast<size_t>(n.parent) < i
                        ? items_[static_cast<size_t>(n.parent)]
                        : TVI_ROOT;
      ins.hInsertAfter = TVI_LAST;
      ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      ins.item.pszText = const_cast<char*>(n.text.c_str());
      ins.item.lParam = static_cast<LPARAM>(i);
      ins.item.iImage = ins.item.iSelectedImage = std::max(n.image, 0);
      items_[i] = reinterpret_cast<HTREEITEM>(
          SendMessageA(hwnd_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    }
    for (size_t i = 0; i < state_.nodes.size(); ++i) {
      if (state_.nodes[i].expanded) {
        SendMessageA(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(items_[i]));
      }
    }
    drawn_selected_ = -2;
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  // The component state menu at a point of the screen; the choice goes to the runtime.
  void Menu(POINT at) {
    HMENU menu = CreatePopupMenu();
    const auto items = ComponentMenuItems(dialog_.runtime().engine().hooks());
    for (size_t i = 0; i < items.size(); ++i) {
      if (!items[i].visible) continue;
      AppendMenuA(menu, MF_STRING, i + 1, items[i].caption.c_str());
    }
    const int chosen = static_cast<int>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN, at.x, at.y, 0, dialog_.top(), nullptr));
    DestroyMenu(menu);
    const std::string name = state_.name();
    // Closed without a choice: the runtime still hears that the menu closed.
    dialog_.Input([&](DialogRuntime& d) { d.ChooseComponentMenuItem(name, chosen - 1); });
  }

  std::vector<HTREEITEM> items_;
  std::vector<int> drawn_images_;
  std::string drawn_shape_ = "\x03";
  int drawn_selected_ = -2;
};

}  // namespace

std::unique_ptr<ControlView> MakeListView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kComboBox:
      return std::make_unique<ComboView>(d, s);
    case ControlKind::kCheckList:
      return std::make_unique<CheckListView>(d, s);
    case ControlKind::kTreeView:
      return std::make_unique<TreeView>(d, s);
    default:
      return std::make_unique<ListBoxView>(d, s);
  }
}

}  // namespace corvane::ui::win32
