// The installer being written: a temporary file beside the output, put in the output's place only when complete.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

class InstallerFile {
public:
    // Creates out + ".partial"; throws PackError naming out when it cannot.
    explicit InstallerFile(const std::filesystem::path& out);
    // Removes the temporary unless commit() has renamed it.
    ~InstallerFile();

    // Appends bytes. Throws PackError naming the output when the file would reach 2 GiB (the installer reads
    // its own size as a signed 32-bit file position) or cannot be written.
    void append(const std::vector<uint8_t>& bytes);
    uint64_t size() const { return size_; }
    // Closes the temporary and renames it over the output; throws PackError naming the output on failure.
    void commit();

    InstallerFile(const InstallerFile&) = delete;
    InstallerFile& operator=(const InstallerFile&) = delete;

private:
    std::filesystem::path out_;
    std::filesystem::path temp_;
    std::ofstream file_;
    uint64_t size_ = 0;
    bool committed_ = false;
};
