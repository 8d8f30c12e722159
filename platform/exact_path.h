// The path Windows opens exactly as spelled: the current directory and a bare
// name put together in the "\\?\" form, where no trailing dot or blank is
// dropped and no device name is recognised. Pure text work on UTF-16 units,
// so both builds test it.
#pragma once

#include <stddef.h>

// Units a path built from a directory and a name of these lengths needs at
// most, its NUL included.
size_t ExactPathRoom(size_t directoryLength, size_t nameLength);

// Writes the exact path of name in directory: "C:\dir" gives
// "\\?\C:\dir\name", "C:\" "\\?\C:\name", "\\server\share" gives
// "\\?\UNC\server\share\name", and a directory already in the "\\?\" form
// (or the "\\.\" device form) is only joined. Returns the length without the
// NUL, or 0 when size units do not hold it.
size_t BuildExactPath(const char16_t *directory, const char16_t *name, char16_t *path, size_t size);
