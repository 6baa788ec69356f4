// The tool's exit status: one small set shared by every command.
#pragma once

constexpr int MKI_OK = 0;
constexpr int MKI_FAILED = 1;   // extraction failed (status 1), or pack could not build the installer
constexpr int MKI_DAMAGED = 2;  // the installer is unreadable or its payload damaged
constexpr int MKI_USAGE = 64;   // the command line is wrong
