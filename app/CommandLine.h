// The program's command line: `vantrel [FOLDER | FILE]`, `--help` and
// `--version`. A folder starts the browser there; a file starts it at the
// file's folder with that file chosen. Standard library and POSIX only, so
// that the line is read, and a bad one refused, before the window system is
// needed.
#pragma once

#include <string>

struct StartRequest {
    enum class Kind { Stored, Help, Version, Folder, File, BadOption };
    Kind kind = Kind::Stored;
    std::string folder; // Folder and File: absolute, no trailing "/" but the root
    std::string file;   // File: the name inside `folder`
    std::string error;  // a path that could not be used, or a bad option (no program name)
};

// Reads the arguments after the program's name. Qt's own options (`-platform
// NAME`, `-style=NAME`, `--reverse`, ...), which QApplication takes out of the
// line later, are passed over with their values.
StartRequest ParseCommandLine(int argc, const char* const* argv);

// The texts of --help and --version.
std::string UsageText();
std::string VersionText();
