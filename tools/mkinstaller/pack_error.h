// The one error type of the tool's commands: the file at fault and what is wrong with it.
#pragma once
#include <stdexcept>
#include <string>

class PackError : public std::runtime_error {
public:
    PackError(std::string file, const std::string& reason) : std::runtime_error(reason), file_(std::move(file)) {}
    // The file, as the user should see it named (display encoding of the platform).
    const std::string& file() const { return file_; }

private:
    std::string file_;
};
