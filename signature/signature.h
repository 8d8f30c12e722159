// The two jobs over signature files.
#pragma once

#include <stdio.h>

#include "digest/algorithm.h"

struct PanelInfoRecord;

// Writes a signature file for the selected files, the file under the cursor,
// or every file of the panel when the cursor is on "..".
void CreateSignatures(const char *fileName);
void DigestPanelItem(PanelInfoRecord *record, int index, FILE *stream, DigestAlgorithm algorithm);

// Checks the files named in a signature file and selects the mismatching ones.
void VerifySignatures(const char *fileName);
