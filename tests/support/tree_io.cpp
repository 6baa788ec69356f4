// File trees for tests and seed writers.
#include "support/tree_io.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

void write_tree(const fs::path& root, const Tree& tree) {
    for (const auto& [name, content] : tree) {
        const fs::path path = root / fs::u8path(name);
        if (name.back() == '/') {
            fs::create_directories(path);
            continue;
        }
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(content.data(), std::streamsize(content.size()));
        if (!out) throw std::runtime_error("cannot write " + name);
    }
}

Tree read_tree(const fs::path& root) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(item.path(), root).generic_u8string();
        if (item.is_directory()) {
            tree[name + "/"] = "";
            continue;
        }
        std::ifstream in(item.path(), std::ios::binary);
        tree[name] = std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return tree;
}
