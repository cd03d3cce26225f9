// Letters compared without regard to case, as the file list does it: only
// the ASCII letters fold; every other byte is itself. Standard library only.
#pragma once

inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
