// What pack refuses so that Windows installs the tree as it is: names, case pairs, path lengths, the programs;
// and how it sizes the result: the dictionary per level, the installer's memory, no block of directories alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "block_encoder.h"
#include "exit_codes.h"
#include "host.h"
#include "install_memory.h"
#include "payload/format.h"
#include "support/test_support.h"
#include "tree_fixture.h"
#include "upcase_table.h"

namespace fs = std::filesystem;

namespace {

// src + the relative UTF-8 path ('/' separated) as the tool shows paths: in the system's separators, UTF-8.
std::string native(const std::string& src, const std::string& relative) {
    return path_for_display((fs::u8path(src) / fs::u8path(relative)).make_preferred());
}

// Writes the tree (programs added) into src; false when this system cannot hold it as written.
bool make_tree(const fs::path& src, const Tree& tree) {
    Tree written;
    try {
        write_tree(src, with_programs(tree));
        written = read_tree(src);
    } catch (const std::exception&) {
        return false;
    }
    // Every entry is there under its own name: the system neither refused nor merged nor renamed one.
    for (const auto& entry : tree)
        if (!written.count(entry.first)) return false;
    return true;
}

struct Refused {
    int status;
    std::string err;
    bool wrote;  // the output exists
};

Refused pack_src(const ScratchDir& scratch, const std::string& src, std::vector<std::string> options = {}) {
    const std::string out = scratch / "setup.exe";
    std::vector<std::string> args = {"pack", "--stub", make_stub(fs::path(scratch.path())), "--out", out};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(src);
    CliRun run = run_cli(args);
    return {run.status, run.err, file_exists(out) || file_exists(out + ".partial")};
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

TEST(Names, EachNameWindowsCannotTakeIsRefusedWithItsPathAndReason) {
    struct Case {
        Tree tree;
        const char* path;  // relative to the source, '/' separated (UTF-8)
        std::string reason;
    } cases[] = {
        {{{"a<b.txt", "x"}}, "a<b.txt", "has '<', which Windows does not allow in a name"},
        {{{"a>b.txt", "x"}}, "a>b.txt", "has '>', which Windows does not allow in a name"},
        {{{"c:d.txt", "x"}}, "c:d.txt", "has ':', which Windows does not allow in a name"},
        {{{"say\"hi\".txt", "x"}}, "say\"hi\".txt", "has '\"', which Windows does not allow in a name"},
        {{{"a|b.txt", "x"}}, "a|b.txt", "has '|', which Windows does not allow in a name"},
        {{{"what?.txt", "x"}}, "what?.txt", "has '?', which Windows does not allow in a name"},
        {{{"star*.txt", "x"}}, "star*.txt", "has '*', which Windows does not allow in a name"},
        {{{"tab\tname.txt", "x"}}, "tab\tname.txt", "has the control character U+0009"},
        {{{"bell\x01.txt", "x"}}, "bell\x01.txt", "has the control character U+0001"},
        {{{"del\x7f.txt", "x"}}, "del\x7f.txt", "has the control character U+007F"},
        {{{"back\\slash.txt", "x"}}, "back\\slash.txt", "has a backslash, which Windows takes for a folder separator"},
        {{{"notes.", "x"}}, "notes.", "ends with a dot, which Windows drops"},
        {{{"notes ", "x"}}, "notes ", "ends with a space, which Windows drops"},
        {{{"logs./a.txt", "x"}}, "logs.", "ends with a dot, which Windows drops"},
        {{{"data/old /a.txt", "x"}}, "data/old ", "ends with a space, which Windows drops"},
        {{{"con.txt", "x"}}, "con.txt", "is the device CON on Windows, not a file"},
        {{{"PRN", "x"}}, "PRN", "is the device PRN on Windows, not a file"},
        {{{"aux/readme.txt", "x"}}, "aux", "is the device AUX on Windows, not a file"},
        {{{"Nul.tar.gz", "x"}}, "Nul.tar.gz", "is the device NUL on Windows, not a file"},
        {{{"COM1.log", "x"}}, "COM1.log", "is the device COM1 on Windows, not a file"},
        {{{"lpt9", "x"}}, "lpt9", "is the device LPT9 on Windows, not a file"},
        {{{"Lpt1 .log", "x"}}, "Lpt1 .log", "is the device LPT1 on Windows, not a file"},
        {{{"CONIN$", "x"}}, "CONIN$", "is the device CONIN$ on Windows, not a file"},
        {{{"conout$.txt", "x"}}, "conout$.txt", "is the device CONOUT$ on Windows, not a file"},
        {{{u8"COM\u00B9.txt", "x"}}, u8"COM\u00B9.txt", "is the device COM with superscript 1 on Windows, not a file"},
        {{{u8"lpt\u00B3", "x"}}, u8"lpt\u00B3", "is the device LPT with superscript 3 on Windows, not a file"},
        {{{u8"COM\u00B9.txt", "x"}}, u8"COM\u00B9.txt", "has a character with no code page 936 form (U+00B9)"},
        {{{u8"menu/\U0001F600.txt", "x"}},
         u8"menu/\U0001F600.txt",
         "has a character with no code page 936 form (U+1F600)"},
        {{{"\xff\xfe.txt", "x"}}, "\xff\xfe.txt", "is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src";
        if (!make_tree(src, c.tree)) {
            std::cout << "[ SKIPPED ] " << c.path << ": this system cannot hold such a name\n";
            continue;
        }
        const Refused run = pack_src(scratch, src);
        EXPECT_EQ(run.status, MKI_FAILED) << c.path;
        EXPECT_NE(run.err.find("\n  " + native(src, c.path) + ": " + c.reason + "\n"), std::string::npos)
            << c.path << ": " << run.err;
        EXPECT_FALSE(run.wrote) << c.path;
    }
}

TEST(Names, EveryOffendingPathIsListedAtOnceSortedBeforeAnythingIsWritten) {
    ScratchDir scratch;
    const std::string src = scratch / "src";
    if (!make_tree(src, {{"con.txt", "x"},
                         {"notes.", "x"},
                         {u8"b/\u03A9.txt", "1"},
                         {u8"b/\u03C9.txt", "2"},
                         {"ok.txt", "fine"},
                         {"d/x?.txt", "x"}})) {
        std::cout << "[ SKIPPED ] this system cannot hold such names\n";
        return;
    }
    const Refused run = pack_src(scratch, src);
    EXPECT_EQ(run.status, MKI_FAILED);
    EXPECT_EQ(run.err, "mkinstaller: " + src +
                           ": 4 problems with the tree; Windows could not install it as it is:\n"
                           "  " +
                           native(src, u8"b/\u03C9.txt") +
                           u8": is the same name on Windows as \u03A9.txt\n"
                           "  " +
                           native(src, "con.txt") +
                           ": is the device CON on Windows, not a file\n"
                           "  " +
                           native(src, "d/x?.txt") +
                           ": has '?', which Windows does not allow in a name\n"
                           "  " +
                           native(src, "notes.") + ": ends with a dot, which Windows drops\n");
    EXPECT_FALSE(run.wrote);
}

TEST(Names, NamesThatAreOneUnderWindowsCaseFoldingCollide) {
    struct Case {
        const char* first;  // sorts first in code page 936: the one the other is reported against
        const char* second;
    } cases[] = {
        {"README.TXT", "Readme.txt"},
        {u8"\u03A9.txt", u8"\u03C9.txt"},            // Greek capital and small omega
        {u8"\u0414", u8"\u0434"},                    // Cyrillic De, as folders
        {u8"\uFF21.txt", u8"\uFF41.txt"},            // full-width Latin A and a
        {u8"data/\u0416.csv", u8"data/\u0436.csv"},  // Cyrillic Zhe, one folder down
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src";
        if (!make_tree(src, {{c.first, "1"}, {c.second, "2"}})) {
            std::cout << "[ SKIPPED ] " << c.first << ": this system folds the pair into one name\n";
            continue;
        }
        const Refused run = pack_src(scratch, src);
        EXPECT_EQ(run.status, MKI_FAILED) << c.first;
        const std::string first = fs::path(fs::u8path(c.first)).filename().u8string();
        EXPECT_NE(run.err.find(native(src, c.second) + ": is the same name on Windows as " + first + "\n"),
                  std::string::npos)
            << run.err;
    }
}

TEST(Names, WindowsUpperCaseOfSingleUnits) {
    struct Case {
        char16_t unit, upper;
    } cases[] = {
        {u'a', u'A'},           {u'A', u'A'},           {u'\u03C9', u'\u03A9'},
        {u'\u0434', u'\u0414'}, {u'\uFF41', u'\uFF21'}, {u'\u00E9', u'\u00C9'},
        {u'\u01C5', u'\u01C4'},  // title case Dz to DZ
        {u'\u00DF', u'\u00DF'},  // sharp s: its upper case is two letters, not a simple mapping
        {u'\u83DC', u'\u83DC'}, {u'1', u'1'},           {char16_t(0xD83D), char16_t(0xD83D)},
    };
    for (const Case& c : cases) EXPECT_EQ(int(windows_upcase(c.unit)), int(c.upper)) << int(c.unit);
}

TEST(Names, PathsMustFitBelowTheLongestDefaultFolder) {
    // 菜 counts one UTF-16 unit; a component stays under Linux's 255 bytes.
    const std::string top = repeat(u8"\u83DC", 50), middle = repeat("a", 100);
    struct Case {
        std::string path;    // relative, '/' separated; a trailing '/' makes a folder
        std::string reason;  // empty: accepted
    } cases[] = {
        {top + "/" + middle + "/" + repeat("b", 75) + ".txt", ""},  // 231 units
        {top + "/" + middle + "/" + repeat("b", 76) + ".txt",
         std::string("is 232 UTF-16 units long below the install folder; a file's path fits in 231 there, 259 in all "
                     "under the default folder C:\\Program Files (x86)\\") +
             u8"霁桐餐饮\\"},
        {top + "/" + middle + "/" + repeat("c", 67) + "/", ""},  // 219 units
        {top + "/" + middle + "/" + repeat("c", 68) + "/",
         std::string("is 220 UTF-16 units long below the install folder; a folder's path fits in 219 there, 247 in "
                     "all under the default folder C:\\Program Files (x86)\\") +
             u8"霁桐餐饮\\"},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src";
        if (!make_tree(src, {{c.path, ""}})) {
            std::cout << "[ SKIPPED ] " << c.path.size() << " bytes: too long a path for this system\n";
            continue;
        }
        const Refused run = pack_src(scratch, src);
        const std::string shown_path = native(src, c.path.back() == '/' ? c.path.substr(0, c.path.size() - 1) : c.path);
        if (c.reason.empty()) {
            EXPECT_EQ(run.status, MKI_OK) << run.err;
        } else {
            EXPECT_EQ(run.status, MKI_FAILED);
            EXPECT_NE(run.err.find("\n  " + shown_path + ": " + c.reason + "\n"), std::string::npos) << run.err;
        }
    }
}

TEST(Programs, TheProgramsTheInstallerStartsMustBeThereAndBeWindowsPrograms) {
    const std::string cashier = CASHIER_UTF8;
    const std::string service = SERVICE_UTF8;
    const std::string pe = [] {
        Tree t = with_programs({});
        return t.begin()->second;
    }();
    const std::string hint = " (--allow-missing-programs packs the tree as it is)";
    std::string no_pe_signature(512, '\0');
    no_pe_signature[0] = 'M';
    no_pe_signature[1] = 'Z';
    no_pe_signature[0x3C] = char(0x80);
    struct Case {
        const char* what;
        Tree tree;
        std::vector<std::string> options;
        std::vector<std::string> lines;  // after "  SRC/"; none: packed
    } cases[] = {
        {"the cashier program alone, flags 0", {{CASHIER_UTF8, pe}, {"a.txt", "x"}}, {}, {}},
        {"both, flags 3", {{CASHIER_UTF8, pe}, {SERVICE_UTF8, pe}}, {"--flags", "3"}, {}},
        {"letter case as Windows ignores it", {{u8"霁桐收银端.EXE", pe}}, {}, {}},
        {"no cashier program", {{"a.txt", "x"}}, {}, {cashier + ": is missing; the installer starts it" + hint}},
        {"the cashier program only in a folder",
         {{std::string("bin/") + CASHIER_UTF8, pe}},
         {},
         {cashier + ": is missing; the installer starts it" + hint}},
        {"the cashier program a folder",
         {{std::string(CASHIER_UTF8) + "/a.txt", "x"}},
         {},
         {cashier + ": is a folder; the installer starts it" + hint}},
        {"not starting with MZ",
         {{CASHIER_UTF8, "#!/bin/sh\n"}},
         {},
         {cashier + ": is not a Windows program: it does not start with \"MZ\"" + hint}},
        {"the PE offset past the end",
         {{CASHIER_UTF8, "MZ cashier"}},
         {},
         {cashier + ": is not a Windows program: its PE header offset lies outside the file" + hint}},
        {"no PE signature where the offset points",
         {{CASHIER_UTF8, no_pe_signature}},
         {},
         {cashier + ": is not a Windows program: no \"PE\\0\\0\" where its header offset points" + hint}},
        {"flags 1 without the service program",
         {{CASHIER_UTF8, pe}},
         {"--flags", "1"},
         {service + ": is missing; --flags asks for its shortcut" + hint}},
        {"flags 2 with a service program that is no PE image",
         {{CASHIER_UTF8, pe}, {SERVICE_UTF8, "MZ"}},
         {"--flags", "2"},
         {service + ": is not a Windows program: its PE header offset lies outside the file" + hint}},
        {"flags 3 without either",
         {{"a.txt", "x"}},
         {"--flags", "3"},
         {service + ": is missing; --flags asks for its shortcut and its start" + hint,
          cashier + ": is missing; the installer starts it" + hint}},
        {"allowed: neither", {{"a.txt", "x"}}, {"--flags", "3", ALLOW_MISSING_PROGRAMS}, {}},
        {"allowed: not a PE image", {{CASHIER_UTF8, "MZ"}}, {ALLOW_MISSING_PROGRAMS}, {}},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src";
        write_tree(src, c.tree);
        const Refused run = pack_src(scratch, src, c.options);
        if (c.lines.empty()) {
            EXPECT_EQ(run.status, MKI_OK) << c.what << ": " << run.err;
            continue;
        }
        std::string expected = "mkinstaller: " + src + ": " + std::to_string(c.lines.size()) +
                               (c.lines.size() == 1 ? " problem" : " problems") +
                               " with the tree; Windows could not install it as it is:\n";
        // Sorted as shown, in UTF-8.
        std::vector<std::string> lines;
        for (const std::string& line : c.lines) lines.push_back("  " + src + native_separator() + line + "\n");
        std::sort(lines.begin(), lines.end());
        for (const std::string& line : lines) expected += line;
        EXPECT_EQ(run.status, MKI_FAILED) << c.what;
        EXPECT_EQ(run.err, expected) << c.what;
        EXPECT_FALSE(run.wrote) << c.what;
    }
}

TEST(InstallMemory, TheLargestRunOfBlocksThePipelineAdmitsWithTheirWindows) {
    const uint64_t MiB = 1 << 20;
    struct Case {
        const char* what;
        std::vector<BlockFootprint> blocks;
        uint64_t windows, decoded;
    } cases[] = {
        {"two 63 MiB blocks and their 1 MiB windows fit the 128 MiB budget side by side",
         {{20 * MiB, 63 * MiB, false}, {20 * MiB, 63 * MiB, false}, {20 * MiB, 63 * MiB, false}},
         2 * MiB,
         126 * MiB},
        {"two of 64 MiB do not: one at a time",
         {{20 * MiB, 64 * MiB, false}, {20 * MiB, 64 * MiB, false}},
         MiB,
         64 * MiB},
        {"a block over the budget goes alone", {{90 * MiB, 200 * MiB, false}}, MiB, 200 * MiB},
        {"a stored block takes its window only",
         {{10 * MiB, 60 * MiB, false}, {10 * MiB + 9, 10 * MiB, true}, {10 * MiB, 60 * MiB, false}},
         3 * MiB,
         120 * MiB},
        {"the largest run may start late",
         {{MiB, MiB, false}, {MiB, MiB, false}, {MiB, MiB, false}, {40 * MiB, 127 * MiB, false}},
         MiB,
         127 * MiB},
    };
    for (const Case& c : cases) {
        const InstallMemory m = install_memory(c.blocks);
        EXPECT_EQ(m.windows, c.windows) << c.what;
        EXPECT_EQ(m.decoded, c.decoded) << c.what;
    }
}

TEST(BlockPlan, NoBlockHoldsDirectoriesAlone) {
    const std::string service = "\\\xf6\xab\xcd\xa9\xb2\xcd\xd2\xfb\xb7\xfe\xce\xf1.exe";
    const std::string cashier = "\\\xf6\xab\xcd\xa9\xca\xd5\xd2\xf8\xb6\xcb.exe";
    struct Case {
        const char* what;
        Tree tree;
        std::vector<std::vector<std::string>> blocks;  // records, directories as "dir NAME"
    } cases[] = {
        {"an empty folder after a full block joins that block",
         {{"data/a.txt", std::string(1000, 'a')}, {"data/b.txt", std::string(1970, 'b')}, {"data/zz/", ""}},
         {{service, cashier}, {"dir \\data", "\\data\\a.txt"}, {"dir \\data", "\\data\\b.txt", "dir \\data\\zz"}}},
        {"folders before a file too large for their block join its block",
         {{"a/", ""}, {"b/c.bin", std::string(2500, 'c')}},
         {{service, cashier}, {"dir \\a", "dir \\b", "\\b\\c.bin"}}},
        {"folders alone beside the programs join the programs' block",
         {{"logs/", ""}, {"tmp/", ""}},
         {{service, cashier, "dir \\logs", "dir \\tmp"}}},
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        const std::string src = scratch / "src", out = scratch / "setup.exe", dest = scratch / "dest";
        write_tree(src, with_programs(c.tree));
        CliRun run =
            run_cli({"pack", "--stub", make_stub(fs::path(scratch.path())), "--out", out, "--block-size", "2000", src});
        ASSERT_EQ(run.status, MKI_OK) << c.what << ": " << run.err;
        const Payload payload = read_installer(out);
        std::vector<std::vector<std::string>> blocks;
        for (const auto& stream : payload.streams) {
            blocks.emplace_back();
            for (const Entry& e : entries_of(stream))
                blocks.back().push_back(e.type == RECORD_DIR ? "dir " + e.name : e.name);
        }
        EXPECT_EQ(blocks, c.blocks) << c.what;
        EXPECT_EQ(run_cli({"verify", out}).status, MKI_OK) << c.what;
        EXPECT_EQ(run_cli({"extract", out, dest}).status, MKI_OK) << c.what;
        EXPECT_EQ(read_tree(dest), read_tree(src)) << c.what;
    }
}
