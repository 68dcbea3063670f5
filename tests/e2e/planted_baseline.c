/* A program that imports what the engine imports and does nothing: the libraries it loads are the
   ones Windows' own libraries bring in before a program's first instruction. With an argument it
   loads that library by its bare name, through the standard search order. */
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

int main(int argc, char** argv) {
  if (argc > 8) {
    /* Never run: keeps one call of each library in the import table. */
    MessageBeep(0);
    GetStockObject(0);
    RegCloseKey(0);
    DragFinish(0);
    CoUninitialize();
    SysFreeString(0);
    WSACleanup();
  }
  if (argc > 1) LoadLibraryA(argv[1]);
  return 0;
}
