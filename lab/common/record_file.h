// The files in which stand-ins record what reached them, one line per event, and the names that
// keep the records of different runs and processes apart.
#pragma once

#include <string>
#include <vector>

namespace lab {

// Appends one line. Several stand-in processes and threads append to the same file, and Wine
// does not make concurrent appends atomic, so every writer takes the same named mutex.
void AppendLine(const std::string& path, const std::string& line);

// The complete lines of a record file: a line still being written is left for the next read.
std::vector<std::string> CompleteLines(const std::string& path);

// The whole file, or nothing.
std::string FileBytes(const std::string& path);

// The fields of a record line, split at every "|".
std::vector<std::string> Fields(const std::string& line);

// A name unique to this process and run, for events, files and the like.
std::string UniqueName(const char* stem);

// A new path in the temporary folder, from UniqueName.
std::string TempPath(const char* stem);

}  // namespace lab
