// Finds the cashier and service programs among the top files and checks that each is a PE image.
#include "product_check.h"

#include <cstring>
#include <fstream>
#include <string>

#include "host.h"
#include "name_key.h"
#include "payload/format.h"
#include "payload/pe_cert.h"
#include "product/product_files.h"

namespace fs = std::filesystem;

namespace {

std::string key_of(const std::string& stored) {
    return name_key(reinterpret_cast<const unsigned char*>(stored.data()), stored.size());
}

// Empty when the file is a PE image, else why not.
std::string pe_problem(const fs::path& path, uint64_t size) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "cannot be opened for reading";
    unsigned char head[PE_POINTER_AT + 4] = {0};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (size < 2 || !pe_has_dos_magic(head, sizeof head))
        return "is not a Windows program: it does not start with \"MZ\"";
    const uint32_t pe_at = size >= sizeof head ? le32(head + PE_POINTER_AT) : 0;
    if (size < sizeof head || pe_at < sizeof head || uint64_t(pe_at) + 4 > size)
        return "is not a Windows program: its PE header offset lies outside the file";
    unsigned char signature[4] = {0};
    in.seekg(std::streamoff(pe_at));
    in.read(reinterpret_cast<char*>(signature), sizeof signature);
    if (!in || !pe_is_header_signature(signature))
        return "is not a Windows program: no \"PE\\0\\0\" where its header offset points";
    return "";
}

}  // namespace

void check_product_programs(const fs::path& root, const std::vector<SourceEntry>& entries, int flags) {
    std::vector<std::pair<const char*, std::string>> wanted = {{CASHIER_PROGRAM, "the installer starts it"}};
    const bool shortcut = flags & PAYLOAD_FLAG_SERVICE_SHORTCUT, start = flags & PAYLOAD_FLAG_SERVICE_LAUNCH;
    if (shortcut || start)
        wanted.push_back(
            {SERVICE_PROGRAM, std::string("--flags asks for ") + (shortcut && start ? "its shortcut and its start"
                                                                  : shortcut        ? "its shortcut"
                                                                                    : "its start")});

    std::vector<TreeProblem> problems;
    for (const auto& [program, why] : wanted) {
        const std::string key = key_of(std::string("\\") + program);
        const SourceEntry* found = nullptr;
        for (const SourceEntry& e : entries)
            if (e.parent < 0 && key_of(e.name) == key) found = &e;
        std::string problem;
        if (!found) problem = "is missing; " + why;
        else if (found->is_dir) problem = "is a folder; " + why;
        else problem = pe_problem(found->path, found->size);
        if (problem.empty()) continue;
        const std::string shown =
            found ? path_for_display(found->path)
                  : path_for_display(root) + char(fs::path::preferred_separator) +
                        cp936_for_display(reinterpret_cast<const unsigned char*>(program), strlen(program));
        problems.push_back({shown, problem + " (--allow-missing-programs packs the tree as it is)"});
    }
    if (!problems.empty()) refuse_tree(root, std::move(problems));
}
