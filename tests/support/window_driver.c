/* Drives a setup's dialogs from outside, as a user would: it starts the program, waits for its
 * windows and sends them clicks, typed characters and keys as window messages.
 *
 *   window_driver.exe STEPS PROGRAM [ARGS...]
 *
 * STEPS is a text file, one step a line; blank lines and lines starting with '#' are skipped,
 * a word in double quotes may hold blanks. Texts of controls are compared without their '&'.
 *
 *   dialog TEXT              waits until a dialog window of the program whose caption contains
 *                            TEXT is visible, and acts on it from now on
 *   click TEXT               clicks the control of that dialog whose text is TEXT
 *   type CLASS N TEXT        selects everything in the N-th (from 0) control of class CLASS and
 *                            types TEXT into it, character by character
 *   expect CLASS N TEXT      waits until that control's text is TEXT
 *   checkitem CLASS N ITEM   clicks the check box of item ITEM (from 0) of a list
 *   key NAME                 presses a key (RETURN, ESCAPE, TAB, SPACE) in the focused control
 *   box TEXT BUTTON          waits for a message box of the program that shows TEXT and clicks
 *                            its button BUTTON
 *   messagebox CAPTION TEXT BUTTON
 *                            the same for a message box whose caption is CAPTION
 *   exit CODE                waits for the program to end and checks its exit code
 *
 * Every wait ends after 60 seconds. On success the driver prints "driver: N steps" and ends with
 * 0; a step that fails prints "driver: line L: ..." and ends with 1. The program is ended when
 * the driver fails. */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define MAX_WORDS 8
#define WAIT_MS 60000

static PROCESS_INFORMATION g_process;
static HWND g_dialog;
static int g_line;

static void Fail(const char* format, const char* detail) {
  printf("driver: line %d: ", g_line);
  printf(format, detail);
  printf("\n");
  fflush(stdout);
  if (g_process.hProcess) TerminateProcess(g_process.hProcess, 99);
  exit(1);
}

/* Whether a: the text of a control, equals b once the '&' of its access key are left out. */
static int SameText(const char* a, const char* b) {
  char clean[512];
  size_t n = 0;
  for (; *a && n + 1 < sizeof clean; ++a) {
    if (*a == '&' && a[1] == '&') {
      clean[n++] = '&';
      ++a;
    } else if (*a != '&') {
      clean[n++] = *a;
    }
  }
  clean[n] = '\0';
  char want[512];
  n = 0;
  for (; *b && n + 1 < sizeof want; ++b) {
    if (*b != '&') want[n++] = *b;
  }
  want[n] = '\0';
  return strcmp(clean, want) == 0;
}

static void TextOf(HWND hwnd, char* out, int size) {
  out[0] = '\0';
  /* WM_GETTEXT crosses processes (GetWindowText would not read another program's controls). */
  SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)out, SMTO_ABORTIFHUNG, 5000, NULL);
  out[size - 1] = '\0';
}

static int OfProgram(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid == g_process.dwProcessId;
}

/* --- finding windows */

typedef struct {
  const char* cls;     /* class name, or NULL for any */
  const char* text;    /* text (exact, without '&'), or NULL */
  const char* within;  /* caption contains this, or NULL */
  int index;           /* the index-th match */
  int seen;
  HWND found;
} Search;

static BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
  Search* s = (Search*)param;
  char cls[64], text[512];
  GetClassNameA(hwnd, cls, sizeof cls);
  if (s->cls && lstrcmpiA(cls, s->cls) != 0) return TRUE;
  if (s->text || s->within) {
    TextOf(hwnd, text, sizeof text);
    if (s->text && !SameText(text, s->text)) return TRUE;
    if (s->within && !strstr(text, s->within)) return TRUE;
  }
  if (s->seen++ == s->index) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

static BOOL CALLBACK MatchTopWindow(HWND hwnd, LPARAM param) {
  if (!OfProgram(hwnd) || !IsWindowVisible(hwnd)) return TRUE;
  return MatchWindow(hwnd, param);
}

static HWND FindTop(const char* cls, const char* within) {
  Search s = {cls, NULL, within, 0, 0, NULL};
  EnumWindows(MatchTopWindow, (LPARAM)&s);
  return s.found;
}

static HWND FindChild(HWND parent, const char* cls, const char* text, int index) {
  Search s = {cls, text, NULL, index, 0, NULL};
  EnumChildWindows(parent, MatchWindow, (LPARAM)&s);
  return s.found;
}

static int Ended(void) { return WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0; }

/* Waits (polling every 20 ms, at most WAIT_MS) until found() gives a window. */
typedef HWND (*Finder)(const char** words);
static HWND WaitFor(Finder find, const char** words, const char* what) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND hwnd = find(words);
    if (hwnd) return hwnd;
    if (Ended()) Fail("the program ended while waiting for %s", what);
    if (GetTickCount() - start > WAIT_MS) Fail("no %s within 60 seconds", what);
    Sleep(20);
  }
}

static HWND FindDialog(const char** words) {
  /* The windows of the engine's dialogs (their class is the form class of every dialog). */
  return FindTop("TPoolTemplate", words[1]);
}

static HWND FindBox(const char** words) {
  HWND box = FindTop("#32770", NULL);
  if (!box) return NULL;
  return FindChild(box, "Static", words[1], 0) ? box : NULL;
}

/* A message box by its caption (words[1]) that shows words[2]. */
static HWND FindCaptionedBox(const char** words) {
  char caption[512];
  HWND box = FindTop("#32770", NULL);
  if (!box) return NULL;
  TextOf(box, caption, sizeof caption);
  if (strcmp(caption, words[1]) != 0) return NULL;
  return FindChild(box, "Static", words[2], 0) ? box : NULL;
}

static HWND Control(const char* cls, const char* index) {
  HWND hwnd = FindChild(g_dialog, cls, NULL, atoi(index));
  if (!hwnd) Fail("the dialog has no such control of class %s", cls);
  return hwnd;
}

/* The window that has the keyboard focus in the program's user-interface thread. */
static HWND Focused(void) {
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(g_dialog, NULL);
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) return info.hwndFocus;
  return g_dialog;
}

/* A key pressed and released: the program's own message loop makes its characters, as for a key
 * of the keyboard. */
static void PressKey(HWND hwnd, UINT vk) {
  UINT scan = MapVirtualKeyA(vk, 0);
  PostMessageA(hwnd, WM_KEYDOWN, vk, 1 | (scan << 16));
  PostMessageA(hwnd, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
}

static void Click(HWND hwnd) {
  char cls[64];
  GetClassNameA(hwnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") == 0) {
    PostMessageA(hwnd, BM_CLICK, 0, 0);
  } else {
    /* A control that draws itself: a press and release of the left button in its middle. */
    RECT r;
    GetClientRect(hwnd, &r);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(hwnd, WM_LBUTTONUP, 0, at);
  }
}

/* --- the steps */

static int SplitWords(char* line, const char** words) {
  int n = 0;
  char* p = line;
  while (*p && n < MAX_WORDS) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    if (*p == '"') {
      words[n++] = ++p;
      while (*p && *p != '"') ++p;
    } else if (n >= 3 && (strcmp(words[0], "type") == 0 || strcmp(words[0], "expect") == 0)) {
      /* The text of type and expect is the rest of the line. */
      words[n++] = p;
      break;
    } else {
      words[n++] = p;
      while (*p && *p != ' ' && *p != '\t') ++p;
    }
    if (*p) *p++ = '\0';
  }
  return n;
}

static UINT KeyCode(const char* name) {
  if (strcmp(name, "RETURN") == 0) return VK_RETURN;
  if (strcmp(name, "ESCAPE") == 0) return VK_ESCAPE;
  if (strcmp(name, "TAB") == 0) return VK_TAB;
  if (strcmp(name, "SPACE") == 0) return VK_SPACE;
  Fail("unknown key %s", name);
  return 0;
}

static void Step(const char** w, int n) {
  const char* verb = w[0];
  if (strcmp(verb, "dialog") == 0 && n == 2) {
    g_dialog = WaitFor(FindDialog, w, "dialog");
  } else if (strcmp(verb, "box") == 0 && n == 3) {
    HWND box = WaitFor(FindBox, w, "message box");
    HWND button = FindChild(box, "Button", w[2], 0);
    if (!button) Fail("the message box has no button %s", w[2]);
    PostMessageA(button, BM_CLICK, 0, 0);
  } else if (strcmp(verb, "messagebox") == 0 && n == 4) {
    HWND box = WaitFor(FindCaptionedBox, w, "message box with that caption and text");
    HWND button = FindChild(box, "Button", w[3], 0);
    if (!button) Fail("the message box has no button %s", w[3]);
    PostMessageA(button, BM_CLICK, 0, 0);
  } else if (strcmp(verb, "exit") == 0 && n == 2) {
    if (WaitForSingleObject(g_process.hProcess, WAIT_MS) != WAIT_OBJECT_0) {
      Fail("the program did not end within 60 seconds%s", "");
    }
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    if ((long)code != strtol(w[1], NULL, 10)) {
      char text[32];
      snprintf(text, sizeof text, "%ld", (long)code);
      Fail("the program ended with exit code %s", text);
    }
  } else if (!g_dialog) {
    Fail("no dialog for %s", verb);
  } else if (strcmp(verb, "click") == 0 && n == 2) {
    HWND control = FindChild(g_dialog, NULL, w[1], 0);
    if (!control) Fail("the dialog has no control with the text %s", w[1]);
    Click(control);
  } else if (strcmp(verb, "type") == 0 && n == 4) {
    HWND edit = Control(w[1], w[2]);
    PostMessageA(edit, EM_SETSEL, 0, -1);
    for (const char* c = w[3]; *c; ++c) PostMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)*c, 1);
  } else if (strcmp(verb, "expect") == 0 && n == 4) {
    HWND control = Control(w[1], w[2]);
    DWORD start = GetTickCount();
    char text[512];
    for (;;) {
      TextOf(control, text, sizeof text);
      if (strcmp(text, w[3]) == 0) break;
      if (GetTickCount() - start > WAIT_MS) Fail("the control still shows \"%s\"", text);
      Sleep(20);
    }
  } else if (strcmp(verb, "checkitem") == 0 && n == 4) {
    HWND list = Control(w[1], w[2]);
    LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    int item = atoi(w[3]);
    if (height <= 0 || item < top) Fail("item %s of the list is not in view", w[3]);
    LPARAM at = MAKELPARAM(4, (int)((item - top) * height + height / 2));
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
  } else if (strcmp(verb, "key") == 0 && n == 2) {
    PressKey(Focused(), KeyCode(w[1]));
  } else {
    Fail("cannot read the step %s", verb);
  }
}

int main(int argc, char** argv) {
  if (argc < 3) {
    printf("usage: window_driver.exe STEPS PROGRAM [ARGS...]\n");
    return 2;
  }
  FILE* steps = fopen(argv[1], "rb");
  if (!steps) {
    printf("driver: cannot read %s\n", argv[1]);
    return 2;
  }
  char command[4096] = "";
  for (int i = 2; i < argc; ++i) {
    if (strlen(command) + strlen(argv[i]) + 4 >= sizeof command) return 2;
    strcat(command, i > 2 ? " \"" : "\"");
    strcat(command, argv[i]);
    strcat(command, "\"");
  }
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &g_process)) {
    printf("driver: cannot start %s (%lu)\n", argv[2], (unsigned long)GetLastError());
    return 1;
  }
  char line[1024];
  int count = 0;
  while (fgets(line, sizeof line, steps)) {
    ++g_line;
    line[strcspn(line, "\r\n")] = '\0';
    const char* words[MAX_WORDS];
    char* start = line;
    while (*start == ' ' || *start == '\t') ++start;
    if (*start == '\0' || *start == '#') continue;
    int n = SplitWords(start, words);
    Step(words, n);
    ++count;
  }
  fclose(steps);
  printf("driver: %d steps\n", count);
  CloseHandle(g_process.hThread);
  CloseHandle(g_process.hProcess);
  return 0;
}
