// A fresh folder under the system's temporary folder, removed with its files
// at scope exit, and whole-file helpers for the tests' and benchmarks' real
// files. What cannot be made or written throws, which fails a test and ends a
// benchmark.
#pragma once

#include <string>
#include <vector>

struct TempFolder {
    std::string path;  // ends in a backslash
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string File(const std::string& name) const { return path + name; }
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
// Names of the files in a folder, "." and ".." left out.
std::vector<std::string> FilesIn(const std::string& folder);
