// The one error type of the tool's commands: the file at fault and what is wrong with it.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

class PackError : public std::runtime_error {
public:
    PackError(std::string file, const std::string& reason) : std::runtime_error(reason), file_(std::move(file)) {}
    // The file, as the user should see it named (display encoding of the platform).
    const std::string& file() const { return file_; }

private:
    std::string file_;
};

// Several faults found in one pass over pack's inputs (the stub, the tree), each reported as its PackError is.
class PackErrors : public std::runtime_error {
public:
    explicit PackErrors(std::vector<PackError> all) : std::runtime_error("several problems"), all_(std::move(all)) {}
    const std::vector<PackError>& all() const { return all_; }

private:
    std::vector<PackError> all_;
};
