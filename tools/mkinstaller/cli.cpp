// Parses the command line and runs pack, list, verify or extract.
#include "cli.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>

#include "exit_codes.h"
#include "extract_command.h"
#include "host.h"
#include "inspect.h"
#include "pack.h"
#include "product/install_path_limits.h"
#include "payload/pe_cert.h"
#include "payload/pipeline.h"
#include "product/product_files.h"
#include "product/reader_mark.h"
#include "tool_error.h"
#include "upcase_table.h"

namespace {

const char USAGE[] =
    "Usage: mkinstaller COMMAND ARGUMENTS\n"
    "Builds, lists, verifies and extracts single-file installers: a Windows program image followed by\n"
    "the product's files in blocks, LZMA or stored as they are, a block directory, a CRC-32 of each block\n"
    "and a 9-byte trailer.\n"
    "An installer signed afterwards (Authenticode) is read as the installer reads it: the trailer is\n"
    "found before the certificate table that signing appends.\n"
    "\n"
    "Options: --name value or --name=value; -- ends the options (an operand may then begin with -);\n"
    "each option that takes a value may be given once. COMMAND --help prints that command's part.\n"
    "\n"
    "Commands:\n"
    "  pack --stub STUB --out OUT [OPTIONS] SRC_DIR\n"
    "      Writes OUT: the program image STUB, then every directory and file below SRC_DIR.\n"
    "      Files directly in SRC_DIR (the programs the installer starts) come first, in a block of\n"
    "      their own; the rest follows in blocks cut at record boundaries, each block repeating the\n"
    "      directories it needs. Names are stored as \\ + the relative path with \\ separators, in\n"
    "      code page 936. The same inputs give the same bytes, whatever --jobs is. OUT is replaced\n"
    "      only when complete.\n"
    "      Stored blocks: the files of 64K or more below SRC_DIR that LZMA does not shrink (already\n"
    "      compressed media, archives, backups) go as they are into stored blocks after the LZMA\n"
    "      blocks. Pack finds them by trying: a quick LZMA pass over the file (over 8 slices of 32K\n"
    "      spread through it when it is larger than 256K) that keeps 97 % or more. An LZMA block whose\n"
    "      data comes out no smaller than its records is stored too.\n"
    "      The stub: an installer reads stored blocks only with a program image that carries a reader\n"
    "      mark in its resources, as the images built from this source do:\n"
    "        " PAYLOAD_READER_MARK
    "\n"
    "      Revision 1 (\"" PAYLOAD_READER_MARK_PREFIX
    "1: lzma stored\") reads stored blocks;\n"
    "      revision 2 also the manifest: every directory and file with its size, which the installer\n"
    "      checks before it writes anything (room on the drive, path lengths, files in use). Pack\n"
    "      writes the manifest only behind revision 2 or later, and refuses a STUB without any mark,\n"
    "      unless --no-stored is given.\n"
    "      Blocks are packed on every processor at once, as many as half of the memory allows.\n"
    "        --flags N           installer option flags, 0-3 (default 0): 1 = also a desktop\n"
    "                            shortcut to the service program, 2 = also start the service program;\n"
    "                            bits 2-6 are reserved; bit 7 (128), the checksum table, is pack's own\n"
    "        --no-checksums      leave out the blocks' CRC-32 table and flag 128, as installers\n"
    "                            made before the table existed; allows 251 blocks instead of 125\n"
    "        --block-size BYTES  largest unpacked block (K, M, G suffixes allowed); default: a quarter\n"
    "                            of the product rounded up to a MiB, 4M to 63M, so that the blocks\n"
    "                            keep every core busy and two decode side by side; a larger file\n"
    "                            is cut into pieces (behind an image of reader mark revision 2;\n"
    "                            an older image gets it in a block of its own)\n"
    "        --level 0-9         LZMA compression level (default 9)\n"
    "        --dict BYTES        LZMA dictionary size, 4K-128M (default: the level's, capped by the\n"
    "                            smallest power of two holding the block, at least 4K; see below);\n"
    "                            LZMA stores 2^n or 3 x 2^n bytes: another size is rounded up, and\n"
    "                            pack says so first\n"
    "        --end-marker        end each LZMA stream with an end marker (default: none)\n"
    "        --no-stored         no stored blocks: every block in LZMA, as installers made before\n"
    "                            stored blocks existed; then any STUB is accepted\n"
    "        --jobs N            blocks packed at once, 1-256 (default: one per processor)\n"
    "      Refused, naming the file: a symlink or special file; a name Windows cannot take (below); a\n"
    "      file of 2 GiB or more; more than 125 blocks (251 with --no-checksums); more than 715827882\n"
    "      bytes unpacked in all; a STUB without the mark above, unless --no-stored is given.\n"
    "\n"
    "      Names: pack checks every name as Windows takes it and lists every offending path at once,\n"
    "      sorted, each with its reason, then exits with 1 before compressing or writing anything:\n"
    "        - a name that is not valid UTF-8 (Linux), or has a character with no code page 936 form;\n"
    "        - a character Windows refuses: < > : \" / \\ | ? *, a control character (1-31, and 127,\n"
    "          which the installer refuses), a backslash inside a Linux name;\n"
    "        - a trailing dot or space in any component (Windows drops them);\n"
    "        - a device name: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9, and COM and\n"
    "          LPT with a superscript 1, 2 or 3, in any letter case, also with an extension (con.txt,\n"
    "          COM1.log; spaces before the extension ignored);\n"
    "        - two names of one folder that are one on Windows, which compares names through NTFS's\n"
    "          upper-case table, Unicode's simple upper case (here Unicode @UNICODE@): Readme.txt and\n"
    "          README.TXT collide, and so do @PAIRS@;\n"
    "        - a path too long for the installer under its default folder. The installer works within\n"
    "          Windows' MAX_PATH rules: a file's full path takes at most @FILE_PATH@ UTF-16 units, a\n"
    "          folder's at most @DIR_PATH@ (room for an 8.3 name inside it). Under the longest default\n"
    "          folder, @DEFAULT_DIR@ (@DEFAULT_UNITS@ units, a 32-bit installer on 64-bit Windows),\n"
    "          a file's path below it takes at most @FILE_NAME@ units and a folder's @DIR_NAME@.\n"
    "      Programs: the cashier program @CASHIER@ must be at the top of SRC_DIR, and the service\n"
    "      program @SERVICE@ too when --flags asks for its shortcut (1) or its start (2), each a\n"
    "      Windows program (a PE image: \"MZ\", the header offset at 0x3C inside the file, \"PE\\0\\0\"\n"
    "      there); otherwise pack refuses the tree, saying which and why (exit 1).\n"
    "        --allow-missing-programs  pack even when those programs are missing or are not PE\n"
    "                            images (an installer for testing, or a product that adds them later)\n"
    "      Dictionary: --level picks xz's preset dictionaries, levels 0-8: 256K, 1M, 2M, 4M, 4M, 8M,\n"
    "      8M, 16M, 32M; level 9: 128M. A block smaller than that gets the smallest power of two\n"
    "      holding it (at least 4K).\n"
    "      Memory: pack ends with the memory installing the result needs (\"installing needs about N\n"
    "      MiB of memory\"): the blocks it decodes at once, as many in a row as fit in @BUDGET@ MiB with the\n"
    "      1 MiB window each is read from the installer through (a block alone may pass that); the\n"
    "      payload is never read whole. For old terminals with little memory, choose a smaller\n"
    "      --block-size. A file larger than a block is cut into pieces in consecutive blocks.\n"
    "\n"
    "  list INSTALLER\n"
    "      Prints the block directory (first-block offset, count, each block's stored and unpacked\n"
    "      size, properties byte with lc/lp/pb or \"stored\", dictionary and CRC-32), whether there\n"
    "      is a checksum table, where a signature's certificate table begins, the trailer (directory\n"
    "      offset, total unpacked size, flags), every record (type, size, name) and the program image\n"
    "      (PE32 or PE32+, its sections, its PE checksum), checking as verify does.\n"
    "  verify INSTALLER\n"
    "      Reads, decodes and walks every block without writing anything, with the checks of an\n"
    "      installation (bounds, safe names, directories before their contents, a final type byte),\n"
    "      and also requires what pack guarantees: blocks back to back up to the directory, each\n"
    "      stream ending with an end record as its last byte, block sizes adding up to the trailer's\n"
    "      total, each stored block holding exactly its unpacked size after its header and 0 as its\n"
    "      dictionary. With the checksum table every block's CRC-32 must match, as the installer\n"
    "      requires; without it a changed byte that still decodes to well-formed records goes\n"
    "      unnoticed by the blocks' checks. Flag bit 7 cleared over a table is named, as are any other\n"
    "      bytes between the directory and the trailer.\n"
    "      The program image: a well-formed Windows program (\"MZ\", \"PE\\0\\0\" where its pointer leads,\n"
    "      a PE32 or PE32+ optional header, at least one section, headers and every section's data\n"
    "      inside the image), with the reader mark when a block is stored. The whole file: pack sets\n"
    "      the image's PE checksum field to the whole file's PE checksum (as Windows computes it, and\n"
    "      as signing tools set it again), so any changed byte is caught; a field of 0 is no checksum\n"
    "      and is said on the ok line.\n"
    "  extract INSTALLER DIR\n"
    "      Installs the payload under DIR exactly as the installer does, overwriting files of the\n"
    "      same names; the installer's trace on stdout and, when stderr is a terminal, a progress\n"
    "      bar there. DIR must be a folder or a path where one can be made: an empty DIR (exit 64) and\n"
    "      a file, or a path below a file (exit 1), are refused naming it, before anything is read or\n"
    "      written. With the installer's manifest, extract then checks what the installer checks before\n"
    "      it writes (exit 1, naming the path or the drive, and nothing written): every path within\n"
    "      the system's limits, nothing of the wrong kind in the way, room on the drive, a probe file\n"
    "      in DIR, and no file to be replaced held by another program. Each file is written beside\n"
    "      its name (~jt$new.tmp) and moved over it in one step.\n"
    "  help, --help, -h\n"
    "      Prints this text.\n"
    "  --version\n"
    "      Prints the tool's version. An installer does not record which version built it: the format has\n"
    "      no field for it (the bytes before the trailer are defined as none, and its flag bits are the\n"
    "      installer's), so list shows none.\n"
    "\n"
    "Checks before any work (pack):\n"
    "  OUT is checked first and its temporary created before the stub is read or anything is\n"
    "  compressed, so an empty OUT or a missing or unwritable folder fails at once with the system's\n"
    "  reason. OUT must be a regular file or absent: a directory, FIFO, device or socket is refused and\n"
    "  left as it is. OUT must not lie in SRC_DIR or below it (the installer would pack itself), nor be\n"
    "  the stub or a file of the tree under another name (a hard or symbolic link, compared by device\n"
    "  and inode, or volume and file ID): refused, exit 1.\n"
    "  The temporary is a new file of this run beside OUT, OUT.partial-XXXXXXXX, created only where\n"
    "  nothing is (never through a symbolic link), so packs writing one OUT at once each leave a whole\n"
    "  installer. OUT is replaced in one step (a rename) only when complete; on any failure, and on\n"
    "  SIGINT, SIGTERM or SIGHUP (Ctrl-C, Ctrl-Break or a closed console on Windows), the temporary is\n"
    "  removed and an earlier OUT stays as it was.\n"
    "  Every file of the tree is opened and its first byte read during the walk: unreadable files are\n"
    "  listed together with the names Windows refuses, before anything is compressed.\n"
    "  STUB must be a Windows program (\"MZ\", and \"PE\\0\\0\" where its header pointer leads), refused\n"
    "  as \"not a Windows program\" otherwise, with what its first bytes are; an installer is refused as\n"
    "  \"already an installer: pass its program image\"; without the reader mark, and unless\n"
    "  --no-stored is given, it is refused as \"a program image from an older build that cannot read\n"
    "  stored blocks\"; with headers or sections outside it, as \"not a well-formed Windows program\".\n"
    "  A directory or unreadable STUB is refused naming it with the system's reason, a FIFO, device or\n"
    "  socket without being read.\n"
    "  All of these are exit 1.\n"
    "\n"
    "Messages and names:\n"
    "  Errors go to stderr as \"mkinstaller: FILE: reason\", with the system's reason where a system call\n"
    "  failed. A failed extract names the file it could not write and why, or the block that does not\n"
    "  decode or holds a damaged record. pack and extract draw a progress bar on stderr when it is a\n"
    "  terminal (pack: bytes in, bytes out, rate; it moves while a block is compressed). On a pipe or\n"
    "  file (a CI log) pack writes a plain line every 5 seconds instead, flushed: \"pack: 34.5% 26.2 MiB\n"
    "  in, 9.1 MiB out, 5.2 MiB/s\"; a pack shorter than that writes none; extract writes none.\n"
    "  An INSTALLER that is a directory, FIFO, device or socket is refused at once, without reading it\n"
    "  (exit 2).\n"
    "  On Windows the arguments are read as UTF-16, so paths in any script work whatever the ANSI code\n"
    "  page; the tool's own messages and listings go to a console through WriteConsoleW and to a\n"
    "  pipe or file as UTF-8 (stored names converted from code page 936). The trace lines of extract are\n"
    "  the installer's, written as it writes them. Stored names are still code page 936: a name with no\n"
    "  code page 936 form is refused by pack.\n"
    "  An installer whose signature was removed again (osslsigncode remove-signature) ends in up to @PADDING@\n"
    "  zero bytes of padding after its trailer; with an empty PE security entry it reads as unsigned, in\n"
    "  the installer as in every command here.\n"
    "\n"
    "Exit status:\n"
    "  0   success\n"
    "  1   extraction failed (a file could not be written, or a block did not decode), or pack\n"
    "      could not build the installer (a refused STUB or OUT among the reasons)\n"
    "  2   the installer cannot be read or its payload is damaged\n"
    "  64  usage error\n";

std::string shown(const char* cp936) {
    return cp936_for_display(reinterpret_cast<const unsigned char*>(cp936), strlen(cp936));
}

// USAGE with the product's names and limits put in, names in the console's encoding.
std::string usage_text() {
    // Pairs of names Windows takes for one (code page 936 bytes): Greek, Cyrillic and full-width Latin.
    const std::string pairs = shown("\xa6\xb8.txt") + " and " + shown("\xa6\xd8.txt") + ", " + shown("\xa7\xa5") +
                              " and " + shown("\xa7\xd5") + ", " + shown("\xa3\xc1") + " and " + shown("\xa3\xe1");
    const std::pair<const char*, std::string> fields[] = {
        {"@UNICODE@", UPCASE_UNICODE_VERSION},
        {"@PAIRS@", pairs},
        {"@FILE_PATH@", std::to_string(WINDOWS_FILE_PATH_MAX)},
        {"@DIR_PATH@", std::to_string(WINDOWS_DIR_PATH_MAX)},
        {"@DEFAULT_DIR@", std::string(LONGEST_PROGRAM_FILES_DIR) + "\\" + shown(PRODUCT_DIR_NAME) + "\\"},
        {"@DEFAULT_UNITS@", std::to_string(LONGEST_DEFAULT_INSTALL_DIR_UNITS)},
        {"@FILE_NAME@", std::to_string(INSTALL_FILE_NAME_LIMIT)},
        {"@DIR_NAME@", std::to_string(INSTALL_DIR_NAME_LIMIT)},
        {"@CASHIER@", shown(CASHIER_PROGRAM)},
        {"@SERVICE@", shown(SERVICE_PROGRAM)},
        {"@BUDGET@", std::to_string(PIPELINE_BUDGET_CAP >> 20)},
        {"@PADDING@", std::to_string(MAX_CERT_PADDING)},
    };
    std::string text = USAGE;
    for (const auto& [field, value] : fields)
        for (size_t at; (at = text.find(field)) != std::string::npos;) text.replace(at, strlen(field), value);
    return text;
}

// A command line the tool cannot take: what is wrong in it (the option, operand or command; may be empty) and why.
ToolError usage_error(const std::string& what, const std::string& reason) { return ToolError(MKI_USAGE, what, reason); }

// Digits with an optional K, M or G (powers of 1024) suffix.
bool parse_size(const std::string& text, uint64_t* out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    const unsigned long long value = strtoull(text.c_str(), &end, 10);
    int shift = 0;
    const std::string suffix(end);
    if (suffix == "K" || suffix == "k") shift = 10;
    else if (suffix == "M" || suffix == "m") shift = 20;
    else if (suffix == "G" || suffix == "g") shift = 30;
    else if (!suffix.empty()) return false;
    if (value > (~0ull >> 34)) return false;  // keeps the shifted value far from overflowing
    *out = uint64_t(value) << shift;
    return true;
}

uint64_t size_option(const std::string& name, const std::string& value, uint64_t low, uint64_t high,
                     const char* range) {
    uint64_t n = 0;
    if (!parse_size(value, &n) || n < low || n > high) throw usage_error(name, std::string("must be ") + range);
    return n;
}

// The dictionary size LZMA's properties can say, which the encoder rounds up to: 2^n or 3 x 2^n bytes.
uint32_t stored_dict_size(uint32_t asked) {
    for (int n = 12; n < 31; ++n) {
        if ((1u << n) >= asked) return 1u << n;
        if ((3u << (n - 1)) >= asked) return 3u << (n - 1);
    }
    return asked;
}

// One command's arguments in order: options (--name value, --name=value), then after "--" only operands.
class ArgReader {
public:
    explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}

    // The next argument, false at the end. *name is set for an option (with its value split off when it came
    // as --name=value), *operand otherwise.
    bool next(std::string* name, std::string* operand) {
        name->clear();
        operand->clear();
        inline_value_.reset();
        if (++i_ >= args_.size()) return false;
        const std::string& a = args_[i_];
        if (!options_over_ && a == "--") {
            options_over_ = true;
            return next(name, operand);
        }
        if (options_over_ || a.size() < 2 || a[0] != '-') {
            *operand = a;
            return true;
        }
        const size_t equals = a.find('=');
        if (a.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            *name = a.substr(0, equals);
            inline_value_ = a.substr(equals + 1);
        } else {
            *name = a;
        }
        return true;
    }
    // The current option's value; each single-value option may come once.
    std::string value(const std::string& name) {
        if (!seen_.insert(name).second) throw usage_error(name, "given twice; give it once");
        if (inline_value_) return *inline_value_;
        if (i_ + 1 >= args_.size()) throw usage_error(name, "needs a value");
        return args_[++i_];
    }
    // The current option as a switch: it takes no value.
    void no_value(const std::string& name) {
        if (inline_value_) throw usage_error(name, "takes no value");
    }

private:
    const std::vector<std::string>& args_;
    size_t i_ = 0;
    bool options_over_ = false;
    std::optional<std::string> inline_value_;
    std::set<std::string> seen_;
};

bool asks_for_help(const std::string& name) { return name == "--help" || name == "-h"; }

PackOptions parse_pack(const std::vector<std::string>& args, bool* help) {
    PackOptions options;
    bool have_stub = false, have_out = false, have_source = false;
    ArgReader reader(args);
    std::string a, operand;
    while (reader.next(&a, &operand)) {
        if (a.empty()) {
            if (have_source) throw usage_error(operand, "only one SRC_DIR");
            options.source = path_from_arg(operand.c_str());
            have_source = true;
        } else if (asks_for_help(a)) {
            *help = true;
            return options;
        } else if (a == "--stub") {
            options.stub = path_from_arg(reader.value(a).c_str());
            have_stub = true;
        } else if (a == "--out") {
            options.out = path_from_arg(reader.value(a).c_str());
            have_out = true;
        } else if (a == "--flags") {
            options.flags = int(size_option(a, reader.value(a), 0, 3, "0-3"));
        } else if (a == "--block-size") {
            options.block_size = size_option(a, reader.value(a), 1, 0x7FFFFFFF, "1 to 2G-1 bytes");
        } else if (a == "--level") {
            options.encode.level = int(size_option(a, reader.value(a), 0, 9, "0-9"));
        } else if (a == "--dict") {
            const std::string value = reader.value(a);
            const uint32_t asked = uint32_t(size_option(a, value, 4096, 128u << 20, "4K-128M bytes"));
            options.encode.dict_size = stored_dict_size(asked);
            if (options.encode.dict_size != asked)
                tool_print(stdout,
                           "--dict %s: %u bytes, rounded up to %u: LZMA stores a dictionary size of 2^n or "
                           "3 x 2^n bytes\n",
                           value.c_str(), unsigned(asked), unsigned(options.encode.dict_size));
        } else if (a == "--end-marker") {
            reader.no_value(a);
            options.encode.end_marker = true;
        } else if (a == "--no-checksums") {
            reader.no_value(a);
            options.checksums = false;
        } else if (a == "--no-stored") {
            reader.no_value(a);
            options.stored = false;
        } else if (a == "--allow-missing-programs") {
            reader.no_value(a);
            options.require_programs = false;
        } else if (a == "--jobs") {
            options.jobs = unsigned(size_option(a, reader.value(a), 1, 256, "1-256"));
        } else {
            throw usage_error(a, "unknown option");
        }
    }
    if (!have_stub) throw usage_error("pack", "needs --stub STUB");
    if (!have_out) throw usage_error("pack", "needs --out OUT");
    if (!have_source) throw usage_error("pack", "needs SRC_DIR");
    return options;
}

// The operands of list, verify or extract, which take no options; empty when help was asked for.
std::vector<std::string> operands(const std::vector<std::string>& args, size_t count, const char* shape) {
    ArgReader reader(args);
    std::vector<std::string> found;
    std::string a, operand;
    while (reader.next(&a, &operand)) {
        if (asks_for_help(a)) return {};
        if (!a.empty()) throw usage_error(a, "unknown option");
        found.push_back(operand);
    }
    if (found.size() != count) throw usage_error(args[0], std::string("takes ") + shape);
    return found;
}

// The part of the help about one command, with the exit codes.
std::string command_help(const std::string& command) {
    const std::string text = mkinstaller_usage();
    const std::string start = "\n  " + command + " ";
    const size_t from = text.find(start);
    size_t to = text.find("\n  ", text.find('\n', from + 1));
    while (to != std::string::npos && text.compare(to + 3, 1, " ") == 0) to = text.find("\n  ", to + 1);
    std::string help = "Usage: mkinstaller " + text.substr(from + 3, to - from - 3) + "\n";
    if (command == "pack") {
        const size_t checks = text.find("\nChecks before any work (pack):");
        help += text.substr(checks, text.find("\n\n", checks + 1) - checks) + "\n";
    }
    help += text.substr(text.find("\nExit status:"));
    return help;
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) throw usage_error("", "needs a command (pack, list, verify, extract, help)");
    const std::string& command = args[0];
    if (command == "help" || command == "--help" || command == "-h") {
        tool_print(stdout, "%s", mkinstaller_usage());
        return MKI_OK;
    }
    if (command == "--version") {
        tool_print(stdout, "mkinstaller %s\n", MKINSTALLER_VERSION);
        return MKI_OK;
    }
    if (command == "pack") {
        bool help = false;
        PackOptions options = parse_pack(args, &help);
        if (help) {
            tool_print(stdout, "%s", command_help(command).c_str());
            return MKI_OK;
        }
        options.progress = is_terminal(stderr);
        options.progress_lines = !options.progress;
        pack_installer(options);
        return MKI_OK;
    }
    if (command == "list" || command == "verify") {
        const std::vector<std::string> given = operands(args, 1, "INSTALLER");
        if (given.empty()) {
            tool_print(stdout, "%s", command_help(command).c_str());
            return MKI_OK;
        }
        return inspect_installer(path_from_arg(given[0].c_str()), command == "list");
    }
    if (command == "extract") {
        const std::vector<std::string> given = operands(args, 2, "INSTALLER DIR");
        if (given.empty()) {
            tool_print(stdout, "%s", command_help(command).c_str());
            return MKI_OK;
        }
        return extract_installer(path_from_arg(given[0].c_str()), path_from_arg(given[1].c_str()), is_terminal(stderr));
    }
    throw usage_error(command, "unknown command (pack, list, verify, extract, help)");
}

}  // namespace

const char* mkinstaller_usage() {
    static const std::string text = usage_text();
    return text.c_str();
}

int run_mkinstaller(const std::vector<std::string>& args) {
    int status;
    try {
        status = run(args);
    } catch (const ToolError& e) {
        status = report_tool_error(e);
        // Only the command line's own faults reach here as usage errors: extract reports its empty DIR itself.
        if (status == MKI_USAGE) tool_print(stderr, "Try 'mkinstaller --help'.\n");
    } catch (const std::exception& e) {
        // Out of memory or a file system fault the commands did not foresee.
        tool_print(stderr, "mkinstaller: %s\n", e.what());
        status = MKI_FAILED;
    }
    fflush(stdout);
    fflush(stderr);
    return status;
}
