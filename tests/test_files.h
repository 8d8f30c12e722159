// Scratch directories and files for tests that touch the disk.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/platform.h"

// Makes a fresh empty directory, enters it and returns its path; the previous
// directory is entered again by LeaveScratchDirectory, which removes it.
std::string EnterScratchDirectory();
void LeaveScratchDirectory();

void WriteBytes(const std::string &path, const std::string &bytes);
std::string ReadBytes(const std::string &path);

// The MD5 text of the given bytes, computed in memory.
std::string DigestOf(const std::string &bytes);

// The file's MD5 text as a job reads it, through the module's file digest
// with Escape polls; false, with why in problem, when it cannot be read.
bool ReadFileDigest(const char *name, char *text, uint32_t size, FileProblem *problem = nullptr);
