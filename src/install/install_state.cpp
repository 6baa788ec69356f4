// The installation's shared state and its initial values.
#include "install/install_state.h"

std::atomic<const char*> g_install_dir{nullptr};
std::atomic<bool> g_installing{false};
