// The two jobs over signature files.
#pragma once

// Writes a signature file for the selected files, the file under the cursor,
// or every file of the panel when the cursor is on "..".
void CreateSignatures(const char *fileName);

// Checks the files named in a signature file and selects the mismatching ones.
void VerifySignatures(const char *fileName);
