// Signature files on Windows: the C runtime's text mode does the line-end
// and end-of-file translation, and file identity comes from the volume serial
// number and file index.
#include <io.h>
#include <windows.h>

#include <string.h>

#include "digest/file_digest.h"
#include "signature/format.h"

FILE *OpenSignatureFile(const char *name, const char *mode) {
    // An explicit 't' keeps text mode even if the process made binary the
    // runtime's default.
    const char *textMode = nullptr;
    if (strcmp(mode, "r") == 0)
        textMode = "rt";
    else if (strcmp(mode, "w") == 0)
        textMode = "wt";
    if (textMode == nullptr)
        return nullptr;
    FILE *stream = fopen(name, textMode);
    // Only a disk file is read: the console, a serial port or a pipe would
    // block the read or never end.
    if (stream && textMode[0] == 'r' &&
        GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != FILE_TYPE_DISK) {
        fclose(stream);
        return nullptr;
    }
    return stream;
}

static bool FileIdentity(const char *name, BY_HANDLE_FILE_INFORMATION *info) {
    // No access rights are needed to read the identity, and the backup flag
    // lets a directory be opened too.
    HANDLE handle = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BOOL known = GetFileInformationByHandle(handle, info);
    CloseHandle(handle);
    return known != FALSE;
}

// A name opened as it is digested, so that a bare name means exactly that
// file here too: "sigfile.md5." is not the signature file "sigfile.md5".
static bool IdentityAsDigested(const char *name, BY_HANDLE_FILE_INFORMATION *info) {
    FILE *stream = OpenFileToDigest(name);
    if (!stream)
        return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    BOOL known = GetFileInformationByHandle(handle, info);
    fclose(stream);
    return known != FALSE;
}

static bool SameIdentity(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool SameFileOnDisk(const char *itemName, const char *fileName) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return IdentityAsDigested(itemName, &a) && FileIdentity(fileName, &b) && SameIdentity(a, b);
}

bool SameFileAsListed(const char *itemName, const char *listedName) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return IdentityAsDigested(itemName, &a) && IdentityAsDigested(listedName, &b) &&
           SameIdentity(a, b);
}

bool NameInDirectory(const char *path, char *name, size_t size) {
    // The directory entry itself answers: a name that differs in letter case
    // or is the short 8.3 alias finds the long name as stored. Listed names
    // that were digested hold no wildcard, Windows refusing them in names.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    size_t length = strlen(found.cFileName);
    if (length == 0 || length >= size)
        return false;
    memcpy(name, found.cFileName, length + 1);
    return true;
}
