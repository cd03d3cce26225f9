// Whether a path names something that exists: a file, a folder, or (with "*"
// or "?" in its last component) at least one entry of the folder it names.
// Empty text and any failure give false. Standard library only.
#pragma once

#include <string>

bool FileFound(const std::string& path);
