// Holds a file open without sharing until its standard input ends, so that
// end-to-end tests can show the module a file another process has locked.
// Prints "held" once the file is held.
#include <stdio.h>
#include <windows.h>

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: hold_file PATH\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        printf("failed %lu\n", GetLastError());
        return 1;
    }
    printf("held\n");
    fflush(stdout);
    char byte;
    while (fread(&byte, 1, 1, stdin) == 1) {
    }
    CloseHandle(file);
    return 0;
}
