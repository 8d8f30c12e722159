// The peer of the many-small-win32 figure: a 32-bit Windows program that
// only opens, reads and closes each file a list in md5sum's form names, in
// turn, with the plainest calls there are (CreateFileA, ReadFile,
// CloseHandle). Under Wine every open and close is a round trip to its
// server, as it is for the module; what the module does beyond them
// (digests, the list, the host's notices) this program does not.
//
//   sumbrel-read-each LIST
//
// Prints how many files it read and their bytes; exits 1 when a file could
// not be opened or read.
#include <stdio.h>
#include <string.h>
#include <windows.h>

static char Buffer[64 * 1024];

// The name of an md5sum line ("digest  name" or "digest *name"), or null
// for a comment or a blank line.
static char *ListedName(char *line) {
    line[strcspn(line, "\r\n")] = 0;
    char *name = strchr(line, ' ');
    if (line[0] == ';' || line[0] == '#' || !name)
        return nullptr;
    name++;
    if (*name == ' ' || *name == '*')
        name++;
    return *name ? name : nullptr;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: sumbrel-read-each LIST\n");
        return 2;
    }
    FILE *list = fopen(argv[1], "rb");
    if (!list) {
        fprintf(stderr, "read-each: cannot open %s\n", argv[1]);
        return 1;
    }
    char line[8192];
    unsigned long files = 0;
    unsigned long long bytes = 0;
    bool failed = false;
    while (fgets(line, sizeof line, list)) {
        const char *name = ListedName(line);
        if (!name)
            continue;
        HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed = true;
            continue;
        }
        DWORD got = 0;
        BOOL read;
        while ((read = ReadFile(file, Buffer, sizeof Buffer, &got, nullptr)) && got > 0)
            bytes += got;
        failed = failed || !read;
        CloseHandle(file);
        files++;
    }
    fclose(list);
    printf("read %lu files, %llu bytes\n", files, bytes);
    return failed ? 1 : 0;
}
