// The probe's commands: each runs one component of the program without
// windows and prints what it found. Exit status 0 on success, 1 otherwise.
#pragma once

#include <string>

int ProbeGif(const std::string& file);
int ProbeResave(const std::string& in, const std::string& out);
// `pattern` null: the pattern of "All Supported Formats".
int ProbeStill(const std::string& file, int boxWidth, int boxHeight, bool withBox);
int ProbeList(int argc, char** argv, const std::string& folder, const std::string* pattern);
// Steps the animated viewer's composition; prints frame, interval and a hash
// of the display buffer for each step, and with `outDir` writes stepK.ppm.
int ProbePlay(const std::string& file, int steps, const std::string& outDir);
