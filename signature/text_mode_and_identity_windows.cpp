// Signature files on Windows: the C runtime's text mode stores LF as CR LF;
// creation's new file beside the target and the rename that replaces it;
// file identity comes from the volume serial number and file index.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "digest/exact_path_windows.h"
#include "digest/file_digest.h"
#include "host/records.h"
#include "signature/format.h"

FILE *OpenSignatureFile(const char *name, const char *mode) {
    // Read untranslated, opened as a file to digest is: exactly by a bare
    // name, and only a disk file (the console, a serial port or a pipe would
    // block the read or never end).
    if (strcmp(mode, "r") == 0)
        return OpenFileToDigest(name, NameInCodePage);
    return nullptr;
}

// Whether the target can be replaced by a list: a disk file that is not a
// folder and not read-only, or no file yet. A file of exactly that bare name
// is the target even where Windows would take the name for a device
// ("aux.md5"); only where there is none does the name as Windows resolves it
// decide ("NUL", "con.md5").
static bool OrdinaryTarget(const char *target, const WCHAR *exact) {
    const DWORD Unfit = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    if (exact) {
        DWORD attributes = GetFileAttributesW(exact);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return (attributes & Unfit) == 0;
    }
    HANDLE handle = CreateFileA(target, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true; // none yet, or the creation fails and says so
    BY_HANDLE_FILE_INFORMATION info;
    bool fit = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
               (info.dwFileAttributes & Unfit) == 0;
    CloseHandle(handle);
    return fit;
}

bool StartSignatureOutput(SignatureOutput *output, const char *target) {
    output->stream = nullptr;
    WCHAR *start = nullptr;
    WCHAR *exact = IsBareName(target) ? ExactPath(target, &start) : nullptr;
    bool fit = OrdinaryTarget(target, exact ? start : nullptr);
    free(exact);
    if (!fit)
        return false;
    // The folder part of the target, up to its last separator or drive.
    int folderLength = 0;
    for (int i = 0; target[i]; i++)
        if (target[i] == '\\' || target[i] == '/' || target[i] == ':')
            folderLength = i + 1;
    if ((size_t)folderLength + 40 > sizeof output->newFile)
        return false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; attempt++) {
        snprintf(output->newFile, sizeof output->newFile, "%.*s.sumbrel-%lu-%u.new", folderLength,
                 target, GetCurrentProcessId(), attempt);
        // CREATE_NEW never takes over an existing file.
        handle = CreateFileA(output->newFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileA(output->newFile);
        return false;
    }
    output->stream = _fdopen(fd, "wt");
    if (!output->stream) {
        _close(fd);
        DeleteFileA(output->newFile);
        return false;
    }
    return true;
}

// The rename that replaces, by the exact name for a bare one.
static bool ReplaceTarget(const char *newFile, const char *target) {
    const DWORD Flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!IsBareName(target))
        return MoveFileExA(newFile, target, Flags) != FALSE;
    // The new file of a bare target is bare too, in the same folder.
    WCHAR *start, *fromStart;
    WCHAR *exact = ExactPath(target, &start);
    WCHAR *from = ExactPath(newFile, &fromStart);
    bool moved = exact && from && MoveFileExW(fromStart, start, Flags) != FALSE;
    free(exact);
    free(from);
    return moved;
}

bool FinishSignatureOutput(SignatureOutput *output, const char *target, bool keep) {
    FILE *stream = output->stream;
    output->stream = nullptr;
    // On the disk before it takes the name: a crash then leaves the old list
    // or the new one, never a part.
    bool written = fflush(stream) == 0 && ferror(stream) == 0;
    if (written && keep)
        written = FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != 0;
    if (fclose(stream) != 0)
        written = false;
    if (written && keep && ReplaceTarget(output->newFile, target))
        return true;
    DeleteFileA(output->newFile);
    return false;
}

bool CurrentFolder(char *path, size_t size) {
    DWORD length = GetCurrentDirectoryA((DWORD)size, path);
    return length > 0 && length < size;
}

const bool NamesHoldBackslashes = false;

// A name opened as it is digested, so that a bare name means exactly that
// file here too: "sigfile.md5." is not the signature file "sigfile.md5".
static bool IdentityAsDigested(const char *name, NameEncoding encoding,
                               BY_HANDLE_FILE_INFORMATION *info) {
    FILE *stream = OpenFileToDigest(name, encoding);
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
    // The signature file's own name is opened exactly as well.
    BY_HANDLE_FILE_INFORMATION a, b;
    return IdentityAsDigested(itemName, NameInCodePage, &a) &&
           IdentityAsDigested(fileName, NameInCodePage, &b) && SameIdentity(a, b);
}

bool SameFileAsListed(const char *itemName, NameEncoding itemEncoding, const char *listedName,
                      NameEncoding listedEncoding) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return IdentityAsDigested(itemName, itemEncoding, &a) &&
           IdentityAsDigested(listedName, listedEncoding, &b) && SameIdentity(a, b);
}

// The code page of the narrow file calls, which the host lists names in.
static UINT ListingCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

// A name as the narrow listing gives it: letters the code page lacks become
// their best-fit look-alike or '?'. False when it does not fit.
static bool ListedForm(const WCHAR *wide, char *name, size_t size) {
    return WideCharToMultiByte(ListingCodePage(), 0, wide, -1, name, (int)size, nullptr, nullptr) >
           0;
}

bool NameInDirectory(const char *path, NameEncoding encoding, char *name, size_t size) {
    // The directory entry itself answers: a name that differs in letter case
    // or is the short 8.3 alias finds the long name as stored. Listed names
    // that were digested hold no wildcard, Windows refusing them in names.
    if (encoding == NameInCodePage) {
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
    int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    WCHAR *wide =
        wideLength > 0 ? static_cast<WCHAR *>(malloc((size_t)wideLength * sizeof(WCHAR))) : nullptr;
    bool named = false;
    if (wide && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, wideLength)) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(wide, &found);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            named = ListedForm(found.cFileName, name, size);
        }
    }
    free(wide);
    return named;
}

// A name of the folder whose listed form leads elsewhere or nowhere.
struct StrayName {
    char Listed[PanelItemNameSize];   // as the host lists it
    char ShortName[14];               // as the host lists it; empty when there is none
    char Real[3 * PanelItemNameSize]; // UTF-8
};

struct StrayNames {
    uint32_t Count;
    uint32_t Room;
    StrayName *Names;
    // A host that fills in short names leaves one empty only for a name
    // that is its own short form; one that never does tells nothing by it.
    bool HostGivesShortNames;
};

// True when the listed form of a name opens that very name again.
static bool LeadsBack(const WCHAR *wide, const char *listed) {
    WCHAR back[PanelItemNameSize];
    int length =
        MultiByteToWideChar(ListingCodePage(), 0, listed, -1, back, (int)PanelItemNameSize);
    return length > 0 && wcscmp(back, wide) == 0;
}

static bool AddStray(StrayNames *strays, const WIN32_FIND_DATAW &found) {
    if (strays->Count == strays->Room) {
        uint32_t room = strays->Room ? 2 * strays->Room : 16;
        StrayName *names =
            static_cast<StrayName *>(realloc(strays->Names, room * sizeof(StrayName)));
        if (!names)
            return false;
        strays->Names = names;
        strays->Room = room;
    }
    StrayName *stray = &strays->Names[strays->Count];
    if (!ListedForm(found.cFileName, stray->Listed, sizeof stray->Listed) ||
        WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, stray->Real, sizeof stray->Real,
                            nullptr, nullptr) == 0)
        return true; // a name too long for a panel item is on no panel
    if (!found.cAlternateFileName[0] ||
        !ListedForm(found.cAlternateFileName, stray->ShortName, sizeof stray->ShortName))
        stray->ShortName[0] = 0;
    strays->Count++;
    return true;
}

static int CompareListedForms(const void *a, const void *b) {
    return strncmp(static_cast<const StrayName *>(a)->Listed,
                   static_cast<const StrayName *>(b)->Listed, PanelItemNameSize);
}

StrayNames *ListStrayNames(const PanelInfoRecord *record) {
    StrayNames *strays = static_cast<StrayNames *>(calloc(1, sizeof(StrayNames)));
    if (!strays)
        return nullptr;
    for (int32_t i = 0; i < record->ItemCount; i++)
        if (record->Items[i].ShortName[0])
            strays->HostGivesShortNames = true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"*", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            char listed[PanelItemNameSize];
            if (ListedForm(found.cFileName, listed, sizeof listed) &&
                LeadsBack(found.cFileName, listed))
                continue;
            if (!AddStray(strays, found))
                break;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (strays->Count == 0) {
        FreeStrayNames(strays);
        return nullptr;
    }
    // In the order of their listed form, so that an item finds the names it
    // may stand for by a binary search instead of a look at every one.
    qsort(strays->Names, strays->Count, sizeof(StrayName), CompareListedForms);
    return strays;
}

void FreeStrayNames(StrayNames *strays) {
    if (!strays)
        return;
    free(strays->Names);
    free(strays);
}

static bool ShortNameFits(const StrayNames *strays, const PanelItemRecord *item,
                          const char *shortName) {
    if (item->ShortName[0])
        return _strnicmp(item->ShortName, shortName, sizeof item->ShortName) == 0;
    return !strays->HostGivesShortNames || shortName[0] == 0;
}

static bool CopyName(const char *from, char *name, size_t size) {
    size_t length = strlen(from);
    if (length >= size)
        return false;
    memcpy(name, from, length + 1);
    return true;
}

// The first stray name listed as the item is, or strays->Count.
static uint32_t FirstListedAs(const StrayNames *strays, const char *listed) {
    uint32_t low = 0, high = strays->Count;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (strncmp(strays->Names[middle].Listed, listed, PanelItemNameSize) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

int32_t ResolveItem(const StrayNames *strays, const PanelItemRecord *item) {
    if (!strays)
        return ItemByOwnName;
    int32_t fitting = ItemByOwnName;
    uint32_t fits = 0, alike = 0;
    for (uint32_t i = FirstListedAs(strays, item->Name);
         i < strays->Count && strncmp(strays->Names[i].Listed, item->Name, PanelItemNameSize) == 0;
         i++) {
        alike++;
        if (ShortNameFits(strays, item, strays->Names[i].ShortName)) {
            fits++;
            fitting = (int32_t)i;
        }
    }
    // No other name looks like it: the item's name is its own, as always.
    if (alike == 0)
        return ItemByOwnName;
    // The file of exactly the item's name fits as well, unless its short
    // name tells it apart. Windows names never hold '?'.
    WIN32_FIND_DATAA found;
    HANDLE search =
        strchr(item->Name, '?') ? INVALID_HANDLE_VALUE : FindFirstFileA(item->Name, &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        if (strcmp(found.cFileName, item->Name) == 0 &&
            ShortNameFits(strays, item, found.cAlternateFileName)) {
            fits++;
            fitting = ItemByOwnName;
        }
    }
    return fits == 1 ? fitting : ItemUnresolved;
}

bool ResolvedItemName(const StrayNames *strays, const PanelItemRecord *item, int32_t resolution,
                      char *name, size_t size, NameEncoding *encoding) {
    *encoding = resolution >= 0 ? NameInUtf8 : NameInCodePage;
    if (resolution == ItemUnresolved)
        return false;
    return CopyName(resolution >= 0 ? strays->Names[resolution].Real : item->Name, name, size);
}
