/* A program for the program-command tests under Wine:
 *
 *   program_report.exe REPORT CODE [MS] [ARGS...]
 *
 * writes to the file REPORT (unless it is "-") one line per argument ("arg N=..."), its working
 * folder ("cwd=...") and every variable of its environment ("env=NAME=value"), then sleeps MS
 * milliseconds and ends with the exit code CODE (a signed 32-bit number). */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  if (strcmp(argv[1], "-") != 0) {
    FILE* f = fopen(argv[1], "wb");
    if (f == NULL) return 2;
    for (int i = 0; i < argc; ++i) fprintf(f, "arg %d=%s\n", i, argv[i]);
    char cwd[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
    fprintf(f, "cwd=%.*s\n", (int)(n < sizeof cwd ? n : 0), cwd);
    char* block = GetEnvironmentStringsA();
    for (char* p = block; p != NULL && *p != '\0'; p += strlen(p) + 1) {
      /* Entries of the drives' current folders ("=C:=C:\...") are the system's own. */
      if (*p != '=') fprintf(f, "env=%s\n", p);
    }
    if (block != NULL) FreeEnvironmentStringsA(block);
    fclose(f);
  }
  if (argc > 3) Sleep((DWORD)strtoul(argv[3], NULL, 10));
  return (int)strtol(argv[2], NULL, 10);
}
