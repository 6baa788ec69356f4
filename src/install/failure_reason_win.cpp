// The installation's reasons in Chinese, with the file, folder or drive they concern.
#include "install/failure_reason.h"

#include <cstdio>
#include <cwchar>

#include "install/product.h"
#include "platform/error.h"
#include "platform/text_win.h"

namespace {

// The engine's UTF-8 path as Windows shows it; "?" when it has no UTF-16 form.
void wide_of(const char* utf8, wchar_t* out, size_t cap) {
    if (!utf16_from_utf8(utf8, out, cap)) swprintf(out, cap, L"?");
}

// A system error as a technician would say it.
void cause_of(int error, wchar_t* out, size_t cap) {
    switch (os_error_kind(error)) {
    case OsErrorKind::held: swprintf(out, cap, L"%ls", CAUSE_HELD); break;
    case OsErrorKind::denied: swprintf(out, cap, L"%ls", CAUSE_DENIED); break;
    case OsErrorKind::full: swprintf(out, cap, L"%ls", CAUSE_FULL); break;
    case OsErrorKind::too_long: swprintf(out, cap, L"%ls", CAUSE_TOO_LONG); break;
    case OsErrorKind::other: swprintf(out, cap, CAUSE_OTHER, error); break;
    }
}

double megabytes(uint64_t bytes) { return double(bytes) / (1024.0 * 1024.0); }

}  // namespace

void preflight_reason(const PreflightReport& report, wchar_t* out, size_t cap) {
    wchar_t path[WIDE_PATH_CAP], cause[128];
    wide_of(report.path, path, WIDE_PATH_CAP);
    cause_of(report.system_error, cause, sizeof cause / sizeof cause[0]);
    switch (report.check) {
    case PreflightResult::path: swprintf(out, cap, REASON_PATH_TOO_LONG, path); break;
    case PreflightResult::blocked: swprintf(out, cap, REASON_IN_THE_WAY, path); break;
    case PreflightResult::no_room: {
        wchar_t volume[WIDE_PATH_CAP];
        wide_of(report.volume, volume, WIDE_PATH_CAP);
        swprintf(out, cap, REASON_NO_ROOM, volume, megabytes(report.needed), megabytes(report.available));
        break;
    }
    case PreflightResult::not_writable: swprintf(out, cap, REASON_NOT_WRITABLE, path, cause); break;
    case PreflightResult::denied: swprintf(out, cap, REASON_CANNOT_REPLACE, path, cause); break;
    case PreflightResult::ok:  // not a refusal: none is given
    case PreflightResult::held: swprintf(out, cap, L"%ls", path); break;
    }
}

void extraction_reason(const ExtractFailure& failure, wchar_t* out, size_t cap) {
    wchar_t path[WIDE_PATH_CAP], cause[128];
    wide_of(failure.path, path, WIDE_PATH_CAP);
    cause_of(failure.system_error, cause, sizeof cause / sizeof cause[0]);
    switch (failure.what) {
    case ExtractFault::write: swprintf(out, cap, REASON_WRITE, path, cause); break;
    case ExtractFault::path: swprintf(out, cap, REASON_PATH_TOO_LONG, path); break;
    case ExtractFault::record: swprintf(out, cap, L"%ls", REASON_DAMAGED); break;
    default: swprintf(out, cap, L"%ls", REASON_UNDECODABLE); break;
    }
}

void held_question(const PreflightReport& report, const wchar_t* programs, wchar_t* out, size_t cap) {
    if (programs && programs[0]) {
        swprintf(out, cap, QUESTION_HELD_BY, programs);
        return;
    }
    // The files, one a line, when nobody can say which program holds them.
    wchar_t files[2048] = L"";
    for (int i = 0; i < report.held_count && i < PREFLIGHT_HELD_LISTED; ++i) {
        wchar_t path[WIDE_PATH_CAP];
        wide_of(report.held[i], path, WIDE_PATH_CAP);
        const size_t used = wcslen(files);
        swprintf(files + used, sizeof files / sizeof files[0] - used, L"%ls%ls", used ? L"\n" : L"", path);
    }
    swprintf(out, cap, QUESTION_FILES_HELD, files);
}

void two_lines(const wchar_t* first, const wchar_t* second, wchar_t* out, size_t cap) {
    swprintf(out, cap, L"%ls\n%ls", first, second);
}
