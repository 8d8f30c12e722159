// The platform layer on Windows. Names: a bare name, or a name of parts
// below the current directory, is opened exactly as spelled, through the
// "\\?\" form, and names convert between the code page of the narrow file
// calls and UTF-8; the host lists names in that code page, so the names its
// listing does not lead back to are found and resolved. Files: only disk
// files are read; a signature file is written in the C runtime's text mode,
// which stores LF as CR LF, to a new file that a rename puts in the old
// list's place; file identity is the volume serial number and file index; a
// folder is listed in UTF-16 without following a link or junction. The
// console: its width, the performance counter, and the Escape poll over the
// console input queue, which the module shares with the host.
#include <fcntl.h>
#include <io.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "host/records.h"
#include "platform/exact_path.h"
#include "platform/platform.h"
#include "platform/system_calls.h"

// The code page the narrow file calls convert names with, which the host
// lists names in, as a number the lead-byte test takes too.
static UINT FileCodePage() {
    return AreFileApisANSI() ? GetACP() : GetOEMCP();
}

// A panel item's name has no directory part and no drive; a name typed by
// the user or listed with a directory part resolves as Windows resolves it.
// In the double-byte code pages (932, 936, 949, 950) a trail byte may be
// 0x5C, which is a letter's second half there, not a backslash.
static bool IsBareNameIn(const char *name, NameEncoding encoding) {
    if (name[0] == '\0')
        return false;
    UINT codePage = encoding == NameInUtf8 ? CP_UTF8 : FileCodePage();
    for (const unsigned char *c = (const unsigned char *)name; *c != 0; c++) {
        if (*c == '\\' || *c == '/' || *c == ':')
            return false;
        if (*c >= 0x80 && codePage != CP_UTF8 && IsDBCSLeadByteEx(codePage, *c) && c[1] != 0)
            c++;
    }
    return true;
}

static bool IsBareName(const char *name) {
    return IsBareNameIn(name, NameInCodePage);
}

// A name of parts below the current directory, as a walk through a folder
// gives them ("photos/2019/a.jpg"): each part a bare name but "." and "..".
// It is opened exactly too, however deep it lies.
static bool IsNameBelowIn(const char *name, NameEncoding encoding) {
    UINT codePage = encoding == NameInUtf8 ? CP_UTF8 : FileCodePage();
    const unsigned char *part = (const unsigned char *)name;
    for (const unsigned char *c = part;; c++) {
        if (*c == '\\' || *c == '/' || *c == 0) {
            size_t length = (size_t)(c - part);
            if (length == 0 || (part[0] == '.' && (length == 1 || (length == 2 && part[1] == '.'))))
                return false;
            if (*c == 0)
                return true;
            part = c + 1;
        } else if (*c == ':') {
            return false;
        } else if (*c >= 0x80 && codePage != CP_UTF8 && IsDBCSLeadByteEx(codePage, *c) &&
                   c[1] != 0) {
            c++;
        }
    }
}

static bool IsExactNameIn(const char *name, NameEncoding encoding) {
    return IsBareNameIn(name, encoding) || IsNameBelowIn(name, encoding);
}

// The name in UTF-16, converted by the code page the narrow file calls use
// (as they would have converted it themselves) or from UTF-8. Null when it
// does not convert; else free it.
static WCHAR *WideName(const char *name, NameEncoding encoding) {
    UINT codePage = encoding == NameInUtf8 ? CP_UTF8 : FileCodePage();
    DWORD flags = encoding == NameInUtf8 ? MB_ERR_INVALID_CHARS : 0;
    int length = MultiByteToWideChar(codePage, flags, name, -1, nullptr, 0);
    if (length == 0)
        return nullptr;
    WCHAR *wide = static_cast<WCHAR *>(malloc((size_t)length * sizeof(WCHAR)));
    if (wide && MultiByteToWideChar(codePage, flags, name, -1, wide, length) == 0) {
        free(wide);
        wide = nullptr;
    }
    return wide;
}

// Windows drops trailing dots and blanks from a name it opens ("trail."
// would open "trail") and takes "aux.txt" for a device. The "\\?\" form of
// the whole path is used as it stands, so a bare name goes into it with the
// current directory. A process that takes long paths may stand in a
// directory of any length, so the path is sized from the answers. Takes the
// name's allocation; null when the path cannot be made.
static WCHAR *ExactWidePath(WCHAR *wide) {
    WCHAR *path = nullptr;
    DWORD directorySize = wide ? GetCurrentDirectoryW(0, nullptr) : 0;
    WCHAR *directory =
        directorySize ? static_cast<WCHAR *>(malloc(directorySize * sizeof(WCHAR))) : nullptr;
    // A directory that grew between the two questions is caught here.
    DWORD length = directory ? GetCurrentDirectoryW(directorySize, directory) : 0;
    if (length > 0 && length < directorySize) {
        size_t room = ExactPathRoom(length, wcslen(wide));
        path = static_cast<WCHAR *>(malloc(room * sizeof(WCHAR)));
        if (path && BuildExactPath(reinterpret_cast<const char16_t *>(directory),
                                   reinterpret_cast<const char16_t *>(wide),
                                   reinterpret_cast<char16_t *>(path), room) == 0) {
            free(path);
            path = nullptr;
        }
    }
    free(directory);
    free(wide);
    return path;
}

// The "\\?\" path of a bare name in the current directory, which Windows
// takes exactly as spelled (trailing dots and blanks, "aux.txt"). Returns
// the allocation to free and sets start to the path within it; null when
// the path cannot be made.
static WCHAR *ExactPath(const char *name, WCHAR **start) {
    WCHAR *path = ExactWidePath(WideName(name, NameInCodePage));
    *start = path;
    return path;
}

// The path a name is opened by: the exact path of a bare name or of parts
// below the current directory, any other name as it is, resolved as
// Windows resolves it. Null when the name does not convert; else free it.
static WCHAR *PathToOpen(const char *name, NameEncoding encoding) {
    WCHAR *wide = WideName(name, encoding);
    if (!wide || !IsExactNameIn(name, encoding))
        return wide;
    // The "\\?\" form takes no '/' for a separator.
    for (WCHAR *c = wide; *c != 0; c++)
        if (*c == L'/')
            *c = L'\\';
    return ExactWidePath(wide);
}

static FILE *StreamOnHandle(HANDLE handle) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "rb");
    if (!stream)
        _close(fd);
    return stream;
}

FILE *OpenFileToDigest(const char *name, NameEncoding encoding) {
    FILE *stream = nullptr;
    if (encoding == NameInCodePage && !IsExactNameIn(name, encoding)) {
        // msvcrt's fopen shares reading and writing (not deletion) with others.
        stream = fopen(name, "rb");
    } else if (WCHAR *path = PathToOpen(name, encoding)) {
        // Reading and writing are shared with others, as msvcrt's fopen does.
        HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        free(path);
        stream = handle != INVALID_HANDLE_VALUE ? StreamOnHandle(handle) : nullptr;
    }
    if (!stream)
        return nullptr;
    // A console, NUL or a pipe would block the read or never end; only a
    // disk file is read.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        fclose(stream);
        return nullptr;
    }
    return stream;
}

FileProblem WhyNotOpened(const char *name, NameEncoding encoding) {
    WCHAR *path = PathToOpen(name, encoding);
    if (!path)
        return ProblemNotFound;
    DWORD attributes = GetFileAttributesW(path);
    DWORD error = GetLastError();
    free(path);
    // No file of exactly that bare name; "." and ".." still name folders.
    if (attributes == INVALID_FILE_ATTRIBUTES && IsBareNameIn(name, encoding)) {
        WCHAR *resolved = WideName(name, encoding);
        DWORD resolvedAttributes =
            resolved ? GetFileAttributesW(resolved) : INVALID_FILE_ATTRIBUTES;
        free(resolved);
        if (resolvedAttributes != INVALID_FILE_ATTRIBUTES &&
            (resolvedAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return ProblemNotAFile;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? ProblemNotAFile : ProblemCannotRead;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ProblemNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ProblemCannotRead;
    default:
        return ProblemNotAFile; // a device or a pipe, which has no attributes
    }
}

bool NameHasFile(const char *name, NameEncoding encoding) {
    WCHAR *path = PathToOpen(name, encoding);
    if (!path)
        return false;
    bool found = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    free(path);
    return found;
}

// A name as the narrow listing gives it: letters the code page lacks become
// their best-fit look-alike or '?'. False when it does not fit.
static bool ListedForm(const WCHAR *wide, char *name, size_t size) {
    return WideCharToMultiByte(FileCodePage(), 0, wide, -1, name, (int)size, nullptr, nullptr) > 0;
}

// From UTF-16 to a narrow code page; false when the result does not fit or
// the text does not convert.
static bool NarrowName(const WCHAR *wide, UINT codePage, DWORD flags, char *buffer, size_t size) {
    const char *defaultChar = codePage == CP_UTF8 ? nullptr : "?";
    int length =
        WideCharToMultiByte(codePage, flags, wide, -1, buffer, (int)size, defaultChar, nullptr);
    return length > 0;
}

const char *NameForHost(const char *name, NameEncoding encoding, char *buffer, size_t size) {
    if (encoding == NameInCodePage || size == 0)
        return name;
    WCHAR *wide = WideName(name, encoding);
    // No look-alike: what the code page lacks shows as '?'.
    bool converted = wide && NarrowName(wide, FileCodePage(), WC_NO_BEST_FIT_CHARS, buffer, size);
    free(wide);
    if (!converted)
        snprintf(buffer, size, "%s", name);
    return buffer;
}

const char *HostTextForFile(const char *text, bool inUtf8, char *buffer, size_t size) {
    WCHAR wide[1024];
    if (size == 0 || MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, 1024) == 0)
        return text;
    UINT codePage = inUtf8 ? CP_UTF8 : FileCodePage();
    if (WideCharToMultiByte(codePage, 0, wide, -1, buffer, (int)size, nullptr, nullptr) == 0)
        return text;
    return buffer;
}

// In a double-byte code page a trail byte may look like a lead byte, so the
// letters are counted from the start; in the others every byte is a letter.
size_t CharacterStart(const char *text, size_t at) {
    UINT codePage = FileCodePage();
    if (codePage == CP_UTF8) {
        for (int i = 0; i < 3 && ((unsigned char)text[at] & 0xC0) == 0x80; i++)
            at++;
        return at;
    }
    size_t start = 0;
    while (start < at)
        start += IsDBCSLeadByteEx(codePage, (BYTE)text[start]) && text[start + 1] != 0 ? 2 : 1;
    return start;
}

bool NameInUtf8Form(const char *name, NameEncoding encoding, char *buffer, size_t size) {
    WCHAR *wide = WideName(name, encoding);
    bool converted = wide && NarrowName(wide, CP_UTF8, 0, buffer, size);
    free(wide);
    return converted;
}

int64_t FileSizeToDigest(FILE *stream) {
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size))
        return -1;
    return (int64_t)size.QuadPart;
}

FILE *OpenSignatureFile(const char *name) {
    // Read untranslated, opened as a file to digest is: exactly by a bare
    // name, and only a disk file (the console, a serial port or a pipe would
    // block the read or never end).
    return OpenFileToDigest(name, NameInCodePage);
}

const DWORD AllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Attributes the new list takes over from the old one. A read-only list is
// refused; the archive bit Windows sets on every file written anyway.
const DWORD KeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The path the file calls take the target by: a bare name exactly, in the
// "\\?\" form; any other as typed, converted as the narrow calls convert it.
static bool TargetPath(const char *target, WCHAR *path, size_t size) {
    if (!IsBareName(target))
        return MultiByteToWideChar(FileCodePage(), 0, target, -1, path, (int)size) > 0;
    WCHAR *start;
    WCHAR *exact = ExactPath(target, &start);
    bool fits = exact && wcslen(start) < size;
    if (fits)
        wcscpy(path, start);
    free(exact);
    return fits;
}

// The file a handle is open on, links followed, in the "\\?\" form. Windows
// before Vista has neither the call nor links to files: the path stays.
static bool FinalPath(HANDLE handle, WCHAR *path, size_t size) {
    typedef DWORD(WINAPI * FinalPathCall)(HANDLE, LPWSTR, DWORD, DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FinalPathCall finalPath = kernel ? reinterpret_cast<FinalPathCall>(reinterpret_cast<void *>(
                                           GetProcAddress(kernel, "GetFinalPathNameByHandleW")))
                                     : nullptr;
    if (!finalPath)
        return true;
    DWORD length = finalPath(handle, path, (DWORD)size, VOLUME_NAME_DOS);
    return length > 0 && length < size;
}

// True when a bare name that is no file's exact name is what Windows takes
// for a device ("NUL", "con.md5").
static bool DeviceName(const char *target) {
    HANDLE named = CreateFileA(target, 0, AllSharing, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    bool device = GetFileType(named) != FILE_TYPE_DISK;
    CloseHandle(named);
    return device;
}

// True when a name that opens no file is taken all the same: by a link to a
// file not there yet, which Windows lists as a link and Wine not at all.
static bool NameTaken(const WCHAR *path) {
    if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return true;
    HANDLE probe = CreateFileW(path, DELETE, AllSharing, nullptr, CREATE_NEW,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return false;
    }
    return GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Finds the file the target names, links followed, into output->list, and
// whether a list may take its place: a disk file that is neither folder
// nor read-only, or none yet. A file of exactly that bare name is the
// target even where Windows would take the name for a device ("aux.md5");
// only where there is none does the name as Windows resolves it decide
// ("NUL", "con.md5"). A link to a file not there yet leads to where the
// file is made, empty, until the list takes its place.
static bool FindList(const char *target, SignatureOutput *output, DWORD *attributes) {
    const size_t Room = sizeof output->list / sizeof(WCHAR);
    if (!TargetPath(target, output->list, Room))
        return false;
    HANDLE handle = CreateFileW(output->list, 0, AllSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool missing = handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND;
    if (missing && IsBareName(target) && DeviceName(target))
        return false;
    if (missing && NameTaken(output->list)) {
        // Renaming over the link would replace it: the file is made where
        // it leads, and the handle tells where that is.
        handle = CreateFileW(output->list, 0, AllSharing, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        output->madeList = true;
    }
    // Only a name that opens to nothing is a list to make: a loop of links
    // or a name that cannot be examined is no list to replace.
    if (handle == INVALID_HANDLE_VALUE)
        return missing;
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD Unfit = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    bool fit = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
               (info.dwFileAttributes & Unfit) == 0;
    // A file made through a link whose path cannot be told stays, empty:
    // removing it by the link's name would remove the link.
    fit = fit && FinalPath(handle, output->list, Room);
    output->madeList = output->madeList && fit;
    CloseHandle(handle);
    if (fit)
        *attributes = info.dwFileAttributes & KeptAttributes;
    return fit;
}

bool StartSignatureOutput(SignatureOutput *output, const char *target, OutputLineEnds lineEnds) {
    output->stream = nullptr;
    output->madeList = false;
    DWORD attributes = 0;
    if (!FindList(target, output, &attributes))
        return false;
    // The folder part of the list, up to its last separator or drive.
    size_t folderLength = 0;
    for (size_t i = 0; output->list[i]; i++)
        if (output->list[i] == L'\\' || output->list[i] == L'/' || output->list[i] == L':')
            folderLength = i + 1;
    const size_t Room = sizeof output->newFile / sizeof(WCHAR);
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && folderLength + 40 < Room; attempt++) {
        wmemcpy(output->newFile, output->list, folderLength);
        _snwprintf(output->newFile + folderLength, 40, L".sumbrel-%lu-%u.new",
                   GetCurrentProcessId(), attempt);
        // CREATE_NEW never takes over an existing file.
        handle = CreateFileW(output->newFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                             attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    // Text mode stores LF as CR LF; binary mode leaves it alone.
    bool crLf = lineEnds == CrLfLineEnds;
    int fd = handle != INVALID_HANDLE_VALUE
                 ? _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   _O_WRONLY | (crLf ? _O_TEXT : _O_BINARY))
                 : -1;
    output->stream = fd >= 0 ? _fdopen(fd, crLf ? "wt" : "wb") : nullptr;
    if (output->stream)
        return true;
    if (fd >= 0)
        _close(fd);
    else if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (handle != INVALID_HANDLE_VALUE)
        DeleteFileW(output->newFile);
    if (output->madeList)
        DeleteFileW(output->list);
    return false;
}

bool NewFileOnDisk(const SignatureOutput *, FILE *stream) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != 0;
}

bool NewFileReplacesList(const SignatureOutput *output) {
    return MoveFileExW(output->newFile, output->list,
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveNewFile(const SignatureOutput *output) {
    DeleteFileW(output->newFile);
    if (output->madeList)
        DeleteFileW(output->list);
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
    WCHAR *wide = WideName(path, NameInUtf8);
    bool named = false;
    if (wide) {
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
    int length = MultiByteToWideChar(FileCodePage(), 0, listed, -1, back, (int)PanelItemNameSize);
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

static bool IdentityOfHandle(HANDLE handle, FileIdentity *identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return true;
}

// Opened for no access at all, which no other handle's sharing refuses.
static bool IdentityOfPath(const WCHAR *path, FileIdentity *identity) {
    HANDLE handle = CreateFileW(path, 0, AllSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    bool known = IdentityOfHandle(handle, identity);
    CloseHandle(handle);
    return known;
}

bool FileIdentityOf(const char *name, NameEncoding encoding, FileIdentity *identity) {
    WCHAR *path = PathToOpen(name, encoding);
    bool known = path && IdentityOfPath(path, identity);
    free(path);
    return known;
}

bool NewFileIdentity(const SignatureOutput *output, FileIdentity *identity) {
    return IdentityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(output->stream))),
                            identity);
}

// Folders.

// A folder is listed by NtQueryDirectoryFile, which every Windows NT has:
// its entries come many to a call into a large buffer, each with its file
// index, so that a walk tells the list it writes from the files it signs
// without opening each one (under Wine an open and its volume serial
// number cost a round trip to the server and another to the mount
// manager, several times a digest of a small file).
struct DirectoryEntry { // FILE_ID_BOTH_DIR_INFORMATION
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
    LARGE_INTEGER endOfFile, allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength; // in bytes, without a NUL
    ULONG eaSize;         // the reparse tag of a reparse point
    CCHAR shortNameLength;
    WCHAR shortName[12];
    LARGE_INTEGER fileId;
    WCHAR fileName[1];
};
static_assert(offsetof(DirectoryEntry, fileId) == 96 && offsetof(DirectoryEntry, fileName) == 104,
              "the layout Windows fills in");

struct ListingStatusBlock { // IO_STATUS_BLOCK
    union {
        LONG status;
        void *pointer;
    };
    ULONG_PTR information;
};

typedef LONG(NTAPI *QueryDirectoryCall)(HANDLE, HANDLE, void *, void *, ListingStatusBlock *,
                                        void *, ULONG, int, BOOLEAN, void *, BOOLEAN);
const int FileIdBothDirectoryInformation = 37;
const LONG StatusNoMoreFiles = (LONG)0x80000006;
const LONG StatusNoSuchFile = (LONG)0xC000000F;

static QueryDirectoryCall QueryDirectory() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<QueryDirectoryCall>(
                       reinterpret_cast<void *>(GetProcAddress(ntdll, "NtQueryDirectoryFile")))
                 : nullptr;
}

// A read of 64 KiB, the most a network share answers at once, holds a few
// hundred entries.
const ULONG ListingReadSize = 64 * 1024;

struct FolderListing {
    HANDLE folder;
    QueryDirectoryCall query;
    uint64_t volume;  // the folder's; 0 when it cannot be told
    ULONG at, filled; // the next entry's place in the buffer, the bytes read
    bool ended;
    bool failed;
    size_t folderLength; // path holds the folder and a separator, then an entry's name
    DECLSPEC_ALIGN(8) BYTE buffer[ListingReadSize];
    WCHAR path[1];
};

// A symbolic link or junction stands for another name; other reparse points
// (deduplicated files, files kept in a cloud) hold their own contents.
static bool IsLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag);
}

// A link to a file counts as the disk file it leads to, or as nothing.
static EntryKind KindOf(const DirectoryEntry *found, const WCHAR *path) {
    bool folder = (found->fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!IsLink(found->fileAttributes, found->eaSize))
        return folder ? EntryFolder : EntryFile;
    if (folder)
        return EntryOther;
    HANDLE handle = CreateFileW(path, 0, AllSharing, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return EntryOther;
    BY_HANDLE_FILE_INFORMATION info;
    bool file = GetFileType(handle) == FILE_TYPE_DISK &&
                GetFileInformationByHandle(handle, &info) &&
                !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(handle);
    return file ? EntryFile : EntryOther;
}

static FileProblem ProblemOfError(DWORD error) {
    if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY)
        return ProblemNoMemory;
    if (error == ERROR_FILENAME_EXCED_RANGE)
        return ProblemNameTooLong;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ProblemNotFound
                                                                          : ProblemCannotRead;
}

// True for a folder of its own: not a file, not a link or junction to one.
static bool IsOwnFolder(const WCHAR *path, FileProblem *problem) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *problem = ProblemOfError(GetLastError());
        return false;
    }
    *problem = ProblemNotAFile;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    // Only the folder's own entry tells which kind of reparse point it is.
    WIN32_FIND_DATAW self;
    HANDLE search = FindFirstFileW(path, &self);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return !IsLink(self.dwFileAttributes, self.dwReserved0);
}

FolderListing *OpenFolderListing(const char *name, NameEncoding encoding, FileIdentity *identity,
                                 FileProblem *problem) {
    identity->volume = identity->index = 0;
    *problem = ProblemNotFound;
    QueryDirectoryCall query = QueryDirectory();
    WCHAR *folder = query ? PathToOpen(name, encoding) : nullptr;
    if (!folder)
        return nullptr;
    size_t length = wcslen(folder);
    // The record is the walk's memory, taken where a test may make it run out.
    FolderListing *listing = nullptr;
    if (IsOwnFolder(folder, problem)) {
        listing = static_cast<FolderListing *>(
            System.allocate(sizeof(FolderListing) + (length + 2 + MAX_PATH) * sizeof(WCHAR)));
        if (!listing)
            *problem = ProblemNoMemory;
    }
    if (listing) {
        listing->folder = CreateFileW(folder, FILE_LIST_DIRECTORY | SYNCHRONIZE, AllSharing,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (listing->folder == INVALID_HANDLE_VALUE) {
            *problem = ProblemOfError(GetLastError());
            System.release(listing);
            listing = nullptr;
        }
    }
    if (listing) {
        if (!IdentityOfHandle(listing->folder, identity))
            identity->volume = identity->index = 0;
        listing->query = query;
        listing->volume = identity->volume;
        listing->at = listing->filled = 0;
        listing->ended = listing->failed = false;
        wcscpy(listing->path, folder);
        listing->folderLength = length + 1;
        wcscpy(listing->path + length, L"\\");
    }
    free(folder);
    return listing;
}

// A name the code page holds comes in it, as the host lists it; any other
// in UTF-8.
static bool EntryName(const WCHAR *wide, char *name, size_t size, NameEncoding *encoding) {
    *encoding = NameInCodePage;
    if (ListedForm(wide, name, size) && LeadsBack(wide, name))
        return true;
    *encoding = NameInUtf8;
    return NarrowName(wide, CP_UTF8, 0, name, size);
}

// The next entry of the buffer, reading the next batch when it is used up;
// null at the end of the folder or when a read failed.
static const DirectoryEntry *NextListed(FolderListing *listing) {
    if (listing->at >= listing->filled) {
        if (listing->ended)
            return nullptr;
        ListingStatusBlock io = {};
        LONG status =
            listing->query(listing->folder, nullptr, nullptr, nullptr, &io, listing->buffer,
                           ListingReadSize, FileIdBothDirectoryInformation, FALSE, nullptr, FALSE);
        if (status < 0 || status == StatusNoMoreFiles || io.information == 0) {
            // An empty folder may have no entry at all, not even "." and "..".
            listing->failed =
                status < 0 && status != StatusNoMoreFiles && status != StatusNoSuchFile;
            listing->ended = true;
            return nullptr;
        }
        listing->at = 0;
        listing->filled = (ULONG)io.information;
    }
    const DirectoryEntry *found =
        reinterpret_cast<const DirectoryEntry *>(listing->buffer + listing->at);
    listing->at = found->nextEntryOffset ? listing->at + found->nextEntryOffset : listing->filled;
    return found;
}

bool NextFolderEntry(FolderListing *listing, FolderEntry *entry) {
    while (const DirectoryEntry *found = NextListed(listing)) {
        size_t length = found->fileNameLength / sizeof(WCHAR);
        if (length == 0 || length > MAX_PATH)
            continue;
        WCHAR *name = listing->path + listing->folderLength;
        memcpy(name, found->fileName, length * sizeof(WCHAR));
        name[length] = 0;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0 ||
            !EntryName(name, entry->name, sizeof entry->name, &entry->encoding))
            continue;
        entry->kind = KindOf(found, listing->path);
        // A link's own index is not that of the file it leads to.
        bool known = listing->volume != 0 && found->fileId.QuadPart != 0 &&
                     !IsLink(found->fileAttributes, found->eaSize);
        entry->identity.volume = known ? listing->volume : 0;
        entry->identity.index = known ? (uint64_t)found->fileId.QuadPart : 0;
        return true;
    }
    return false;
}

bool FolderListingFailed(const FolderListing *listing) {
    return listing->failed;
}

void CloseFolderListing(FolderListing *listing) {
    CloseHandle(listing->folder);
    System.release(listing);
}

// The console and the clock.

int ConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen))
        return 0;
    return screen.srWindow.Right - screen.srWindow.Left + 1;
}

uint64_t MonotonicMicroseconds() {
    // The counter's ticks per second are fixed at boot, and asking costs no
    // call to the system.
    LARGE_INTEGER now, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    uint64_t ticks = (uint64_t)now.QuadPart, perSecond = (uint64_t)frequency.QuadPart;
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

int EscapePressed(uint16_t virtualKey) {
    int result = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD count = 0;
    // An empty queue has nothing to match: the peek, a second round trip to
    // the console, is left out.
    if (!GetNumberOfConsoleInputEvents(input, &count) || count == 0)
        return 0;
    if (count > MAXDWORD / sizeof(INPUT_RECORD))
        return 0;
    INPUT_RECORD *records =
        static_cast<INPUT_RECORD *>(GlobalAlloc(GMEM_ZEROINIT, count * sizeof(INPUT_RECORD)));
    if (!records)
        return 0;
    DWORD copied = 0;
    if (!PeekConsoleInputA(input, records, count, &copied) || copied > count) {
        GlobalFree(records);
        return 0;
    }
    // Records the peek did not fill stay zero and never match.
    for (DWORD i = 0; i < count; i++) {
        const INPUT_RECORD &record = records[i];
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            record.Event.KeyEvent.wVirtualKeyCode == virtualKey) {
            result = 1;
            // Only the events ahead of it go; the Escape stays for the host.
            if (i > 0) {
                DWORD removed;
                ReadConsoleInputA(input, records, i, &removed);
            }
            break;
        }
    }
    GlobalFree(records);
    return result;
}

void ForgetConsoleInput() {}
