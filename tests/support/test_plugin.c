/* A plug-in library for the plug-in action tests: built with mingw as a DLL (test_plugin.def
 * names its one export) for the runs under Wine, and natively as a shared object for the
 * simulated machine, which loads its libraries as the host's own.
 *
 * The parameter text is a list of steps separated by ";", each applied to the variables it is
 * given (comma text of names and values):
 *
 *   set NAME=VALUE    sets a variable (adds it when it is not there)
 *   delete NAME       removes a variable
 *   params NAME       stores the parameter text itself in NAME
 *   progress          reports 10, 50 and 100 percent ("step 10", ...) and stores the answers of
 *                     the callback in ANSWERS ("1,1,1")
 *   wait              reports progress every 10 ms until the callback answers 0, then stores
 *                     STOPPED=TRUE (up to 30 s)
 *   context           counts the actions in the context cell and stores the count in CONTEXT
 *   none              returns -1: nothing to return
 *   fail2             the second call returns -1
 *   noterm            the second call writes one character more than it announced, where the
 *                     terminating zero belongs
 *   shorter           the first call announces a length 4 characters shorter than the text
 *
 * The result is the same on both calls, as the engine expects of a plug-in. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#define PAUSE_10MS() Sleep(10)
#else
#include <time.h>
static void pause_10ms(void) {
  struct timespec t = {0, 10 * 1000 * 1000};
  nanosleep(&t, NULL);
}
#define PAUSE_10MS() pause_10ms()
#endif

typedef int32_t(CORVANE_STDCALL* progress_fn)(int32_t percent, const char* text);

#define MAX_ITEMS 4096

static char* items[MAX_ITEMS];
static int count;

static char* copy_of(const char* s, size_t n) {
  char* c = (char*)malloc(n + 1);
  memcpy(c, s, n);
  c[n] = 0;
  return c;
}

static void clear_items(void) {
  for (int i = 0; i < count; ++i) free(items[i]);
  count = 0;
}

static void add_item(char* s) {
  if (count < MAX_ITEMS) items[count++] = s;
}

static int is_space(char c) { return c > 0 && c <= ' '; }

/* Comma text: items separated by commas, quoted when they need it. */
static void read_comma_text(const char* p) {
  clear_items();
  while (is_space(*p)) ++p;
  while (*p) {
    if (*p == '"') {
      size_t cap = strlen(p) + 1, n = 0;
      char* s = (char*)malloc(cap);
      ++p;
      while (*p) {
        if (*p == '"') {
          if (p[1] == '"') {
            s[n++] = '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        s[n++] = *p++;
      }
      s[n] = 0;
      add_item(s);
    } else {
      const char* start = p;
      while ((unsigned char)*p > ' ' && *p != ',') ++p;
      add_item(copy_of(start, (size_t)(p - start)));
    }
    while (is_space(*p)) ++p;
    if (*p == ',') {
      if (p[1] == 0) add_item(copy_of("", 0));
      do ++p;
      while (is_space(*p));
    }
  }
}

static size_t write_comma_text(char* out) {
  size_t n = 0;
  for (int i = 0; i < count; ++i) {
    const char* s = items[i];
    int quote = *s == 0;
    for (const char* q = s; *q; ++q) quote |= (unsigned char)*q <= ' ' || *q == ',' || *q == '"';
    if (i) {
      if (out) out[n] = ',';
      ++n;
    }
    if (!quote) {
      size_t len = strlen(s);
      if (out) memcpy(out + n, s, len);
      n += len;
      continue;
    }
    if (out) out[n] = '"';
    ++n;
    for (const char* q = s; *q; ++q) {
      if (*q == '"') {
        if (out) out[n] = '"';
        ++n;
      }
      if (out) out[n] = *q;
      ++n;
    }
    if (out) out[n] = '"';
    ++n;
  }
  return n;
}

static int same_name(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? *a - 32 : *a;
    char y = *b >= 'a' && *b <= 'z' ? *b - 32 : *b;
    if (x != y) return 0;
  }
  return *a == *b;
}

static void set_variable(const char* name, const char* value) {
  for (int i = 0; i + 1 < count; i += 2) {
    if (same_name(items[i], name)) {
      free(items[i + 1]);
      items[i + 1] = copy_of(value, strlen(value));
      return;
    }
  }
  add_item(copy_of(name, strlen(name)));
  add_item(copy_of(value, strlen(value)));
}

static void delete_variable(const char* name) {
  for (int i = 0; i + 1 < count; i += 2) {
    if (!same_name(items[i], name)) continue;
    free(items[i]);
    free(items[i + 1]);
    memmove(items + i, items + i + 2, (size_t)(count - i - 2) * sizeof items[0]);
    count -= 2;
    return;
  }
}

/* What the first call decided, for the second one (the library is loaded anew for each action,
 * so this lives for one action). */
static int stopped;
static int32_t counted;
static char answers[8];

int32_t CORVANE_STDCALL RunTimeExecute(void* owner, const char* variables, const char* parameters,
                                       progress_fn progress, int32_t* context, char* buffer) {
  int first = buffer == NULL;
  int fail2 = 0, noterm = 0, shorter = 0;
  (void)owner;
  read_comma_text(variables);
  const char* p = parameters;
  while (*p) {
    const char* end = strchr(p, ';');
    size_t len = end ? (size_t)(end - p) : strlen(p);
    char* step = copy_of(p, len);
    if (strncmp(step, "set ", 4) == 0) {
      char* eq = strchr(step + 4, '=');
      if (eq) {
        *eq = 0;
        set_variable(step + 4, eq + 1);
      }
    } else if (strncmp(step, "delete ", 7) == 0) {
      delete_variable(step + 7);
    } else if (strncmp(step, "params ", 7) == 0) {
      set_variable(step + 7, parameters);
    } else if (strcmp(step, "progress") == 0) {
      if (first) {
        answers[0] = (char)('0' + progress(10, "step 10"));
        answers[1] = ',';
        answers[2] = (char)('0' + progress(50, "step 50"));
        answers[3] = ',';
        answers[4] = (char)('0' + progress(100, "step 100"));
        answers[5] = 0;
      }
      set_variable("ANSWERS", answers);
    } else if (strcmp(step, "wait") == 0) {
      if (first) {
        for (int i = 0; i < 3000 && !stopped; ++i) {
          if (progress(i % 100, "waiting") == 0) stopped = 1;
          PAUSE_10MS();
        }
      }
      if (stopped) set_variable("STOPPED", "TRUE");
    } else if (strcmp(step, "context") == 0) {
      if (first) counted = ++*context;
      char text[16];
      int n = 0;
      int32_t v = counted;
      char digits[16];
      do {
        digits[n++] = (char)('0' + v % 10);
        v /= 10;
      } while (v > 0);
      for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
      text[n] = 0;
      set_variable("CONTEXT", text);
    } else if (strcmp(step, "none") == 0) {
      free(step);
      clear_items();
      return -1;
    } else if (strcmp(step, "fail2") == 0) {
      fail2 = 1;
    } else if (strcmp(step, "noterm") == 0) {
      noterm = 1;
    } else if (strcmp(step, "shorter") == 0) {
      shorter = 1;
    }
    free(step);
    p += len;
    if (*p == ';') ++p;
  }
  size_t length = write_comma_text(NULL);
  int32_t announced = (int32_t)length - (shorter ? 4 : 0);
  if (first) {
    clear_items();
    return announced;
  }
  if (fail2) {
    clear_items();
    return -1;
  }
  char* text = (char*)malloc(length + 2);
  write_comma_text(text);
  text[length] = 'X';
  memcpy(buffer, text, (size_t)announced);
  buffer[announced] = noterm ? 'X' : 0;
  free(text);
  clear_items();
  return announced;
}
