// Walks the source tree in a stable order and forms the stored names.
#include "tree_walk.h"

#include <algorithm>
#include <map>

#include "host.h"
#include "name_key.h"
#include "pack_error.h"
#include "payload/names.h"

namespace fs = std::filesystem;

namespace {

const unsigned char* bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// One entry of a directory, classified and named, not yet placed.
SourceEntry classify(const fs::directory_entry& item, const std::string& parent_name, int parent) {
    const std::string shown = path_for_display(item.path());
    std::error_code ec;
    const fs::file_status status = item.symlink_status(ec);
    if (ec) throw PackError(shown, ec.message());
    if (fs::is_symlink(status)) throw PackError(shown, "is a symbolic link; the installer stores only files and directories");
    const bool is_dir = fs::is_directory(status);
    if (!is_dir && !fs::is_regular_file(status))
        throw PackError(shown, "is a special file; the installer stores only files and directories");

    std::string component;
    if (!cp936_from_native(item.path().filename(), &component))
        throw PackError(shown, "name has no code page 936 form");
    SourceEntry entry{is_dir, item.path(), parent_name + "\\" + component, 0, parent};
    if (!payload_name_is_safe(bytes(entry.name), entry.name.size()))
        throw PackError(shown, "name would be refused by the installer (a device name, ':', a control "
                               "character, or a component made only of dots and spaces)");
    if (entry.name.size() > STORED_NAME_LIMIT)
        throw PackError(shown, "stored name is " + std::to_string(entry.name.size()) + " bytes; at most " +
                                   std::to_string(STORED_NAME_LIMIT) + " fit beside an install directory");
    if (!is_dir) {
        entry.size = fs::file_size(item.path(), ec);
        if (ec) throw PackError(shown, ec.message());
        if (entry.size >= SOURCE_FILE_LIMIT) throw PackError(shown, "file of 2 GiB or more");
    }
    return entry;
}

void walk_dir(const fs::path& dir, const std::string& name, int parent, std::vector<SourceEntry>* out) {
    std::vector<SourceEntry> children;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) throw PackError(path_for_display(dir), ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        children.push_back(classify(*it, name, parent));
    }
    if (ec) throw PackError(path_for_display(dir), ec.message());

    std::sort(children.begin(), children.end(),
              [](const SourceEntry& a, const SourceEntry& b) { return a.name < b.name; });
    // Windows would write both into one file (or directory), losing one of them without a word.
    std::map<std::string, const SourceEntry*> seen;
    for (const SourceEntry& child : children) {
        auto [at, fresh] = seen.emplace(name_key(bytes(child.name), child.name.size()), &child);
        if (!fresh)
            throw PackError(path_for_display(child.path), "is the same name on Windows as " +
                                                              path_for_display(at->second->path.filename()));
    }

    for (SourceEntry& child : children) {
        out->push_back(child);
        if (child.is_dir) walk_dir(child.path, child.name, int(out->size() - 1), out);
    }
}

}  // namespace

std::vector<SourceEntry> walk_source_tree(const fs::path& root) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) throw PackError(path_for_display(root), "is not a directory");
    std::vector<SourceEntry> entries;
    walk_dir(root, "", -1, &entries);
    return entries;
}
