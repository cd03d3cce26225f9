// The program's command line: `vantrel [FOLDER | FILE]`, `--help` and
// `--version`. A folder starts the browser there; a file starts it at the
// file's folder with that file chosen. Standard library and POSIX only.
#pragma once

#include <string>

struct StartRequest {
    enum class Kind { Stored, Help, Version, Folder, File, BadOption };
    Kind kind = Kind::Stored;
    std::string folder; // Folder and File: absolute, no trailing "/" but the root
    std::string file;   // File: the name inside `folder`
    std::string error;  // a path that could not be used, or a bad option, for stderr
};

// Reads the arguments after the program's name (Qt's own options removed).
StartRequest ParseCommandLine(int argc, const char* const* argv);

constexpr const char* kUsage =
    "Usage: vantrel [FOLDER | FILE]\n"
    "Browse the pictures of FOLDER, or of FILE's folder with FILE chosen.\n"
    "Without an argument, start at the folder browsed last.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";
constexpr const char* kVersionText = "vantrel 1.0.0\n";
