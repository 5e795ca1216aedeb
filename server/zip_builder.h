#pragma once

#include <string>
#include <vector>

// One file of an archive the service sends.
struct ArchiveFile {
  std::string name;  // UTF-8, a safe name without folder parts
  std::string bytes;
  std::string date;  // "YYYY-MM-DD", the entry's time (noon); empty: 1980-01-01
};

// A ZIP archive in memory, built with minizip's zip API: each file deflated,
// its name marked as UTF-8. Names that repeat get " (2)", " (3)"... before
// their extension, so no entry replaces another when unpacked. Throws
// std::runtime_error when minizip fails.
std::string BuildArchive(const std::vector<ArchiveFile>& files);
