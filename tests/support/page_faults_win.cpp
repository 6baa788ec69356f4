// Page faults of the calling thread: not counted here, Windows grants no large pages without privileges.
#include "support/test_support.h"

long large_page_faults_so_far() { return -1; }
