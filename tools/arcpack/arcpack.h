// The packing tool's three commands over the archive writer and reader: pack a folder into an archive, list an
// archive, and extract one into a folder.
#pragma once

#include <stdio.h>

#include <string>

#include "runtime/archive/archive_writer.h"

// Packs every file and folder under `folder` (the folder itself is the archive's root). 0, or 1 with a message on
// `messages`.
int PackFolder(const std::string& folder, const std::string& archive, const ArchiveWriterOptions& options,
               FILE* messages);
// One line per entry: size, packed size (or "stored"), path; folders end in the separator. 0 / 1.
int ListArchive(const std::string& archive, const char* keyText, FILE* out, FILE* messages);
// Recreates the archive's folders and files under `folder`. Names that could leave the folder are refused. 0 / 1.
int ExtractArchive(const std::string& archive, const std::string& folder, const char* keyText, FILE* messages);
