// The installation's shared state and its initial values.
#include "install/install_state.h"

std::atomic<const wchar_t*> g_install_dir{nullptr};
std::atomic<bool> g_installing{false};
