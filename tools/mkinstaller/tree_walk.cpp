// Walks the source tree in a stable order, forms the stored names and collects every name Windows cannot take.
#include "tree_walk.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "host.h"
#include "input_file.h"
#include "tool_error.h"
#include "product/install_path_limits.h"
#include "windows_names.h"

namespace fs = std::filesystem;

namespace {

// One directory entry being placed: the entry, its name as UTF-16 units, and whether that name could be read.
struct Child {
    SourceEntry entry;
    std::u16string units;
    bool readable = false;
};

class Walker {
public:
    std::vector<SourceEntry> entries;
    std::vector<TreeProblem> problems;

    void walk_dir(const fs::path& dir, const std::string& name, size_t units, int parent) {
        std::vector<Child> children;
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        if (ec) throw ToolError(path_for_display(dir), ec.message());
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            children.push_back(classify(*it, name, units, parent));
        }
        if (ec) throw ToolError(path_for_display(dir), ec.message());

        std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
            return a.entry.name != b.entry.name ? a.entry.name < b.entry.name : a.entry.path < b.entry.path;
        });
        report_one_name_on_windows(children);
        for (Child& child : children) {
            entries.push_back(child.entry);
            if (child.entry.is_dir)
                walk_dir(child.entry.path, child.entry.name, units + (units ? 1 : 0) + child.units.size(),
                         int(entries.size() - 1));
        }
    }

private:
    void report(const fs::path& path, const std::string& reason) {
        problems.push_back({path_for_display(path), reason});
    }

    // An entry of a directory, classified and named, not yet placed; what is wrong with it goes to problems.
    Child classify(const fs::directory_entry& item, const std::string& parent_name, size_t parent_units, int parent) {
        std::error_code ec;
        const fs::file_status status = item.symlink_status(ec);
        if (ec) throw ToolError(path_for_display(item.path()), ec.message());
        Child child;
        child.entry = SourceEntry{fs::is_directory(status), item.path(), "", 0, parent};
        if (fs::is_symlink(status))
            report(item.path(), "is a symbolic link; the installer stores only files and directories");
        else if (!child.entry.is_dir && !fs::is_regular_file(status))
            report(item.path(), "is a special file; the installer stores only files and directories");
        check_name(item.path(), &child);
        child.entry.name = parent_name + "\\" + child.entry.name;

        // The path below the install folder, as Windows counts it: UTF-16 units, '\' between the components.
        const size_t units = parent_units + (parent_units ? 1 : 0) + child.units.size();
        const size_t limit = size_t(child.entry.is_dir ? INSTALL_DIR_NAME_LIMIT : INSTALL_FILE_NAME_LIMIT);
        if (child.readable && units > limit) report(item.path(), path_too_long(child.entry.is_dir, units, limit));

        if (!child.entry.is_dir && fs::is_regular_file(status)) {
            child.entry.size = fs::file_size(item.path(), ec);
            if (ec) throw ToolError(path_for_display(item.path()), ec.message());
            if (child.entry.size >= SOURCE_FILE_LIMIT) report(item.path(), "is a file of 2 GiB or more");
            const std::string unreadable = read_problem(item.path());
            if (!unreadable.empty()) report(item.path(), unreadable);
        }
        return child;
    }

    // Sets the entry's stored component (code page 936) and its UTF-16 units, reporting what Windows refuses.
    void check_name(const fs::path& path, Child* child) {
        const fs::path name = path.filename();
        try {
            child->units = name.u16string();
        } catch (const std::exception&) {
            report(path, "is not valid UTF-8");
            return;
        }
        child->readable = true;
        if (!cp936_from_native(name, &child->entry.name))
            report(path, "has a character with no code page 936 form (" + first_without_cp936(child->units) + ")");
        for (const std::string& reason : windows_name_problems(child->units)) report(path, reason);
    }

    // Entries of one folder, sorted, whose names Windows takes for one: each after the first is reported.
    void report_one_name_on_windows(const std::vector<Child>& children) {
        std::map<std::u16string, const Child*> seen;
        for (const Child& child : children) {
            if (!child.readable) continue;
            auto [at, fresh] = seen.emplace(windows_name_key(child.units), &child);
            if (!fresh)
                report(child.entry.path,
                       "is the same name on Windows as " + path_for_display(at->second->entry.path.filename()));
        }
    }

    // Empty when the file opens and its first byte reads; else "cannot be read: " and the system's reason.
    static std::string read_problem(const fs::path& path) {
        FILE* file = open_path(path, "rb");
        if (!file) return "cannot be read: " + system_reason();
        unsigned char first;
        const bool failed = fread(&first, 1, 1, file) != 1 && ferror(file);
        const std::string reason = failed ? system_reason() : "";
        fclose(file);
        return failed ? "cannot be read: " + reason : "";
    }

    static std::string path_too_long(bool is_dir, size_t units, size_t limit) {
        const std::string what = is_dir ? "a folder's" : "a file's";
        const int windows = int(is_dir ? WINDOWS_DIR_PATH_MAX : WINDOWS_FILE_PATH_MAX);
        return "is " + std::to_string(units) + " UTF-16 units long below the install folder; " + what +
               " path fits in " + std::to_string(limit) + " there, " + std::to_string(windows) +
               " in all under the default folder " + default_install_dir();
    }

    static std::string default_install_dir() {
        const std::string product =
            cp936_for_display(reinterpret_cast<const unsigned char*>(PRODUCT_DIR_NAME), sizeof PRODUCT_DIR_NAME - 1);
        return std::string(LONGEST_PROGRAM_FILES_DIR) + "\\" + product + "\\";
    }

    // The first character of units that has no code page 936 form, as U+XXXX.
    static std::string first_without_cp936(const std::u16string& units) {
        for (size_t i = 0; i < units.size(); ++i) {
            const bool pair = i + 1 < units.size() && units[i] >= 0xD800 && units[i] < 0xDC00 &&
                              units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
            const std::u16string one = units.substr(i, pair ? 2 : 1);
            std::string bytes;
            bool converts = false;
            try {
                converts = cp936_from_native(fs::path(one), &bytes);
            } catch (const std::exception&) {
            }
            if (!converts) {
                const unsigned code =
                    pair ? 0x10000 + ((units[i] - 0xD800u) << 10) + (units[i + 1] - 0xDC00u) : units[i];
                char text[16];
                snprintf(text, sizeof text, "U+%04X", code);
                return text;
            }
            if (pair) ++i;
        }
        return "a character";
    }
};

}  // namespace

std::vector<SourceEntry> walk_source_tree(const fs::path& root) {
    std::error_code ec;
    const fs::file_status status = fs::status(root, ec);
    if (!fs::exists(status))
        throw ToolError(path_for_display(root),
                        "cannot be packed: " + (ec ? ec.message() : std::string("No such file or directory")));
    if (!fs::is_directory(status)) throw ToolError(path_for_display(root), "is not a directory; SRC_DIR is a folder");
    Walker walker;
    walker.walk_dir(root, "", 0, -1);
    if (walker.problems.empty()) return std::move(walker.entries);
    refuse_tree(root, std::move(walker.problems));
}

void refuse_tree(const fs::path& root, std::vector<TreeProblem> problems) {
    std::sort(problems.begin(), problems.end());
    std::string list = std::to_string(problems.size()) + (problems.size() == 1 ? " problem" : " problems") +
                       " with the tree; Windows could not install it as it is:";
    for (const TreeProblem& p : problems) list += "\n  " + p.path + ": " + p.reason;
    throw ToolError(path_for_display(root), list);
}
