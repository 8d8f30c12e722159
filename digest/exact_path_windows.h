// Windows only: names opened exactly as they are spelled, for every file the
// module opens by a panel item's bare name or by a bare signature-file name.
#pragma once

#include <windows.h>

// True for a name without directory part or drive, such as a panel item's.
bool IsBareName(const char *name);

// The "\\?\" path of a bare name in the current directory, which Windows
// takes exactly as spelled (trailing dots and blanks, "aux.txt"). Returns
// the allocation to free and sets start to the path within it; null when
// the path cannot be made.
WCHAR *ExactPath(const char *name, WCHAR **start);
