/* A self-registering program for the registration tests under Wine. It writes to the file that
 * the variable CORVANE_PROBE_REPORT names its command line ("line=...") and whether the handle
 * whose number CORVANE_PROBE_HANDLE holds is open in it ("inherited=yes" or "no"), then ends. The
 * report is written beside its final name and renamed to it, so that a reader never sees it
 * half written. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(void) {
  char report[MAX_PATH], handle_text[64], part[MAX_PATH + 8];
  if (GetEnvironmentVariableA("CORVANE_PROBE_REPORT", report, MAX_PATH) == 0) return 2;
  const char* inherited = "no";
  if (GetEnvironmentVariableA("CORVANE_PROBE_HANDLE", handle_text, sizeof handle_text) != 0) {
    HANDLE h = (HANDLE)(ULONG_PTR)_strtoui64(handle_text, NULL, 10);
    DWORD flags = 0;
    if (h != NULL && GetHandleInformation(h, &flags)) inherited = "yes";
  }
  snprintf(part, sizeof part, "%s.part", report);
  FILE* f = fopen(part, "wb");
  if (f == NULL) return 2;
  fprintf(f, "line=%s\ninherited=%s\n", GetCommandLineA(), inherited);
  fclose(f);
  return MoveFileExA(part, report, MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
}
