// Reading an installer back: its layout, and every record of every block, checked without writing anything.
#pragma once
#include <filesystem>

// Reads (open_payload: find_payload_tail, the manifest, the blocks where they lie, the checksum table when
// flagged), then one block at a time decodes (decode_block_into, from the file: the memory it takes is one
// block's, not the installer's) and walks (next_record) every block of the installer at path, signed or not, with
// the checks of an installation: the container's bounds, every block's CRC-32 matching the table when there
// is one, every block decoding, every record inside its stream with a safe name, every entry's directory
// created earlier in the same block, and a name that fits beside some install directory. It also holds the
// payload to what a correct packer writes: blocks back to back up to the directory, each stream ending with
// an end record as its last byte, the block sizes adding up to the trailer's total, and each stored block
// holding exactly its unpacked size after its header, with 0 as its dictionary (the installer itself does
// not look at these). Then, after the payload, the program image and the file as a whole: the image a
// well-formed Windows program (program_image_problem), carrying PAYLOAD_READER_MARK when any block is stored,
// no bytes between the directory (or its table) and the trailer (flag bit 7 cleared over a table is named), and
// the whole file's PE checksum (PeChecksum) equal to the image's CheckSum field unless that is 0 (not set,
// noted on the ok line).
// With print set (list), prints the directory with each block's properties ("stored" for a stored block)
// and CRC-32, the checksum table's place, the trailer, where a signature begins, every record on stdout as
// it goes, and the program image's kind, sections and PE checksum.
// Returns MKI_OK, or MKI_DAMAGED with a message on stderr naming the file when the payload is unreadable or
// damaged (with the system's reason when the file cannot be opened).
int inspect_installer(const std::filesystem::path& path, bool print);
