// The second line of the installation's boxes: what went wrong, in plain words for a technician.
#pragma once
#include <cstddef>

#include "payload/extract.h"
#include "payload/preflight.h"

// Each writes a NUL-terminated text into out (cap units), cut short when longer. Paths are shown as Windows
// has them; sizes in MB with one decimal.

// Why the pre-flight refused (any PreflightResult but ok and held): the path, drive or folder, and the cause.
void preflight_reason(const PreflightReport& report, wchar_t* out, size_t cap);

// Why an extraction failed (an ExtractFailure the engine filled): the file and the cause.
void extraction_reason(const ExtractFailure& failure, wchar_t* out, size_t cap);

// The question of the Retry/Cancel box for held files: the programs that hold them (programs, from
// programs_holding) or, when the system cannot name them (programs empty), the files themselves.
void held_question(const PreflightReport& report, const wchar_t* programs, wchar_t* out, size_t cap);

// first, a line break, then second, into out.
void two_lines(const wchar_t* first, const wchar_t* second, wchar_t* out, size_t cap);
