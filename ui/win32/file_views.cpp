// The file-system views: drive selector, folder list, file list, file-type filter, and the shell
// tree, list and location selector. They show the folder their state names, listed from the
// disk; choosing a drive, folder or file goes to the runtime, which then names what to show.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include <algorithm>

#include "platform/text.h"
#include "ui/win32/control_view.h"

namespace corvane::ui::win32 {
namespace {

// Listing stops here: a folder with more entries shows its first ones.
constexpr size_t kMaxEntries = 500;

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

struct Entry {
  std::string name;
  bool folder;
  uint64_t size;
};

std::vector<Entry> ListFolder(const std::string& folder, bool folders_only) {
  std::vector<Entry> out;
  if (folder.empty()) return out;
  // No "insert a disk" box for an empty drive.
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((WithSlash(folder) + "*").c_str(), &fd);
  SetErrorMode(old_mode);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    const bool is_folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folders_only && !is_folder) continue;
    out.push_back({name, is_folder,
                   (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow});
  } while (out.size() < kMaxEntries && FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
    if (a.folder != b.folder) return a.folder;
    return platform::LowerCase(a.name) < platform::LowerCase(b.name);
  });
  return out;
}

std::vector<std::string> Drives() {
  std::vector<std::string> out;
  char buffer[512] = {};
  const DWORD n = GetLogicalDriveStringsA(sizeof buffer, buffer);
  for (const char* p = buffer; n && *p; p += strlen(p) + 1) out.push_back(p);
  return out;
}

// The folders from the root down to `folder`: "C:\", "C:\Program Files\", ...
std::vector<std::string> Ancestry(const std::string& folder) {
  std::vector<std::string> out;
  if (folder.size() < 2 || folder[1] != ':') return out;
  std::string path = folder.substr(0, 2) + "\\";
  out.push_back(path);
  size_t at = 3;
  while (at < folder.size()) {
    size_t next = folder.find('\\', at);
    if (next == std::string::npos) next = folder.size();
    if (next > at) {
      path += folder.substr(at, next - at) + "\\";
      out.push_back(path);
    }
    at = next + 1;
  }
  return out;
}

std::string LastPart(const std::string& path) {
  std::string p = path;
  if (p.size() > 3 && p.back() == '\\') p.pop_back();
  const size_t slash = p.rfind('\\');
  return slash == std::string::npos || p.size() <= 3 ? p : p.substr(slash + 1);
}

std::string DriveText(const std::string& root) {
  std::string text = platform::LowerCase(root.substr(0, 2));
  if (GetDriveTypeA(root.c_str()) == DRIVE_FIXED) {
    char label[MAX_PATH + 1] = {};
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
    if (GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr,
                              nullptr, 0) &&
        label[0]) {
      text += std::string(" [") + label + "]";
    }
    SetErrorMode(old_mode);
  }
  return text;
}

void Fill(HWND hwnd, bool combo, const std::vector<std::string>& items) {
  SendMessageA(hwnd, WM_SETREDRAW, FALSE, 0);
  SendMessageA(hwnd, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    SendMessageA(hwnd, combo ? CB_ADDSTRING : LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(item.c_str()));
  }
  SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd, nullptr, TRUE);
}

class FolderViewBase : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Sync() override {
    if (!synced_ || state_.folder != drawn_folder_ || state_.items != drawn_items_ ||
        state_.item_index != drawn_index_) {
      synced_ = true;
      drawn_folder_ = state_.folder;
      drawn_items_ = state_.items;
      drawn_index_ = state_.item_index;
      Refill();
    }
    SyncCommon();
  }

 protected:
  virtual void Refill() = 0;
  void ShowFolder(const std::string& folder) {
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.ShowFolder(name, folder); });
  }
  bool synced_ = false;
  std::string drawn_folder_;
  std::vector<std::string> drawn_items_;
  int drawn_index_ = -2;
};

// TDriveComboBox: the drives; choosing one goes to the runtime.
class DriveView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    RECT drop = r;
    drop.bottom = r.top + 200;
    MakeChild("ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL | CBS_HASSTRINGS, 0, parent, drop);
  }
  void Command(int code) override {
    if (code != CBN_SELCHANGE) return;
    const int i = static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0));
    if (i < 0 || static_cast<size_t>(i) >= roots_.size()) return;
    const char letter = roots_[static_cast<size_t>(i)][0];
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.PickDrive(name, letter); });
  }

 private:
  void Refill() override {
    roots_ = Drives();
    std::vector<std::string> texts;
    int selected = -1;
    for (size_t i = 0; i < roots_.size(); ++i) {
      texts.push_back(DriveText(roots_[i]));
      if (!state_.folder.empty() && toupper(roots_[i][0]) == toupper(state_.folder[0])) {
        selected = static_cast<int>(i);
      }
    }
    Fill(hwnd_, true, texts);
    SendMessageA(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  std::vector<std::string> roots_;
};

// TDirectoryListBox: the folder and its parents, indented, then its sub-folders; a double click
// opens a folder.
class DirectoryView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    MakeChild("ListBox", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | LBS_HASSTRINGS,
              WS_EX_CLIENTEDGE, parent, r);
  }
  void Command(int code) override {
    if (code != LBN_DBLCLK) return;
    const int i = static_cast<int>(SendMessageA(hwnd_, LB_GETCURSEL, 0, 0));
    if (i >= 0 && static_cast<size_t>(i) < paths_.size()) ShowFolder(paths_[static_cast<size_t>(i)]);
  }

 private:
  void Refill() override {
    paths_.clear();
    std::vector<std::string> texts;
    const std::vector<std::string> up = Ancestry(state_.folder);
    for (size_t i = 0; i < up.size(); ++i) {
      texts.push_back(std::string(i * 2, ' ') + (i == 0 ? up[i] : LastPart(up[i])));
      paths_.push_back(up[i]);
    }
    const std::string indent(up.size() * 2, ' ');
    if (!up.empty()) {
      for (const Entry& e : ListFolder(up.back(), true)) {
        texts.push_back(indent + e.name);
        paths_.push_back(up.back() + e.name + "\\");
      }
    }
    Fill(hwnd_, false, texts);
    SendMessageA(hwnd_, LB_SETCURSEL, up.empty() ? static_cast<WPARAM>(-1) : up.size() - 1, 0);
  }
  std::vector<std::string> paths_;
};

// TFileListBox: the files the runtime listed for its folder; choosing one goes to the runtime.
class FileListView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    MakeChild("ListBox", "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | LBS_HASSTRINGS,
              WS_EX_CLIENTEDGE, parent, r);
  }
  void Command(int code) override {
    if (code != LBN_SELCHANGE) return;
    const int i = static_cast<int>(SendMessageA(hwnd_, LB_GETCURSEL, 0, 0));
    if (i < 0 || static_cast<size_t>(i) >= state_.items.size()) return;
    drawn_index_ = i;
    const std::string path = WithSlash(state_.folder) + state_.items[static_cast<size_t>(i)];
    const std::string name = state_.name();
    dialog_.Input([&](DialogRuntime& d) { d.PickFile(name, path); });
  }

 private:
  void Refill() override {
    Fill(hwnd_, false, state_.items);
    SendMessageA(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(state_.item_index), 0);
  }
};

// TFilterComboBox: the names of its filter; it has no binding.
class FilterView : public ControlView {
 public:
  using ControlView::ControlView;
  bool TabStop() const override { return true; }
  void Create(HWND parent, const RECT& r) override {
    RECT drop = r;
    drop.bottom = r.top + 150;
    MakeChild("ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL | CBS_HASSTRINGS, 0, parent, drop);
    const std::string filter = state_.component().GetText("Filter").value_or("");
    std::vector<std::string> names;
    size_t at = 0;
    while (at < filter.size()) {
      size_t bar = filter.find('|', at);
      if (bar == std::string::npos) bar = filter.size();
      names.push_back(filter.substr(at, bar - at));
      const size_t next = filter.find('|', bar + 1);
      at = next == std::string::npos ? filter.size() : next + 1;
    }
    Fill(hwnd_, true, names);
    SendMessageA(hwnd_, CB_SETCURSEL, names.empty() ? static_cast<WPARAM>(-1) : 0, 0);
  }
  void Sync() override { SyncCommon(); }
};

// TPTShellTree: the drives, and the folders down to the one shown with their siblings.
class ShellTreeView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    MakeChild(WC_TREEVIEWA, "",
              TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
              WS_EX_CLIENTEDGE, parent, r);
  }
  LRESULT Notify(NMHDR* header) override {
    if (header->code != TVN_SELCHANGEDA && header->code != TVN_SELCHANGEDW) return 0;
    auto* nm = reinterpret_cast<NMTREEVIEWA*>(header);
    if (nm->action == TVC_UNKNOWN) return 0;
    const size_t i = static_cast<size_t>(nm->itemNew.lParam);
    if (i < paths_.size() && !platform::SameText(paths_[i], state_.folder)) {
      drawn_folder_ = paths_[i];
      ShowFolder(paths_[i]);
    }
    return 0;
  }

 private:
  HTREEITEM Add(HTREEITEM parent, const std::string& text, const std::string& path) {
    TVINSERTSTRUCTA ins = {};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = const_cast<char*>(text.c_str());
    ins.item.lParam = static_cast<LPARAM>(paths_.size());
    paths_.push_back(path);
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(hwnd_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
  }
  void Refill() override {
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    paths_.clear();
    const std::vector<std::string> up = Ancestry(state_.folder);
    HTREEITEM selected = nullptr;
    for (const std::string& root : Drives()) {
      HTREEITEM node = Add(TVI_ROOT, DriveText(root), root);
      if (up.empty() || toupper(root[0]) != toupper(up[0][0])) continue;
      // Down the path: each level shows its sub-folders; the one on the path opens.
      HTREEITEM level = node;
      selected = node;
      for (size_t depth = 0; depth < up.size(); ++depth) {
        HTREEITEM next = nullptr;
        for (const Entry& e : ListFolder(up[depth], true)) {
          const std::string path = up[depth] + e.name + "\\";
          HTREEITEM child = Add(level, e.name, path);
          if (depth + 1 < up.size() && platform::SameText(path, up[depth + 1])) next = child;
        }
        SendMessageA(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(level));
        if (!next) break;
        level = next;
        selected = next;
      }
    }
    SendMessageA(hwnd_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(selected));
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  std::vector<std::string> paths_;
};

// TPTShellList: the folder's contents in columns; a double click opens a folder, choosing a
// file goes to the runtime.
class ShellListView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    const std::string view = state_.component().GetText("ViewStyle").value_or("vsIcon");
    DWORD style = LVS_SHAREIMAGELISTS | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    style |= platform::SameText(view, "vsReport") ? LVS_REPORT
             : platform::SameText(view, "vsSmallIcon") ? LVS_SMALLICON
             : platform::SameText(view, "vsIcon")      ? LVS_LIST
                                                       : LVS_LIST;
    MakeChild(WC_LISTVIEWA, "", style, WS_EX_CLIENTEDGE, parent, r);
    const char* columns[] = {"Name", "Size", "Type"};
    const int widths[] = {(r.right - r.left) / 2, 70, 90};
    for (int i = 0; i < 3; ++i) {
      LVCOLUMNA col = {};
      col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      col.fmt = i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
      col.cx = widths[i];
      col.pszText = const_cast<char*>(columns[i]);
      SendMessageA(hwnd_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
    }
  }
  LRESULT Notify(NMHDR* header) override {
    const int i = static_cast<int>(SendMessageA(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                LVNI_SELECTED));
    if (i < 0 || static_cast<size_t>(i) >= entries_.size()) return 0;
    const Entry& e = entries_[static_cast<size_t>(i)];
    const std::string path = WithSlash(state_.folder) + e.name;
    const std::string name = state_.name();
    if (header->code == static_cast<UINT>(NM_DBLCLK) && e.folder) {
      ShowFolder(path + "\\");
    } else if (header->code == LVN_ITEMCHANGED) {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(header);
      if (!(nm->uNewState & LVIS_SELECTED) || (nm->uOldState & LVIS_SELECTED)) return 0;
      dialog_.Input([&](DialogRuntime& d) { d.PickFile(name, e.folder ? path + "\\" : path); });
    }
    return 0;
  }

 private:
  void Refill() override {
    SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    entries_ = ListFolder(state_.folder, false);
    for (size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      LVITEMA item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(i);
      item.pszText = const_cast<char*>(e.name.c_str());
      SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
      const std::string size =
          e.folder ? std::string() : std::to_string((e.size + 1023) / 1024) + " KB";
      std::string type = "File folder";
      if (!e.folder) {
        const size_t dot = e.name.rfind('.');
        type = dot == std::string::npos ? "File"
                                        : platform::UpperCase(e.name.substr(dot + 1)) + " File";
      }
      item.mask = LVIF_TEXT;
      item.iSubItem = 1;
      item.pszText = const_cast<char*>(size.c_str());
      SendMessageA(hwnd_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      item.iSubItem = 2;
      item.pszText = const_cast<char*>(type.c_str());
      SendMessageA(hwnd_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  std::vector<Entry> entries_;
};

// TPTShellCombo: the drives and the location shown; choosing one goes to the runtime.
class ShellComboView : public FolderViewBase {
 public:
  using FolderViewBase::FolderViewBase;
  void Create(HWND parent, const RECT& r) override {
    RECT drop = r;
    drop.bottom = r.top + 200;
    MakeChild("ComboBox", "", CBS_DROPDOWNLIST | WS_VSCROLL | CBS_HASSTRINGS, 0, parent, drop);
  }
  void Command(int code) override {
    if (code != CBN_SELCHANGE) return;
    const int i = static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0));
    if (i >= 0 && static_cast<size_t>(i) < paths_.size()) {
      drawn_folder_ = paths_[static_cast<size_t>(i)];
      ShowFolder(paths_[static_cast<size_t>(i)]);
    }
  }

 private:
  void Refill() override {
    paths_.clear();
    std::vector<std::string> texts;
    int selected = -1;
    // A bare drive letter stands for the drive's root.
    std::string folder = state_.folder;
    if (folder.size() == 1) folder += ":\\";
    if (folder.size() == 2 && folder[1] == ':') folder += "\\";
    for (const std::string& root : Drives()) {
      texts.push_back(DriveText(root));
      paths_.push_back(root);
      if (folder.empty() || toupper(root[0]) != toupper(folder[0])) continue;
      const std::vector<std::string> up = Ancestry(folder);
      if (up.size() <= 1) {
        selected = static_cast<int>(paths_.size() - 1);
        continue;
      }
      for (size_t i = 1; i < up.size(); ++i) {
        texts.push_back(std::string(i * 2, ' ') + LastPart(up[i]));
        paths_.push_back(up[i]);
      }
      selected = static_cast<int>(paths_.size() - 1);
    }
    Fill(hwnd_, true, texts);
    SendMessageA(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  }
  std::vector<std::string> paths_;
};

}  // namespace

std::unique_ptr<ControlView> MakeFileView(DialogWindow& d, ControlState& s) {
  switch (s.kind()) {
    case ControlKind::kDriveCombo:
      return std::make_unique<DriveView>(d, s);
    case ControlKind::kDirectoryList:
      return std::make_unique<DirectoryView>(d, s);
    case ControlKind::kFileList:
      return std::make_unique<FileListView>(d, s);
    case ControlKind::kShellTree:
      return std::make_unique<ShellTreeView>(d, s);
    case ControlKind::kShellList:
      return std::make_unique<ShellListView>(d, s);
    case ControlKind::kShellCombo:
      return std::make_unique<ShellComboView>(d, s);
    default:
      return std::make_unique<FilterView>(d, s);
  }
}

}  // namespace corvane::ui::win32
