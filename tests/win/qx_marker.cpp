// Stands in for the game in the launcher's tests: started as "system\qx.exe", it writes
// "qx-started.txt" into its current folder with that folder and its command line.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, folder);
  if (FILE* marker = std::fopen("qx-started.txt", "w")) {
    std::fprintf(marker, "%s\n%s\n", folder, GetCommandLineA());
    std::fclose(marker);
  }
  return 0;
}
