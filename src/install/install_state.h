// The installation's shared state: the install directory and the installing flag, read by window and worker.
#pragma once
#include <atomic>

// The install directory: a heap UTF-16 string ending with a backslash, the default set at window
// initialisation. Replaced by storing a new pointer; a replaced string is never released, so a reader on
// another thread always holds a whole string.
extern std::atomic<const wchar_t*> g_install_dir;

// Set by the install click before the worker starts, cleared by the worker in each of its endings.
extern std::atomic<bool> g_installing;
