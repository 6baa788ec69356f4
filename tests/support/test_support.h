// Helpers shared by the test suites: scratch directories, files, repaint counting, LZMA-encoded fixtures.
#pragma once
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "payload/progress.h"

// A fresh empty directory for one test, removed when the object goes; path() ends with the native separator.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    // path() + a relative ASCII name (native separators taken as given).
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

char native_separator();
bool file_exists(const std::string& path);
bool dir_exists(const std::string& path);
// Whole content of a file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string& path);
bool write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);
// A named pipe (FIFO) at path; false where the file system has none (Windows) or it cannot be made.
bool make_fifo(const std::string& path);
bool is_fifo(const std::string& path);
// While it lives, the test (on Linux its calling thread and the threads it starts, on Windows the process)
// runs on one processor only, the first it was allowed; held() is false when the system refused.
class OneProcessor {
public:
    OneProcessor();
    ~OneProcessor();
    OneProcessor(const OneProcessor&) = delete;
    OneProcessor& operator=(const OneProcessor&) = delete;
    bool held() const { return saved_ != nullptr; }

private:
    void* saved_ = nullptr;  // the affinity to give back
};
// Page faults the calling thread has taken so far, where the system counts them for a thread (Linux); -1 where it
// does not, where large pages are not granted without privileges (Windows; Linux with transparent huge pages
// off) or where a sanitizer faults in shadow memory beside each page, so that a test of large pages has nothing to
// measure.
long large_page_faults_so_far();
// Whether the file at path (ASCII) could be opened for writing now, as another program would try it. Windows
// refuses while a program holds it shared for reading only; Linux never does.
bool may_open_for_writing(const std::string& path);
extern const bool SYSTEM_HOLDS_FILES_AGAINST_WRITERS;

// Every entry below dir, relative, sorted, directories with a trailing '/'.
std::vector<std::string> list_tree(const std::string& dir);

// dir + the path the installer forms below it for one stored name, written out by the test for each
// platform: UTF-8 with '/' separators on Linux, the stored code page 936 bytes with '\' on Windows.
std::string installed_path(const std::string& dir, const std::string& on_linux, const std::string& on_windows);

// Bytes of a string literal, for building streams.
std::vector<uint8_t> bytes_of(const std::string& s);
// A record stream with an end record: a null content makes a directory record, else a file record.
std::vector<uint8_t> stream_of(std::initializer_list<std::pair<std::string, const char*>> records);
// Deterministic pseudo-random bytes (incompressible).
std::vector<uint8_t> random_bytes(size_t n, uint32_t seed);

// A block's stored bytes, read where they lie (read_block_bytes); empty when they cannot be read.
struct PayloadBlock;
std::vector<uint8_t> block_bytes(const PayloadBlock* block);

// A stored block made by the real encoder from the stream.
std::vector<uint8_t> encode(const std::vector<uint8_t>& stream, bool end_marker = false, int lc = 3, int lp = 0,
                            int pb = 2);

// A progress sink that keeps what the engine reported: the maximum it set, the sum of its advances, and
// how many advances it made (zero ones included). Decoding threads report too: every count is atomic.
class ProgressRecorder {
public:
    ProgressSink sink() { return ProgressSink{this, on_set_maximum, on_advance}; }
    int32_t maximum() const { return maximum_; }
    int64_t position() const { return position_; }
    int advances() const { return advances_; }
    // Every advance in the order it came.
    std::vector<int32_t> steps() const {
        std::lock_guard<std::mutex> hold(lock_);
        return steps_;
    }

private:
    static void on_set_maximum(void* self, int32_t maximum) {
        static_cast<ProgressRecorder*>(self)->maximum_ = maximum;
    }
    static void on_advance(void* self, int32_t delta) {
        auto* r = static_cast<ProgressRecorder*>(self);
        r->position_ += delta;
        ++r->advances_;
        std::lock_guard<std::mutex> hold(r->lock_);
        r->steps_.push_back(delta);
    }
    std::atomic<int32_t> maximum_{-1};
    std::atomic<int64_t> position_{0};
    std::atomic<int> advances_{0};
    mutable std::mutex lock_;
    std::vector<int32_t> steps_;
};
