/* list_rows.exe TITLE ID [COLUMNS]: prints the rows of list view ID in the top-level window TITLE of another
 * process, one line per row, cells separated by tabs. A list view answers LVM_GETITEMTEXT only with a
 * buffer in its own process, so the item description and the text live in memory allocated there.
 * Exit status: 0 done, 1 no such window or control, 2 the other process could not be read. */
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#define TEXT_SIZE 256

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: list_rows TITLE ID [COLUMNS]\n");
    return 1;
  }
  const int columns = argc > 3 ? atoi(argv[3]) : 1;
  _setmode(_fileno(stdout), _O_BINARY); /* lines end in \n, as on the Linux side of the comparison */
  HWND dialog = FindWindowA(NULL, argv[1]);
  HWND list = dialog ? GetDlgItem(dialog, atoi(argv[2])) : NULL;
  if (!list) {
    fprintf(stderr, "list_rows: no control %s in a window \"%s\"\n", argv[2], argv[1]);
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  char *remote = process ? VirtualAllocEx(process, NULL, sizeof(LVITEMA) + TEXT_SIZE, MEM_COMMIT, PAGE_READWRITE)
                         : NULL;
  if (!remote) {
    fprintf(stderr, "list_rows: cannot reach process %lu (error %lu)\n", pid, GetLastError());
    return 2;
  }
  const int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
  int status = 0;
  for (int row = 0; row < rows && !status; row++) {
    for (int column = 0; column < columns; column++) {
      LVITEMA item;
      char text[TEXT_SIZE] = "";
      memset(&item, 0, sizeof item);
      item.iSubItem = column;
      item.pszText = remote + sizeof item;
      item.cchTextMax = TEXT_SIZE;
      if (!WriteProcessMemory(process, remote, &item, sizeof item, NULL)) status = 2;
      SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)remote);
      if (!ReadProcessMemory(process, remote + sizeof item, text, TEXT_SIZE, NULL)) status = 2;
      text[TEXT_SIZE - 1] = '\0';
      printf("%s%s", column ? "\t" : "", text);
    }
    printf("\n");
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  if (status) fprintf(stderr, "list_rows: cannot read the memory of process %lu\n", pid);
  return status;
}
