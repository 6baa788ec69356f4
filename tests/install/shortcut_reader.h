// Reads a shortcut file back through the shell-link object, for the tests.
#pragma once
#include <string>

struct ShortcutFields {
    bool loaded = false;  // IPersistFile::Load accepted the file
    std::string target;
    std::wstring target_wide;  // the target as the shell link holds it, for names outside code page 936
    std::string work_dir;
    std::string description;
    int show_cmd = -1;  // from the file header: wine's shell link does not load it back (GetShowCmd says 1)
    int hot_key = -1;
};

// The fields of the shortcut at path, texts as code page 936 bytes; initialises COM for the call itself.
// show_cmd is the header's ShowCommand field, read from the file (offset 0x3C, little-endian).
ShortcutFields read_shortcut(const std::string& path);
